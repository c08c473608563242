#include "fs/read/LineScanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "fs/read/LineReader.h"
#include "support/TestTree.h"

namespace veltrane {
namespace {

// Logs polls, cursor restores, warnings and handed-over lines in the order they happen, and reports
// Escape on a chosen poll.
class EventLog : public RunContext {
public:
    explicit EventLog(uint64_t escapeAtPoll = 0) : m_escapeAt(escapeAtPoll) {}

    bool PollEscape() override {
        ++m_polls;
        m_events.push_back("P");
        return m_polls == m_escapeAt;
    }
    void RestoreWait() override { m_events.push_back("R"); }
    void Line(std::string_view text, uint32_t number) {
        m_events.push_back("L" + std::to_string(number) + ":" + std::string(text));
    }

    std::vector<std::string> m_events;
    uint64_t m_polls = 0;

protected:
    NoticeAnswer ShowNotice(const Notice& notice) override {
        m_events.push_back("W" + notice.title + "|" + notice.text);
        return NoticeAnswer::Ok;
    }

private:
    uint64_t m_escapeAt;
};

struct Outcome {
    std::vector<std::string> events;
    ScanEnd end = ScanEnd::EndOfInput;
};

// The literal loop the scanner replaces: ReadLine until 0, a poll and a cursor restore per line, a
// substring test per line, stopping after stopAfter handed-over lines when that is not 0.
Outcome ReadLiterally(const std::string& path, uint32_t capacity, const std::string& needle,
                      uint64_t escapeAt, int stopAfter) {
    EventLog log(escapeAt);
    Outcome out;
    CLineReader reader(capacity, &log);
    reader.Open(path);
    reader.Rewind();
    std::string text;
    int handed = 0;
    while (uint32_t number = reader.ReadLine(text)) {
        if (log.PollEscape()) {
            out.end = ScanEnd::Escaped;
            break;
        }
        log.RestoreWait();
        if (text.find(needle) != std::string::npos) {
            log.Line(text, number);
            if (stopAfter > 0 && ++handed == stopAfter) {
                out.end = ScanEnd::Stopped;
                break;
            }
        }
    }
    // A scan without a cap shows the first few line-length warnings of a file and only counts the rest.
    size_t warnings = 0;
    std::erase_if(log.m_events, [&](const std::string& event) {
        return event[0] == 'W' && ++warnings > OverflowWarnings::kShown;
    });
    out.events = std::move(log.m_events);
    return out;
}

Outcome Scan(const std::string& path, uint32_t capacity, const std::string& needle, uint64_t escapeAt,
             int stopAfter, CLineScanner* reuse = nullptr) {
    EventLog log(escapeAt);
    Outcome out;
    CLineScanner own(&log, capacity);
    CLineScanner& scanner = reuse != nullptr ? *reuse : own;
    EXPECT_TRUE(scanner.Open(path));
    int handed = 0;
    out.end = scanner.Scan(needle, [&](std::string_view text, uint32_t number) {
        log.Line(text, number);
        return !(stopAfter > 0 && ++handed == stopAfter);
    });
    EXPECT_EQ(scanner.LinesDelivered(), log.m_polls);
    out.events = std::move(log.m_events);
    return out;
}

// Random Poser-like text: short lines with keywords, runs of every kind of line end, NUL bytes, long
// lines, and lines placed so that keywords and line ends straddle chunk boundaries.
std::string GenerateFile(std::mt19937& rng, size_t targetSize, uint32_t capacity) {
    static const char* const kWords[] = {"textureMap",
                                         "reflectionMap ",
                                         "transparencyMap \"x y\"",
                                         "Map ",
                                         "Ma",
                                         "p ",
                                         "bumpMap",
                                         "number 5",
                                         "\t",
                                         " ",
                                         "abc",
                                         "M"};
    std::uniform_int_distribution<int> pick(0, 99);
    std::string out;
    while (out.size() < targetSize) {
        const int kind = pick(rng);
        if (kind < 20) {
            // A block of short lines with one kind of line end, as Poser files have them.
            const char* eol = pick(rng) % 3 == 0 ? "\n" : "\r\n";
            const int lines = 5 + pick(rng) % 40;
            for (int i = 0; i < lines; ++i) {
                out.append(static_cast<size_t>(pick(rng) % 4), '\t');
                out.append(static_cast<size_t>(1 + pick(rng) % 30), static_cast<char>('a' + pick(rng) % 26));
                if (pick(rng) % 10 == 0) {
                    out += pick(rng) % 2 ? " textureMap x" : "Map";
                }
                out += eol;
            }
        } else if (kind < 55) {
            // Ordinary text: a few words.
            const int words = 1 + pick(rng) % 6;
            for (int i = 0; i < words; ++i) {
                const int w = pick(rng) % 13;
                if (w == 12) {
                    out.push_back('\0');
                } else {
                    out += kWords[w];
                }
            }
        } else if (kind < 90) {
            // A run of line ends of any mix.
            const int run = 1 + pick(rng) % 5;
            for (int i = 0; i < run; ++i) {
                out.push_back(pick(rng) % 2 ? '\r' : '\n');
            }
        } else if (kind < 94) {
            // A long line, around the line limit or far beyond it.
            static const int kDeltas[] = {-2, -1, 0, 1, 2};
            size_t length = capacity - 1 + kDeltas[pick(rng) % 5];
            if (pick(rng) % 3 == 0) {
                length = capacity * 2 + pick(rng) * 37;
            }
            for (size_t i = 0; i < length; ++i) {
                out.push_back(i % 97 == 50 ? 'M' : static_cast<char>('a' + i % 26));
            }
            if (pick(rng) % 2) {
                out += "textureMap end";
            }
        } else {
            // Pad to just before a chunk boundary, then put a keyword or a line-end pair across it.
            const size_t boundary = (out.size() / capacity + 1) * capacity;
            const size_t back = 1 + pick(rng) % 4;
            while (out.size() + back < boundary) {
                out.push_back(out.size() % 40 == 0 ? '\n' : 'x');
            }
            out += pick(rng) % 2 ? "textureMap \"C:\\a b\\c.jpg\"" : "\r\n\r\n";
        }
    }
    return out;
}

struct Shape {
    const char* name;
    uint32_t capacity;
    size_t size;
};

// The scanner and the literal loop agree on every event, for every line end, line length and needle
// placement the generator makes, with capacities that put chunk and block boundaries everywhere.
TEST(LineScannerTest, MatchesTheLiteralReadLineLoopOnGeneratedFiles) {
    test::TempDir dir;
    const Shape shapes[] = {
        {"reader size", 2048, 200 * 1024},  // several 64 KiB blocks
        {"small chunks", 16, 3000},
        {"odd chunks", 13, 150 * 1024},  // blocks that are not a power of two
        {"tiny chunks", 3, 4000},
        {"one line per block", 1000, 70 * 1000},
    };
    std::mt19937 rng(20240601);
    CLineScanner reused(nullptr);  // one scanner across files, without context: checks reuse does no harm
    for (const Shape& shape : shapes) {
        for (int round = 0; round < 6; ++round) {
            SCOPED_TRACE(std::string(shape.name) + " round " + std::to_string(round));
            // A new name each time: the reused scanner may still hold the last file open, and Windows
            // does not let a file open for reading be rewritten.
            const std::string path = dir.WriteFile(std::string(shape.name) + std::to_string(round) + ".cr2",
                                                   GenerateFile(rng, shape.size, shape.capacity));
            // A one-byte needle that occurs, once per shape (it costs as much as the others together).
            const std::vector<std::string> needles =
                round == 0 ? std::vector<std::string>{"Map", "", "textureMap", "Z", "M"}
                           : std::vector<std::string>{"Map", "", "textureMap", "Z"};
            for (const std::string& needle : needles) {
                SCOPED_TRACE("needle '" + needle + "'");
                const Outcome literal = ReadLiterally(path, shape.capacity, needle, 0, 0);
                const Outcome fast = Scan(path, shape.capacity, needle, 0, 0);
                ASSERT_EQ(fast.events, literal.events);
                EXPECT_EQ(fast.end, ScanEnd::EndOfInput);
            }
            // Escape on a poll somewhere in the file, and a handler that stops after a few lines.
            const Outcome all = ReadLiterally(path, shape.capacity, "", 0, 0);
            const uint64_t lines = std::count(all.events.begin(), all.events.end(), std::string("P"));
            for (uint64_t escapeAt : {uint64_t{1}, lines / 2 + 1, lines}) {
                SCOPED_TRACE("escape at " + std::to_string(escapeAt));
                const Outcome literal = ReadLiterally(path, shape.capacity, "Map", escapeAt, 0);
                const Outcome fast = Scan(path, shape.capacity, "Map", escapeAt, 0);
                ASSERT_EQ(fast.events, literal.events);
                EXPECT_EQ(fast.end, literal.end);
            }
            for (int stopAfter : {1, 3}) {
                const Outcome literal = ReadLiterally(path, shape.capacity, "Map", 0, stopAfter);
                const Outcome fast = Scan(path, shape.capacity, "Map", 0, stopAfter);
                ASSERT_EQ(fast.events, literal.events);
                EXPECT_EQ(fast.end, literal.end);
            }
            if (shape.capacity == kLineReaderCapacity) {
                ASSERT_TRUE(reused.Open(path));
                uint64_t handed = 0;
                reused.Scan("", [&](std::string_view, uint32_t) { return ++handed > 0; });
                EXPECT_EQ(handed, lines);
            }
        }
    }
}

// Hand-made files at the edges of the line rules, each compared with the literal loop.
TEST(LineScannerTest, MatchesTheLiteralLoopAtTheEdges) {
    test::TempDir dir;
    const std::string limit(2047, 'a');
    // 2047 bytes with a short last line: the next byte takes the last place of the first chunk.
    const std::string chunkFill = std::string(2000, 'b') + "\n" + std::string(46, 'b');
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"empty", ""},
        {"only line ends", "\r\n\n\r\r\r\n"},
        {"no final line end", "textureMap a\r\ntextureMap b"},
        {"blank lines after LF lines", "a Map 1\n\nb Map 2\n\n\nc\n"},
        {"line of 2047 then CR LF", limit + "\r\nnext Map\r\n"},
        {"line of 2047 at end of file", limit},
        {"line of 2047 then LF LF LF", limit + "\n\n\nz Map"},
        {"line of 2046", limit.substr(1) + "\r\nz Map"},
        {"line of 5000", std::string(5000, 'c') + "\r\ntextureMap x"},
        {"CR at chunk end, LF at next start", chunkFill + "\r\ntextureMap y\r\n"},
        {"keyword across the chunk boundary", std::string(2040, 'd') + "\r\ntextureMap \"a\"\r\n"},
        {"NUL bytes", std::string("text\0ureMap\0 a\r\ntextureMap \0b\r\n", 32)},
        {"exactly one chunk", std::string(2047, 'e') + "\n"},
        {"two chunks, no line end", std::string(4096, 'f')},
    };
    for (const auto& [name, bytes] : cases) {
        SCOPED_TRACE(name);
        const std::string path = dir.WriteFile("edge.pz2", bytes);
        for (const std::string needle : {"Map", "", "M", "a"}) {
            EXPECT_EQ(Scan(path, kLineReaderCapacity, needle, 0, 0).events,
                      ReadLiterally(path, kLineReaderCapacity, needle, 0, 0).events);
        }
    }
}

