// The List Maker page: scan, save and the button states around them.
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

#include "app/MainSheet.h"
#include "pages/GuiTestSupport.h"

using namespace veltrane;
using namespace veltrane::test;

class ListMakerPageTest : public QObject {
    Q_OBJECT

private slots:
    void init() { ClearSettings(); }

    void scanShowsTheListAndSaveWritesItByteForByte() {
        ScriptedBoxes boxes;
        TestFolder folder;
        folder.WriteFile(QStringLiteral("Top/a.txt"));
        folder.WriteFile(QStringLiteral("Top/B.txt"));
        folder.WriteFile(QStringLiteral("Top/sub/100%.txt"));
        const QString top = folder.Path(QStringLiteral("Top"));
        const QChar sep = QDir::separator();

        auto shown = ShowMainSheet();
        shown.sheet->TabWidget()->setCurrentIndex(3);
        CFileListMaker& page = shown.sheet->ListMakerPage();
        QVERIFY(page.ResultsBox()->isReadOnly());
        QCOMPARE(page.ResultsBox()->palette().color(QPalette::Base), QColor(Qt::white));
        QCOMPARE(page.ResultsBox()->palette().color(QPalette::Text), QColor(Qt::black));

        TypePath(page, top);
        QTest::mouseClick(page.ScanButton(), Qt::LeftButton);
        const QString list =
            QStringLiteral("..%1Top%1sub%1\n   100%.txt\n\n..%1Top%1\n   B.txt\n   a.txt").arg(sep);
        QCOMPARE(ResultsText(page), list);
        QCOMPARE(CounterTexts(page), (QStringList{QStringLiteral("2"), QStringLiteral("3")}));
        QVERIFY(!page.ScanButton()->isEnabled());
        QVERIFY(page.SaveButton()->isEnabled());
        QVERIFY(boxes.Boxes().empty());

        // Cancelled: nothing changes.
        QTest::mouseClick(page.SaveButton(), Qt::LeftButton);
        QCOMPARE(shown.dialogs->calls.back().kind, QStringLiteral("save"));
        QCOMPARE(shown.dialogs->calls.back().filters, QStringList{QStringLiteral("Text files (*.txt)")});
        QCOMPARE(shown.dialogs->calls.back().defaultSuffix, QStringLiteral("txt"));
        QCOMPARE(shown.dialogs->calls.back().initial, top);
        QVERIFY(page.SaveButton()->isEnabled());

        // A target that cannot be written: the error box, and Save List stays usable.
        const QString blocked = folder.MakeDir(QStringLiteral("blocked.txt"));
        shown.dialogs->answers.push_back(blocked);
        QTest::mouseClick(page.SaveButton(), Qt::LeftButton);
        QCOMPARE(boxes.Boxes().size(), size_t(1));
        QCOMPARE(boxes.Boxes()[0].kind, NoticeKind::Error);
        QCOMPARE(boxes.Boxes()[0].title, std::string("Veltrane"));
        QVERIFY(QString::fromStdString(boxes.Boxes()[0].text).contains(blocked));
        QVERIFY(page.SaveButton()->isEnabled());

        const QString target = folder.Path(QStringLiteral("list.txt"));
        shown.dialogs->answers.push_back(target);
        QTest::mouseClick(page.SaveButton(), Qt::LeftButton);
        QByteArray expected = list.toUtf8();
        expected.replace("\n", "\r\n");
        QCOMPARE(TestFolder::ReadFile(target), expected);
        QVERIFY(!page.SaveButton()->isEnabled());
        QCOMPARE(boxes.Boxes().size(), size_t(1));

        // Editing the path empties the list and keeps Save List off.
        QTest::keyClick(page.PathBox(), Qt::Key_Backspace);
        QCOMPARE(ResultsText(page), QString());
        QCOMPARE(CounterTexts(page), (QStringList{QStringLiteral("0"), QStringLiteral("0")}));
        QVERIFY(page.ScanButton()->isEnabled());
        QVERIFY(!page.SaveButton()->isEnabled());
    }

    void emptyFolderSaysSoAndKeepsSaveOff() {
        ScriptedBoxes boxes;
        TestFolder folder;
        folder.MakeDir(QStringLiteral("only/folders"));
        auto shown = ShowMainSheet();
        shown.sheet->TabWidget()->setCurrentIndex(3);
        CFileListMaker& page = shown.sheet->ListMakerPage();
        TypePath(page, folder.Root());
        QTest::mouseClick(page.ScanButton(), Qt::LeftButton);
        QCOMPARE(boxes.Boxes().size(), size_t(1));
        QCOMPARE(boxes.Boxes()[0].text, std::string("Selected folder was empty!"));
        QCOMPARE(boxes.Boxes()[0].kind, NoticeKind::None);
        QCOMPARE(boxes.Boxes()[0].title, std::string("Veltrane"));
        QCOMPARE(ResultsText(page), QString());
        QCOMPARE(CounterTexts(page), (QStringList{QStringLiteral("0"), QStringLiteral("0")}));
        QVERIFY(!page.SaveButton()->isEnabled());
        QVERIFY(!page.ScanButton()->isEnabled());
    }
};

VELTRANE_GUI_TEST_MAIN(ListMakerPageTest)
#include "ListMakerPageTest.moc"
