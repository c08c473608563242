// The folder picker's rules on the real file system, in a temporary tree.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "dialogs/FolderPickerRules.h"
#include "dialogs/NativeFolderFileSystem.h"
#include "support/TestTree.h"
#include "tests/dialogs/FakeFolderPicker.h"

#ifndef _WIN32

namespace veltrane {
namespace {

namespace fs = std::filesystem;
using test::RecordingView;

const std::string kCreate = "\nThis folder does not exist.\n\nDo you want to create it?";

// A picker on the real file system, showing root/a/ of a tree with root/a/b and root/a/f.txt.
struct NativePicker {
    test::TempDir dir;
    CNativeFolderFileSystem fs;
    RecordingView view;
    CFolderPickerRules rules{view, fs, PathStyle::Posix};

    NativePicker() {
        dir.MakeDir("a/b");
        dir.WriteFile("a/f.txt", "x");
        view.m_navigate = [this](const std::string& text) -> std::optional<std::string> {
            std::error_code ec;
            const fs::path target = fs.Resolve(text);
            if (text.empty() || !fs::is_directory(target, ec)) {
                return std::nullopt;
            }
            std::string folder = CNativeFolderFileSystem::Utf8FromPath(target.lexically_normal());
            while (folder.size() > 1 && folder.back() == '/') {
                folder.pop_back();
            }
            fs.SetBaseFolder(folder + "/");
            return folder;
        };
        view.ShowFolder(Path("a"));
        view.m_log.clear();
    }

