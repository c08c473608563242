// What the four pages share: enable-by-path, the path following the user, Browse, resets.
#include <stdexcept>

#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include "app/MainSheet.h"
#include "pages/GuiTestSupport.h"

using namespace veltrane;
using namespace veltrane::test;

namespace {

CPageFrame& PageAt(CMainSheet& sheet, int index) {
    return *static_cast<CPageFrame*>(sheet.GetPage(index));
}

QPushButton* ActionButton(CMainSheet& sheet, int index) {
    if (index == 3) {
        return sheet.ListMakerPage().ScanButton();
    }
    return static_cast<CCheckerPage&>(PageAt(sheet, index)).CheckButton();
}

// Runs File Names on a folder holding one long name, so the page shows a report and counters.
void LeaveResultsOnFileNames(CMainSheet& sheet, const TestFolder& folder) {
    folder.WriteFile(QStringLiteral("a-name-that-is-thirty-two-chars!"));
    CFileNameCheck& page = sheet.FileNamesPage();
    TypePath(page, folder.Root());
    QTest::mouseClick(page.CheckButton(), Qt::LeftButton);
}

// A dialog that fails the way a full disk or a lost network share could make one fail.
class ThrowingFolderChooser final : public CFolderChooser {
public:
    std::optional<QString> ChooseFolder(QWidget*, const QString&, const QString&) override {
        throw std::runtime_error("the dialog failed");
    }
};

}  // namespace

class PageFrameTest : public QObject {
    Q_OBJECT

private slots:
    void init() { ClearSettings(); }

    void actionButtonFollowsThePath_data() {
        QTest::addColumn<int>("tab");
        QTest::newRow("File Names") << 0;
        QTest::newRow("Version Number") << 1;
        QTest::newRow("Check Paths") << 2;
        QTest::newRow("List Maker") << 3;
    }

    void actionButtonFollowsThePath() {
        QFETCH(int, tab);
        ScriptedBoxes boxes;
        auto shown = ShowMainSheet();
        CMainSheet& sheet = *shown.sheet;
        sheet.TabWidget()->setCurrentIndex(tab);
        CPageFrame& page = PageAt(sheet, tab);
        QCOMPARE(page.PathBox()->text(), QString());
        QVERIFY(!ActionButton(sheet, tab)->isEnabled());
        QCOMPARE(CounterTexts(page), (QStringList{QStringLiteral("0"), QStringLiteral("0")}));

        QTest::keyClick(page.PathBox(), Qt::Key_X);
        QVERIFY(ActionButton(sheet, tab)->isEnabled());
        QCOMPARE(page.PagePath(), QStringLiteral("x"));
        QTest::keyClick(page.PathBox(), Qt::Key_Backspace);
        QVERIFY(!ActionButton(sheet, tab)->isEnabled());
        QCOMPARE(page.PagePath(), QString());
        QVERIFY(ActionButton(sheet, tab)->isDefault());
    }

    void pathFollowsToTheNextTabWithEmptyResults() {
        ScriptedBoxes boxes;
        TestFolder folder;
        auto shown = ShowMainSheet();
        CMainSheet& sheet = *shown.sheet;
        LeaveResultsOnFileNames(sheet, folder);
        QVERIFY(!ResultsText(sheet.FileNamesPage()).isEmpty());

        sheet.TabWidget()->setCurrentIndex(2);
        CPathsCheck& paths = sheet.CheckPathsPage();
        QCOMPARE(paths.PathBox()->text(), folder.Root());
        QCOMPARE(ResultsText(paths), QString());
        QCOMPARE(CounterTexts(paths), (QStringList{QStringLiteral("0"), QStringLiteral("0")}));
        QVERIFY(paths.CheckButton()->isEnabled());

        // Coming back empties the first page too.
        sheet.TabWidget()->setCurrentIndex(0);
        QCOMPARE(ResultsText(sheet.FileNamesPage()), QString());
        QCOMPARE(CounterTexts(sheet.FileNamesPage()),
                 (QStringList{QStringLiteral("0"), QStringLiteral("0")}));
    }

