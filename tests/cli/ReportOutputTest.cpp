// What the terminal and the HTML page add to the findings: escapes, thumbnails, colour, the progress line.

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "checks/ReportHtml.h"
#include "cli/CliOutput.h"
#include "cli/ProgressLine.h"

namespace veltrane {
namespace {

TEST(ReportOutputTest, HtmlTextEscapesMarkupControlsAndBytesThatAreNotUtf8) {
    const std::pair<std::string, std::string> cases[] = {
        {"<script>alert('x')</script>", "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;"},
        {"\"><img src=x onerror=a&b>", "&quot;&gt;&lt;img src=x onerror=a&amp;b&gt;"},
        {"caf\xC3\xA9 \xE2\x82\xAC", "caf\xC3\xA9 \xE2\x82\xAC"},                      // UTF-8 stays
        {"bad\xFF\xC3(", "bad\\xff\\xc3("},                                            // stray bytes
        {"tab\tbell\x07 del\x7F c1\xC2\x85", "tab\tbell\\x07 del\\x7f c1\\xc2\\x85"},  // controls
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(HtmlText(in), out) << in;
    }
}

Finding Found(Rule rule, const std::string& path) {
    Finding finding;
    finding.rule = rule;
    finding.path = path;
    finding.line = 3;
    return finding;
}

HtmlReportInput Input(const Findings& findings) {
    HtmlReportInput input;
    input.path = "P";
    input.findings = &findings;
    return input;
}

std::string Png(uint32_t width, uint32_t height) {
    std::string bytes("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16);
    for (uint32_t value : {width, height}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes += static_cast<char>((value >> shift) & 0xFF);
        }
    }
    return bytes + std::string(17, '\0');
}

// A thumbnail is embedded once, scaled down to 91 pixels at most; anything that is not a PNG, or too
// large to read, is left out.
TEST(ReportOutputTest, ThumbnailsAreEmbeddedOnceAndScaledToFit) {
    const std::map<std::string, std::string> pngs = {
        {"P/a.png", Png(91, 91)},
        {"P/b.png", Png(200, 100)},
        {"P/c.png", "\xFF\xD8\xFF not a PNG"},
        {"P/d.png", Png(10, 10) + std::string(kThumbnailReadLimit, 'x')},
    };
    Findings findings;
    for (const char* file : {"P/a.cr2", "P/a.cr2", "P/b.pp2", "P/c.pz2", "P/d.cr2", "P/e.cr2"}) {
        findings.push_back(Found(Rule::MissingFile, file));
    }
    HtmlReportInput input = Input(findings);
    input.readPngs = [&pngs](const std::vector<std::string>& paths, const PngSink& each) {
        EXPECT_EQ(paths, (std::vector<std::string>{"P/a.png", "P/b.png", "P/c.png", "P/d.png", "P/e.png"}));
        for (size_t i = 0; i < paths.size(); ++i) {
            if (pngs.contains(paths[i])) {
                each(i, pngs.at(paths[i]));
            }
        }
    };
    const std::string page = HtmlReport(input);
    const auto count = [&page](const std::string& text) {
        size_t n = 0;
        for (size_t at = page.find(text); at != std::string::npos; at = page.find(text, at + 1)) {
            ++n;
        }
        return n;
    };
    EXPECT_EQ(count("data:image/png;base64,"), 2u);
    EXPECT_EQ(count("width:91px;height:91px"), 1u);
    EXPECT_EQ(count("width:91px;height:46px"), 1u);
    EXPECT_EQ(count("class=\"thumb t1\""), 2u);  // both rows of a.cr2 show the one copy
    EXPECT_EQ(count("class=\"thumb t2\""), 1u);
    EXPECT_EQ(count("class=\"thumb"), 3u);
}

TEST(ReportOutputTest, LongSectionsFoldBeyondFiftyRows) {
    const Findings findings(kReportRowsShown + 3, Found(Rule::Compressed, "P/x.obz"));
    const std::string page = HtmlReport(Input(findings));
    EXPECT_NE(page.find("<details><summary>3 more</summary>"), std::string::npos);
    EXPECT_NE(page.find("3 warnings"), std::string::npos);
}

TEST(ReportOutputTest, ColourMarksHeadersByTheirSeverityAndPathsOfThePackage) {
    const std::string plain =
        "-- package --\n"
        "These files are compressed (older Poser releases and most other programs cannot read them):\n"
        "P/Keg.ppz\n"
        "Something else:\n"
        "P/a.cr2, line 6: :Runtime:x.obj\n"
        "No Problems found!\n";
    EXPECT_EQ(
        cli::Colourize(plain, "P"),
        "\033[1m-- package --\033[0m\n"
        "\033[1;33mThese files are compressed (older Poser releases and most other programs cannot read "
        "them):\033[0m\n"
        "\033[36mP/Keg.ppz\033[0m\n"
        "\033[1;31mSomething else:\033[0m\n"
        "\033[36mP/a.cr2\033[0m, line 6: :Runtime:x.obj\n"
        "No Problems found!\n");
}

#ifdef _WIN32
constexpr const char* kLineEnd = "\r\n";
#else
constexpr const char* kLineEnd = "\n";
#endif

// What goes to the stream is the text PlainStdout makes, whatever the size of the report: a check's
// parts under their headings, line ends as the platform writes them, after the heading given.
TEST(ReportOutputTest, StreamedStdoutIsThePlainText) {
    std::string report;
    std::string lines;
    for (int i = 0; report.size() < 200000; ++i) {  // several chunks, lines across their ends
        report += "P/file " + std::to_string(i) + ".cr2, line 7: x\r\n";
        lines += "P/file " + std::to_string(i) + ".cr2, line 7: x" + kLineEnd;
    }
    cli::CliRun run;
    run.parts.resize(2);
    run.parts[0].tool = "names";
    run.parts[0].report = "No Problems found!";
    run.parts[1].tool = "package";
    run.parts[1].report = report;
    const std::string expected =
        std::string("-- names --\n") + "No Problems found!" + kLineEnd + "-- package --\n" + lines + kLineEnd;
    EXPECT_EQ(cli::PlainStdout(run), expected);

    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    EXPECT_TRUE(cli::WritePlainStdout(stream, run, "==> P <==\n"));
    std::string written(expected.size() + 64, '\0');
    std::rewind(stream);
    written.resize(std::fread(written.data(), 1, written.size(), stream));
    std::fclose(stream);
    EXPECT_EQ(written, "==> P <==\n" + expected);
}

// Nothing for the first half second, then at most ten redraws a second, and gone when cleared; off,
// never a byte.
TEST(ReportOutputTest, ProgressLineWaitsHalfASecondAndClearsItself) {
    for (const bool on : {true, false}) {
        std::FILE* stream = std::tmpfile();
        ASSERT_NE(stream, nullptr);
        int64_t now = 1000;
        {
            cli::CProgressLine line(stream, on, [&now] { return now; });
            for (const auto& [at, count] : std::vector<std::pair<int64_t, int64_t>>{
                     {1000, 1}, {1499, 500}, {1500, 12345}, {1550, 12400}, {1600, 30012}, {1700, 7}}) {
                now = at;
                line.Scanned(count);
            }
            now = 1800;
            line.Read(2, 9);  // then the files of the list are read
            line.Clear();
            now = 1900;
            line.Scanned(30100);  // a new run waits again
        }
        std::string written(256, '\0');
        std::rewind(stream);
        written.resize(std::fread(written.data(), 1, written.size(), stream));
        std::fclose(stream);
        // A second walk counts from 0 again: the line keeps the most any walk counted.
        EXPECT_EQ(
            written,
            on ? "\rChecking... 12,345 entries scanned\033[K\rChecking... 30,012 entries "
                 "scanned\033[K\rChecking... 30,012 entries scanned\033[K\rChecking 2 of 9 files...\033[K"
                 "\r\033[K"
               : "");
    }
}

}  // namespace
}  // namespace veltrane
