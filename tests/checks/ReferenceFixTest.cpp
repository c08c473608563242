#include "checks/ReferenceFix.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "checks/PackageCheck.h"
#include "fs/read/LineReader.h"
#include "fs/text/WriteLeftover.h"
#include "support/FailingWriter.h"
#include "support/Gzip.h"
#include "support/ScriptedContext.h"
#include "support/TestTree.h"

namespace veltrane {
namespace {

namespace stdfs = std::filesystem;
using test::ScriptedContext;
using test::TempDir;

// Checks the package at root and runs the fix on what it found, answering its question OK.
ReferenceFixRun CheckAndFix(const std::string& root, PackageCheckRun& run, const ReplaceHooks& hooks = {}) {
    ScriptedContext ctx;
    run = RunPackageCheck(root, {}, ctx);
    ctx.m_answers.push_back(NoticeAnswer::Ok);
    return RunReferenceFix(run, root, false, ctx, {}, hooks);
}

struct Line {
    std::string before;
    std::string after;  // "" when the line stays as it is
};

// Each line of a library file and what the fix makes of it, against the package built in the test.
const Line kLines[] = {
    {"\ttextureMap \"C:\\Program Files\\Poser\\Runtime\\textures\\Brass\\brass.jpg\"",
     "\ttextureMap \":Runtime:textures:Brass:brass.jpg\""},
    {"  bumpMap /Users/me/runtime/Textures/brass/BRASS.jpg", "  bumpMap :Runtime:textures:Brass:brass.jpg"},
    {"textureMap \"Runtime\\textures\\Brass\\brass.jpg\"",
     "textureMap \":Runtime:textures:Brass:brass.jpg\""},
    {"figureResFile Runtime:Geometries:G:g.obj", "figureResFile :Runtime:Geometries:G:g.obj"},
    {"objFileGeom 0 0 :runtime:geometries:g:G.OBJ", "objFileGeom 0 0 :Runtime:Geometries:G:g.obj"},
    {"\tobjFile 4097 :Runtime:Geometries:g:H.obj", "\tobjFile 4097 :Runtime:Geometries:G:h.obj"},
    {"reflectionMap \":textures:Brass:brass.jpg\"", "reflectionMap \":Runtime:textures:Brass:brass.jpg\""},
    {"transparencyMap :Runtime:textures:Brass:old brass.jpg",
     "transparencyMap \":Runtime:textures:Brass:old brass.jpg\""},
    {"runPythonScript \"Runtime:Python:a b.py\" 1", "runPythonScript \":Runtime:Python:a b.py\" 1"},
    {"material skin", ""},
    {"{", ""},
    {"\tfile \"runtime/textures/brass/brass.jpg\"", "\tfile \":Runtime:textures:Brass:brass.jpg\""},
    {"}", ""},
    {"file \"runtime/textures/brass/brass.jpg\"", ""},          // outside a material: no reference
    {"textureMap :Runtime:textures:Brass:gone.jpg", ""},        // missing
    {"textureMap \"D:\\pics\\brass.jpg\"", ""},                 // absolute, with no Runtime in it
    {"textureMap \"..\\..\\textures\\Brass\\brass.jpg\"", ""},  // climbs out of the package
    {"bumpMap Runtime\\textures\\verylongfoldernamefortests\\anotherratherlongfolder\\x.jpg", ""},  // > 62
    {"textureMap \":Runtime:textures:Brass:brass.jpg\"", ""},                                       // clean
};

// The lines joined by line ends of every kind, blank lines among them.
std::string Join(bool after) {
    const char* ends[] = {"\r\n", "\n", "\r", "\r\n\r\n", "\n\n"};
    std::string text;
    size_t i = 0;
    for (const Line& line : kLines) {
        text += after && !line.after.empty() ? line.after : line.before;
        text += ends[i++ % std::size(ends)];
    }
    return text;
}

struct Package {
    TempDir dir;
    std::string figure;
    std::string packed;

