#include "checks/KeptFindings.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "checks/PackageReport.h"

namespace veltrane {
namespace {

Finding Made(Rule rule, std::string path, uint32_t line = 0, std::string keyword = {}, std::string value = {},
             std::optional<std::string> resolved = std::nullopt, uint64_t more = 0) {
    Finding finding;
    finding.rule = rule;
    finding.path = std::move(path);
    finding.line = line;
    finding.keyword = std::move(keyword);
    finding.value = std::move(value);
    finding.resolved = std::move(resolved);
    finding.more = more;
    return finding;
}

// What is packed comes back as it went in, in report order, whole findings in their place among the
// packed ones of their rule; the report made from the kept findings is the report of the list.
TEST(KeptFindingsTest, GivesBackWhatItKeptInReportOrder) {
    Finding whole = Made(Rule::UnreadableFile, "P/a.cr2");
    whole.error = "Access to P/a.cr2 was denied.";
    whole.more = 3;
    const std::string longValue(300, 'v');  // a length that takes two bytes to pack
    const Findings added = {
        Made(Rule::Unreferenced, "P/t.jpg"),
        Made(Rule::MissingFile, "P/a.cr2", 4294967295u, "textureMap", ":Runtime:x.jpg", std::nullopt,
             UINT64_MAX - 1),
        Made(Rule::MissingFile, "P/a.cr2", 7, "bumpMap", longValue),  // the same path
        Made(Rule::UnreadableFile, "P/b.cr2"),
        whole,
        Made(Rule::UnreadableFile, "P/b.cr2", 2, "", "", std::string("")),  // after a whole one
        Made(Rule::CaseMismatch, "P/b.cr2", 1, "textureMap", ":a", std::string("P/A")),
        Made(Rule::MissingFile, "P/c.cr2", 1, "figureResFile", ":g.obj", std::nullopt, 1),
    };
    KeptFindings kept;
    for (const Finding& finding : added) {
        if (finding.error.empty()) {
            kept.AddPacked(finding.rule, finding.path, finding.line, finding.keyword, finding.value,
                           finding.resolved, finding.more);
        } else {
            kept.AddWhole(finding);
        }
    }
    const Findings expected = {added[3], added[4], added[5], added[1],
                               added[2], added[7], added[6], added[0]};
    Findings walked;
    EXPECT_TRUE(kept.ForEach([&walked](const Finding& finding) {
        walked.push_back(finding);
        return true;
    }));
    EXPECT_EQ(walked, expected);
    EXPECT_EQ(kept.Problems(), 7 + (UINT64_MAX - 1) + 1 + 3);
    EXPECT_TRUE(kept.AnyProblem());
    EXPECT_EQ(PackageReport(kept, true), PackageReport(expected, true));
    std::string pieces;
    EXPECT_TRUE(PutPackageReport(kept, false, [&pieces](std::string_view piece) {
        pieces.append(piece);
        return true;
    }));
    EXPECT_EQ(pieces, PackageReport(expected, false));
    size_t handed = 0;  // a refused piece ends the report there
    EXPECT_FALSE(PutPackageReport(kept, false, [&handed](std::string_view) { return ++handed < 3; }));
    EXPECT_EQ(handed, 3u);
    EXPECT_EQ(kept.Take(), expected);
    EXPECT_TRUE(kept.Empty());

    KeptFindings information;  // information only: the report says there is no problem
    information.AddPacked(Rule::Unreferenced, "P/t.jpg");
    EXPECT_FALSE(information.AnyProblem());
    EXPECT_EQ(PackageReport(information, false), PackageReport({added[0]}, false));
    EXPECT_EQ(PackageReport(KeptFindings(), false), PackageReport(Findings(), false));
}

}  // namespace
}  // namespace veltrane
