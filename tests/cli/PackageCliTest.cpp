#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <algorithm>
#include <string>

#include "cli/CliOutput.h"
#include "support/CliRunner.h"
#include "support/Images.h"
#include "support/TestTree.h"

namespace veltrane {
namespace {

using test::Native;
using test::RunCli;
using test::TempDir;

TEST(PackageCliTest, StatusesAndPlainOutput) {
    TempDir work;
    work.WriteFile("Clean/Runtime/libraries/a.pz2", "textureMap NO_MAP\r\n");
    work.WriteFile("Base/Runtime/textures/skin.jpg", "t");
    work.WriteFile("Pkg/Runtime/libraries/a.pz2", "textureMap :Runtime:textures:skin.jpg\r\n");
    for (const char* package : {"Clean", "Pkg"}) {
        work.WriteFile(std::string(package) + "/Runtime/libraries/a.png", test::Thumbnail());
        work.WriteFile(std::string(package) + "/ReadMe.txt", "r");
    }
    struct Case {
        std::string args;
        int status;
        std::string out;
        std::string err;
    };
    const Case cases[] = {
        {"Clean", 0, "No Problems found!\n", "Files checked: 1  Problems found: 0\n"},
        {"Pkg", 1,
         "These references name files that are neither in the package nor in a runtime looked in:\n" +
             Native("Pkg/Runtime/libraries/a.pz2") + ", line 1: :Runtime:textures:skin.jpg\n\n\n",
         "Files checked: 1  Problems found: 1\n"},
        {"--runtime Base Pkg", 0, "No Problems found!\n", "Files checked: 1  Problems found: 0\n"},
        {"--runtime Clean --runtime Base/Runtime Pkg", 0, "No Problems found!\n",
         "Files checked: 1  Problems found: 0\n"},
        {"nowhere", 2, "\n",
         "error: ERROR: Path specified does not exist or points to an unexisting file. Please make sure you "
         "enter a valid path.  \n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        const test::CliOutcome r = RunCli("package " + c.args, work.Root());
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, c.err);
    }
}

TEST(PackageCliTest, SamplePackageShowsEachFinding) {
    const std::string sample = Native(std::string(VELTRANE_EXAMPLES_DIR) + "/SamplePackage");
    const test::CliOutcome r = RunCli("package --json " + test::ShellQuote(sample));
    EXPECT_EQ(r.status, 1);
    const nlohmann::ordered_json j = nlohmann::ordered_json::parse(r.out);
    EXPECT_EQ(j["tool"], "package");
    EXPECT_EQ(j["mode"], nullptr);
    std::vector<std::string> rules;  // each section once, in report order: errors, warnings, information
    for (const auto& finding : j["findings"]) {
        if (rules.empty() || rules.back() != finding["rule"]) {
            rules.push_back(finding["rule"]);
        }
    }
    EXPECT_EQ(rules,
              (std::vector<std::string>{"missing-file", "outside-runtime", "any-platform-absolute",
                                        "empty-file", "case-mismatch", "compressed", "missing-thumbnail",
                                        "thumbnail-size", "image-mismatch", "junk-entry", "unreferenced"}));
    EXPECT_EQ(j["counters"], nlohmann::ordered_json::array({10, 12}));
    const auto& missing = j["findings"][0];
    EXPECT_EQ(missing["file"], Native(sample + "/Runtime/libraries/character/VeltraneSamples/BrassBot.cr2"));
    EXPECT_EQ(missing["line"], 6);
    EXPECT_EQ(missing["keyword"], "figureResFile");
    EXPECT_EQ(missing["value"], ":Runtime:Geometries:VeltraneSamples:brassbot.obj");
    EXPECT_EQ(missing["resolved"], nullptr);
    EXPECT_EQ(j["findings"][5]["resolved"], Native(sample + "/Runtime/textures/VeltraneSamples/stool.jpg"));
    EXPECT_EQ(j["findings"][9]["value"], "64 x 64");
    // Files of one rule come in the folders' listing order, which the platform decides.
    const nlohmann::ordered_json brass{
        {"rule", "unreferenced"},
        {"severity", "info"},
        {"path", Native(sample + "/Runtime/textures/VeltraneSamples/brass.jpg")}};
    EXPECT_NE(std::find(j["findings"].begin(), j["findings"].end(), brass), j["findings"].end());
}

TEST(PackageCliTest, FindingMembersFollowTheirRule) {
    Finding reference;
    reference.rule = Rule::CaseMismatch;
    reference.path = "a.pz2";
    reference.line = 3;
    reference.keyword = "textureMap";
    reference.value = ":Runtime:X.jpg";
    reference.resolved = "Runtime/x.jpg";
    Finding missing = reference;
    missing.rule = Rule::MissingFile;
    missing.resolved.reset();
    missing.more = 7;
    Finding entry;
    entry.rule = Rule::Compressed;
    entry.path = "b.ppz";
    const std::pair<Finding, const char*> cases[] = {
        {reference,
         R"({"rule": "case-mismatch", "severity": "warning", "file": "a.pz2", "line": 3, "keyword": "textureMap", )"
         R"("value": ":Runtime:X.jpg", "resolved": "Runtime/x.jpg"})"},
        {missing,
         R"({"rule": "missing-file", "severity": "error", "file": "a.pz2", "line": 3, "keyword": "textureMap", )"
         R"("value": ":Runtime:X.jpg", "resolved": null, "more": 7})"},
        {entry, R"({"rule": "compressed", "severity": "warning", "path": "b.ppz"})"},
    };
    for (const auto& [finding, json] : cases) {
        EXPECT_EQ(cli::FindingJsonLine(finding), json);
    }
    entry.path = std::string("b\xff") + ".ppz";  // not UTF-8: the raw bytes ride along in base64
    EXPECT_NE(cli::FindingJsonLine(entry).find(R"("path_bytes": "Yv8ucHB6")"), std::string::npos);
}

}  // namespace
}  // namespace veltrane