    void browseOnCheckPathsChoosesAFileOrAFolderByMode() {
        ScriptedBoxes boxes;
        TestFolder folder;
        auto shown = ShowMainSheet();
        CMainSheet& sheet = *shown.sheet;
        sheet.TabWidget()->setCurrentIndex(2);
        CPathsCheck& page = sheet.CheckPathsPage();
        TypePath(page, folder.Root());

        const QString chosenFile = folder.Path(QStringLiteral("figure.cr2"));
        shown.dialogs->answers.push_back(chosenFile);
        QTest::mouseClick(page.BrowseButton(), Qt::LeftButton);
        QCOMPARE(shown.dialogs->calls.size(), size_t(1));
        const ChooserCall& open = shown.dialogs->calls[0];
        QCOMPARE(open.kind, QStringLiteral("open"));
        QCOMPARE(open.title, QStringLiteral("Select File to vefify"));
        QCOMPARE(open.initial, folder.Root());
        const QStringList filters{
            QStringLiteral("All Files (*.*)"),     QStringLiteral("Camera Files (*.cm2)"),
            QStringLiteral("Pose Files (*.pz2)"),  QStringLiteral("Light Files (*.lt2)"),
            QStringLiteral("Prop Files (*.pp2)"),  QStringLiteral("Character Files (*.cr2)"),
            QStringLiteral("Face Files (*.fc2)"),  QStringLiteral("Hair Files (*.hr2)"),
            QStringLiteral("Scene Files (*.pz3)"), QStringLiteral("Hand Files (*.hd2)")};
        QCOMPARE(open.filters, filters);
        QCOMPARE(page.PathBox()->text(), chosenFile);

        QTest::mouseClick(page.SecondModeButton(), Qt::LeftButton);
        QVERIFY(!page.IsFileOnlyMode());
        shown.dialogs->answers.push_back(folder.Root() + QDir::separator());
        QTest::mouseClick(page.BrowseButton(), Qt::LeftButton);
        QCOMPARE(shown.dialogs->calls.size(), size_t(2));
        QCOMPARE(shown.dialogs->calls[1].kind, QStringLiteral("folder"));
        QCOMPARE(shown.dialogs->calls[1].title,
                 QStringLiteral("Select Folder that contains files to verify"));
        QCOMPARE(shown.dialogs->calls[1].initial, chosenFile);
        QCOMPARE(page.PathBox()->text(), folder.Root() + QDir::separator());
    }

    void browseTitlesAndOkOnFileNamesAndListMaker() {
        ScriptedBoxes boxes;
        TestFolder folder;
        auto shown = ShowMainSheet();
        CMainSheet& sheet = *shown.sheet;
        const QString chosen = folder.Root() + QDir::separator();
        for (const int tab : {0, 3}) {
            sheet.TabWidget()->setCurrentIndex(tab);
            shown.dialogs->answers.push_back(chosen);
            QTest::mouseClick(PageAt(sheet, tab).BrowseButton(), Qt::LeftButton);
            QCOMPARE(shown.dialogs->calls.back().kind, QStringLiteral("folder"));
            QCOMPARE(shown.dialogs->calls.back().title, QStringLiteral("Select Folder to scan"));
            QCOMPARE(PageAt(sheet, tab).PathBox()->text(), chosen);
            QVERIFY(ActionButton(sheet, tab)->isEnabled());
        }
        QVERIFY(!sheet.ListMakerPage().SaveButton()->isEnabled());
    }

