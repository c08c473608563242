#include "fs/read/LineReader.h"

#include <gtest/gtest.h>

#include <random>

#include "support/ScriptedContext.h"
#include "support/TestTree.h"

namespace veltrane {
namespace {

using test::ScriptedContext;
using test::TempDir;

struct Line {
    uint32_t number;
    std::string text;
    bool operator==(const Line&) const = default;
};

std::vector<Line> ReadAll(const std::string& path, RunContext* ctx = nullptr, uint32_t capacity = 2048) {
    CLineReader reader(capacity, ctx);
    reader.Open(path);
    reader.Rewind();
    std::vector<Line> lines;
    std::string text;
    while (uint32_t n = reader.ReadLine(text)) {
        lines.push_back({n, text});
    }
    EXPECT_EQ(text, "");
    EXPECT_EQ(reader.ReadLine(text), 0u);  // stays at the end
    return lines;
}

TEST(LineReaderTest, LineNumbersBlankLinesAndLineEnds) {
    struct Case {
        const char* name;
        std::string bytes;
        std::vector<Line> want;
    } cases[] = {
        {"empty", "", {}},
        {"only line ends", "\r\n\n\r\r", {}},
        {"two CRLF lines", "ab\r\ncd\r\n", {{1, "ab"}, {2, "cd"}}},
        {"blank between CRLF", "ab\r\n\r\ncd\r\n", {{1, "ab"}, {3, "cd"}}},
        {"blank first CRLF", "\r\nab\r\n", {{2, "ab"}}},
        {"blank between LF", "ab\n\ncd\n", {{1, "ab"}, {2, "cd"}}},
        {"last line without end", "ab\r\ncd", {{1, "ab"}, {2, "cd"}}},
        {"single line without end", "ab", {{1, "ab"}}},
        {"space line kept", "a\r\n \r\nb", {{1, "a"}, {2, " "}, {3, "b"}}},
        {"LF CR pair", "a\n\rb", {{1, "a"}, {2, "b"}}},
        {"tabs and NUL pass through", std::string("\ta\0b\r\n", 6), {{1, std::string("\ta\0b", 4)}}},
    };
    TempDir dir;
    for (const auto& c : cases) {
        EXPECT_EQ(ReadAll(dir.WriteFile("f.txt", c.bytes)), c.want) << c.name;
    }
}

TEST(LineReaderTest, LongLinesAreCutWithAWarningPerPiece) {
    TempDir dir;
    struct Case {
        size_t length;
        std::vector<size_t> pieces;
        std::vector<std::string> warnings;
    } cases[] = {
        {2046, {2046}, {}},
        {2047, {2047}, {"m_pBuffer overflow in line 1 (line length over 2048 chars)"}},
        {5000,
         {2047, 2047, 906},
         {"m_pBuffer overflow in line 1 (line length over 2048 chars)",
          "m_pBuffer overflow in line 2 (line length over 2048 chars)"}},
    };
    for (const auto& c : cases) {
        ScriptedContext ctx;
        auto lines = ReadAll(dir.WriteFile("long.txt", std::string(c.length, 'x') + "\r\nnext\r\n"), &ctx);
        ASSERT_EQ(lines.size(), c.pieces.size() + 1) << c.length;
        for (size_t i = 0; i < c.pieces.size(); ++i) {
            EXPECT_EQ(lines[i].number, i + 1);
            EXPECT_EQ(lines[i].text.size(), c.pieces[i]);
        }
        EXPECT_EQ(lines.back().text, "next");
        ASSERT_EQ(ctx.Notices().size(), c.warnings.size()) << c.length;
        for (size_t i = 0; i < c.warnings.size(); ++i) {
            EXPECT_EQ(ctx.Notices()[i].title, "Warning !");
            EXPECT_EQ(ctx.Notices()[i].kind, NoticeKind::Warning);
            EXPECT_EQ(ctx.Notices()[i].text, c.warnings[i]);
        }
    }
    // A 2047-byte line at the very end, without a line end, is simply the last line.
    ScriptedContext ctx;
    auto lines = ReadAll(dir.WriteFile("tail.txt", "a\r\n" + std::string(2047, 'y')), &ctx);
    EXPECT_EQ(lines.size(), 2u);
    EXPECT_TRUE(ctx.Notices().empty());
}

TEST(LineReaderTest, RewindDeliversTheSameLinesAgainAndFailedOpenDeliversNothing) {
    TempDir dir;
    std::string path = dir.WriteFile("f.txt", "one\r\n\r\ntwo\r\n");
    CLineReader reader;
    ASSERT_TRUE(reader.Open(path));
    EXPECT_TRUE(reader.WasOpened());
    reader.Rewind();
    std::string text;
    EXPECT_EQ(reader.ReadLine(text), 1u);
    reader.Rewind();
    EXPECT_EQ(reader.ReadLine(text), 1u);
    EXPECT_EQ(text, "one");
    EXPECT_EQ(reader.ReadLine(text), 3u);
    EXPECT_EQ(reader.ReadLine(text), 0u);
    reader.Rewind();
    EXPECT_EQ(reader.ReadLine(text), 1u);

    CLineReader missing;
    EXPECT_FALSE(missing.Open(dir.Path("nothing.txt")));
    EXPECT_FALSE(missing.WasOpened());
    missing.Rewind();
    EXPECT_EQ(missing.ReadLine(text), 0u);
    EXPECT_EQ(text, "");
}

// The byte-by-byte rule as written, step by step, kept as the reference for the run-copying reader.
struct LiteralReader {
    std::string bytes;
    uint32_t cap;
    size_t pos = 0;
    uint32_t len, idx = 0, counter = 0;
    std::vector<char> buf;
    std::vector<uint32_t> warnings;

