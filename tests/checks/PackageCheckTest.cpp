#include "checks/PackageCheck.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "checks/LibraryReference.h"
#include "checks/PathCheck.h"
#include "support/Gzip.h"
#include "support/Images.h"
#include "support/ScriptedContext.h"
#include "support/TestTree.h"

namespace veltrane {
namespace {

using test::ScriptedContext;
using test::TempDir;

using test::Gzip;

TEST(PackageCheckTest, ReferenceLines) {
    struct Case {
        std::string line;
        const char* keyword;  // nullptr: no reference
        const char* value;
    };
    const Case cases[] = {
        {"\ttextureMap \":Runtime:textures:A:b c.jpg\"", "textureMap", ":Runtime:textures:A:b c.jpg"},
        {"figureResFile :Runtime:Geometries:G:g.obj", "figureResFile", ":Runtime:Geometries:G:g.obj"},
        {"objFileGeom 0 0 :Runtime:Geometries:G:g.obj", "objFileGeom", ":Runtime:Geometries:G:g.obj"},
        {"objFileGeom :Runtime:g.obj", "objFileGeom", ":Runtime:g.obj"},
        {"  bumpMap \" Runtime\\b.jpg \" ", "bumpMap", "Runtime\\b.jpg"},
        {"reflectionMap r.jpg", "reflectionMap", "r.jpg"},
        {"transparencyMap t.jpg", "transparencyMap", "t.jpg"},
        {"readScript \":Runtime:libraries:pose:x.pz2\"", "readScript", ":Runtime:libraries:pose:x.pz2"},
        {"morphBinaryFile :Runtime:Geometries:m.pmd", "morphBinaryFile", ":Runtime:Geometries:m.pmd"},
        {"\tobjFile 4097 :Runtime:Geometries:X:hip.obj", "objFile", ":Runtime:Geometries:X:hip.obj"},
        {"injectPMDFileMorphs \":Runtime:Geometries:X:m.pmd\"", "injectPMDFileMorphs",
         ":Runtime:Geometries:X:m.pmd"},
        {"injectPMDFileMorphs m.pmd", "injectPMDFileMorphs", "m.pmd"},
        {"runPythonScript \"runtime:Python:a b.py\"", "runPythonScript", "runtime:Python:a b.py"},
        {"\t\trunPythonScriptEx \":Runtime:Python:x.py\" \"arg\" 1", "runPythonScriptEx",
         ":Runtime:Python:x.py"},
        {"figureResFile GetStringRes(1052,19)", nullptr, nullptr},
        {"textureMap \":NO_MAP\"", nullptr, nullptr},
        {"textureMap \" NO_MAP: \"", nullptr, nullptr},
        {"textureMap NO_MAP", nullptr, nullptr},
        {"textureMap \"\"", nullptr, nullptr},
        {"textureMap", nullptr, nullptr},
        {"TextureMap a.jpg", nullptr, nullptr},
        {"mytextureMap a.jpg", nullptr, nullptr},
        {"file \":Runtime:textures:outside.jpg\"", nullptr, nullptr},  // not in a material node
    };
    CReferenceReader reader;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const auto reference = reader.Examine(c.line);
        ASSERT_EQ(reference.has_value(), c.keyword != nullptr);
        if (reference) {
            EXPECT_EQ(reference->keyword, c.keyword);
            EXPECT_EQ(reference->value, c.value);
        }
    }
}

// file lines are references inside a material or preset material block and inside any node input,
// such as those of the scene's background and atmosphere shader trees.
TEST(PackageCheckTest, FileLinesCountOnlyInsideMaterialsAndNodeInputs) {
    const char* lines[] = {"material skin",
                           "\t{",
                           "\tshaderTree",
                           "\t\t{",
                           "\t\tnodeInput \"Image_Source\"",
                           "\t\t\t{",
                           "\t\t\t}",
                           "\t\tfile \":Runtime:a.jpg\"",  // the material is still open
                           "\t\t}",
                           "\tfile NO_MAP",
                           "\t}",
                           "file \":Runtime:b.jpg\"",
                           "node x",
                           "{",
                           "file :Runtime:c.jpg",
                           "}",
                           "presetMaterial rust",
                           "{",
                           "file \"Runtime:d.jpg\"",
                           "}",
                           "bgShaderTree",
                           "\t{",
                           "\tnode \"image_map\" \"Image_Map\"",
                           "\t\t{",
                           "\t\tnodeInput \"Image_Source\"",
                           "\t\t\t{",
                           "\t\t\tfile \":Runtime:e.jpg\"",
                           "\t\t\t}",
                           "\t\tfile \":Runtime:f.jpg\"",
                           "\t\t}",
                           "\t}"};
    CReferenceReader reader;
    std::vector<std::string> found;
    for (const char* line : lines) {
        if (auto reference = reader.Examine(line)) {
            found.push_back(reference->value);
        }
    }
    EXPECT_EQ(found, (std::vector<std::string>{":Runtime:a.jpg", "Runtime:d.jpg", ":Runtime:e.jpg"}));
}

TEST(PackageCheckTest, ReferencePathForms) {
    using Parts = std::vector<std::string_view>;
    struct Case {
        const char* value;
        bool absolute;
        bool escapes;
        Parts components;
    };
    const Case cases[] = {
        {":Runtime:Textures:A:b.jpg", false, false, {"Runtime", "Textures", "A", "b.jpg"}},
        {"runtime:Textures:b.jpg", false, false, {"runtime", "Textures", "b.jpg"}},
        {"Runtime\\textures\\b.jpg", false, false, {"Runtime", "textures", "b.jpg"}},
        {"\\Runtime\\textures\\b.jpg", true, false, {}},  // the drive of the moment
        {"Vendor:b.jpg", true, false, {}},
        {"b.jpg", false, false, {"b.jpg"}},
        {"Runtime/textures/./b.jpg", false, false, {"Runtime", "textures", "b.jpg"}},
        {"Runtime/textures/../b.jpg", false, false, {"Runtime", "b.jpg"}},
        {"Runtime/../../b.jpg", false, true, {}},
        {"C:\\Program Files\\b.jpg", true, false, {}},
        {"c:/b.jpg", true, false, {}},
        {"Macintosh HD:Applications:Poser 4:Runtime:b.jpg", true, false, {}},
        {"\\\\server\\share\\b.jpg", true, false, {}},
        {"/Users/me/b.jpg", true, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        const ReferencePath parsed = ParseReferencePath(c.value);
        EXPECT_EQ(parsed.absolute, c.absolute);
        EXPECT_EQ(parsed.escapesRoot, c.escapes);
        EXPECT_EQ(parsed.components, c.components);
        // Check Paths judges absolute paths by the same test.
        EXPECT_EQ((ExaminePathLine("textureMap \"" + std::string(c.value) + "\"") & kFindingAbsolute) != 0,
                  c.absolute);
    }
}

// What a run found, one "rule line value" or "rule path" string per finding, in report order.
std::vector<std::string> Summary(const PackageCheckRun& run, const std::string& root) {
    std::vector<std::string> summary;
    for (const Finding& f : run.findings) {
        std::string path = f.path.substr(std::min(f.path.size(), root.size() + 1));
        std::replace(path.begin(), path.end(), '\\', '/');
        std::string line = std::string(RuleName(f.rule)) + " " + path;
        if (f.line != 0) {
            line += ":" + std::to_string(f.line) + " " + f.value;
        }
        summary.push_back(line);
    }
    return summary;
}

class PackageTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_pkg.WriteFile("ReadMe.txt", "r");
        m_pkg.WriteFile("Runtime/libraries/pose/P/refs.png", test::Thumbnail());
        m_pkg.WriteFile("Runtime/textures/A/b.jpg", test::kJpegHead);
        m_pkg.WriteFile("Runtime/textures/A/unused.jpg", test::kJpegHead);
        m_pkg.WriteFile("Runtime/Geometries/G/g.obj", "g");
        m_pkg.WriteFile("Downloads/d.jpg", "t");
        m_base.WriteFile("Runtime/textures/Base/skin.jpg", "t");
        m_pkg.WriteFile("Runtime/libraries/pose/P/refs.pz2",
                        "version\r\n"
                        "textureMap \":Runtime:textures:A:b.jpg\"\r\n"        // 2 colon form
                        "bumpMap Runtime\\textures\\A\\b.jpg\r\n"             // 3 backslash form
                        "reflectionMap /Runtime/textures/A/b.jpg\r\n"         // 4 a leading slash
                        "transparencyMap Runtime/textures/A/b.jpg\r\n"        // 5 slash form
                        "textureMap :runtime:Textures:a:B.JPG\r\n"            // 6 case
                        "textureMap NO_MAP\r\n"                               // 7
                        "textureMap :Runtime:textures:A:missing.jpg\r\n"      // 8
                        "figureResFile \"C:\\Program Files\\x.obj\"\r\n"      // 9
                        "textureMap \"Macintosh HD:Applications:x.jpg\"\r\n"  // 10
                        "textureMap \\\\server\\share\\x.jpg\r\n"             // 11
                        "textureMap :Downloads:d.jpg\r\n"                     // 12
                        "textureMap :Runtime:..:..:x.jpg\r\n"                 // 13
                        "objFileGeom 0 0 :Runtime:Geometries:G:g.obj\r\n"     // 14
                        "textureMap :Runtime:textures:Base:skin.jpg\r\n");    // 15 base content
    }