    void cancelledBrowseResetsOnlyOnVersionNumberAndCheckPaths() {
        ScriptedBoxes boxes;
        TestFolder folder;
        auto shown = ShowMainSheet();
        CMainSheet& sheet = *shown.sheet;
        LeaveResultsOnFileNames(sheet, folder);
        const QString report = ResultsText(sheet.FileNamesPage());
        const QStringList counters = CounterTexts(sheet.FileNamesPage());
        QVERIFY(!report.isEmpty());
        QTest::mouseClick(sheet.FileNamesPage().BrowseButton(), Qt::LeftButton);  // cancelled
        QCOMPARE(ResultsText(sheet.FileNamesPage()), report);
        QCOMPARE(CounterTexts(sheet.FileNamesPage()), counters);
        QCOMPARE(sheet.FileNamesPage().PathBox()->text(), folder.Root());

        sheet.TabWidget()->setCurrentIndex(1);
        CVersionCheck& version = sheet.VersionNumberPage();
        QTest::mouseClick(version.SecondModeButton(), Qt::LeftButton);
        QTest::mouseClick(version.CheckButton(), Qt::LeftButton);
        QCOMPARE(ResultsText(version), QStringLiteral("No Files To Fix!"));
        QTest::mouseClick(version.BrowseButton(), Qt::LeftButton);  // cancelled
        QCOMPARE(shown.dialogs->calls.back().title,
                 QStringLiteral("Select Folder that contains files to verify"));
        QCOMPARE(ResultsText(version), QString());
        QCOMPARE(CounterTexts(version), (QStringList{QStringLiteral("0"), QStringLiteral("0")}));
        QCOMPARE(version.PathBox()->text(), folder.Root());
    }

    void modeClickAfterACheckResets() {
        ScriptedBoxes boxes;
        TestFolder folder;
        auto shown = ShowMainSheet();
        CMainSheet& sheet = *shown.sheet;
        LeaveResultsOnFileNames(sheet, folder);
        CFileNameCheck& page = sheet.FileNamesPage();
        QCOMPARE(CounterTexts(page), (QStringList{QStringLiteral("1"), QStringLiteral("1")}));

        QTest::mouseClick(page.SecondModeButton(), Qt::LeftButton);
        QVERIFY(page.SecondModeButton()->isChecked());
        QVERIFY(!page.FirstModeButton()->isChecked());
        QCOMPARE(ResultsText(page), QString());
        QCOMPARE(CounterTexts(page), (QStringList{QStringLiteral("0"), QStringLiteral("0")}));
        QVERIFY(page.CheckButton()->isEnabled());
        QCOMPARE(page.PathBox()->text(), folder.Root());
    }

    void enterInThePathBoxPressesTheCheckButton() {
        ScriptedBoxes boxes;
        TestFolder folder;
        folder.WriteFile(QStringLiteral("short.txt"));
        auto shown = ShowMainSheet();
        CFileNameCheck& page = shown.sheet->FileNamesPage();
        TypePath(page, folder.Root());
        QTest::keyClick(page.PathBox(), Qt::Key_Return);
        QCOMPARE(ResultsText(page), QStringLiteral("No Problems found!"));
        QVERIFY(shown.sheet->isVisible());
    }

    void failureInsideAHandlerEndsInAnErrorBox() {
        ScriptedBoxes boxes;
        auto shown = ShowMainSheet();
        CFileNameCheck& page = shown.sheet->FileNamesPage();
        TypePath(page, QStringLiteral("somewhere"));
        page.SetFolderChooser(std::make_unique<ThrowingFolderChooser>());
        QTest::mouseClick(page.BrowseButton(), Qt::LeftButton);
        QCOMPARE(boxes.Boxes().size(), size_t(1));
        QCOMPARE(boxes.Boxes()[0].kind, NoticeKind::Error);
        QCOMPARE(boxes.Boxes()[0].title, std::string("Veltrane"));
        QVERIFY(QString::fromStdString(boxes.Boxes()[0].text)
                    .startsWith(QStringLiteral("An unknown error occurred while accessing somewhere.")));
        QVERIFY(shown.sheet->isVisible());
    }
};

VELTRANE_GUI_TEST_MAIN(PageFrameTest)
#include "PageFrameTest.moc"
