#include "fs/read/GzipSource.h"

#include <gtest/gtest.h>

#include <string>

#include "support/Gzip.h"
#include "support/TestTree.h"

namespace veltrane {
namespace {

using test::Gzip;
using test::TempDir;

TEST(GzipSourceTest, InflatesGzipAndPassesOtherBytesThrough) {
    std::string big;  // more than one input block, poorly compressible
    for (uint32_t x = 1; big.size() < 300 * 1024; x = x * 1103515245u + 12345u) {
        big.push_back(static_cast<char>(x >> 24));
    }
    const std::string text = "textureMap :Runtime:a.jpg\r\n";
    struct Case {
        const char* name;
        std::string bytes;
        std::string content;  // what reading gives
        bool compressed;
        bool damaged;
    };
    const Case cases[] = {
        {"plain", text, text, false, false},
        {"one byte", "\x1f", "\x1f", false, false},
        {"empty", "", "", false, false},
        {"gzip", Gzip(text), text, true, false},
        {"two members", Gzip(text) + Gzip("second\n"), text + "second\n", true, false},
        {"large member", Gzip(big), big, true, false},
        {"large plain", big, big, false, false},
        {"cut short", Gzip(big).substr(0, 5000), "", true, true},
        {"damaged", Gzip(text).substr(0, 10) + std::string(20, '\xff'), "", true, true},
    };
    TempDir dir;
    GzipSource source;
    for (const Case& c : cases) {
        for (size_t chunk : {size_t{1}, size_t{4096}, size_t{1} << 20}) {
            SCOPED_TRACE(std::string(c.name) + " in pieces of " + std::to_string(chunk));
            ASSERT_TRUE(source.Open(dir.WriteFile("f.bin", c.bytes)));
            EXPECT_EQ(source.IsCompressed(), c.compressed);
            std::string got;
            std::string buffer(chunk, '\0');
            ptrdiff_t n = 0;
            while ((n = source.Read(buffer.data(), chunk)) > 0) {
                got.append(buffer, 0, static_cast<size_t>(n));
            }
            EXPECT_EQ(n, c.damaged ? ByteSource::kReadError : 0);
            EXPECT_EQ(source.WasDamaged(), c.damaged);
            if (!c.damaged) {
                EXPECT_EQ(got, c.content);
                source.Rewind();  // a second pass gives the same bytes
                got.clear();
                while ((n = source.Read(buffer.data(), chunk)) > 0) {
                    got.append(buffer, 0, static_cast<size_t>(n));
                }
                EXPECT_EQ(got, c.content);
            }
            source.Close();
        }
    }
    EXPECT_FALSE(source.Open(dir.Path("missing.gz")));
}

}  // namespace
}  // namespace veltrane