    PackageCheckRun Check(const std::string& path, std::vector<std::string> runtimes = {}) {
        ScriptedContext ctx;
        PackageCheckRun run = RunPackageCheck(path, runtimes, ctx);
        EXPECT_EQ(ctx.m_progressShown, ctx.m_progressClosed);
        EXPECT_EQ(ctx.m_waitDepth, 0);
        return run;
    }

    TempDir m_pkg;
    TempDir m_base;
    const std::string m_refs = "Runtime/libraries/pose/P/refs.pz2";
};

TEST_F(PackageTreeTest, EveryRuleOnEveryPathForm) {
    const PackageCheckRun run = Check(m_pkg.Root());
    const std::vector<std::string> expected = {
        "missing-file " + m_refs + ":8 :Runtime:textures:A:missing.jpg",
        "missing-file " + m_refs + ":15 :Runtime:textures:Base:skin.jpg",
        "outside-runtime " + m_refs + ":12 :Downloads:d.jpg",
        "outside-runtime " + m_refs + ":13 :Runtime:..:..:x.jpg",
        "any-platform-absolute " + m_refs + ":4 /Runtime/textures/A/b.jpg",
        "any-platform-absolute " + m_refs + ":9 C:\\Program Files\\x.obj",
        "any-platform-absolute " + m_refs + ":10 Macintosh HD:Applications:x.jpg",
        "any-platform-absolute " + m_refs + ":11 \\\\server\\share\\x.jpg",
        "case-mismatch " + m_refs + ":6 :runtime:Textures:a:B.JPG",
        "unreferenced Runtime/textures/A/unused.jpg",
    };
    EXPECT_EQ(Summary(run, m_pkg.Root()), expected);
    EXPECT_EQ(run.filesChecked, 1);
    EXPECT_EQ(run.problemsFound, 9);
    ASSERT_EQ(run.findings.size(), expected.size());
    EXPECT_FALSE(run.findings[0].resolved);
    EXPECT_EQ(run.findings[8].resolved, m_pkg.Path("Runtime/textures/A/b.jpg"));
    EXPECT_EQ(run.findings[8].keyword, "textureMap");
    EXPECT_EQ(run.findings[2].resolved, m_pkg.Path("Downloads/d.jpg"));
}

