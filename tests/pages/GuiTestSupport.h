#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <QApplication>
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

#include "fs/run/RunContext.h"
#include "pages/FileChooser.h"
#include "pages/FolderChooser.h"

class QSettings;
class QWidget;

namespace veltrane {
class CMainSheet;
class CPageFrame;
}  // namespace veltrane

namespace veltrane::test {

// Prepares the environment of a GUI test program before Qt starts: the offscreen platform unless
// another is asked for, a private runtime folder (mode 0700), a private settings folder, so no test
// reads or writes the user's remembered path, and a function timeout so a stuck box fails fast.
void PrepareGuiTestEnvironment();

template <typename TestClass>
int RunGuiTest(int argc, char** argv) {
    PrepareGuiTestEnvironment();
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Veltrane"));
    TestClass test;
    return QTest::qExec(&test, argc, argv);
}

// The remembered path's store, as a test sees it: the settings file, or on Windows the registry key
// HKEY_CURRENT_USER\Software\Veltrane (the test's wine prefix: there is no private one).
QString SettingsFilePath();
std::unique_ptr<QSettings> OpenStore();
void ClearSettings();
void WriteStoredLastPath(const QString& text);
std::optional<QString> StoredLastPath();

// Records every message box instead of showing it and answers from a queue; without a queued
// answer OK-only boxes get Ok, OK/Cancel boxes Cancel and Yes/No boxes No. Restores the previous
// handler when it goes.
class ScriptedBoxes {
public:
    ScriptedBoxes();
    ~ScriptedBoxes();
    ScriptedBoxes(const ScriptedBoxes&) = delete;
    ScriptedBoxes& operator=(const ScriptedBoxes&) = delete;

    void QueueAnswer(NoticeAnswer answer) { m_answers.push_back(answer); }
    const std::vector<Notice>& Boxes() const { return m_boxes; }
    const std::vector<QWidget*>& Owners() const { return m_owners; }
    void Clear();
    // Texts of the boxes so far, for readable failure messages.
    QStringList Texts() const;

    // Called with each box before it is answered (to look at the window behind it).
    std::function<void(const Notice&)> m_onBox;

private:
    std::deque<NoticeAnswer> m_answers;
    std::vector<Notice> m_boxes;
    std::vector<QWidget*> m_owners;
};

// One call of a scripted dialog.
struct ChooserCall {
    QString kind;  // "folder", "open" or "save"
    QString title;
    QString initial;
    QStringList filters;
    QString defaultSuffix;
};

// Answers of the scripted dialogs and the calls they got; nothing queued means Cancel.
struct ChooserScript {
    std::deque<std::optional<QString>> answers;
    std::vector<ChooserCall> calls;

    std::optional<QString> Next();
};

class ScriptedFolderChooser final : public CFolderChooser {
public:
    explicit ScriptedFolderChooser(std::shared_ptr<ChooserScript> script) : m_script(std::move(script)) {}
    std::optional<QString> ChooseFolder(QWidget* owner, const QString& title,
                                        const QString& initial) override;

private:
    std::shared_ptr<ChooserScript> m_script;
};

class ScriptedFileChooser final : public CFileChooser {
public:
    explicit ScriptedFileChooser(std::shared_ptr<ChooserScript> script) : m_script(std::move(script)) {}
    std::optional<QString> OpenFile(QWidget* owner, const QString& title, const QString& initial,
                                    const QStringList& filters) override;
    std::optional<QString> SaveFile(QWidget* owner, const QString& initialFolder, const QString& filter,
                                    const QString& defaultSuffix) override;

private:
    std::shared_ptr<ChooserScript> m_script;
};

// Hands the same script to the folder and file dialogs of page.
void UseScriptedDialogs(CPageFrame& page, const std::shared_ptr<ChooserScript>& script);

// A main sheet shown on the screen, its pages' dialogs scripted.
struct ShownSheet {
    std::unique_ptr<CMainSheet> sheet;
    std::shared_ptr<ChooserScript> dialogs;
};
ShownSheet ShowMainSheet();

// A folder tree for one test, removed with the object.
class TestFolder {
public:
    TestFolder();
    bool IsValid() const { return m_dir.isValid(); }
    // The folder itself, native separators, no trailing separator.
    QString Root() const;
    // Root joined with rel ("a/b.txt"), native separators.
    QString Path(const QString& rel) const;
    QString WriteFile(const QString& rel, const QByteArray& bytes = {}) const;
    QString MakeDir(const QString& rel) const;
    static QByteArray ReadFile(const QString& path);

private:
    QTemporaryDir m_dir;
};

// The results box text of page.
QString ResultsText(const CPageFrame& page);
// The two counter boxes of page, as shown.
QStringList CounterTexts(const CPageFrame& page);

// Types text into the page's path box as a user would, replacing what is there.
void TypePath(CPageFrame& page, const QString& text);

}  // namespace veltrane::test

#ifdef VELTRANE_GUI_TESTS_IN_ONE_PROGRAM
namespace veltrane::test {
using GuiTestRunner = int (*)(int argc, char** argv);
// Files a test class under its name for the program that holds them all (GuiTestsMain.cpp).
bool RegisterGuiTest(const char* name, GuiTestRunner run);
}  // namespace veltrane::test

// Every test class in one program (where each link and each start is slow): the first argument
// names the class to run.
#define VELTRANE_GUI_TEST_MAIN(TestClass)                      \
    [[maybe_unused]] static const bool registered##TestClass = \
        veltrane::test::RegisterGuiTest(#TestClass, &veltrane::test::RunGuiTest<TestClass>);
#else
#define VELTRANE_GUI_TEST_MAIN(TestClass)                         \
    int main(int argc, char** argv) {                             \
        return veltrane::test::RunGuiTest<TestClass>(argc, argv); \
    }
#endif
