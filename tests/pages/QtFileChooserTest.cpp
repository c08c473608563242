// The program's own file dialogs, as they are set up before they are shown.
#include <QFileDialog>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QSortFilterProxyModel>

#include "dialogs/NameIconProvider.h"
#include "pages/GuiTestSupport.h"
#include "pages/QtFileChooser.h"

using namespace veltrane;
using namespace veltrane::test;

namespace {

const QStringList kFilters{QStringLiteral("All Files (*.*)"), QStringLiteral("Camera Files (*.cm2)"),
                           QStringLiteral("Pose Files (*.pz2)")};

// The names the dialog's list offers in folder, once the model has read it.
QStringList ListedNames(QFileDialog& dialog, const QString& folder) {
    auto* model = dialog.findChild<QFileSystemModel*>();
    if (model == nullptr) {
        return {};
    }
    const QModelIndex parent = model->index(folder);
    (void)QTest::qWaitFor([&] { return !model->canFetchMore(parent) && model->rowCount(parent) > 0; }, 5000);
    QTest::qWait(50);
    QStringList names;
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex index = model->index(row, 0, parent);
        if (model->flags(index).testFlag(Qt::ItemIsEnabled)) {
            names << model->fileName(index);
        }
    }
    names.sort();
    return names;
}

}  // namespace

class QtFileChooserTest : public QObject {
    Q_OBJECT

private slots:
    void allFilesListsNamesWithoutADot() {
        TestFolder folder;
        folder.WriteFile(QStringLiteral("README"));
        folder.WriteFile(QStringLiteral("pose.PZ2"));
        folder.WriteFile(QStringLiteral("cam.cm2"));

        const auto dialog = CQtFileChooser::MakeOpenDialog(nullptr, QStringLiteral("Select File to vefify"),
                                                           folder.Root(), kFilters);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Select File to vefify"));
        QCOMPARE(dialog->nameFilters(), kFilters);
        QCOMPARE(dialog->selectedNameFilter(), kFilters.front());
        QCOMPARE(dialog->fileMode(), QFileDialog::AnyFile);
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptOpen);
        dialog->show();
        QCOMPARE(
            ListedNames(*dialog, folder.Root()),
            (QStringList{QStringLiteral("README"), QStringLiteral("cam.cm2"), QStringLiteral("pose.PZ2")}));

        // Another filter, in any letter case, and back to all files.
        dialog->selectNameFilter(kFilters.at(2));
        emit dialog->filterSelected(kFilters.at(2));
        QCOMPARE(ListedNames(*dialog, folder.Root()), QStringList{QStringLiteral("pose.PZ2")});
        dialog->selectNameFilter(kFilters.at(0));
        emit dialog->filterSelected(kFilters.at(0));
        QCOMPARE(ListedNames(*dialog, folder.Root()).size(), 3);
        dialog->hide();
    }

    void saveDialogAddsTxtAndAsksBeforeReplacing() {
        TestFolder folder;
        const auto dialog = CQtFileChooser::MakeSaveDialog(
            nullptr, folder.Root(), QStringLiteral("Text files (*.txt)"), QStringLiteral("txt"));
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
        QCOMPARE(dialog->nameFilters(), QStringList{QStringLiteral("Text files (*.txt)")});
        QCOMPARE(dialog->defaultSuffix(), QStringLiteral("txt"));
        QVERIFY(!dialog->testOption(QFileDialog::DontConfirmOverwrite));
        QCOMPARE(QDir::toNativeSeparators(dialog->directory().absolutePath()), folder.Root());
    }

    void dialogsAreRoomyAndTellTypesByNameAlone() {
        TestFolder folder;
        const auto open =
            CQtFileChooser::MakeOpenDialog(nullptr, QStringLiteral("t"), folder.Root(), kFilters);
        const auto save = CQtFileChooser::MakeSaveDialog(
            nullptr, folder.Root(), QStringLiteral("Text files (*.txt)"), QStringLiteral("txt"));
        for (QFileDialog* dialog : {open.get(), save.get()}) {
            QVERIFY(dialog->width() >= 760 && dialog->height() >= 460);
            QCOMPARE(dialog->iconProvider(),
                     static_cast<QAbstractFileIconProvider*>(CNameIconProvider::Shared()));
        }
        // Image content under a name without an extension: the content is never looked at.
        const QString png = folder.WriteFile(QStringLiteral("noext"), QByteArray("\x89PNG\r\n\x1a\n", 8));
        const CNameIconProvider& provider = *CNameIconProvider::Shared();
        QCOMPARE(provider.type(QFileInfo(png)), QStringLiteral("File"));
        QCOMPARE(provider.type(QFileInfo(folder.Root())), QStringLiteral("Folder"));
        QVERIFY(!provider.icon(QFileInfo(png)).isNull());
    }
};

VELTRANE_GUI_TEST_MAIN(QtFileChooserTest)
#include "QtFileChooserTest.moc"