// A run that keeps its findings for printing has the findings, report and counters of one that lists them.
TEST_F(PackageTreeTest, KeptFindingsAreTheListedOnes) {
    m_pkg.WriteFile("Runtime/libraries/pose/P/empty.pz2", "");
    ScriptedContext ctx;
    const PackageCheckRun listed = RunPackageCheck(m_pkg.Root(), {}, ctx);
    const PackageCheckRun kept = RunPackageCheck(m_pkg.Root(), {}, ctx, nullptr, false, false);
    ASSERT_TRUE(kept.kept);
    EXPECT_TRUE(kept.findings.empty() && kept.report.empty());
    Findings made;
    kept.kept->ForEach([&made](const Finding& finding) {
        made.push_back(finding);
        return true;
    });
    EXPECT_EQ(made, listed.findings);
    EXPECT_EQ(PackageReport(*kept.kept, kept.cancelled), listed.report);
    EXPECT_EQ(kept.problemsFound, listed.problemsFound);
}

TEST_F(PackageTreeTest, ExtraRuntimeAndRuntimeFolderAsPath) {
    for (const std::string& base : {m_base.Root(), m_base.Path("Runtime")}) {
        SCOPED_TRACE(base);
        const std::vector<std::string> found = Summary(Check(m_pkg.Path("Runtime"), {base}), m_pkg.Root());
        EXPECT_EQ(std::count_if(found.begin(), found.end(),
                                [](const std::string& s) { return s.starts_with("missing-file"); }),
                  1);
        EXPECT_EQ(found.back(), "unreferenced Runtime/textures/A/unused.jpg");
    }
}

