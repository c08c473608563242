#include "checks/VersionFix.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <filesystem>
#include <iostream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "checks/VersionCheck.h"
#include "fs/write/FileOps.h"
#include "support/FailingWriter.h"
#include "support/ScriptedContext.h"
#include "support/TestTree.h"

namespace veltrane {
namespace {

namespace stdfs = std::filesystem;
using test::FailingWriter;
using test::ScriptedContext;
using test::TempDir;

// Collects what the fix writes.
class StringWriter : public FileWriter {
public:
    bool Write(std::string_view data, std::error_code& ec) override {
        ec.clear();
        m_text.append(data);
        return true;
    }
    bool Sync(std::error_code& ec) override {
        ec.clear();
        return true;
    }
    bool Close(std::error_code& ec) override {
        ec.clear();
        return true;
    }
    std::string m_text;
};

// The fixed content by the rule, built from the whole text at once.
std::string LiteralFix(std::string_view text) {
    std::string out;
    size_t i = 0;
    while (i < text.size()) {
        size_t end = text.find_first_of("\r\n", i);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(i, end - i);
        if (!line.empty()) {
            out += IsVersionLine(line) ? std::string("\tnumber 4.0") : std::string(line);
            out += "\r\n";
        }
        i = end + 1;
    }
    return out;
}

std::string FixThroughFile(const TempDir& dir, const std::string& content, size_t blockSize) {
    const std::string path = dir.WriteFile("in.cr2", content);
    FileSource source;
    std::error_code ec;
    EXPECT_TRUE(source.Open(path, ec));
    StringWriter out;
    bool readFailed = false;
    EXPECT_TRUE(WriteFixedContent(source, out, ec, readFailed, blockSize)) << ec.message();
    return out.m_text;
}

std::set<std::string> Listing(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : stdfs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// Checks path in file mode and returns the record list the fix works from.
void Flag(const std::string& path, CFileRecordArray& records) {
    ScriptedContext ctx;
    CheckVersionNumbers(path, VersionCheckMode::File, records, ctx);
    ASSERT_EQ(records.GetSize(), 1) << path;
}

const std::string kOriginal = "{\nversion\n\n\t{\n\tnumber 5\n\t}\nname Jersey number 5\n\n}";
const std::string kFixed = "{\r\nversion\r\n\t{\r\n\tnumber 4.0\r\n\t}\r\nname Jersey number 5\r\n}\r\n";

TEST(VersionFixTest, BackupNameReplacesOnlyTheExtensionOfTheFileName) {
    EXPECT_EQ(BackupNameFor("/Runtime/Pose/Sit.pz2"), "/Runtime/Pose/Sit.old");
    EXPECT_EQ(BackupNameFor("/a.cr2/b.cr2"), "/a.cr2/b.old");
    EXPECT_EQ(BackupNameFor("/a.b/c.d.CR2"), "/a.b/c.d.old");
    EXPECT_EQ(BackupNameFor("/a.b/readme"), "");
    EXPECT_EQ(BackupNameFor("/a/x.OLD"), "");
    EXPECT_EQ(BackupNameFor("C:\\a.cr2\\b.cr2", PathStyle::Windows), "C:\\a.cr2\\b.old");
    EXPECT_EQ(BackupNameFor("C:\\a.b\\readme", PathStyle::Windows), "");
}

TEST(VersionFixTest, FixedContentMatchesTheRuleOnRandomFilesAndBlockSizes) {
    TempDir dir;
    EXPECT_EQ(FixThroughFile(dir, kOriginal, 64 * 1024), kFixed);
    const std::string longLine(5000, 'x');
    EXPECT_EQ(FixThroughFile(dir, "a\r\n" + longLine + "\n\tnumber 5", 2048),
              "a\r\n" + longLine + "\r\n\tnumber 4.0\r\n");

    const char* pieces[] = {"number", "number 5", " ",   "\t", "\r",      "\n",
                            "\r\n",   "5",        "4.1", "x",  "Jersey ", std::string_view("\0", 1).data()};
    std::mt19937 rng(20261207);
    for (int round = 0; round < 200; ++round) {
        std::string content;
        int count = std::uniform_int_distribution<int>(0, 60)(rng);
        for (int i = 0; i < count; ++i) {
            size_t which = std::uniform_int_distribution<size_t>(0, std::size(pieces) - 1)(rng);
            content += which == std::size(pieces) - 1 ? std::string(1, '\0') : std::string(pieces[which]);
        }
        const size_t blockSize = std::uniform_int_distribution<size_t>(1, 9)(rng);
        ASSERT_EQ(FixThroughFile(dir, content, blockSize), LiteralFix(content)) << "round " << round;
    }
}

TEST(VersionFixTest, FixKeepsTheOriginalAsBackupWithItsPermissions) {
    TempDir dir;
    const std::string path = dir.WriteFile("Pose/Sit.pz2", kOriginal);
    ::chmod(path.c_str(), 0640);
    CFileRecordArray records;
    Flag(path, records);
    ScriptedContext ctx;
    VersionFixResult r = FixVersionNumbers(records, ctx);
    EXPECT_EQ(r.filesFixed, 1);
    EXPECT_TRUE(r.failures.empty());
    EXPECT_EQ(r.fixedListText, "Sit.pz2\r\n");
    EXPECT_EQ(TempDir::ReadFile(path), kFixed);
    EXPECT_EQ(TempDir::ReadFile(dir.Path("Pose/Sit.old")), kOriginal);
    EXPECT_EQ(Listing(dir.Path("Pose")), (std::set<std::string>{"Sit.old", "Sit.pz2"}));
#ifndef _WIN32  // Windows files have no permission bits to keep
    struct stat st;
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
#endif
}

// Three flagged files, fixed in the order a, b, c; the faults below hit b.
struct Scene {
    TempDir dir;
    std::string a = dir.WriteFile("a.pz2", kOriginal);
    std::string b = dir.WriteFile("b.pz2", kOriginal);
    std::string c = dir.WriteFile("c.pz2", kOriginal);
    CFileRecordArray records;

    Scene() {
        for (const std::string& path : {a, b, c}) {
            records.AddFile(path, InsertOrder::Append);
        }
    }

    VersionFixResult Fix(const ReplaceHooks& hooks = {}) {
        ScriptedContext ctx;
        return FixVersionNumbers(records, ctx, hooks);
    }
};

// The fix stopped at b: a keeps its fix and backup, c is untouched, and the box names b.
void ExpectStoppedAtB(const Scene& s, const VersionFixResult& r, const std::string& textPart) {
    EXPECT_EQ(r.filesFixed, 1);
    EXPECT_EQ(r.fixedListText, "a.pz2\r\n");
    EXPECT_TRUE(r.stopped);
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_EQ(r.failures[0].path, s.b);
    EXPECT_NE(r.failures[0].text.find(s.b + " was not fixed: "), std::string::npos) << r.failures[0].text;
    EXPECT_NE(r.failures[0].text.find(textPart), std::string::npos) << r.failures[0].text;
    EXPECT_EQ(TempDir::ReadFile(s.a), kFixed);
    EXPECT_EQ(TempDir::ReadFile(s.dir.Path("a.old")), kOriginal);
    EXPECT_EQ(TempDir::ReadFile(s.c), kOriginal);
}

TEST(VersionFixTest, BackupNameTakenStopsBeforeTouchingTheFile) {
    Scene s;
    s.dir.WriteFile("b.old", "older");
    VersionFixResult r = s.Fix();
    ExpectStoppedAtB(s, r, "Access to " + s.dir.Path("b.old") + " was denied.");
    EXPECT_EQ(TempDir::ReadFile(s.b), kOriginal);
    EXPECT_EQ(TempDir::ReadFile(s.dir.Path("b.old")), "older");
    EXPECT_EQ(Listing(s.dir.Root()), (std::set<std::string>{"a.old", "a.pz2", "b.old", "b.pz2", "c.pz2"}));
}

TEST(VersionFixTest, FileGoneBetweenCheckAndFixIsReported) {
    Scene s;
    stdfs::remove(s.b);
    ExpectStoppedAtB(s, s.Fix(), s.b + " was not found.");
    EXPECT_EQ(Listing(s.dir.Root()), (std::set<std::string>{"a.old", "a.pz2", "c.pz2"}));
}

TEST(VersionFixTest, ReadErrorRemovesTheCopy) {
    Scene s;
    stdfs::remove(s.b);
    stdfs::create_directory(s.b);  // opens, but every read fails
    ExpectStoppedAtB(s, s.Fix(), "it could not be read.");
    EXPECT_EQ(Listing(s.dir.Root()), (std::set<std::string>{"a.old", "a.pz2", "b.pz2", "c.pz2"}));
}

TEST(VersionFixTest, WriteFailingMidwayRemovesTheCopy) {
    Scene s;
    int created = 0;
    ReplaceHooks hooks;
    hooks.wrapWriter = [&created](std::unique_ptr<FileWriter> w) -> std::unique_ptr<FileWriter> {
        if (++created == 2) {
            return std::make_unique<FailingWriter>(std::move(w), 10);
        }
        return w;
    };
    ExpectStoppedAtB(s, s.Fix(hooks), "Disk full while accessing " + s.b + ".");
    EXPECT_EQ(TempDir::ReadFile(s.b), kOriginal);
    EXPECT_EQ(Listing(s.dir.Root()), (std::set<std::string>{"a.old", "a.pz2", "b.pz2", "c.pz2"}));
}

TEST(VersionFixTest, NameTakenAfterTheBackupWasMadeLeavesTheOriginalInTheBackup) {
    Scene s;
    int made = 0;
    ReplaceHooks hooks;
    hooks.continueAfter = [&](ReplaceStep step) {
        if (step == ReplaceStep::BackupMade && ++made == 2) {
            stdfs::rename(s.dir.WriteFile("b.new", "someone else's"), s.b);
        }
        return true;
    };
    ExpectStoppedAtB(s, s.Fix(hooks), "its content is now in " + s.dir.Path("b.old"));
    EXPECT_EQ(TempDir::ReadFile(s.dir.Path("b.old")), kOriginal);
    EXPECT_EQ(TempDir::ReadFile(s.b), "someone else's");
    EXPECT_EQ(Listing(s.dir.Root()), (std::set<std::string>{"a.old", "a.pz2", "b.old", "b.pz2", "c.pz2"}));
}

// Whichever step a crash comes after, the name holds the original or the fixed content, a backup
// holds the original, and nothing else is in the folder but, where the temporary file had a name,
// that name.
TEST(VersionFixTest, CrashBetweenStepsKeepsEveryOriginalByteOnDisk) {
    for (ReplaceStep crashAt :
         {ReplaceStep::CopyWritten, ReplaceStep::BackupMade, ReplaceStep::CopyInPlace}) {
        TempDir dir;
        const std::string path = dir.WriteFile("Sit.pz2", kOriginal);
        CFileRecordArray records;
        Flag(path, records);
        ReplaceHooks hooks;
        hooks.continueAfter = [crashAt](ReplaceStep step) { return step != crashAt; };
        ScriptedContext ctx;
        FixVersionNumbers(records, ctx, hooks);

        EXPECT_EQ(TempDir::ReadFile(path), crashAt == ReplaceStep::CopyInPlace ? kFixed : kOriginal);
        if (stdfs::exists(dir.Path("Sit.old"))) {
            EXPECT_EQ(TempDir::ReadFile(dir.Path("Sit.old")), kOriginal);
        }
        std::set<std::string> names = Listing(dir.Root());
        std::erase_if(names, IsWriteLeftover);  // a named temporary file: no tool lists it
        EXPECT_TRUE(names == std::set<std::string>{"Sit.pz2"} ||
                    names == (std::set<std::string>{"Sit.old", "Sit.pz2"}))
            << static_cast<int>(crashAt);
    }
}

TEST(VersionFixTest, FileWithoutExtensionIsNotRewritten) {
    TempDir dir;
    const std::string path = dir.WriteFile("readme", kOriginal);
    CFileRecordArray records;
    Flag(path, records);
    ScriptedContext ctx;
    VersionFixResult r = FixVersionNumbers(records, ctx);
    EXPECT_EQ(r.filesFixed, 0);
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_EQ(r.failures[0].text,
              path + " was not fixed: its name has no extension, so it has no backup name.");
    EXPECT_EQ(TempDir::ReadFile(path), kOriginal);
    EXPECT_EQ(Listing(dir.Root()), (std::set<std::string>{"readme"}));
}

// Someone saves b after the fix read it and before its backup was made, in place or by renaming a
// new file over it, or in place after the backup was made: the newer content keeps the name, b is
// reported as not fixed, and the fix stops.
TEST(VersionFixTest, FileSavedDuringTheFixKeepsItsNewContent) {
    struct Way {
        ReplaceStep at;
        bool byRename;
    };
#ifdef _WIN32
    // The fix holds the original open, and Windows lets nobody rename a file over an open one.
    const std::vector<Way> ways{{ReplaceStep::CopyWritten, false}, {ReplaceStep::BackupMade, false}};
#else
    const std::vector<Way> ways{{ReplaceStep::CopyWritten, false},
                                {ReplaceStep::CopyWritten, true},
                                {ReplaceStep::BackupMade, false}};
#endif
    for (const Way& way : ways) {
        Scene s;
        int written = 0;
        ReplaceHooks hooks;
        hooks.continueAfter = [&](ReplaceStep step) {
            if (step == way.at && ++written == 2) {
                if (way.byRename) {
                    stdfs::rename(s.dir.WriteFile("b.new", "saved by the editor"), s.b);
                } else {
                    s.dir.WriteFile("b.pz2", "saved by the editor");
                }
            }
            return true;
        };
        ExpectStoppedAtB(
            s, s.Fix(hooks),
            "it was changed by another program while it was being fixed; the changed file keeps its name.");
        EXPECT_EQ(TempDir::ReadFile(s.b), "saved by the editor") << way.byRename;
        EXPECT_EQ(Listing(s.dir.Root()), (std::set<std::string>{"a.old", "a.pz2", "b.pz2", "c.pz2"}))
            << way.byRename;
    }
}

#ifndef _WIN32
// The temporary file of a fix in progress, the one name starting with ".vt"; "" when there is none.
std::string TemporaryIn(const std::string& folder) {
    for (const std::string& name : Listing(folder)) {
        if (name.rfind(".vt", 0) == 0) {
            return folder + "/" + name;
        }
    }
    return {};
}

// Someone who may write the folder renames a link to a file of theirs, or a hard link of it, over
// the temporary file before or after it was written. Their file keeps its bytes, mode and owner,
// nothing of theirs takes the original's name, and the original is left as it was. Undisturbed,
// the fixed file keeps the original's mode (set-uid included) and, as root, its owner.
TEST(VersionFixTest, WhatIsSwappedOverTheTemporaryFileGetsNothing) {
    const bool root = ::geteuid() == 0;
    if (!root) {
        std::cout << "[   NOTE   ] not root: owners are not checked\n";
    }
    struct Swap {
        ReplaceStep at;
        bool symbolic;
        bool swapped = true;
    };
    for (Swap swap : {Swap{ReplaceStep::CopyCreated, true}, Swap{ReplaceStep::CopyCreated, false},
                      Swap{ReplaceStep::CopyWritten, true}, Swap{ReplaceStep::CopyWritten, false},
                      Swap{ReplaceStep::CopyCreated, false, false}}) {
        const std::string label =
            std::to_string(static_cast<int>(swap.at)) + (swap.symbolic ? " link" : " hard");
        TempDir dir;
        const std::string path = dir.WriteFile("Sit.pz2", kOriginal);
        const std::string theirs = dir.WriteFile("theirs.txt", "their bytes");
        ::chmod(theirs.c_str(), 0600);
        if (root) {
            ASSERT_EQ(::chown(path.c_str(), 1234, 1234), 0);
            ASSERT_EQ(::chown(theirs.c_str(), 4321, 4321), 0);
        }
        ::chmod(path.c_str(), 04750);
        ReplaceHooks hooks;
        hooks.namedTemporary = true;  // an unnamed one cannot be reached
        hooks.continueAfter = [&](ReplaceStep step) {
            if (swap.swapped && step == swap.at) {
                const std::string bait = dir.Path("bait");
                EXPECT_EQ(swap.symbolic ? ::symlink(theirs.c_str(), bait.c_str())
                                        : ::link(theirs.c_str(), bait.c_str()),
                          0);
                EXPECT_EQ(::rename(bait.c_str(), TemporaryIn(dir.Root()).c_str()), 0) << label;
            }
            return true;
        };
        CFileRecordArray records;
        Flag(path, records);
        ScriptedContext ctx;
        VersionFixResult r = FixVersionNumbers(records, ctx, hooks);

        struct stat st;
        ASSERT_EQ(::stat(theirs.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u) << label;
        EXPECT_EQ(TempDir::ReadFile(theirs), "their bytes") << label;
        if (root) {
            EXPECT_EQ(st.st_uid, 4321u) << label;
        }
        ASSERT_EQ(::lstat(path.c_str(), &st), 0);
        EXPECT_TRUE(S_ISREG(st.st_mode)) << label;
        EXPECT_EQ(st.st_mode & 07777, 04750u) << label;
        if (root) {
            EXPECT_EQ(st.st_uid, 1234u) << label;
            EXPECT_EQ(st.st_gid, 1234u) << label;
        }
        EXPECT_EQ(r.filesFixed, swap.swapped ? 0 : 1) << label;
        EXPECT_EQ(TempDir::ReadFile(path), swap.swapped ? kOriginal : kFixed) << label;
        if (swap.swapped) {
            ASSERT_EQ(r.failures.size(), 1u);
            EXPECT_EQ(r.failures[0].text,
                      path +
                          " was not fixed: its temporary copy was replaced or removed by "
                          "someone else while it was being written; nothing was changed.");
        }
    }
}

// A link the user named leads to the file that gets fixed (the link stays); a link met by the scan
// is refused.
TEST(VersionFixTest, OnlyALinkTheUserNamedIsFollowed) {
    for (bool named : {true, false}) {
        TempDir dir;
        const std::string real = dir.WriteFile("real/Sit.pz2", kOriginal);
        const std::string link = dir.Path("Link.pz2");
        ASSERT_EQ(::symlink("real/Sit.pz2", link.c_str()), 0);
        CFileRecordArray records;
        Flag(link, records);
        ScriptedContext ctx;
        VersionFixResult r = FixVersionNumbers(records, ctx, {}, named);
        struct stat st;
        ASSERT_EQ(::lstat(link.c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode));
        EXPECT_EQ(r.filesFixed, named ? 1 : 0);
        EXPECT_EQ(TempDir::ReadFile(real), named ? kFixed : kOriginal);
        const std::set<std::string> fixed{"Sit.old", "Sit.pz2"};
        EXPECT_EQ(Listing(dir.Path("real")), named ? fixed : std::set<std::string>{"Sit.pz2"});
        EXPECT_EQ(Listing(dir.Root()), (std::set<std::string>{"Link.pz2", "real"}));
    }
}

// Under a file size limit the fix and the save fail like on a full disk, leaving nothing behind;
// names of the most bytes a folder can hold are fixed and saved like any other.
TEST(VersionFixTest, FileSizeLimitsAndLongNames) {
    TempDir dir;
    const std::string content = "version\n\tnumber 5\n" + std::string(100000, 'x') + "\n";
    const std::string path = dir.WriteFile("Big.pz2", content);
    CFileRecordArray records;
    Flag(path, records);
    struct rlimit old;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    struct rlimit low = {50000, old.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &low), 0);
    ScriptedContext ctx;
    VersionFixResult r = FixVersionNumbers(records, ctx);
    std::error_code ec;
    const bool saved = WriteFileAtomically(dir.Path("list.txt"), content, ec);
    ::setrlimit(RLIMIT_FSIZE, &old);
    ASSERT_EQ(r.failures.size(), 1u);
    EXPECT_EQ(r.failures[0].text.find("Disk full while accessing " + path + "."), 0u) << r.failures[0].text;
    EXPECT_FALSE(saved);
    EXPECT_EQ(FileErrorText(ec, "F"), "Disk full while accessing F.");
    EXPECT_EQ(Listing(dir.Root()), std::set<std::string>{"Big.pz2"});
    EXPECT_EQ(TempDir::ReadFile(path), content);

    const std::string name(251, 'n');  // with its extension 255 bytes, the longest name there is
    const std::string longPath = dir.WriteFile(name + ".pz2", kOriginal);
    CFileRecordArray longRecords;
    Flag(longPath, longRecords);
    EXPECT_EQ(FixVersionNumbers(longRecords, ctx).filesFixed, 1);
    EXPECT_EQ(TempDir::ReadFile(longPath), kFixed);
    EXPECT_EQ(TempDir::ReadFile(dir.Path(name + ".old")), kOriginal);
    EXPECT_TRUE(WriteFileAtomically(dir.Path(name + ".txt"), "list", ec)) << ec.message();
}
#endif

}  // namespace
}  // namespace veltrane
