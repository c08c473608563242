// The window for keyboard users and the desktop: Enter, Tab, Escape, drops, the PATH argument,
// activation after boxes, opening what a report names.
#include <QDesktopServices>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBlock>
#include <QUrl>

#include "app/MainSheet.h"
#include "app/StartArguments.h"
#include "pages/GuiTestSupport.h"

using namespace veltrane;
using namespace veltrane::test;

namespace {

CPageFrame& PageAt(CMainSheet& sheet, int index) {
    return *static_cast<CPageFrame*>(sheet.GetPage(index));
}

// The sheet shown and active, so that focus and activation are real.
ShownSheet ShowActiveSheet() {
    ShownSheet shown = ShowMainSheet();
    shown.sheet->activateWindow();
    if (!QTest::qWaitForWindowActive(shown.sheet.get())) {
        qWarning("the main sheet did not become active");
    }
    return shown;
}

}  // namespace

// Receives the URLs the program asks the desktop to open.
class UrlCatcher : public QObject {
    Q_OBJECT

public:
    QList<QUrl> m_opened;

public slots:
    void Open(const QUrl& url) { m_opened << url; }
};

class KeyboardAndDesktopTest : public QObject {
    Q_OBJECT

private slots:
    void init() { ClearSettings(); }

    void everyTab_data() {
        QTest::addColumn<int>("tab");
        const char* names[] = {"File Names", "Version Number", "Check Paths", "List Maker", "Package Check"};
        for (int i = 0; i < 5; ++i) {
            QTest::newRow(names[i]) << i;
        }
    }

    // Enter after every action button had the focus; Tab through the page, the tab bar, Quit and
    // round again; Shift+Tab back; Escape anywhere leaves the window open.
    void everyTab() {
        QFETCH(int, tab);
        ScriptedBoxes boxes;
        TestFolder folder;
        auto shown = ShowActiveSheet();
        CMainSheet& sheet = *shown.sheet;
        for (int other = 0; other < sheet.GetPageCount(); ++other) {
            sheet.TabWidget()->setCurrentIndex(other);
            TypePath(PageAt(sheet, other), folder.Root());
            PageAt(sheet, other).ActionButton()->setFocus();
            PageAt(sheet, other).BrowseButton()->setFocus();
        }
        sheet.TabWidget()->setCurrentIndex(tab == 0 ? 1 : 0);
        sheet.TabWidget()->setCurrentIndex(tab);
        CPageFrame& page = PageAt(sheet, tab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(page.PathBox()));

        QSignalSpy pressed(page.ActionButton(), &QPushButton::clicked);
        QTest::keyClick(page.PathBox(), Qt::Key_Return);
        QCOMPARE(pressed.count(), 1);
        QVERIFY(sheet.isVisible());
        QVERIFY(QTest::qWaitForWindowActive(&sheet));  // back from the progress window

        // The run may have disabled buttons; the cycle is what is enabled now.
        QList<QWidget*> expected;
        for (QWidget* widget : page.FocusOrder()) {
            // The mode buttons are one Tab stop, the checked one; the arrows move within them.
            const auto* mode = qobject_cast<QRadioButton*>(widget);
            if (widget->isEnabled() && (mode == nullptr || mode->isChecked())) {
                expected << widget;
            }
        }
        expected << sheet.TabWidget()->tabBar() << sheet.QuitButton() << page.PathBox();
        page.PathBox()->setFocus();
        QList<QWidget*> visited;
        for (qsizetype i = 0; i < expected.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget();
        }
        QCOMPARE(visited, expected.mid(1) << expected.at(1));
        page.PathBox()->setFocus();
        QTest::keyClick(page.PathBox(), Qt::Key_Tab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(sheet.QuitButton()));

        // Ctrl+Tab from Quit, outside the tabs, goes to the next tab and into its path box.
        QTest::keyClick(sheet.QuitButton(), Qt::Key_Tab, Qt::ControlModifier);
        const int nextTab = (tab + 1) % sheet.GetPageCount();
        QCOMPARE(sheet.GetActiveIndex(), nextTab);
        QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(PageAt(sheet, nextTab).PathBox()));

