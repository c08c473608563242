// The main window: tabs, the one "Quit" button, the About entry and box, closing.
#include <QAction>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include "app/AboutDlg.h"
#include "app/MainSheet.h"
#include "pages/GuiTestSupport.h"

using namespace veltrane;
using namespace veltrane::test;

class MainSheetTest : public QObject {
    Q_OBJECT

private slots:
    void init() { ClearSettings(); }

    void showsFiveTabsInOrderWithOnlyQuit() {
        ScriptedBoxes boxes;
        auto shown = ShowMainSheet();
        CMainSheet& sheet = *shown.sheet;
        QCOMPARE(sheet.windowTitle(), QStringLiteral("Veltrane"));
        QVERIFY(!sheet.windowIcon().isNull());

        QTabWidget* tabs = sheet.TabWidget();
        const QStringList expected{QStringLiteral("  File Names  "), QStringLiteral("  Version Number  "),
                                   QStringLiteral("  Check Paths  "), QStringLiteral("  List Maker  "),
                                   QStringLiteral("  Package Check  ")};
        QStringList captions;
        for (int i = 0; i < tabs->count(); ++i) {
            captions << tabs->tabText(i);
        }
        QCOMPARE(captions, expected);
        QCOMPARE(tabs->currentIndex(), 0);
        QCOMPARE(tabs->widget(0), static_cast<QWidget*>(&sheet.FileNamesPage()));
        QCOMPARE(tabs->widget(3), static_cast<QWidget*>(&sheet.ListMakerPage()));
        QCOMPARE(tabs->widget(4), static_cast<QWidget*>(&sheet.PackageCheckPage()));

        // Every caption fits: no scrolling tab bar hides one.
        for (int i = 0; i < tabs->count(); ++i) {
            QVERIFY(tabs->tabBar()->tabRect(i).right() <= tabs->tabBar()->width());
        }

        QStringList visibleButtons;
        for (QPushButton* button : sheet.findChildren<QPushButton*>()) {
            if (button->isVisible() && !tabs->isAncestorOf(button)) {
                visibleButtons << button->text();
            }
        }
        QCOMPARE(visibleButtons, QStringList{QStringLiteral("Quit")});
        QVERIFY(!sheet.QuitButton()->isDefault());
        QVERIFY(boxes.Boxes().empty());
    }

    // At first start a Package Check line on the installed sample package wraps at its spaces only,
    // never inside its longest path; on a screen too narrow for that the sheet takes its width.
    void opensWideEnoughForAPathOfTheSamplePackage() {
        ScriptedBoxes boxes;
        auto shown = ShowMainSheet();
        CMainSheet& sheet = *shown.sheet;
        sheet.TabWidget()->setCurrentIndex(4);
        const QPlainTextEdit* results = sheet.PackageCheckPage().ResultsBox();
        const QString path = QStringLiteral(
            "/usr/share/veltrane/examples/SamplePackage/Runtime/libraries/props/"
            "AFolderNameThatIsWayTooLongForMacs/Stool.pp2,");
        const int needed = QFontMetrics(results->font()).horizontalAdvance(path);
        if (sheet.width() < sheet.screen()->availableGeometry().width()) {
            QVERIFY2(results->viewport()->width() >= needed,
                     qPrintable(QStringLiteral("%1 < %2").arg(results->viewport()->width()).arg(needed)));
        }
    }

    void aboutEntryShowsTheAboutBoxAndReturnsToTheSameTab() {
        ScriptedBoxes boxes;
        auto shown = ShowMainSheet();
        CMainSheet& sheet = *shown.sheet;
        sheet.TabWidget()->setCurrentIndex(2);

        QCOMPARE(sheet.AboutAction()->text(), QStringLiteral("&About Veltrane..."));
#ifndef Q_OS_WIN
        // The entry ends the window's menu, after a separator. On Windows it is in the system menu,
        // which the offscreen platform has not (scripts/windows-smoke.sh photographs it).
        const QList<QAction*> actions = sheet.actions();
        QVERIFY(actions.size() >= 2);
        QVERIFY(actions.at(actions.size() - 2)->isSeparator());
        QCOMPARE(actions.last(), sheet.AboutAction());
        QCOMPARE(sheet.contextMenuPolicy(), Qt::ActionsContextMenu);
#endif

        QString title;
        QString text;
        bool okIsDefault = false;
        QTimer::singleShot(0, [&] {
            auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
            QVERIFY(about != nullptr);
            title = about->windowTitle();
            text = about->findChild<QLabel*>(QStringLiteral("aboutText"))->text();
            auto* ok = about->findChild<QPushButton*>(QStringLiteral("okButton"));
            okIsDefault = ok->isDefault();
            QTest::mouseClick(ok, Qt::LeftButton);
        });
        sheet.AboutAction()->trigger();

        QCOMPARE(title, QStringLiteral("About Veltrane"));
        QCOMPARE(text, QStringLiteral("Veltrane Version 1.0"));
        QVERIFY(okIsDefault);
        QVERIFY(sheet.isVisible());
        QCOMPARE(sheet.TabWidget()->currentIndex(), 2);
    }

    void quitAndCloseBoxEndTheSheetAlike() {
        ScriptedBoxes boxes;
        for (const bool useCloseBox : {false, true}) {
            auto shown = ShowMainSheet();
            CMainSheet& sheet = *shown.sheet;
            QSignalSpy finished(&sheet, &QDialog::finished);
            if (useCloseBox) {
                QVERIFY(sheet.close());
            } else {
                QTest::mouseClick(sheet.QuitButton(), Qt::LeftButton);
            }
            QCOMPARE(finished.count(), 1);
            QCOMPARE(finished.at(0).at(0).toInt(), int(QDialog::Rejected));
            QVERIFY(!sheet.isVisible());
        }
    }
};

VELTRANE_GUI_TEST_MAIN(MainSheetTest)
#include "MainSheetTest.moc"
