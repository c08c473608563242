// The remembered path: loaded on activation, stored when leaving a tab, kept across restarts.
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTabWidget>

#include "app/MainSheet.h"
#include "base/RegistryKey.h"
#include "pages/GuiTestSupport.h"

using namespace veltrane;
using namespace veltrane::test;

namespace {

// What a first run stores: the home folder here, "C:\Program Files\" on Windows.
QString HomeWithSeparator() {
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\Program Files\\");
#else
    return QDir::toNativeSeparators(QDir::homePath()) + QDir::separator();
#endif
}

}  // namespace

class RememberedPathTest : public QObject {
    Q_OBJECT

private slots:
    void init() { ClearSettings(); }

    void firstRunWritesTheDefaultWhichShowsOnTheNextRun() {
        ScriptedBoxes boxes;
        {
            auto shown = ShowMainSheet();
            CFileNameCheck& page = shown.sheet->FileNamesPage();
            QCOMPARE(page.PathBox()->text(), QString());
            QVERIFY(!page.CheckButton()->isEnabled());
            QCOMPARE(StoredLastPath(), std::optional<QString>(HomeWithSeparator()));
            shown.sheet->reject();  // Quit stores nothing
        }
        auto shown = ShowMainSheet();
        QCOMPARE(shown.sheet->FileNamesPage().PathBox()->text(), HomeWithSeparator());
        QVERIFY(shown.sheet->FileNamesPage().CheckButton()->isEnabled());
        QVERIFY2(boxes.Boxes().empty(), qPrintable(boxes.Texts().join(QLatin1Char('\n'))));
    }

    void leavingATabWithoutTypingStoresTheEmptyPath() {
        ScriptedBoxes boxes;
        auto shown = ShowMainSheet();
        shown.sheet->TabWidget()->setCurrentIndex(1);
        QCOMPARE(StoredLastPath(), std::optional<QString>(QString()));
        QCOMPARE(shown.sheet->VersionNumberPage().PathBox()->text(), QString());
        QVERIFY(!shown.sheet->VersionNumberPage().CheckButton()->isEnabled());
    }

    void typedPathFollowsToAnotherTabAndIntoTheNextRun() {
        ScriptedBoxes boxes;
        TestFolder folder;
        const QString typed = folder.Root();
        {
            auto shown = ShowMainSheet();
            TypePath(shown.sheet->FileNamesPage(), typed);
            shown.sheet->TabWidget()->setCurrentIndex(3);
            CFileListMaker& list = shown.sheet->ListMakerPage();
            QCOMPARE(list.PathBox()->text(), typed);
            QVERIFY(list.ScanButton()->isEnabled());
            QVERIFY(!list.SaveButton()->isEnabled());

            // Typed on the current page and then quit: not remembered.
            TypePath(list, typed + QStringLiteral("-not-kept"));
            QTest::mouseClick(shown.sheet->QuitButton(), Qt::LeftButton);
        }
        QCOMPARE(StoredLastPath(), std::optional<QString>(typed));
        auto shown = ShowMainSheet();
        QCOMPARE(shown.sheet->FileNamesPage().PathBox()->text(), typed);
    }

    void longPathsRoundTrip_data() {
        QTest::addColumn<int>("length");
        QTest::newRow("259 characters") << 259;
        QTest::newRow("1000 characters") << 1000;
    }

    void longPathsRoundTrip() {
        QFETCH(int, length);
        ScriptedBoxes boxes;
        QString path = QDir::separator() + QStringLiteral("é");
        while (path.size() < length) {
            path += QLatin1Char('a' + path.size() % 26);
        }
        QCOMPARE(path.size(), length);
        auto shown = ShowMainSheet();
        shown.sheet->FileNamesPage().PathBox()->setText(path);
        shown.sheet->TabWidget()->setCurrentIndex(2);
        QCOMPARE(shown.sheet->CheckPathsPage().PathBox()->text(), path);
        shown.sheet->TabWidget()->setCurrentIndex(3);
        QCOMPARE(shown.sheet->ListMakerPage().PathBox()->text(), path);
        QCOMPARE(StoredLastPath(), std::optional<QString>(path));
    }

    void unreadableValueLeavesThePagePathAsItWas() {
        ScriptedBoxes boxes;
        auto shown = ShowMainSheet();
        CFileNameCheck& page = shown.sheet->FileNamesPage();
        TypePath(page, QStringLiteral("typed"));

        // A value that is not a string, then a missing value.
        OpenStore()->setValue(CRegistryKey::LastPathValue(),
                              QStringList{QStringLiteral("a"), QStringLiteral("b")});
        page.Activate();
        QCOMPARE(page.PathBox()->text(), QStringLiteral("typed"));
        {
            const auto settings = OpenStore();
            settings->remove(CRegistryKey::LastPathValue());
            settings->setValue(QStringLiteral("Other"), 1);
        }
        page.Activate();
        QCOMPARE(page.PathBox()->text(), QStringLiteral("typed"));
        QVERIFY(boxes.Boxes().empty());
    }

    void storeThatCannotBeCreatedShowsTheErrorAndKeepsThePath() {
#ifdef Q_OS_WIN
        QSKIP("a registry key the user cannot create takes another account to make");
#endif
        ScriptedBoxes boxes;
        // A folder where the settings file belongs: it can be neither opened nor created.
        QVERIFY(QDir().mkpath(SettingsFilePath()));
        auto shown = ShowMainSheet();
        CFileNameCheck& page = shown.sheet->FileNamesPage();
        QCOMPARE(boxes.Boxes().size(), size_t(1));
        QCOMPARE(boxes.Boxes()[0].title, std::string("ERROR"));
        QCOMPARE(boxes.Boxes()[0].text, std::string("Unable to retrieve last path..."));
        QCOMPARE(boxes.Boxes()[0].kind, NoticeKind::Error);
        QCOMPARE(boxes.Owners()[0], static_cast<QWidget*>(&page));
        QCOMPARE(page.PathBox()->text(), QString());

        // Leaving the tab stores nothing and says nothing; the next page raises the box again.
        TypePath(page, QStringLiteral("typed"));
        shown.sheet->TabWidget()->setCurrentIndex(1);
        QCOMPARE(boxes.Boxes().size(), size_t(2));
        QCOMPARE(shown.sheet->VersionNumberPage().PathBox()->text(), QString());
        ClearSettings();
    }
};

VELTRANE_GUI_TEST_MAIN(RememberedPathTest)
#include "RememberedPathTest.moc"
