// Findings, several PATHs and check, through the real binary.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "support/CliRunner.h"
#include "support/RandomPackage.h"
#include "support/TestTree.h"

namespace veltrane {
namespace {

using test::CliOutcome;
using test::Native;
using test::TempDir;

const std::string kSample = Native(std::string(VELTRANE_EXAMPLES_DIR) + "/SamplePackage");

CliOutcome RunIn(const TempDir& work, const std::string& args) {
    return test::RunCli(args, work.Root());
}

std::vector<nlohmann::json> JsonLines(const std::string& out) {
    std::vector<nlohmann::json> objects;
    size_t start = 0;
    for (size_t nl = out.find('\n'); nl != std::string::npos; nl = out.find('\n', start)) {
        objects.push_back(nlohmann::json::parse(out.substr(start, nl - start)));
        start = nl + 1;
    }
    return objects;
}

#ifndef _WIN32  // Windows names are UTF-16: every name converts to valid UTF-8
std::string FromBase64(const std::string& text) {
    const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string bytes;
    uint32_t group = 0;
    int bits = 0;
    for (char c : text) {
        if (c == '=') {
            break;
        }
        group = (group << 6) | static_cast<uint32_t>(alphabet.find(c));
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            bytes += static_cast<char>((group >> bits) & 0xFF);
        }
    }
    return bytes;
}

TEST(FindingsCliTest, BytesThatAreNotUtf8ComeBackThroughBytesMembers) {
    TempDir work;
    const std::string name = "caf\xE9-" + std::string(30, 'n') + ".cr2";
    work.WriteFile("d/" + name, "textureMap C:\\x.jpg\r\n");
    const nlohmann::json names = nlohmann::json::parse(RunIn(work, "names --json d").out);
    ASSERT_EQ(names["findings"].size(), 1u);
    EXPECT_EQ(FromBase64(names["findings"][0]["path_bytes"]), Native("d/" + name));
    EXPECT_EQ(names["findings"][0]["length"], 39);  // the lone byte counts as one character
    const nlohmann::json paths = nlohmann::json::parse(RunIn(work, "paths --json d").out);
    ASSERT_EQ(paths["findings"].size(), 1u);
    EXPECT_EQ(FromBase64(paths["findings"][0]["file_bytes"]), Native("d/" + name));
    EXPECT_EQ(paths["findings"][0]["line"], 1);
    EXPECT_FALSE(paths["findings"][0].contains("value_bytes"));  // valid UTF-8 has none
}
#endif

// Each PATH runs as if alone; the highest status is the program's.
TEST(FindingsCliTest, SeveralPathsRunInTurn) {
    TempDir work;
    work.WriteFile("clean/a.txt", "x");
    work.WriteFile("long/" + std::string(40, 'n'), "x");
    CliOutcome plain = RunIn(work, "names clean long missing");
    EXPECT_EQ(plain.status, 2);
    EXPECT_EQ(plain.out.find("==> clean <==\nNo Problems found!\n==> long <==\nThe file '"), 0u) << plain.out;
    EXPECT_NE(plain.out.find("==> missing <==\n\n"), std::string::npos);
    EXPECT_NE(plain.err.find("==> long <==\nItems checked: 1  Problems found: 1\n==> missing <==\nerror: "),
              std::string::npos)
        << plain.err;

    CliOutcome json = RunIn(work, "names --json clean long");
    EXPECT_EQ(json.status, 1);
    const std::vector<nlohmann::json> objects = JsonLines(json.out);
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0]["path"], "clean");
    EXPECT_EQ(objects[0]["findings"].size(), 0u);
    EXPECT_EQ(objects[1]["findings"][0]["rule"], "long-name");
}

// check holds, per tool, exactly the object that tool alone prints, and all of their findings.
TEST(FindingsCliTest, CheckHoldsWhatEachToolAlonePrints) {
    TempDir work;
    CliOutcome check = RunIn(work, "check --json " + test::ShellQuote(kSample));
    EXPECT_EQ(check.status, 1);
    const nlohmann::json all = nlohmann::json::parse(check.out);
    EXPECT_EQ(all["tool"], "check");
    nlohmann::json findings = nlohmann::json::array();
    const char* runs[][2] = {{"names", "names --recursive"},
                             {"paths", "paths --folder"},
                             {"versions", "versions --folder"},
                             {"package", "package"}};
    for (const auto& [tool, args] : runs) {
        SCOPED_TRACE(tool);
        const nlohmann::json alone = nlohmann::json::parse(
            RunIn(work, std::string(args) + " --json " + test::ShellQuote(kSample)).out);
        EXPECT_EQ(all[tool], alone);
        for (const auto& finding : alone["findings"]) {
            findings.push_back(finding);
        }
    }
    EXPECT_EQ(all["findings"], findings);
}

// The read-ahead changes nothing a script sees: the same JSON, boxes and status with every thread
// count, on a package with every kind of finding, long lines and a file that will not open.
TEST(FindingsCliTest, EveryThreadCountPrintsTheSame) {
    TempDir work;
    test::Generate(work, 7, 120);
    const test::UnreadableFile gone(work.Path("Runtime/libraries/props/gone.pz2"));
    for (const char* tool : {"paths --folder", "versions --folder", "package", "check"}) {
        SCOPED_TRACE(tool);
        const std::string args = std::string(tool) + " --json " + test::ShellQuote(work.Root());
        const CliOutcome one = RunIn(work, args + " --threads 1");
        EXPECT_EQ(one.status, 1);
        for (const char* threads : {"2", "8"}) {
            const CliOutcome many = RunIn(work, args + " --threads " + threads);
            EXPECT_EQ(many.out, one.out);
            EXPECT_EQ(many.err, one.err);
            EXPECT_EQ(many.status, one.status);
        }
    }
}

}  // namespace
}  // namespace veltrane