TEST_F(PackageTreeTest, CompressedFilesAreReportedAndRead) {
    m_pkg.WriteFile("Runtime/libraries/props/P/z.ppz",
                    Gzip("prop x\r\ntextureMap :Runtime:textures:A:gone.jpg\r\n"));
    m_pkg.WriteFile("Runtime/libraries/props/P/hidden.pp2",
                    Gzip("textureMap :Runtime:textures:A:unused.jpg\r\n"));
    m_pkg.WriteFile("Runtime/Geometries/G/g2.obz", Gzip("v 0 0 0\r\n"));
    m_pkg.WriteFile("Runtime/libraries/props/P/broken.ppz", Gzip("textureMap x\r\n").substr(0, 12));
    const std::vector<std::string> found = Summary(Check(m_pkg.Root()), m_pkg.Root());
    auto has = [&](const std::string& s) { return std::find(found.begin(), found.end(), s) != found.end(); };
    EXPECT_TRUE(has("missing-file Runtime/libraries/props/P/z.ppz:2 :Runtime:textures:A:gone.jpg"));
    EXPECT_TRUE(has("compressed Runtime/libraries/props/P/z.ppz"));
    EXPECT_TRUE(has("compressed Runtime/libraries/props/P/hidden.pp2"));
    EXPECT_TRUE(has("compressed Runtime/Geometries/G/g2.obz"));
    EXPECT_TRUE(has("unreadable-file Runtime/libraries/props/P/broken.ppz"));
    EXPECT_FALSE(has("unreferenced Runtime/textures/A/unused.jpg"));  // the hidden file refers to it
    EXPECT_TRUE(has("unreferenced Runtime/Geometries/G/g2.obz"));
}

// A material file written as Poser writes it on Windows (CR line ends, tabs, cp1252), and compressed
// material files: every reference is read, and resolved where Poser finds it.
TEST_F(PackageTreeTest, ReferencesResolveWherePoserFindsThem) {
    m_pkg.WriteFile("Runtime/Geometries/G/hip.obz", Gzip("v 0 0 0\r\n"));
    m_pkg.WriteFile("Runtime/Geometries/G/m.pmd", "m");
    m_pkg.WriteFile("Runtime/textures/Vendor/skin.jpg", "t");
    m_pkg.WriteFile("Runtime/textures/Caf\xC3\xA9.jpg", "t");
    m_pkg.WriteFile("Runtime/Python/x.py", "p");
    const char* lines[] = {
        "{",
        "presetMaterial skin",
        "\t{",
        "\ttextureMap \":Vendor:skin.jpg\"",            // 4 found below Runtime:textures
        "\tbumpMap \"\\Runtime\\textures\\A\\b.jpg\"",  // 5 the drive of the moment
        "\tshaderTree",
        "\t\t{",
        "\t\tnodeInput \"Image_Source\"",
        "\t\t\t{",
        "\t\t\tfile \"Caf\xE9.jpg\"",  // 10 cp1252
        "\t\t\t}",
        "\t\t}",
        "\t}",
        "objFile 4097 :Runtime:Geometries:G:hip.obj",           // 14 compressed geometry
        "injectPMDFileMorphs \":Runtime:Geometries:G:m.pmd\"",  // 15
        "runPythonScript \"runtime:Python:x.py\"",              // 16
        "readScript \"Runtime:libraries:pose:P:refs.pz2\"",     // 17
        "figureResFile GetStringRes(1052,19)",                  // 18
        "textureMap \":NO_MAP\"",                               // 19
        "textureMap \":Vendor:gone.jpg\"",                      // 20
        "}",
    };
    std::string file;
    for (const char* line : lines) {
        file += std::string(line) + "\r";
    }
    m_pkg.WriteFile("Runtime/libraries/materials/M/all.mt5", file);
    m_pkg.WriteFile("Runtime/libraries/materials/M/set.mcz",
                    Gzip("material m\r\n\t{\r\n\tfile \":A:unused.jpg\"\r\n\t}\r\n"));
    m_pkg.WriteFile("Runtime/libraries/materials/M/one.mz5", Gzip("textureMap NO_MAP\r\n"));
    const PackageCheckRun run = Check(m_pkg.Root());
    std::vector<std::string> found;
    for (const std::string& line : Summary(run, m_pkg.Root())) {
        // The fixture's own file is pinned above; thumbnails, names and image contents are judged
        // elsewhere.
        const bool storeRule = line.starts_with("missing-thumbnail ") ||
                               line.starts_with("non-ascii-name ") || line.starts_with("image-mismatch ");
        if (line.find(m_refs) == std::string::npos && !storeRule) {
            found.push_back(line);
        }
    }
    // Files of one rule come in the folders' listing order, which the platform decides.
    std::sort(found.begin(), found.end());
    const std::string all = "Runtime/libraries/materials/M/all.mt5";
    EXPECT_EQ(found, (std::vector<std::string>{
                         "any-platform-absolute " + all + ":5 \\Runtime\\textures\\A\\b.jpg",
                         "compressed Runtime/Geometries/G/hip.obz",
                         "compressed Runtime/libraries/materials/M/one.mz5",
                         "compressed Runtime/libraries/materials/M/set.mcz",
                         "outside-runtime " + all + ":20 :Vendor:gone.jpg",
                     }));
    EXPECT_EQ(run.filesChecked, 4);
}