// With whole lines on, every piece of a cut line reaches the handler, needle or not, each saying whether
// its line goes on; short lines still need the needle.
TEST(LineScannerTest, WholeLinesHandEveryPieceOfACutLine) {
    test::TempDir dir;
    const std::string limit(2047, 'x');
    const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
        {limit + "\tnumber 5\r\nnumber 4\r\nplain\r\n", {"2047 cut", "9", "8"}},
        {limit + "\r\nplain\r\n", {}},  // 2047 bytes and a line end: whole, and without the needle
        {std::string(5000, 'c') + "\r\nplain\r\n", {"2047 cut", "2047 cut", "906"}},
        {std::string(3000, ' ') + "number 5", {"2047 cut", "961"}},
        {"plain\r\n" + std::string(2050, 'n'), {"2047 cut", "3"}},
    };
    for (const auto& [bytes, want] : cases) {
        const std::string path = dir.WriteFile("whole.cr2", bytes);
        CLineScanner scanner;
        scanner.SetWholeLines(true);
        ASSERT_TRUE(scanner.Open(path));
        std::vector<std::string> got;
        scanner.Scan("number", [&](std::string_view text, uint32_t) {
            got.push_back(std::to_string(text.size()) + (scanner.PieceIsCut() ? " cut" : ""));
            return true;
        });
        scanner.Close();
        EXPECT_EQ(got, want) << bytes.substr(0, 40);
    }
}