    LiteralReader(std::string b, uint32_t capacity)
        : bytes(std::move(b)), cap(capacity), len(capacity), buf(capacity) {}

    static bool IsEnd(char b) { return b == '\r' || b == '\n'; }

    uint32_t ReadLine(std::string& line) {
        line.clear();
        uint32_t c = 0;
        bool last = false;
    step1:
        if (counter == 0 || idx == len) {
            len = static_cast<uint32_t>(std::min<size_t>(cap, bytes.size() - pos));
            std::copy(bytes.begin() + static_cast<long>(pos), bytes.begin() + static_cast<long>(pos + len),
                      buf.begin());
            pos += len;
            idx = 0;
            if (len == 0)
                goto step5;
            if (len < cap)
                last = true;
        }
        while (idx < len) {
            if (c == cap - 1) {
                ++counter;
                warnings.push_back(counter);
                return counter;
            }
            char b = buf[idx];
            if (!IsEnd(b)) {
                line.push_back(b);
                ++c;
            } else {
                if (idx + 1 < len && IsEnd(buf[idx + 1])) {
                    if (c == 0)
                        ++counter;
                    ++idx;
                }
                if (c > 0)
                    return ++counter;
            }
            ++idx;
        }
        if (!last)
            goto step1;
    step5:
        if (c > 0)
            return ++counter;
        counter = 0;
        return 0;
    }
};

TEST(LineReaderTest, MatchesTheByteByByteRuleOnRandomFiles) {
    std::mt19937 rng(4242);
    TempDir dir;
    const char alphabet[] = {'a', 'b', ' ', '\t', '\r', '\n', '\0', 'M'};
    for (int round = 0; round < 400; ++round) {
        uint32_t cap = round % 2 ? 2048 : 8 + static_cast<uint32_t>(rng() % 24);
        std::string bytes;
        size_t n = rng() % (round % 2 ? 9000 : 200);
        for (size_t i = 0; i < n; ++i) {
            // Long runs of ordinary bytes now and then, so lines overflow.
            if (rng() % 50 == 0)
                bytes.append(rng() % (cap * 2), 'x');
            bytes.push_back(alphabet[rng() % (rng() % 3 ? 4 : 8)]);
        }
        LiteralReader ref(bytes, cap);
        std::vector<Line> want;
        std::string text;
        while (uint32_t k = ref.ReadLine(text))
            want.push_back({k, text});
        ScriptedContext ctx;
        auto got = ReadAll(dir.WriteFile("r.txt", bytes), &ctx, cap);
        ASSERT_EQ(got, want) << "round " << round;
        ASSERT_EQ(ctx.Notices().size(), ref.warnings.size()) << "round " << round;
    }
}

}  // namespace
}  // namespace veltrane
