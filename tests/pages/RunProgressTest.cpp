// A run as the user lives it: the "Processing....." window, the wait cursor, Escape.
#include <QCursor>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>

#include "app/MainSheet.h"
#include "base/ProgressWindow.h"
#include "pages/GuiTestSupport.h"

using namespace veltrane;
using namespace veltrane::test;

namespace {

// What the window and the page looked like at one moment of a run.
struct RunSnapshot {
    bool seen = false;
    bool visible = false;
    QString title;
    QString text;
    bool onTop = false;
    bool appModal = false;
    bool hasCloseButton = true;
    bool centred = false;
    bool waitCursor = false;
    bool closeRefused = false;
    int countedAtEscape = 0;
};

}  // namespace

class RunProgressTest : public QObject {
    Q_OBJECT

private slots:
    void init() { ClearSettings(); }

    void escapeDuringARunStopsItAndCleansUp() {
        ScriptedBoxes boxes;
        TestFolder folder;
        // Enough reading that the run lasts well past a few event intervals.
        QByteArray content;
        for (int line = 0; line < 1500; ++line) {
            content += "\tprm \"a line of a library file that the version check reads\"\n";
        }
        content += "version\n{\n\tnumber 4.0\n}\n";
        const int total = 400;
        for (int i = 0; i < total; ++i) {
            folder.WriteFile(QStringLiteral("lib%1/f%2.cr2").arg(i % 7).arg(i), content);
        }

        auto shown = ShowMainSheet();
        CMainSheet& sheet = *shown.sheet;
        sheet.TabWidget()->setCurrentIndex(1);
        CVersionCheck& page = sheet.VersionNumberPage();
        TypePath(page, folder.Root());
        QTest::mouseClick(page.SecondModeButton(), Qt::LeftButton);

        RunSnapshot snap;
        QTimer watcher;
        watcher.setInterval(1);
        connect(&watcher, &QTimer::timeout, this, [&] {
            auto* progress = qobject_cast<CProgressWindow*>(QApplication::activeModalWidget());
            if (progress == nullptr || snap.seen) {
                return;
            }
            // Wait until a few files were counted, so the Escape lands while files are read.
            const int counted = page.FirstCounterBox()->text().toInt();
            if (counted < 5) {
                return;
            }
            snap.seen = true;
            snap.visible = progress->isVisible();
            snap.title = progress->windowTitle();
            snap.text = progress->findChild<QLabel*>()->text();
            snap.onTop = progress->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            snap.appModal = progress->windowModality() == Qt::ApplicationModal;
            snap.hasCloseButton = progress->windowFlags().testFlag(Qt::WindowCloseButtonHint);
            snap.centred =
                (progress->frameGeometry().center() - sheet.frameGeometry().center()).manhattanLength() <= 4;
            snap.waitCursor = QGuiApplication::overrideCursor() != nullptr &&
                              QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
            snap.closeRefused = !progress->close() && progress->isVisible();
            snap.countedAtEscape = counted;
            QTest::keyClick(progress, Qt::Key_Escape);
        });
        watcher.start();
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(page.CheckButton(), Qt::LeftButton);
        watcher.stop();

        QVERIFY2(snap.seen,
                 qPrintable(QStringLiteral("the run ended after %1 ms before Escape could be pressed")
                                .arg(clock.elapsed())));
        QVERIFY(snap.visible);
        QCOMPARE(snap.title, QStringLiteral("Processing....."));
        QCOMPARE(snap.text, QStringLiteral("ESCAPE to cancel....."));
        QVERIFY(snap.onTop);
        QVERIFY(snap.appModal);
        QVERIFY(!snap.hasCloseButton);
        QVERIFY(snap.centred);
        QVERIFY(snap.waitCursor);
        QVERIFY(snap.closeRefused);
        qInfo("Escape after %d files, run stopped after %d of %d files, %lld ms", snap.countedAtEscape,
              page.FirstCounterBox()->text().toInt(), total, static_cast<long long>(clock.elapsed()));

        // Reading stopped soon after the Escape; what was read is reported as usual.
        const int checked = page.FirstCounterBox()->text().toInt();
        QVERIFY2(checked >= snap.countedAtEscape && checked < total, qPrintable(QString::number(checked)));
        QCOMPARE(page.SecondCounterBox()->text(), QStringLiteral("0"));
        QCOMPARE(ResultsText(page), QStringLiteral("No Files To Fix!"));
        QVERIFY(boxes.Boxes().empty());

        // Everything the run opened is gone.
        QCOMPARE(QApplication::activeModalWidget(), nullptr);
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
        for (QWidget* window : QApplication::topLevelWidgets()) {
            QVERIFY(qobject_cast<CProgressWindow*>(window) == nullptr || !window->isVisible());
        }
    }

    void boxRaisedDuringARunComesWithTheArrowAndTheRunGoesOn() {
        ScriptedBoxes boxes;
        TestFolder folder;
        // A line longer than the reader holds makes it warn in the middle of the run.
        folder.WriteFile(QStringLiteral("long.cr2"),
                         QByteArray(3000, 'x') + "\n\ttextureMap \"C:\\a.jpg\"\n");
        auto shown = ShowMainSheet();
        shown.sheet->TabWidget()->setCurrentIndex(2);
        CPathsCheck& page = shown.sheet->CheckPathsPage();
        TypePath(page, folder.Root());
        QTest::mouseClick(page.SecondModeButton(), Qt::LeftButton);

        bool arrowAtBox = false;
        bool progressOpenAtBox = false;
        boxes.m_onBox = [&](const Notice&) {
            arrowAtBox = QGuiApplication::overrideCursor() != nullptr &&
                         QGuiApplication::overrideCursor()->shape() == Qt::ArrowCursor;
            progressOpenAtBox = qobject_cast<CProgressWindow*>(QApplication::activeModalWidget()) != nullptr;
        };
        QTest::mouseClick(page.CheckButton(), Qt::LeftButton);
        QCOMPARE(boxes.Boxes().size(), size_t(1));
        QCOMPARE(boxes.Boxes()[0].title, std::string("Warning !"));
        QVERIFY(arrowAtBox);
        QVERIFY(progressOpenAtBox);
        QCOMPARE(CounterTexts(page), (QStringList{QStringLiteral("1"), QStringLiteral("1")}));
        QVERIFY(QGuiApplication::overrideCursor() == nullptr);
    }
};

VELTRANE_GUI_TEST_MAIN(RunProgressTest)
#include "RunProgressTest.moc"