    std::string Path(const std::string& rel) const { return dir.Path(rel); }
    bool IsFolder(const std::string& rel) const { return fs::is_directory(Path(rel)); }
};

TEST(FolderPickerNative, SelectAcceptsExistingFolders) {
    struct Case {
        const char* typed;
        bool inTree;         // typed is a path below the tree's root
        const char* result;  // below the tree's root, or "/" for the file system's root
    };
    const std::vector<Case> cases = {
        {"", false, "a"},      {"/", false, "/"},   {"//", false, "/"},   {"a/b", true, "a/b"},
        {"a/b/", true, "a/b"}, {"b", false, "a/b"}, {"b/", false, "a/b"}, {"..", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        NativePicker p;
        p.view.Type(c.inTree ? p.Path(c.typed) : c.typed);
        EXPECT_TRUE(p.rules.Select());
        const std::string result = std::string(c.result) == "/" ? "/" : p.Path(c.result) + "/";
        EXPECT_EQ(p.view.m_shown, result);
        if (*c.typed != '\0') {
            EXPECT_EQ(p.view.m_text, result);
        }
        EXPECT_TRUE(p.view.Boxes().empty());
    }
}

TEST(FolderPickerNative, SelectOnAFileStaysOpen) {
    NativePicker p;
    p.view.Type(p.Path("a/f.txt"));
    EXPECT_FALSE(p.rules.Select());
    EXPECT_FALSE(p.view.m_accepted);
    EXPECT_EQ(p.view.Boxes(), std::vector<std::string>{"message: " + p.Path("a/f.txt") +
                                                       "\nThis is a file not a directory."});
}

TEST(FolderPickerNative, SelectCreatesEveryLevelOnYes) {
    NativePicker p;
    const std::string target = p.Path("x/New/Sub");
    p.view.Type(target);
    p.view.m_answers = {true};
    ASSERT_TRUE(p.rules.Select());
    EXPECT_TRUE(p.IsFolder("x/New/Sub"));
    EXPECT_EQ(p.view.m_shown, target + "/");
    EXPECT_EQ(p.view.Boxes(), std::vector<std::string>{"ask: " + target + kCreate});
}

TEST(FolderPickerNative, SelectCreatesNothingOnNo) {
    NativePicker p;
    p.view.Type(p.Path("x/New") + "/");
    EXPECT_FALSE(p.rules.Select());
    EXPECT_FALSE(fs::exists(p.Path("x")));
    EXPECT_EQ(p.view.Boxes(), std::vector<std::string>{"ask: " + p.Path("x/New") + kCreate});
}

TEST(FolderPickerNative, RelativeFolderIsCreatedBelowTheFolderShown) {
    NativePicker p;
    p.view.Type("c/d");
    p.view.m_answers = {true};
    ASSERT_TRUE(p.rules.Select());
    EXPECT_TRUE(p.IsFolder("a/c/d"));
    EXPECT_EQ(p.view.m_shown, p.Path("a/c/d") + "/");
}

TEST(FolderPickerNative, CreationFailureShowsTheGeneralText) {
    NativePicker p;
    const std::string underFile = p.Path("a/f.txt/sub");
    for (bool select : {true, false}) {
        p.view.m_log.clear();
        p.view.Type(underFile);
        p.view.m_answers = {true};
        select ? (void)p.rules.Select() : p.rules.Enter();
        const std::string failure =
            select ? "message: You do not have permission\nto create this folder."
                   : "message: You do not have sufficient permission\nto create this folder.";
        EXPECT_EQ(p.view.Boxes(), (std::vector<std::string>{"ask: " + underFile + kCreate, failure}));
        EXPECT_FALSE(p.view.m_accepted);
    }
}

TEST(FolderPickerNative, EnterGoesThereWithoutClosing) {
    NativePicker p;
    p.view.Type(p.Path("a/b"));
    p.rules.Enter();
    EXPECT_FALSE(p.view.m_accepted);
    EXPECT_EQ(p.view.m_shown, p.Path("a/b") + "/");
    EXPECT_EQ(p.view.m_text, p.Path("a/b") + "/");
    EXPECT_EQ(p.view.m_selStart, p.view.m_text.size());
    EXPECT_EQ(p.view.m_log.back(), "focus box");
}

TEST(FolderPickerNative, EnterOnAMissingFolderCreatesItOnYes) {
    NativePicker p;
    p.view.Type(p.Path("a/n1/n2/"));
    p.view.m_answers = {true};
    p.rules.Enter();
    EXPECT_TRUE(p.IsFolder("a/n1/n2"));
    EXPECT_FALSE(p.view.m_accepted);
    EXPECT_EQ(p.view.m_text, p.Path("a/n1/n2") + "/");
}

// A relative text once stayed in the box after the list went there; with a separator appended it
// then counted from the new folder, and Select offered to create b/b.
TEST(FolderPickerNative, RelativeTextIsReplacedByTheFolderShown) {
    NativePicker p;
    p.view.Type("b");
    p.rules.Enter();
    EXPECT_EQ(p.view.m_text, p.Path("a/b") + "/");
    EXPECT_TRUE(p.rules.Select());
    EXPECT_TRUE(p.view.Boxes().empty());
    EXPECT_EQ(p.view.m_shown, p.Path("a/b") + "/");
    EXPECT_FALSE(fs::exists(p.Path("a/b/b")));
}

TEST(FolderPickerNative, TypingASeparatorAfterAFolderGoesThere) {
    NativePicker p;
    p.view.Type(p.Path("a/b") + "/");
    p.rules.AfterCharacter(false);
    EXPECT_EQ(p.view.m_shown, p.Path("a/b") + "/");
    EXPECT_EQ(p.view.m_selEnd, p.view.m_text.size());

    p.view.Type("/");
    p.rules.AfterCharacter(false);
    EXPECT_EQ(p.view.m_shown, "/");
    EXPECT_EQ(p.view.m_text, "/");
}

TEST(FolderPickerNative, CompletionOffersTheLastFolderListed) {
    NativePicker p;
    p.dir.MakeDir("c/Projects");
    p.dir.MakeDir("c/Program");
    p.dir.WriteFile("c/profile", "");
    std::string last;  // the file system's own order decides
    for (const auto& entry : fs::directory_iterator(p.Path("c"))) {
        if (entry.is_directory()) {
            last = entry.path().filename().string();
        }
    }
    const std::string typed = p.Path("c/pro");
    p.view.Type(typed);
    p.rules.AfterCharacter(false);
    std::string expected = last;
    expected[0] = 'p';
    EXPECT_EQ(p.view.m_text, p.Path("c/") + expected);
    EXPECT_EQ(p.view.m_selStart, typed.size());

    p.view.Type(p.Path("c/PRO"));
    p.rules.AfterCharacter(false);
    std::string upper = last;
    for (char& ch : upper) {
        ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    }
    EXPECT_EQ(p.view.m_text, p.Path("c/") + upper);
}

}  // namespace
}  // namespace veltrane

#endif  // _WIN32
