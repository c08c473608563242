// The folder picker as a window, on the offscreen platform.
#include <deque>
#include <vector>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QListView>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "base/Notifier.h"
#include "dialogs/FolderDialog.h"
#include "dialogs/FolderEdit.h"
#include "pages/FolderChooser.h"

using namespace veltrane;

class FolderDialogTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::vector<Notice> m_notices;
    std::deque<NoticeAnswer> m_answers;

    // A path below the temporary tree, in native form; a trailing "/" becomes the separator.
    QString Path(const QString& rel) const {
        return QDir::toNativeSeparators(m_dir.path() + QLatin1Char('/') + rel);
    }
    static QString Sep() { return QString(QDir::separator()); }

    static CFolderEdit* Box(CFolderDialog& dlg) {
        return dlg.findChild<CFolderEdit*>(QStringLiteral("folderBox"));
    }
    static QPushButton* SelectButton(CFolderDialog& dlg) {
        return dlg.findChild<QPushButton*>(QStringLiteral("selectButton"));
    }
    static void PutInBox(CFolderDialog& dlg, const QString& text) {
        Box(dlg)->setText(text);
        Box(dlg)->end(false);
    }
    // Names of the entries the list shows, once the model has read the folder.
    static QStringList Listed(CFolderDialog& dlg) {
        auto* list = dlg.findChild<QListView*>(QStringLiteral("folderList"));
        QStringList names;
        for (int row = 0; row < list->model()->rowCount(list->rootIndex()); ++row) {
            names << list->model()->index(row, 0, list->rootIndex()).data().toString();
        }
        names.sort();
        return names;
    }

