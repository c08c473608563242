// Reading ahead on other threads must not change a single answer: every tool that reads files is run
// on generated trees with 1, 2 and 8 threads, to its end and with Escape at chosen polls, and every
// result, box, counter report and poll count is compared with the run on one thread.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "checks/CombinedCheck.h"
#include "checks/PackageCheck.h"
#include "checks/PathCheck.h"
#include "checks/VersionCheck.h"
#include "fs/tree/ReadAhead.h"
#include "support/RandomPackage.h"
#include "support/ScriptedContext.h"
#include "support/TestTree.h"

namespace veltrane {
namespace {

using test::ScriptedContext;
using test::TempDir;

// What a run showed its caller, all of it.
struct Seen {
    std::string report;
    Findings findings;
    std::vector<Notice> notices;
    std::vector<std::pair<int32_t, int32_t>> counters;
    int polls = 0;
    bool cancelled = false;
};

using Tool = std::function<Seen(const std::string& root, ScriptedContext& ctx)>;

Seen Finish(Seen seen, const ScriptedContext& ctx) {
    seen.notices = ctx.Notices();
    seen.counters = ctx.m_counters;
    seen.polls = ctx.m_polls;
    return seen;
}

const std::vector<std::pair<const char*, Tool>>& Tools() {
    static const std::vector<std::pair<const char*, Tool>> tools = {
        {"paths",
         [](const std::string& root, ScriptedContext& ctx) {
             PathCheckRun run = RunPathCheck(root, PathCheckMode::AllFiles, ctx);
             return Finish({run.report, run.findings, {}, {}, 0, run.cancelled}, ctx);
         }},
        {"versions",
         [](const std::string& root, ScriptedContext& ctx) {
             CFileRecordArray records;
             VersionRunResult run = RunVersionCheck(root, VersionCheckMode::Folder, records, ctx);
             return Finish({run.report, run.findings, {}, {}, 0, run.check.cancelled}, ctx);
         }},
        {"package",
         [](const std::string& root, ScriptedContext& ctx) {
             PackageCheckRun run = RunPackageCheck(root, {}, ctx);
             return Finish({run.report, run.findings, {}, {}, 0, run.cancelled}, ctx);
         }},
        {"check",
         [](const std::string& root, ScriptedContext& ctx) {
             CFileRecordArray records;
             CombinedCheckRun run = RunCombinedCheck(root, {}, records, ctx);
             return Finish({run.paths.report + run.versions.report + run.package.report,
                            CombinedFindings(run),
                            {},
                            {},
                            0,
                            run.cancelled},
                           ctx);
         }},
    };
    return tools;
}

Seen RunWith(const Tool& tool, const std::string& root, unsigned threads, int escapeAtPoll) {
    ScriptedContext ctx;
    ctx.SetReadThreads(threads);
    ctx.m_escapeAtPoll = escapeAtPoll;
    return tool(root, ctx);
}

void ExpectSame(const Seen& got, const Seen& want) {
    EXPECT_EQ(got.report, want.report);
    EXPECT_EQ(got.findings, want.findings);
    test::ExpectSameNotices(got.notices, want.notices);
    EXPECT_EQ(got.counters, want.counters);
    EXPECT_EQ(got.polls, want.polls);
    EXPECT_EQ(got.cancelled, want.cancelled);
}

TEST(ReadAheadTest, EveryThreadCountGivesTheSameRun) {
    size_t warnings = 0;  // the trees must reach the cases that matter
    size_t cancelled = 0;
    for (unsigned seed = 1; seed <= 3; ++seed) {
        TempDir dir;
        // More files than the read-ahead keeps in flight, and one that will not open.
        test::Generate(dir, seed, 150);
        const test::UnreadableFile gone(dir.Path("Runtime/libraries/props/gone.pz2"));
        std::mt19937 rng(seed);
        for (const auto& [name, tool] : Tools()) {
            const Seen whole = RunWith(tool, dir.Root(), 1, 0);
            warnings += whole.notices.size();
            // To the end, then with Escape at polls early, late and in between.
            std::vector<int> escapes = {0, 1, whole.polls};
            for (int i = 0; i < 6; ++i) {
                escapes.push_back(1 + static_cast<int>(rng() % static_cast<unsigned>(whole.polls)));
            }
            for (int escape : escapes) {
                const Seen alone = escape == 0 ? whole : RunWith(tool, dir.Root(), 1, escape);
                cancelled += alone.cancelled ? 1 : 0;
                for (unsigned threads : {2u, 8u}) {
                    SCOPED_TRACE(std::string(name) + ", seed " + std::to_string(seed) + ", " +
                                 std::to_string(threads) + " threads, Escape at poll " +
                                 std::to_string(escape));
                    ExpectSame(RunWith(tool, dir.Root(), threads, escape), alone);
                }
            }
        }
    }
    EXPECT_GT(warnings, 0u);
    EXPECT_GT(cancelled, 0u);
}

// A reading thread's context answers a run of polls as that many single polls would: Escape at the
// first poll once the read is stopped, and at the 1024th poll (where the clock is looked at) once the
// read is past its deadline.
TEST(ReadAheadTest, RunsOfPollsEscapeAtTheSinglePoll) {
    for (const uint64_t run : {1u, 7u, 700u, 3000u}) {
        for (const bool stopped : {false, true}) {
            SCOPED_TRACE(testing::Message() << "run " << run << (stopped ? ", stopped" : ", late"));
            const std::atomic<bool> stop{stopped};
            CRecordingContext ctx(stop, nullptr);
            ctx.Start(CRecordingContext::Clock::now() - std::chrono::seconds(1));
            uint64_t escapedAt = 0;
            while (escapedAt == 0 && ctx.Polls() < 3000) {
                const uint64_t before = ctx.Polls();
                const uint64_t escaped = ctx.PollEscapeRun(run);
                escapedAt = escaped == 0 ? 0 : before + escaped;
            }
            EXPECT_EQ(escapedAt, stopped ? 1u : 1024u);
            EXPECT_EQ(ctx.Polls(), escapedAt);
            EXPECT_TRUE(ctx.PollEscape());  // and every poll after it
        }
    }
    const std::atomic<bool> stop{false};
    CRecordingContext ctx(stop, nullptr);
    ctx.Start();
    EXPECT_EQ(ctx.PollEscapeRun(5000), 0u);
    EXPECT_EQ(ctx.Polls(), 5000u);
}

}  // namespace
}  // namespace veltrane
