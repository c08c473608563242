#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "checks/Finding.h"
#include "checks/PackageCheck.h"
#include "fs/run/RunContext.h"

namespace veltrane {

// One tool of a run as the report's counts show it: its name and its two counters with their labels.
struct ReportTool {
    std::string name;              // "package", "names", ...
    std::string counterLabels[2];  // as the page labels them, e.g. "Files checked: "
    int32_t counters[2] = {0, 0};
};

// Takes the bytes of the PNG at an index of the list read.
using PngSink = std::function<void(size_t index, const std::string& bytes)>;

// Everything an HTML report is made of; the findings are those the JSON output lists.
struct HtmlReportInput {
    std::string path;       // the package as given: its last name titles the page
    std::string checkedAt;  // when it was checked, as it should read
    std::string version;    // the program and its version, e.g. "veltrane-cli 3.0.0"
    std::vector<ReportTool> tools;
    const Findings* findings = nullptr;
    bool cancelled = false;
    // Reads the PNGs at the paths given, handing each one that could be read (its first
    // kThumbnailReadLimit + 1 bytes) to the sink with its index; without it no thumbnail is shown.
    std::function<void(const std::vector<std::string>&, const PngSink&)> readPngs;
};

// A thumbnail larger than this is not embedded.
inline constexpr size_t kThumbnailReadLimit = 256 * 1024;
// Thumbnails are shown at most this many pixels wide and high.
inline constexpr uint32_t kThumbnailShownSide = 91;
// A rule's findings beyond this many are folded away (the reader unfolds them).
inline constexpr size_t kReportRowsShown = 50;

// A single self-contained HTML page: the verdict, counts per tool and per rule, then one section per
// rule (errors, then warnings, then information) listing its findings, library files with their
// thumbnails. Every text from the package is escaped; bytes that are not UTF-8 read as \xHH.
std::string HtmlReport(const HtmlReportInput& input);

// The page's file name for a package: its last name and "-report.html".
std::string HtmlReportName(const std::string& packagePath);

// Reads pngs through the tree of the package at packagePath, a folder or an archive alike, in one pass:
// the PNGs that are there and can be read go to each.
void ReadPngsInTree(const std::string& packagePath, const std::vector<std::string>& pngs,
                    const PngSink& each);

// Text for a page: markup characters as entities, control characters (but tab) and bytes that are not valid
// UTF-8 as \xHH.
std::string HtmlText(std::string_view bytes);

// The width and height a PNG's header gives, when bytes begin with a PNG signature and an IHDR chunk.
std::optional<std::pair<uint32_t, uint32_t>> PngSize(std::string_view bytes);

// The time now as a report says when it was checked: "2026-12-08 23:50 UTC".
std::string ReportTimeNow();

// The page of a Package Check run, as the window saves it.
std::string PackageHtmlReport(const std::string& path, const PackageCheckRun& run,
                              const std::string& checkedAt);

// Writes page to file, replacing it atomically. On failure raises an error box titled "Save Report" through
// ctx and returns false.
bool SaveHtmlReport(const std::string& file, std::string_view page, RunContext& ctx);

// Standard base64 (with "=" padding) of bytes.
std::string Base64(std::string_view bytes);

}  // namespace veltrane