private slots:
    void initTestCase() {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("a/b")));
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("a/Projects")));
        QFile file(m_dir.path() + QStringLiteral("/a/f.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    void init() {
        m_notices.clear();
        m_answers.clear();
        CNotifier::SetHandler([this](QWidget*, const Notice& notice) {
            m_notices.push_back(notice);
            if (notice.buttons == NoticeButtons::Ok) {
                return NoticeAnswer::Ok;
            }
            NoticeAnswer answer = NoticeAnswer::No;
            if (!m_answers.empty()) {
                answer = m_answers.front();
                m_answers.pop_front();
            }
            return answer;
        });
    }

    void cleanup() { CNotifier::SetHandler({}); }

    void startsAtTheNearestExistingFolder() {
        CFolderDialog dlg(Path(QStringLiteral("a/missing/deeper")));
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Select Folder"));
        dlg.SetTitle(QStringLiteral("Select Folder to scan"));
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Select Folder to scan"));
        QCOMPARE(dlg.ChosenFolder(), Path(QStringLiteral("a")) + Sep());
        QCOMPARE(Box(dlg)->text(), dlg.ChosenFolder());
        QCOMPARE(Box(dlg)->cursorPosition(), Box(dlg)->text().size());
        QVERIFY(SelectButton(dlg)->isDefault());

        auto* filters = dlg.findChild<QComboBox*>(QStringLiteral("filterBox"));
        QCOMPARE(filters->count(), 2);
        QCOMPARE(filters->itemText(0), QStringLiteral("Show Folders Only"));
        QCOMPARE(filters->itemText(1), QStringLiteral("All Files (*.*)"));
        QTRY_COMPARE(Listed(dlg), (QStringList{QStringLiteral("Projects"), QStringLiteral("b")}));
        filters->setCurrentIndex(1);
        QTRY_COMPARE(Listed(dlg),
                     (QStringList{QStringLiteral("Projects"), QStringLiteral("b"), QStringLiteral("f.txt")}));
    }

    void typingASeparatorGoesToTheFolder() {
        CFolderDialog dlg(m_dir.path());
        dlg.show();
        PutInBox(dlg, Path(QStringLiteral("a/b")));
        QTest::keyClick(Box(dlg), QDir::separator().toLatin1());
        QCOMPARE(dlg.ChosenFolder(), Path(QStringLiteral("a/b")) + Sep());
        QCOMPARE(Box(dlg)->text(), dlg.ChosenFolder());
        QCOMPARE(Box(dlg)->cursorPosition(), Box(dlg)->text().size());
        QVERIFY(dlg.isVisible());
    }

    void typingCompletesAFolderName() {
        CFolderDialog dlg(Path(QStringLiteral("a")));
        dlg.show();
        const QString start = Box(dlg)->text();
        QTest::keyClicks(Box(dlg), QStringLiteral("pro"));
        QCOMPARE(Box(dlg)->text(), start + QStringLiteral("projects"));
        QCOMPARE(Box(dlg)->selectedText(), QStringLiteral("jects"));

        QTest::keyClick(Box(dlg), Qt::Key_Backspace);  // removes the completion, adds none
        QCOMPARE(Box(dlg)->text(), start + QStringLiteral("pro"));

        PutInBox(dlg, start);
        QTest::keyClicks(Box(dlg), QStringLiteral("PRO"));
        QCOMPARE(Box(dlg)->text(), start + QStringLiteral("PROJECTS"));
        QCOMPARE(Box(dlg)->selectedText(), QStringLiteral("JECTS"));
    }

    void enterGoesThereWithoutClosing() {
        CFolderDialog dlg(m_dir.path());
        dlg.show();
        PutInBox(dlg, Path(QStringLiteral("a/b")));
        QTest::keyClick(Box(dlg), Qt::Key_Return);
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(dlg.ChosenFolder(), Path(QStringLiteral("a/b")) + Sep());
        QCOMPARE(Box(dlg)->text(), dlg.ChosenFolder());
    }

    void selectCreatesAMissingFolderOnYes() {
        CFolderDialog dlg(m_dir.path());
        dlg.show();
        const QString target = Path(QStringLiteral("x/New/Sub"));
        PutInBox(dlg, target);
        m_answers = {NoticeAnswer::Yes};
        QTest::mouseClick(SelectButton(dlg), Qt::LeftButton);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
        QCOMPARE(dlg.ChosenFolder(), target + Sep());
        QVERIFY(QDir(target).exists());
        QCOMPARE(m_notices.size(), size_t(1));
        QCOMPARE(m_notices[0].kind, NoticeKind::Warning);
        QCOMPARE(m_notices[0].title, std::string("Veltrane"));
        QCOMPARE(m_notices[0].buttons, NoticeButtons::YesNo);
        QCOMPARE(QString::fromStdString(m_notices[0].text),
                 target + QStringLiteral("\nThis folder does not exist.\n\nDo you want to create it?"));
    }

    void selectOnAFileShowsTheMessageAndStays() {
        CFolderDialog dlg(m_dir.path());
        dlg.show();
        PutInBox(dlg, Path(QStringLiteral("a/f.txt")));
        QTest::mouseClick(SelectButton(dlg), Qt::LeftButton);
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(m_notices.size(), size_t(1));
        QCOMPARE(m_notices[0].kind, NoticeKind::Warning);
        QCOMPARE(m_notices[0].buttons, NoticeButtons::Ok);
        QCOMPARE(QString::fromStdString(m_notices[0].text),
                 Path(QStringLiteral("a/f.txt")) + QStringLiteral("\nThis is a file not a directory."));
    }

    void confirmingAFileNeverCloses() {
        CFolderDialog dlg(Path(QStringLiteral("a")));
        dlg.show();
        dlg.findChild<QComboBox*>(QStringLiteral("filterBox"))->setCurrentIndex(1);
        auto* list = dlg.findChild<QListView*>(QStringLiteral("folderList"));
        QTRY_COMPARE(Listed(dlg).size(), qsizetype(3));
        QModelIndex file;
        QModelIndex folder;
        for (int row = 0; row < 3; ++row) {
            const QModelIndex index = list->model()->index(row, 0, list->rootIndex());
            (index.data().toString() == QStringLiteral("f.txt") ? file : folder) = index;
        }
        list->setCurrentIndex(file);
        QTest::keyClick(list, Qt::Key_Return);
        emit list->activated(file);
        QVERIFY(dlg.isVisible());
        QCOMPARE(dlg.result(), int(QDialog::Rejected));
        QCOMPARE(dlg.ChosenFolder(), Path(QStringLiteral("a")) + Sep());

        const QString name = folder.data().toString();
        list->setCurrentIndex(folder);
        QTest::keyClick(list, Qt::Key_Return);  // a folder opens
        QCOMPARE(dlg.ChosenFolder(), Path(QStringLiteral("a/") + name) + Sep());
        QVERIFY(dlg.isVisible());
    }

    // What every page's Browse runs: the picker, modal, titled by the page.
    void browseRunsThePickerWithThePageTitle() {
        QString title;
        QTimer::singleShot(0, this, [&] {
            auto* dlg = qobject_cast<CFolderDialog*>(QApplication::activeModalWidget());
            QVERIFY(dlg != nullptr);
            title = dlg->windowTitle();
            PutInBox(*dlg, Path(QStringLiteral("a/b")));
            QTest::mouseClick(SelectButton(*dlg), Qt::LeftButton);
        });
        QWidget page;
        const std::optional<QString> chosen = MakeFolderChooser()->ChooseFolder(
            &page, QStringLiteral("Select Folder to scan"), Path(QStringLiteral("a")));
        QCOMPARE(title, QStringLiteral("Select Folder to scan"));
        QVERIFY(chosen.has_value());
        QCOMPARE(*chosen, Path(QStringLiteral("a/b")) + Sep());
    }
};

QTEST_MAIN(FolderDialogTest)
#include "FolderDialogTest.moc"
