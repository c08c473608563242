// The File Names page: its outcomes as the user sees them.
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "app/MainSheet.h"
#include "pages/GuiTestSupport.h"

using namespace veltrane;
using namespace veltrane::test;

namespace {

const QString kLong32 = QStringLiteral("abcdefghijklmnopqrstuvwxyz012345");  // 32 characters
const QString kShort31 = QStringLiteral("abcdefghijklmnopqrstuvwxyz01234");  // 31 characters

}  // namespace

class FileNamesPageTest : public QObject {
    Q_OBJECT

private slots:
    void init() { ClearSettings(); }

    void reportsLongNamesPerMode_data() {
        QTest::addColumn<bool>("entireDirectory");
        QTest::addColumn<QStringList>("counters");
        QTest::addColumn<QString>("report");
        QTest::newRow("This folder only")
            << false << QStringList{QStringLiteral("3"), QStringLiteral("1")}
            << QStringLiteral("The folder '%1' has 32 characters in its name.\n").arg(kLong32);
        QTest::newRow("Entire directory") << true << QStringList{QStringLiteral("5"), QStringLiteral("2")}
                                          << QStringLiteral(
                                                 "The folder '%1' has 32 characters in its name.\n"
                                                 "The file '%1' has 32 characters in its name.\n")
                                                 .arg(kLong32);
    }

    void reportsLongNamesPerMode() {
        QFETCH(bool, entireDirectory);
        QFETCH(QStringList, counters);
        QFETCH(QString, report);
        ScriptedBoxes boxes;
        TestFolder folder;
        folder.WriteFile(kShort31);
        folder.WriteFile(kLong32 + QStringLiteral("/") + kLong32);
        folder.WriteFile(QStringLiteral("sub/") + kShort31);

        auto shown = ShowMainSheet();
        CFileNameCheck& page = shown.sheet->FileNamesPage();
        TypePath(page, folder.Root());
        if (entireDirectory) {
            QTest::mouseClick(page.SecondModeButton(), Qt::LeftButton);
        }
        QTest::mouseClick(page.CheckButton(), Qt::LeftButton);
        QCOMPARE(CounterTexts(page), counters);
        // Enumeration order is the file system's: compare the lines as a set.
        QStringList shownLines = ResultsText(page).split(QLatin1Char('\n'));
        QStringList expectedLines = report.split(QLatin1Char('\n'));
        shownLines.sort();
        expectedLines.sort();
        QCOMPARE(shownLines, expectedLines);
        QVERIFY2(boxes.Boxes().empty(), qPrintable(boxes.Texts().join(QLatin1Char('\n'))));
        QVERIFY(page.CheckButton()->isEnabled());
    }

    void missingPathDisablesCheckUntilThePathChanges() {
        ScriptedBoxes boxes;
        TestFolder folder;
        auto shown = ShowMainSheet();
        CFileNameCheck& page = shown.sheet->FileNamesPage();
        TypePath(page, folder.Path(QStringLiteral("missing")));
        QTest::mouseClick(page.CheckButton(), Qt::LeftButton);
        QCOMPARE(boxes.Boxes().size(), size_t(1));
        QCOMPARE(boxes.Boxes()[0].title, std::string("Veltrane"));
        QCOMPARE(boxes.Boxes()[0].kind, NoticeKind::Error);
        QCOMPARE(boxes.Boxes()[0].text,
                 std::string("Path specified does not exist or points to an nonexistant "
                             "file.\r\nPlease make sure you enter a valid path.  "));
        QCOMPARE(ResultsText(page), QString());
        QVERIFY(!page.CheckButton()->isEnabled());

        QTest::mouseClick(page.FirstModeButton(), Qt::LeftButton);
        QVERIFY(page.CheckButton()->isEnabled());
    }

    void fileInsteadOfFolderMeasuresTheFileAfterTheNotice() {
        ScriptedBoxes boxes;
        TestFolder folder;
        const QString name = QStringLiteral("a-forty-character-file-name-for-the-test");
        QCOMPARE(name.size(), 40);
        const QString file = folder.WriteFile(name);
        auto shown = ShowMainSheet();
        CFileNameCheck& page = shown.sheet->FileNamesPage();
        TypePath(page, file);
        QTest::mouseClick(page.CheckButton(), Qt::LeftButton);
        QCOMPARE(boxes.Boxes().size(), size_t(1));
        QCOMPARE(boxes.Boxes()[0].kind, NoticeKind::Information);
        QCOMPARE(boxes.Boxes()[0].text,
                 std::string("Path specified does not point to a folder, will check only "
                             "file specified by current path."));
        QCOMPARE(ResultsText(page), QStringLiteral("The file '%1' has 40 characters in its name.").arg(name));
        QCOMPARE(CounterTexts(page), (QStringList{QStringLiteral("1"), QStringLiteral("1")}));
    }
};

VELTRANE_GUI_TEST_MAIN(FileNamesPageTest)
#include "FileNamesPageTest.moc"
