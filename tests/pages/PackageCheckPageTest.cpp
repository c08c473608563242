// The Package Check page: a run on the sample package, and the remembered folder to also look in.
#include <QDesktopServices>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QUrl>

#include "app/MainSheet.h"
#include "pages/GuiTestSupport.h"

using namespace veltrane;
using namespace veltrane::test;

class ReportUrlCatcher : public QObject {
    Q_OBJECT

public:
    QList<QUrl> m_opened;

public slots:
    void Open(const QUrl& url) { m_opened << url; }
};

class PackageCheckPageTest : public QObject {
    Q_OBJECT

    // After a run: the save dialog suggests <package>-report.html beside the package; the page is
    // written and, answered Yes, opened in the browser.
    static void SaveReportWritesThePageAndOffersToOpenIt(CPackageCheck& page, ScriptedBoxes& boxes,
                                                         TestFolder& folder) {
        QVERIFY(page.SaveReportButton()->isEnabled());
        auto dialogs = std::make_shared<ChooserScript>();
        UseScriptedDialogs(page, dialogs);
        const QString target = folder.Path(QStringLiteral("report.html"));
        dialogs->answers.push_back(target);
        boxes.QueueAnswer(NoticeAnswer::Yes);
        ReportUrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &catcher, "Open");
        QTest::mouseClick(page.SaveReportButton(), Qt::LeftButton);
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(dialogs->calls.back().filters, QStringList{QStringLiteral("HTML pages (*.html)")});
        QVERIFY(dialogs->calls.back().initial.endsWith(QStringLiteral("SamplePackage-report.html")));
        const QByteArray html = TestFolder::ReadFile(target);
        QVERIFY(html.startsWith("<!DOCTYPE html>") && html.contains("brassbot.obj"));
        QCOMPARE(boxes.Boxes().size(), size_t(1));
        QCOMPARE(boxes.Boxes()[0].kind, NoticeKind::Question);
        QCOMPARE(catcher.m_opened, QList<QUrl>{QUrl::fromLocalFile(target)});
    }

private slots:
    void init() { ClearSettings(); }

    void samplePackageShowsReportAndCountersAndTheFolderToLookInIsRemembered() {
        ScriptedBoxes boxes;
        TestFolder runtime;
        const QString sample = QStringLiteral(VELTRANE_EXAMPLES_DIR "/SamplePackage");
        {
            auto shown = ShowMainSheet();
            shown.sheet->TabWidget()->setCurrentIndex(4);
            CPackageCheck& page = shown.sheet->PackageCheckPage();
            QVERIFY(!page.CheckButton()->isEnabled());
            TypePath(page, sample);
            page.RuntimeBox()->setFocus();
            QTest::keyClicks(page.RuntimeBox(), runtime.Root());
            QTest::mouseClick(page.CheckButton(), Qt::LeftButton);

            QVERIFY2(boxes.Boxes().empty(), qPrintable(boxes.Texts().join(QLatin1Char('\n'))));
            const QString report = ResultsText(page);
            for (const char* part : {"brassbot.obj", "Stool.jpg", "Keg.ppz", "brass.jpg"}) {
                QVERIFY2(report.contains(QLatin1String(part)), qPrintable(report));
            }
            QVERIFY(!report.contains(QLatin1Char('\r')));
            const QStringList counters = CounterTexts(page);
            QVERIFY(counters[0].toInt() > 0);
            QVERIFY(counters[1].toInt() > 0);

            SaveReportWritesThePageAndOffersToOpenIt(page, boxes, runtime);

            // A folder to look in that is not there stops at its box and keeps the result.
            page.RuntimeBox()->setText(runtime.Path(QStringLiteral("gone")));
            QTest::mouseClick(page.CheckButton(), Qt::LeftButton);
            QCOMPARE(boxes.Boxes().size(), size_t(2));
            QCOMPARE(boxes.Boxes()[1].title, std::string("ERROR"));
            QCOMPARE(CounterTexts(page), counters);

            page.RuntimeBox()->setText(runtime.Root());
            shown.sheet->TabWidget()->setCurrentIndex(0);  // leaving the tab stores both
        }
        auto shown = ShowMainSheet();
        shown.sheet->TabWidget()->setCurrentIndex(4);
        QCOMPARE(shown.sheet->PackageCheckPage().RuntimeBox()->text(), runtime.Root());
        QCOMPARE(shown.sheet->PackageCheckPage().PathBox()->text(), sample);
    }
    // "Fix References..." after a check with something to fix: Cancel keeps the offer and the files;
    // OK rewrites them and the report says what was fixed.
    void fixReferencesAsksThenWrites() {
        ScriptedBoxes boxes;
        TestFolder package;
        package.WriteFile(QStringLiteral("Runtime/textures/skin.jpg"), "t");
        const QString pose =
            package.WriteFile(QStringLiteral("Runtime/libraries/a.pz2"), "textureMap :textures:skin.jpg\r\n");
        auto shown = ShowMainSheet();
        shown.sheet->TabWidget()->setCurrentIndex(4);
        CPackageCheck& page = shown.sheet->PackageCheckPage();
        TypePath(page, package.Root());
        QVERIFY(!page.FixButton()->isEnabled());
        QTest::mouseClick(page.CheckButton(), Qt::LeftButton);
        QVERIFY(page.FixButton()->isEnabled());

        QTest::mouseClick(page.FixButton(), Qt::LeftButton);  // answered Cancel
        QCOMPARE(boxes.Boxes().size(), size_t(1));
        QVERIFY(boxes.Boxes()[0].text.find("-> :Runtime:textures:skin.jpg") != std::string::npos);
        QVERIFY(page.FixButton()->isEnabled());
        QCOMPARE(TestFolder::ReadFile(pose), QByteArray("textureMap :textures:skin.jpg\r\n"));

        boxes.QueueAnswer(NoticeAnswer::Ok);
        QTest::mouseClick(page.FixButton(), Qt::LeftButton);
        QCOMPARE(TestFolder::ReadFile(pose), QByteArray("textureMap :Runtime:textures:skin.jpg\r\n"));
        QVERIFY(!page.FixButton()->isEnabled());
        QVERIFY2(ResultsText(page).contains(QStringLiteral("These references have been fixed:")),
                 qPrintable(ResultsText(page)));
    }
};

VELTRANE_GUI_TEST_MAIN(PackageCheckPageTest)
#include "PackageCheckPageTest.moc"