TEST(LineScannerTest, FileThatCannotBeOpenedHasNoLines) {
    test::TempDir dir;
    EventLog log;
    CLineScanner scanner(&log);
    EXPECT_FALSE(scanner.Open(dir.Path("missing.cr2")));
    EXPECT_FALSE(scanner.WasOpened());
    int handed = 0;
    EXPECT_EQ(scanner.Scan("", [&](std::string_view, uint32_t) { return ++handed > 0; }),
              ScanEnd::EndOfInput);
    EXPECT_EQ(handed, 0);
    EXPECT_TRUE(log.m_events.empty());
}

// Memory handed over in pieces of random sizes, as a decompressing source would, failing once failAt
// bytes are read. Cannot go back.
class PieceSource : public ByteSource {
public:
    PieceSource(std::string bytes, uint32_t seed, size_t failAt = std::string::npos)
        : m_bytes(std::move(bytes)), m_rng(seed), m_failAt(failAt) {}

    ptrdiff_t Read(char* data, size_t size) override {
        if (m_at >= m_failAt) {
            return kReadError;
        }
        const size_t n = std::min({size, m_bytes.size() - m_at, m_failAt - m_at, size_t{1} + m_rng() % 5000});
        std::copy_n(m_bytes.data() + m_at, n, data);
        m_at += n;
        return static_cast<ptrdiff_t>(n);
    }
    void Close() override { m_closed = true; }

