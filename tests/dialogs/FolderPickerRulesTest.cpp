// The folder picker's rules against an in-memory file system: the Windows grammar (drives,
// network paths) and completion, where the order of a folder's entries must be under control.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "dialogs/FolderPickerRules.h"
#include "tests/dialogs/FakeFolderPicker.h"

namespace veltrane {
namespace {

using test::FakeFileSystem;
using test::RecordingView;
using Kind = CFolderPickerFileSystem::Kind;

const std::string kCreate = "\nThis folder does not exist.\n\nDo you want to create it?";

// A Windows machine: C: fixed, E: removable, N: network, D: CD-ROM, F: a fixed drive that refuses
// new folders. The picker shows C:\Work\.
struct WindowsPicker {
    FakeFileSystem fs;
    RecordingView view;
    CFolderPickerRules rules{view, fs, PathStyle::Windows};

    WindowsPicker() {
        fs.m_drives = {{'C', DriveType::Fixed},
                       {'E', DriveType::Removable},
                       {'N', DriveType::Remote},
                       {'D', DriveType::CdRom},
                       {'F', DriveType::Fixed}};
        fs.m_readOnly = {'E', 'N', 'D', 'F'};
        for (const char* folder : {"C:\\", "C:\\Work", "C:\\Windows", "E:\\", "N:\\", "D:\\", "F:\\"}) {
            fs.m_entries[folder] = Kind::Folder;
        }
        fs.m_entries["C:\\Work\\a.txt"] = Kind::File;
        view.m_separator = '\\';
        view.m_shown = "C:\\Work\\";
        // The list goes to existing folders; "\" is the root and "C:" the folder shown on C:.
        view.m_navigate = [this](const std::string& text) -> std::optional<std::string> {
            if (text == "\\") {
                return view.m_shown.substr(0, 3);
            }
            if (text.size() == 2 && text[1] == ':') {
                return view.m_shown[0] == text[0] ? view.m_shown : text + "\\";
            }
            if (fs.Probe(text) == Kind::Folder) {
                return FakeFileSystem::Trim(text);
            }
            return std::nullopt;
        };
    }
};

struct SelectCase {
    const char* typed;
    std::vector<bool> answers;
    bool accepted;
    const char* result;              // folder shown afterwards
    std::vector<std::string> boxes;  // messages and questions, in order
};

TEST(FolderPickerSelect, WindowsTable) {
    const std::vector<SelectCase> cases = {
        {"", {}, true, "C:\\Work\\", {}},
        {"\\", {}, true, "C:\\", {}},
        {"\\\\", {}, false, "C:\\Work\\", {"message: \\\\\nThis is not a valid folder."}},
        {"Q:", {}, false, "C:\\Work\\", {"message: Q:\nThe drive is invalid."}},
        {"Q:\\", {}, false, "C:\\Work\\", {"message: Q:\\\nThe drive is invalid."}},
        {"C:", {}, true, "C:\\Work\\", {}},
        {"C:\\", {}, true, "C:\\", {}},
        {"C:\\Windows", {}, true, "C:\\Windows\\", {}},
        {"C:\\Windows\\", {}, true, "C:\\Windows\\", {}},
        {"C:\\Work\\a.txt",
         {},
         false,
         "C:\\Work\\",
         {"message: C:\\Work\\a.txt\nThis is a file not a directory."}},
        // A missing drive is reported before any question about creating.
        {"Q:\\New\\", {}, false, "C:\\Work\\", {"message: Q:\\New\nThe drive is invalid."}},
        {"\\\\server", {}, false, "C:\\Work\\", {"message: \\\\server\nThis is not a valid folder."}},
        {"\\\\server\\share\\",
         {},
         false,
         "C:\\Work\\",
         {"message: \\\\server\\share\nThis is not a valid folder."}},
        {"\\\\server\\share\\New", {false}, false, "C:\\Work\\", {"ask: \\\\server\\share\\New" + kCreate}},
        {"C:\\New\\Sub", {false}, false, "C:\\Work\\", {"ask: C:\\New\\Sub" + kCreate}},
        {"C:\\New\\Sub", {true}, true, "C:\\New\\Sub\\", {"ask: C:\\New\\Sub" + kCreate}},
        {"E:\\New",
         {true},
         false,
         "C:\\Work\\",
         {"ask: E:\\New" + kCreate,
          "message: You cannot create this folder.\nThe medium may be write-protected."}},
        {"N:\\New",
         {true},
         false,
         "C:\\Work\\",
         {"ask: N:\\New" + kCreate,
          "message: You do not have permission to create\nthis folder on the network."}},
        {"D:\\New",
         {true},
         false,
         "C:\\Work\\",
         {"ask: D:\\New" + kCreate,
          "message: You cannot create this folder\nas the CD ROM medium is read-only."}},
        {"F:\\New",
         {true},
         false,
         "C:\\Work\\",
         {"ask: F:\\New" + kCreate, "message: You do not have permission\nto create this folder."}},
        // A relative text lies on the drive shown (C:), not on a drive named by its first letter.
        {"Nope",
         {true},
         false,
         "C:\\Work\\",
         {"ask: Nope" + kCreate, "message: You do not have permission\nto create this folder."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        WindowsPicker p;
        p.view.Type(c.typed);
        p.view.m_answers.assign(c.answers.begin(), c.answers.end());
        EXPECT_EQ(p.rules.Select(), c.accepted);
        EXPECT_EQ(p.view.m_accepted, c.accepted);
        EXPECT_EQ(p.view.m_shown, c.result);
        EXPECT_EQ(p.view.Boxes(), c.boxes);
        if (c.accepted && *c.typed != '\0') {
            EXPECT_EQ(p.view.m_text, c.result);  // the box follows the folder shown
        }
        if (!c.accepted) {
            EXPECT_EQ(p.view.m_log.back(), "focus box");
        }
    }
}

struct EnterCase {
    const char* typed;
    std::vector<bool> answers;
    const char* box;  // folder box afterwards
    std::vector<std::string> boxes;
};

TEST(FolderPickerEnter, WindowsTableNeverCloses) {
    const std::vector<EnterCase> cases = {
        {"C:\\Windows\\", {}, "C:\\Windows\\", {}},
        {"C:\\Windows", {}, "C:\\Windows\\", {}},
        {"C:", {}, "C:\\Work\\", {}},
        {"\\", {}, "C:\\", {}},
        {"\\\\server", {}, "\\\\server", {}},
        // A missing drive: no question, and the list cannot go there.
        {"Q:\\x", {}, "Q:\\x\\", {}},
        {"C:\\Work\\a.txt", {}, "C:\\Work\\a.txt\\", {}},
        {"C:\\New", {false}, "C:\\New", {"ask: C:\\New" + kCreate}},
        {"C:\\New\\", {true}, "C:\\New\\", {"ask: C:\\New" + kCreate}},
        {"E:\\New",
         {true},
         "E:\\New",
         {"ask: E:\\New" + kCreate,
          "message: You cannot create this folder.\nThe drive may be write-protected."}},
        {"N:\\New",
         {true},
         "N:\\New",
         {"ask: N:\\New" + kCreate,
          "message: You do not have permission to create\nthis folder on the network."}},
        {"D:\\New",
         {true},
         "D:\\New",
         {"ask: D:\\New" + kCreate, "message: You cannot create this folder,\nthe CD-ROM is read-only."}},
        {"F:\\New",
         {true},
         "F:\\New",
         {"ask: F:\\New" + kCreate,
          "message: You do not have sufficient permission\nto create this folder."}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        WindowsPicker p;
        p.view.Type(c.typed);
        p.view.m_answers.assign(c.answers.begin(), c.answers.end());
        p.rules.Enter();
        EXPECT_FALSE(p.view.m_accepted);
        EXPECT_EQ(p.view.m_text, c.box);
        EXPECT_EQ(p.view.Boxes(), c.boxes);
        EXPECT_EQ(p.view.m_log.back(), "focus box");
    }
}

TEST(FolderPickerCharacter, WindowsGoesToCompleteTexts) {
    struct Case {
        const char* typed;
        bool goes;
        const char* shown;
    };
    const std::vector<Case> cases = {
        {"\\\\", false, "C:\\Work\\"},  // the start of a network path
        {"\\", true, "C:\\"},
        {"E:\\", true, "E:\\"},
        {"Q:\\", false, "C:\\Work\\"},  // no such drive
        {"C:\\Windows\\", true, "C:\\Windows\\"},
        {"C:\\Nothing\\", false, "C:\\Work\\"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        for (bool viaDelete : {false, true}) {
            WindowsPicker p;
            p.view.Type(c.typed);
            viaDelete ? p.rules.AfterDelete() : p.rules.AfterCharacter(false);
            EXPECT_EQ(p.view.m_shown, c.shown);
            EXPECT_EQ(p.view.m_text, c.goes ? c.shown : c.typed);
            EXPECT_EQ(p.view.m_selEnd, p.view.m_text.size());
            EXPECT_TRUE(p.view.Boxes().empty());
        }
    }
}

// Completion in a folder /p whose entries come back in the order given.
struct CompletionCase {
    const char* typed;
    std::vector<CFolderPickerFileSystem::Entry> entries;
    const char* expected;
};

TEST(FolderPickerCompletion, CandidateAndCase) {
    const std::vector<CFolderPickerFileSystem::Entry> projects = {{"Projects", true}};
    const std::vector<CompletionCase> cases = {
        {"/p/pro", projects, "/p/projects"},
        {"/p/PRO", projects, "/p/PROJECTS"},
        {"/p/Pro", projects, "/p/Projects"},
        {"/p/p", projects, "/p/projects"},  // 'p' against 'P': the name takes the typed case
        // Two matching folders: the one enumerated last; files never count.
        {"/p/pr", {{"Program", true}, {"Projects", true}, {"profile.txt", false}}, "/p/projects"},
        {"/p/pr", {{"Projects", true}, {"Program", true}}, "/p/program"},
        {"/p/da", {{"DATA", true}}, "/p/data"},  // DATA is offered as Data
        {"/p/DA", {{"DATA", true}}, "/p/DATA"},
        {"/p/d", {{"PROGRA~1", true}, {"DATA", true}}, "/p/data"},
        {"/p/m", {{"My DOCS", true}}, "/p/my docs"},  // white space: not rewritten as My docs
        {"/p/M", {{"My DOCS", true}}, "/p/My DOCS"},
        {"/p/pro", {{"projects.txt", false}}, "/p/pro"},
        {"/p/pro", {{"Other", true}}, "/p/pro"},
        {"/p/", projects, "/p/Projects"},  // nothing typed yet: the whole name
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        FakeFileSystem fs;
        fs.m_listings["/p/"] = c.entries;
        RecordingView view;
        CFolderPickerRules rules(view, fs, PathStyle::Posix);
        view.Type(c.typed);
        rules.Complete();
        EXPECT_EQ(view.m_text, c.expected);
        if (view.m_text != c.typed) {
            // The appended part is selected, so typing on replaces it.
            EXPECT_EQ(view.m_selStart, std::string(c.typed).size());
            EXPECT_EQ(view.m_selEnd, view.m_text.size());
        }
    }
}

TEST(FolderPickerCompletion, WhereTheTypedNameStarts) {
    struct Case {
        PathStyle style;
        const char* typed;
        const char* listed;  // folder text the entries are asked of
        const char* entry;   // its one folder
        const char* expected;
    };
    const std::vector<Case> cases = {
        {PathStyle::Posix, "pro", "", "Projects", "projects"},                 // relative: the folder shown
        {PathStyle::Posix, "/q/a:pro", "/q/", "a:Projects", "/q/a:projects"},  // a colon is a letter
        {PathStyle::Posix, "/q/a\\pro", "/q/", "a\\Projects", "/q/a\\projects"},
        {PathStyle::Windows, "C:pro", "C:", "Projects", "C:projects"},
        {PathStyle::Windows, "C:\\a\\pro", "C:\\a\\", "Projects", "C:\\a\\projects"},
        {PathStyle::Windows, "C:\\a/pro", "C:\\a/", "Projects", "C:\\a/projects"},
        {PathStyle::Windows, "C:/a\\pro", "C:/a\\", "Projects", "C:/a\\projects"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        FakeFileSystem fs;
        fs.m_listings[c.listed] = {{c.entry, true}};
        RecordingView view;
        CFolderPickerRules rules(view, fs, c.style);
        view.Type(c.typed);
        rules.AfterCharacter(false);
        EXPECT_EQ(view.m_text, c.expected);
    }
}

TEST(FolderPickerCompletion, OnlyAfterACharacterTypedAtTheEnd) {
    FakeFileSystem fs;
    fs.m_listings["/p/"] = {{"Projects", true}};
    RecordingView view;
    CFolderPickerRules rules(view, fs, PathStyle::Posix);

    view.Type("/p/pro");
    rules.AfterCharacter(true);  // Backspace
    EXPECT_EQ(view.m_text, "/p/pro");

    rules.AfterDelete();
    EXPECT_EQ(view.m_text, "/p/pro");

    view.m_selStart = view.m_selEnd = 4;  // caret inside the text
    rules.AfterCharacter(false);
    EXPECT_EQ(view.m_text, "/p/pro");

    view.m_selStart = view.m_selEnd = 6;
    rules.AfterCharacter(false);
    EXPECT_EQ(view.m_text, "/p/projects");
}

}  // namespace
}  // namespace veltrane
