// The Check Paths page: its outcomes as the user sees them.
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include "app/MainSheet.h"
#include "pages/GuiTestSupport.h"

using namespace veltrane;
using namespace veltrane::test;

class CheckPathsPageTest : public QObject {
    Q_OBJECT

private slots:
    void init() { ClearSettings(); }

    void folderReportListsEachKindOnce() {
        ScriptedBoxes boxes;
        TestFolder folder;
        folder.WriteFile(QStringLiteral("clean.cr2"), "{\n\ttextureMap \":Runtime:textures:clean.jpg\"\n}\n");
        const QString bad = folder.WriteFile(QStringLiteral("props/bad.pp2"),
                                             "\ttextureMap \"C:\\Textures\\a.jpg\"\n"
                                             "\ttextureMap \"Runtime\\textures\\b.jpg\"\n"
                                             "\ttextureMap \"Runtime\\textures\\c.jpg\"\n");
        folder.WriteFile(QStringLiteral("props/fine.pz2"), "\treflectionMap \"Runtime/textures/r.jpg\"\n");
        folder.WriteFile(QStringLiteral("notes.txt"), "\ttextureMap C:\\ignored.jpg\n");

        auto shown = ShowMainSheet();
        shown.sheet->TabWidget()->setCurrentIndex(2);
        CPathsCheck& page = shown.sheet->CheckPathsPage();
        TypePath(page, folder.Root());
        QTest::mouseClick(page.SecondModeButton(), Qt::LeftButton);
        QTest::mouseClick(page.CheckButton(), Qt::LeftButton);

        QVERIFY2(boxes.Boxes().empty(), qPrintable(boxes.Texts().join(QLatin1Char('\n'))));
        QCOMPARE(CounterTexts(page), (QStringList{QStringLiteral("3"), QStringLiteral("1")}));
        QCOMPARE(ResultsText(page),
                 QStringLiteral("These files contained absolute paths in them:\n%1\n\n"
                                "These files contained relative paths that had backslashes "
                                "(\\) in them:\n%1\n\n")
                     .arg(bad));
    }

    void fileOnlyOutcomesAndErrorBoxes() {
        ScriptedBoxes boxes;
        TestFolder folder;
        const QString clean = folder.WriteFile(QStringLiteral("clean.CR2"), "\ttextureMap \"x/y.jpg\"\n");
        const QString other = folder.WriteFile(QStringLiteral("readme.txt"), "text\n");
        auto shown = ShowMainSheet();
        shown.sheet->TabWidget()->setCurrentIndex(2);
        CPathsCheck& page = shown.sheet->CheckPathsPage();
        QVERIFY(page.IsFileOnlyMode());

        TypePath(page, clean);
        QTest::mouseClick(page.CheckButton(), Qt::LeftButton);
        QCOMPARE(ResultsText(page), QStringLiteral("No absolute paths found"));
        QCOMPARE(CounterTexts(page), (QStringList{QStringLiteral("1"), QStringLiteral("0")}));

        // A stop leaves what the page showed: the file goes away between two presses.
        QVERIFY(QFile::remove(clean));
        QTest::mouseClick(page.CheckButton(), Qt::LeftButton);
        QCOMPARE(boxes.Boxes().size(), size_t(1));
        QCOMPARE(ResultsText(page), QStringLiteral("No absolute paths found"));
        QCOMPARE(CounterTexts(page), (QStringList{QStringLiteral("1"), QStringLiteral("0")}));
        QVERIFY(!page.CheckButton()->isEnabled());
        folder.WriteFile(QStringLiteral("clean.CR2"), "\ttextureMap \"x/y.jpg\"\n");

        // Each stop shows its "ERROR" box.
        struct Stop {
            QString path;
            bool allFiles;
            const char* text;
        };
        const Stop stops[] = {
            {other, false, "File type is not recognized.  "},
            {folder.Root(), false, "Path specified does not point to a file.  "},
            {clean, true, "Path specified does not point to a folder, or it is invalid.  "},
            {folder.Path(QStringLiteral("missing.cr2")), true,
             "Path specified does not exist or points to an unexisting file.\r\nPlease make sure you enter a "
             "valid "
             "path.  "},
        };
        for (const Stop& stop : stops) {
            TypePath(page, stop.path);
            QTest::mouseClick(stop.allFiles ? page.SecondModeButton() : page.FirstModeButton(),
                              Qt::LeftButton);
            boxes.Clear();
            QTest::mouseClick(page.CheckButton(), Qt::LeftButton);
            QCOMPARE(boxes.Boxes().size(), size_t(1));
            QCOMPARE(boxes.Boxes()[0].title, std::string("ERROR"));
            QCOMPARE(boxes.Boxes()[0].kind, NoticeKind::Error);
            QCOMPARE(boxes.Boxes()[0].text, std::string(stop.text));
            QCOMPARE(ResultsText(page), QString());
        }
    }
};

VELTRANE_GUI_TEST_MAIN(CheckPathsPageTest)
#include "CheckPathsPageTest.moc"