    bool m_closed = false;

private:
    std::string m_bytes;
    std::mt19937 m_rng;
    size_t m_failAt;
    size_t m_at = 0;
};

// Any source gives the lines of the same bytes in a file; a source that fails gives those of the bytes
// before the failure, and the scan says it met an error.
TEST(LineScannerTest, ReadsAnySourceAsAFileAndEndsAtItsFailure) {
    test::TempDir dir;
    std::mt19937 rng(20261207);
    for (uint32_t capacity : {kLineReaderCapacity, 13u}) {
        SCOPED_TRACE("capacity " + std::to_string(capacity));
        const std::string bytes = GenerateFile(rng, 300 * 1024, capacity);
        const size_t failAt = bytes.size() / 2 + capacity / 2;
        const std::string whole = dir.WriteFile("whole" + std::to_string(capacity) + ".cr2", bytes);
        const std::string before =
            dir.WriteFile("before" + std::to_string(capacity) + ".cr2", bytes.substr(0, failAt));
        for (const auto& [path, fail] : {std::pair{whole, std::string::npos}, std::pair{before, failAt}}) {
            EventLog log;
            CLineScanner scanner(&log, capacity);
            PieceSource source(bytes, capacity, fail);
            scanner.Attach(source);
            EXPECT_EQ(scanner.Scan("Map",
                                   [&](std::string_view text, uint32_t number) {
                                       log.Line(text, number);
                                       return true;
                                   }),
                      ScanEnd::EndOfInput);
            EXPECT_EQ(log.m_events, ReadLiterally(path, capacity, "Map", 0, 0).events);
            EXPECT_EQ(scanner.HadReadError(), fail != std::string::npos);
            scanner.Close();
            EXPECT_TRUE(source.m_closed);
        }
    }
}

}  // namespace
}  // namespace veltrane
