// Per-line cost of finding the texture-map lines of a Poser file: the literal loop (ReadLine, a poll,
// three substring searches per line) against CLineScanner (a needle search over the block, a poll per
// line). Both poll through a context whose PollEscape is a relaxed atomic load, as a real one would be.

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "fs/read/LineReader.h"
#include "fs/read/LineScanner.h"

namespace {

class PollingContext : public veltrane::RunContext {
public:
    bool PollEscape() override { return m_escape.load(std::memory_order_relaxed); }
    std::atomic<bool> m_escape{false};
};

// About 8 MB of Poser-like text: short lines, CR LF, a texture block now and then.
const std::string& SampleFile() {
    static const std::string path = [] {
        std::string text;
        for (int actor = 0; text.size() < 8u << 20; ++actor) {
            text +=
                "actor part" + std::to_string(actor) + ":1\r\n\t{\r\n\tname\tPart\r\n\tchannels\r\n\t\t{\r\n";
            for (int c = 0; c < 8; ++c) {
                text +=
                    "\t\trotateY rotY\r\n\t\t\t{\r\n\t\t\tinitValue 0\r\n\t\t\thidden 0\r\n\t\t\tmin "
                    "-100000\r\n"
                    "\t\t\tmax 100000\r\n\t\t\ttrackingScale 1\r\n\t\t\t}\r\n";
            }
            text +=
                "\t\t}\r\n\tmaterial mat\r\n\t\t{\r\n\t\ttextureMap \":Runtime:textures:a.jpg\"\r\n"
                "\t\tbumpMap NO_MAP\r\n\t\treflectionMap NO_MAP\r\n\t\ttransparencyMap "
                "NO_MAP\r\n\t\t}\r\n\t}\r\n";
        }
        const std::string file =
            (std::filesystem::temp_directory_path() / "veltrane-linescan-bench.cr2").string();
        std::ofstream(file, std::ios::binary).write(text.data(), static_cast<std::streamsize>(text.size()));
        return file;
    }();
    return path;
}

bool IsTextureLine(std::string_view line) {
    return line.find("textureMap") != std::string_view::npos ||
           line.find("reflectionMap") != std::string_view::npos ||
           line.find("transparencyMap") != std::string_view::npos;
}

void BM_LiteralReadLineLoop(benchmark::State& state) {
    PollingContext ctx;
    int64_t lines = 0;
    for (auto _ : state) {
        veltrane::CLineReader reader(veltrane::kLineReaderCapacity, &ctx);
        reader.Open(SampleFile());
        reader.Rewind();
        std::string text;
        int found = 0;
        while (reader.ReadLine(text) != 0) {
            ++lines;
            if (ctx.PollEscape()) {
                break;
            }
            ctx.RestoreWait();
            found += IsTextureLine(text) ? 1 : 0;
        }
        benchmark::DoNotOptimize(found);
    }
    state.counters["ns/line"] = benchmark::Counter(static_cast<double>(lines),
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LiteralReadLineLoop)->Unit(benchmark::kMillisecond);

void BM_LineScanner(benchmark::State& state) {
    PollingContext ctx;
    veltrane::CLineScanner scanner(&ctx);
    int64_t lines = 0;
    for (auto _ : state) {
        scanner.Open(SampleFile());
        int found = 0;
        scanner.Scan("Map", [&](std::string_view line, uint32_t) {
            found += IsTextureLine(line) ? 1 : 0;
            return true;
        });
        lines += static_cast<int64_t>(scanner.LinesDelivered());
        scanner.Close();
        benchmark::DoNotOptimize(found);
    }
    state.counters["ns/line"] = benchmark::Counter(static_cast<double>(lines),
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_LineScanner)->Unit(benchmark::kMillisecond);

}  // namespace