TEST(PackageCheckTest, NoRuntimeStopsAndCleanReports) {
    TempDir dir;
    dir.WriteFile("Loose/a.pz2", "textureMap NO_MAP\r\n");
    ScriptedContext ctx;
    PackageCheckRun run = RunPackageCheck(dir.Path("Loose"), {}, ctx);
    EXPECT_EQ(run.report, "This folder holds no Runtime folder:\r\n" + dir.Path("Loose") + "\r\n\r\n");
    EXPECT_EQ(run.problemsFound, 1);

    dir.WriteFile("Pkg/Runtime/libraries/a.pz2", "textureMap NO_MAP\r\n");
    dir.WriteFile("Pkg/Runtime/libraries/a.png", test::Thumbnail());
    dir.WriteFile("Pkg/ReadMe.txt", "r");
    run = RunPackageCheck(dir.Path("Pkg"), {}, ctx);
    EXPECT_EQ(run.report, "No Problems found!");
    EXPECT_EQ(run.filesChecked, 1);

    const std::pair<std::string, PackageCheckStop> stops[] = {
        {dir.Path("nowhere"), PackageCheckStop::PathMissing},
        {dir.Path("Loose/a.pz2"), PackageCheckStop::NotAFolder},
    };
    for (const auto& [path, stop] : stops) {
        EXPECT_EQ(RunPackageCheck(path, {}, ctx).stop, stop);
    }
    EXPECT_EQ(RunPackageCheck(dir.Path("Pkg"), {dir.Path("nowhere")}, ctx).stop,
              PackageCheckStop::RuntimeMissing);
}

// Each kind of finding line as the report writes it; a section's lines follow one another and a
// blank line ends it.
TEST(PackageCheckTest, ReportLineForms) {
    const auto finding = [](Rule rule, std::string path, uint32_t line, std::string value,
                            uint64_t more = 0) {
        Finding f;
        f.rule = rule;
        f.path = std::move(path);
        f.line = line;
        f.value = std::move(value);
        f.more = more;
        return f;
    };
    Finding damaged = finding(Rule::DamagedArchive, "P.zip", 0, "");
    damaged.error = "truncated";
    const std::string report = PackageReport(
        {finding(Rule::MissingFile, "P/a.cr2", 4294967295u, ":Runtime:x.jpg", 18446744073709551615u),
         finding(Rule::MissingFile, "P/b.cr2", 7, ":Runtime:y.jpg"),
         finding(Rule::LinkOutside, "P/out", 0, "/far"), finding(Rule::Unreferenced, "P/t.jpg", 0, ""),
         finding(Rule::Compressed, "P/v.crz", 0, "4.01"), damaged},
        false);
    for (const char* lines :
         {"P/a.cr2, line 4294967295: :Runtime:x.jpg\r\n    ... and 18446744073709551615 more in this file\r\n"
          "P/b.cr2, line 7: :Runtime:y.jpg\r\n\r\n",
          "P/out -> /far\r\n\r\n", "P/t.jpg\r\n\r\n", "P/v.crz: 4.01\r\n\r\n", "P.zip: truncated\r\n\r\n"}) {
        EXPECT_NE(report.find(lines), std::string::npos) << lines;
    }
}

TEST(PackageCheckTest, EscapeOnALineShowsPartialResultsWithoutUnreferenced) {
    TempDir dir;
    dir.WriteFile("Runtime/textures/unused.jpg", "t");
    dir.WriteFile("Runtime/a.pz2", "textureMap :Runtime:gone.jpg\r\ntextureMap :Runtime:gone2.jpg\r\n");
    ScriptedContext probe;
    RunPackageCheck(dir.Root(), {}, probe);
    ScriptedContext ctx;
    ctx.m_escapeAtPoll = probe.m_polls;  // the last line
    const PackageCheckRun run = RunPackageCheck(dir.Root(), {}, ctx);
    EXPECT_TRUE(run.cancelled);
    EXPECT_EQ(run.report, "User Cancelled Operation. Showing partial results!\r\n\r\n");
    EXPECT_TRUE(run.findings.empty());  // the file being read when Escape came adds nothing
}

}  // namespace
}  // namespace veltrane