    Package() {
        for (const char* file : {"textures/Brass/brass.jpg", "textures/Brass/old brass.jpg",
                                 "Geometries/G/g.obj", "Geometries/G/h.obz", "Python/a b.py",
                                 "textures/VeryLongFolderNameForTests/AnotherRatherLongFolder/x.jpg"}) {
            dir.WriteFile(std::string("Pkg/Runtime/") + file, "x");
        }
        figure = dir.WriteFile("Pkg/Runtime/libraries/character/F.cr2", Join(false));
        packed = dir.WriteFile("Pkg/Runtime/libraries/props/P.ppz",
                               test::Gzip("textureMap C:\\Runtime\\textures\\Brass\\brass.jpg\r\n"));
    }
};

TEST(ReferenceFixTest, RewritesEachFixableReferenceInPlaceAndOnlyThat) {
    Package p;
    const std::string packedBefore = TempDir::ReadFile(p.packed);
    PackageCheckRun run;
    const ReferenceFixRun fix = CheckAndFix(p.dir.Path("Pkg"), run);
    EXPECT_TRUE(fix.ran);
    EXPECT_TRUE(fix.fix.failures.empty());
    EXPECT_EQ(TempDir::ReadFile(p.figure), Join(true));
    EXPECT_EQ(TempDir::ReadFile(p.dir.Path("Pkg/Runtime/libraries/character/F.old")), Join(false));
    EXPECT_EQ(TempDir::ReadFile(p.packed), packedBefore);  // compressed: read, never rewritten
    EXPECT_FALSE(stdfs::exists(p.dir.Path("Pkg/Runtime/libraries/props/P.old")));

    for (const Finding& f : run.findings) {
        if (f.rule < Rule::MissingFile || f.rule > Rule::AnyPlatformAbsolute) {
            continue;
        }
        SCOPED_TRACE(f.path + ": " + f.value);
        // Every reference finding is either fixed, with its new value, or says why not.
        EXPECT_NE(f.fixed, !f.notFixed.empty());
        EXPECT_EQ(f.fixed, f.fixedValue.has_value());
        if (f.path == p.packed) {
            EXPECT_NE(f.notFixed.find("compressed"), std::string::npos);
        }
    }
    EXPECT_NE(run.report.find(kReferencesFixedHeader), std::string::npos);
    EXPECT_NE(run.report.find(kReferencesNotFixedHeader), std::string::npos);
}

TEST(ReferenceFixTest, SecondCheckFindsOnlyWhatWasNotFixedAndSecondFixChangesNothing) {
    Package p;
    PackageCheckRun first;
    CheckAndFix(p.dir.Path("Pkg"), first);
    std::set<std::tuple<Rule, std::string, std::string>> left;
    for (const Finding& f : first.findings) {
        if (!f.fixed) {
            left.emplace(f.rule, f.path, f.value);
        }
    }
    const std::string fixed = TempDir::ReadFile(p.figure);
    PackageCheckRun second;
    const ReferenceFixRun again = CheckAndFix(p.dir.Path("Pkg"), second);
    for (const Finding& f : second.findings) {
        EXPECT_EQ(left.count({f.rule, f.path, f.value}), 1u)
            << RuleName(f.rule) << " " << f.path << " " << f.value;
    }
    EXPECT_FALSE(again.asked);
    EXPECT_TRUE(again.plan.empty());
    EXPECT_EQ(TempDir::ReadFile(p.figure), fixed);
}

// The rewriter against the line reader on random text: the same lines with the same numbers, and
// every byte but the rewritten values handed on as it was, whatever the line ends, long lines and
// the sizes of the blocks fed.
TEST(ReferenceFixTest, RewriterKeepsTheLineReaderNumbersAndEveryOtherByte) {
    const std::string reference = "textureMap Runtime:a.jpg";
    FileRewrites rewrites{"f", {}, {}};
    rewrites.byReference[ReferenceKey("textureMap", "Runtime:a.jpg")] = {":Runtime:a.jpg", {}};
    const char* ends[] = {"\n", "\r\n", "\r", "\n\n", "\r\n\r\n", "\n\r", "\n\n\n"};
    std::mt19937 random(7);
    TempDir dir;
    for (int round = 0; round < 30; ++round) {
        std::string text;
        std::string expected;
        for (int i = 0; i < 200; ++i) {
            std::string line;
            if (random() % 3 == 0) {
                line = std::string(random() % 3, '\t') + reference;
                expected += line.substr(0, line.size() - reference.size()) + "textureMap :Runtime:a.jpg";
            } else {
                line = std::string(random() % 5 == 0 ? 2040 + random() % 4200 : random() % 80, 'x');
                expected += line;
            }
            const std::string end = i == 199 && round % 2 == 0 ? "" : ends[random() % std::size(ends)];
            text += line + end;
            expected += end;
        }
        const std::string path = dir.WriteFile("f.cr2", text);
        std::vector<std::pair<uint32_t, std::string>> read;
        CLineReader reader;
        ASSERT_TRUE(reader.Open(path));
        reader.Rewind();
        std::string got;
        while (const uint32_t number = reader.ReadLine(got)) {
            if (got.find("textureMap") != std::string::npos) {
                read.emplace_back(number, got);
            }
        }
        std::string out;
        std::vector<std::pair<uint32_t, std::string>> edited;
        CReferenceRewriter rewriter(
            rewrites, [&out](std::string_view bytes) { return out.append(bytes), true; },
            [&edited](const ReferenceEdit& edit) { edited.emplace_back(edit.line, edit.oldLine); });
        for (size_t at = 0; at < text.size();) {
            const size_t size = std::min<size_t>(text.size() - at, 1 + random() % 5000);
            ASSERT_TRUE(rewriter.Feed(std::string_view(text).substr(at, size)));
            at += size;
        }
        ASSERT_TRUE(rewriter.Finish());
        EXPECT_EQ(edited, read) << round;
        EXPECT_EQ(out, expected) << round;
    }
}

// Every write, flush and step of the replacement failing in turn, on the first and the second file
// of the fix: each file is as before or fixed, with its original in its backup; nothing else is left.
TEST(ReferenceFixTest, FaultsLoseNoByte) {
    const std::string before = "{\r\ntextureMap \"C:\\Runtime\\textures\\a.jpg\"\r\n}\r\n";
    const std::string after = "{\r\ntextureMap \":Runtime:textures:a.jpg\"\r\n}\r\n";
    enum class Fault { Write, Sync, Crash, BackupTaken };
    for (Fault fault : {Fault::Write, Fault::Sync, Fault::Crash, Fault::BackupTaken}) {
        for (int target = 1; target <= 2; ++target) {
            for (ReplaceStep step : {ReplaceStep::CopyCreated, ReplaceStep::CopyWritten,
                                     ReplaceStep::BackupMade, ReplaceStep::CopyInPlace}) {
                if (fault != Fault::Crash && step != ReplaceStep::CopyCreated) {
                    continue;
                }
                SCOPED_TRACE(std::to_string(static_cast<int>(fault)) + " " + std::to_string(target) + " " +
                             std::to_string(static_cast<int>(step)));
                TempDir dir;
                dir.WriteFile("Pkg/Runtime/textures/a.jpg", "x");
                const std::string folder = dir.MakeDir("Pkg/Runtime/libraries");
                dir.WriteFile("Pkg/Runtime/libraries/a.pz2", before);
                dir.WriteFile("Pkg/Runtime/libraries/b.pz2", before);
                if (fault == Fault::BackupTaken) {
                    dir.WriteFile(target == 1 ? "Pkg/Runtime/libraries/a.old" : "Pkg/Runtime/libraries/b.old",
                                  "o");
                }
                int files = 0;
                ReplaceHooks hooks;
                hooks.wrapWriter = [&](std::unique_ptr<FileWriter> w) -> std::unique_ptr<FileWriter> {
                    if (++files != target || (fault != Fault::Write && fault != Fault::Sync)) {
                        return w;
                    }
                    return std::make_unique<test::FailingWriter>(std::move(w), 5, fault == Fault::Sync);
                };
                int created = 0;
                hooks.continueAfter = [&](ReplaceStep at) {
                    created += at == ReplaceStep::CopyCreated ? 1 : 0;
                    return fault != Fault::Crash || created != target || at != step;
                };
                PackageCheckRun run;
                CheckAndFix(dir.Path("Pkg"), run, hooks);
                for (const char* name : {"a", "b"}) {
                    const std::string content = TempDir::ReadFile(folder + "/" + name + ".pz2");
                    const std::string backup = folder + "/" + name + ".old";
                    EXPECT_TRUE(content == before || content == after) << name;
                    if (content == after || (stdfs::exists(backup) && fault != Fault::BackupTaken)) {
                        EXPECT_EQ(TempDir::ReadFile(backup), before) << name;
                    }
                }
                for (const auto& entry : stdfs::directory_iterator(folder)) {
                    const std::string name = entry.path().filename().string();
                    const bool ours =
                        name == "a.pz2" || name == "b.pz2" || name == "a.old" || name == "b.old";
                    EXPECT_TRUE(ours || IsWriteLeftover(name)) << name;
                }
            }
        }
    }
}

}  // namespace
}  // namespace veltrane
