// The Version Number page: the question, both answers, and the folder-in-file-mode box.
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

#include "app/MainSheet.h"
#include "pages/GuiTestSupport.h"

using namespace veltrane;
using namespace veltrane::test;

class VersionNumberPageTest : public QObject {
    Q_OBJECT

private slots:
    void init() { ClearSettings(); }

    void questionAnsweredCancelThenOk() {
        ScriptedBoxes boxes;
        TestFolder folder;
        const QString newer =
            folder.WriteFile(QStringLiteral("x.cr2"), "{\nversion\n\t{\n\tnumber 5\n\t}\n}\n");
        folder.WriteFile(QStringLiteral("y.pz2"), "{\nversion\n\t{\n\tnumber 4.0\n\t}\n}\n");
        auto shown = ShowMainSheet();
        shown.sheet->TabWidget()->setCurrentIndex(1);
        CVersionCheck& page = shown.sheet->VersionNumberPage();
        TypePath(page, folder.Root());
        QTest::mouseClick(page.SecondModeButton(), Qt::LeftButton);

        // The question comes with the counters already shown.
        QStringList countersAtQuestion;
        boxes.m_onBox = [&](const Notice&) { countersAtQuestion = CounterTexts(page); };
        QTest::mouseClick(page.CheckButton(), Qt::LeftButton);  // answered Cancel
        QCOMPARE(boxes.Boxes().size(), size_t(1));
        const Notice& question = boxes.Boxes()[0];
        QCOMPARE(question.title, std::string("Files to Fix"));
        QCOMPARE(question.text,
                 std::string("There are one or more files to fix.\nYou won't be able to cancel "
                             "while the files are being fixed...\n\nContinue?"));
        QCOMPARE(question.buttons, NoticeButtons::OkCancel);
        QCOMPARE(question.kind, NoticeKind::None);
        QCOMPARE(countersAtQuestion, (QStringList{QStringLiteral("2"), QStringLiteral("1")}));
        QCOMPARE(ResultsText(page),
                 QStringLiteral("These Files contain a version number higher than 4.0:\n%1\n").arg(newer));
        QCOMPARE(CounterTexts(page), (QStringList{QStringLiteral("2"), QStringLiteral("1")}));
        QVERIFY(!QFile::exists(folder.Path(QStringLiteral("x.old"))));

        boxes.Clear();
        boxes.QueueAnswer(NoticeAnswer::Ok);
        QTest::mouseClick(page.CheckButton(), Qt::LeftButton);
        QCOMPARE(boxes.Boxes().size(), size_t(1));
        QCOMPARE(ResultsText(page), QStringLiteral("These Files have been fixed:\nx.cr2\n"));
        QCOMPARE(CounterTexts(page), (QStringList{QStringLiteral("2"), QStringLiteral("1")}));
        QCOMPARE(TestFolder::ReadFile(newer),
                 QByteArray("{\r\nversion\r\n\t{\r\n\tnumber 4.0\r\n\t}\r\n}\r\n"));
        QVERIFY(QFile::exists(folder.Path(QStringLiteral("x.old"))));
    }

    void fixThatStopsAtItsFirstFileSaysNoFileWasFixed() {
        ScriptedBoxes boxes;
        TestFolder folder;
        const QString newer =
            folder.WriteFile(QStringLiteral("x.cr2"), "{\nversion\n\t{\n\tnumber 5\n\t}\n}\n");
        folder.WriteFile(QStringLiteral("x.old"), "an earlier backup\n");  // the fix will not replace it
        auto shown = ShowMainSheet();
        shown.sheet->TabWidget()->setCurrentIndex(1);
        CVersionCheck& page = shown.sheet->VersionNumberPage();
        TypePath(page, newer);
        boxes.QueueAnswer(NoticeAnswer::Ok);
        QTest::mouseClick(page.CheckButton(), Qt::LeftButton);
        QCOMPARE(boxes.Boxes().size(), size_t(2));  // the question, then the failure
        QCOMPARE(ResultsText(page), QStringLiteral("No file was fixed.\n"));
    }

    void folderInFileModeShowsTheErrorAndKeepsTheResults() {
        ScriptedBoxes boxes;
        TestFolder folder;
        const QString file = folder.WriteFile(QStringLiteral("plain.cr2"), "{\n}\n");
        auto shown = ShowMainSheet();
        shown.sheet->TabWidget()->setCurrentIndex(1);
        CVersionCheck& page = shown.sheet->VersionNumberPage();
        TypePath(page, file);
        QTest::mouseClick(page.CheckButton(), Qt::LeftButton);
        QCOMPARE(ResultsText(page), QStringLiteral("No Files To Fix!"));
        QCOMPARE(CounterTexts(page), (QStringList{QStringLiteral("1"), QStringLiteral("0")}));

        TypePath(page, folder.Root());
        QTest::mouseClick(page.CheckButton(), Qt::LeftButton);
        QCOMPARE(boxes.Boxes().size(), size_t(1));
        QCOMPARE(boxes.Boxes()[0].title, std::string("ERROR"));
        QCOMPARE(boxes.Boxes()[0].text, std::string("Path specified points to a folder.  "));
        QCOMPARE(boxes.Boxes()[0].kind, NoticeKind::Error);
        QCOMPARE(boxes.Owners()[0], static_cast<QWidget*>(&page));
        QCOMPARE(ResultsText(page), QString());
        QVERIFY(page.CheckButton()->isEnabled());
    }
};

VELTRANE_GUI_TEST_MAIN(VersionNumberPageTest)
#include "VersionNumberPageTest.moc"