        QSignalSpy finished(&sheet, &QDialog::finished);
        for (QWidget* widget : {static_cast<QWidget*>(page.PathBox()), static_cast<QWidget*>(&sheet)}) {
            QTest::keyClick(widget, Qt::Key_Escape);
        }
        QCOMPARE(finished.count(), 0);
        QVERIFY(sheet.isVisible());
    }

    // A dropped folder selects a page's folder mode, a file its file mode ("This folder only" on
    // File Names, which takes the file's folder), as a click would (Check Paths keeps the mode).
    void dropGoesToThePathBoxAsTypedAndSelectsTheMode() {
        ScriptedBoxes boxes;
        TestFolder folder;
        const QString file = folder.WriteFile(QStringLiteral("sub/figure.cr2"), "{\n}\n");
        const QString sub = folder.Path(QStringLiteral("sub"));
        auto shown = ShowActiveSheet();
        CMainSheet& sheet = *shown.sheet;
        struct Drop {
            int tab;
            bool onTheWindow;  // on Quit, outside the page, rather than on the path box
            QString dropped;
            QString expected;
            int mode;  // the mode button checked after the drop (1 or 2); 0: the page has none
        };
        const Drop drops[] = {
            {0, true, sub, sub, 2}, {0, false, file, sub, 1}, {1, false, sub, sub, 2},
            {2, true, sub, sub, 2}, {2, true, file, file, 1}, {3, true, file, sub, 0},
        };
        for (const Drop& drop : drops) {
            sheet.TabWidget()->setCurrentIndex(drop.tab);
            CPageFrame& page = PageAt(sheet, drop.tab);
            QMimeData data;
            data.setUrls({QUrl::fromLocalFile(drop.dropped)});
            // Outside a real drag the application does not deliver drop events: hand them over
            // as the window would, to the sheet or through the page's filter of its boxes.
            QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
            if (drop.onTheWindow) {
                static_cast<QObject&>(sheet).event(&event);
            } else {
                QVERIFY(static_cast<QObject&>(page).eventFilter(page.PathBox(), &event));
            }
            QVERIFY(event.isAccepted());
            QCOMPARE(page.PathBox()->text(), drop.expected);
            QCOMPARE(page.PagePath(), drop.expected);
            QVERIFY(page.ActionButton()->isEnabled());
            if (drop.mode != 0) {
                QCOMPARE(static_cast<CCheckerPage&>(page).SecondModeButton()->isChecked(), drop.mode == 2);
            }
            QCOMPARE(sheet.CheckPathsPage().IsFileOnlyMode(), !(drop.tab == 2 && drop.mode == 2));
        }
    }

    void startArguments_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("version");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("error");
        const QString absolute = QDir::toNativeSeparators(QDir::tempPath());
        QTest::newRow("none") << QStringList{} << false << QString() << false;
        QTest::newRow("version") << QStringList{QStringLiteral("--version")} << true << QString() << false;
        QTest::newRow("first path") << QStringList{absolute, QStringLiteral("/x")} << false << absolute
                                    << false;
        QTest::newRow("relative") << QStringList{QStringLiteral("rel")} << false
                                  << QDir::toNativeSeparators(
                                         QDir::current().absoluteFilePath(QStringLiteral("rel")))
                                  << false;
        QTest::newRow("dash path") << QStringList{QStringLiteral("--"), QStringLiteral("-odd")} << false
                                   << QDir::toNativeSeparators(
                                          QDir::current().absoluteFilePath(QStringLiteral("-odd")))
                                   << false;
        QTest::newRow("unknown") << QStringList{QStringLiteral("--frobnicate")} << false << QString() << true;
    }

    void startArguments() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, version);
        QFETCH(QString, path);
        QFETCH(bool, error);
        const StartArguments start = ParseStartArguments(arguments);
        QCOMPARE(start.showVersion, version);
        QCOMPARE(start.path, path);
        QCOMPARE(!start.error.isEmpty(), error);
    }

    void startPathShowsOnTheFirstPageAndIsStoredOnlyAtATabChange() {
        ScriptedBoxes boxes;
        WriteStoredLastPath(QStringLiteral("remembered"));
        auto sheet = std::make_unique<CMainSheet>();
        sheet->SetStartPath(QStringLiteral("/from/the/command/line"));
        sheet->show();
        QVERIFY(QTest::qWaitForWindowExposed(sheet.get()));
        QCOMPARE(sheet->FileNamesPage().PathBox()->text(), QStringLiteral("/from/the/command/line"));
        QCOMPARE(StoredLastPath(), std::optional<QString>(QStringLiteral("remembered")));
        sheet->TabWidget()->setCurrentIndex(3);
        QCOMPARE(StoredLastPath(), std::optional<QString>(QStringLiteral("/from/the/command/line")));
    }

    // A folder given as PATH selects "Entire directory", as a drop does.
    void startFolderSelectsTheFolderMode() {
        ScriptedBoxes boxes;
        TestFolder folder;
        CMainSheet sheet;
        sheet.SetStartPath(folder.Root());
        sheet.show();
        QVERIFY(QTest::qWaitForWindowExposed(&sheet));
        QCOMPARE(sheet.FileNamesPage().PathBox()->text(), folder.Root());
        QVERIFY(sheet.FileNamesPage().SecondModeButton()->isChecked());
    }

    void boxesDuringARunHandActivationBack() {
        ScriptedBoxes boxes;
        TestFolder folder;
        folder.WriteFile(QStringLiteral("long.cr2"), QByteArray(3000, 'x') + "\n");
        auto shown = ShowActiveSheet();
        CMainSheet& sheet = *shown.sheet;
        sheet.TabWidget()->setCurrentIndex(2);
        CPathsCheck& page = sheet.CheckPathsPage();
        TypePath(page, folder.Path(QStringLiteral("long.cr2")));
        // The box takes the activation with it, as a window manager may leave it.
        QWidget elsewhere;
        boxes.m_onBox = [&](const Notice&) {
            elsewhere.show();
            elsewhere.activateWindow();
            (void)QTest::qWaitForWindowActive(&elsewhere);
        };
        QTest::keyClick(page.PathBox(), Qt::Key_Return);
        QCOMPARE(boxes.Boxes().size(), size_t(1));
        QVERIFY(QTest::qWaitForWindowActive(&sheet));
    }

    void doubleClickOnAReportedPathShowsItsFolder() {
        ScriptedBoxes boxes;
        TestFolder folder;
        const QString bad = folder.WriteFile(QStringLiteral("props/bad.pp2"), "\ttextureMap \"C:\\a.jpg\"\n");
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "Open");
        auto shown = ShowActiveSheet();
        CMainSheet& sheet = *shown.sheet;
        sheet.TabWidget()->setCurrentIndex(2);
        CPathsCheck& page = sheet.CheckPathsPage();
        TypePath(page, folder.Root());
        QTest::mouseClick(page.SecondModeButton(), Qt::LeftButton);
        QTest::mouseClick(page.CheckButton(), Qt::LeftButton);
        QPlainTextEdit* results = page.ResultsBox();
        const QTextBlock line = results->document()->findBlockByNumber(1);
        QCOMPARE(line.text(), bad);
        const QPoint at = results->cursorRect(QTextCursor(line)).center() + QPoint(4, 0);
        QTest::mouseDClick(results->viewport(), Qt::LeftButton, Qt::NoModifier, at);
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(catcher.m_opened, QList<QUrl>{QUrl::fromLocalFile(folder.Path(QStringLiteral("props")))});
        QVERIFY(!results->isReadOnly());

        // Finding lines name their file before ", line "; other lines name nothing.
        QCOMPARE(CPageFrame::PathInReportLine(bad + QStringLiteral(", line 3: :Runtime:x.jpg")), bad);
        QCOMPARE(
            CPageFrame::PathInReportLine(QStringLiteral("These files contained absolute paths in them:")),
            QString());
    }
};

VELTRANE_GUI_TEST_MAIN(KeyboardAndDesktopTest)
#include "KeyboardAndDesktopTest.moc"
