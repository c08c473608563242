#include "support/RandomPackage.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>

#include "support/Gzip.h"

namespace veltrane::test {

void Generate(const TempDir& dir, unsigned seed, int files) {
    std::mt19937 rng(seed);
    const char* exts[] = {".cr2", ".pz2", ".pp2", ".hd2", ".CR2", ".pz3", ".lt2", ".txt", ".crz"};
    const char* eols[] = {"\r\n", "\n", "\r"};
    const char* lines[] = {"\tnumber 5",
                           "\tnumber 4.01",
                           "\tnumber 4.0",
                           "textureMap \"C:\\t\\a.jpg\"",
                           "textureMap :Runtime:textures:a b.jpg",
                           "bumpMap :Runtime:textures:P:t.jpg",
                           "reflectionMap :Runtime:textures:P\\x.jpg",
                           "figureResFile :Runtime:Geometries:g.obj",
                           "material skin",
                           "{",
                           "}",
                           "\tfile \":Runtime:textures:P:T.jpg\"",
                           ""};
    dir.WriteFile("Runtime/textures/P/t.jpg", "jpg");
    dir.WriteFile("Runtime/textures/P/unused.jpg", "jpg");
    for (int i = 0; i < files; ++i) {
        std::string folder = "Runtime/libraries/";
        folder += (rng() % 2 ? "character/" : "props/");
        if (rng() % 3 == 0) {
            folder += "AFolderNameThatIsFarTooLongForTheMac/";
        }
        const std::string name = (rng() % 4 == 0 ? "AFileNameThatIsFarTooLongForTheMacToo" : "f") +
                                 std::to_string(i) + exts[rng() % std::size(exts)];
        const char* eol = eols[rng() % 3];
        std::string text;
        const int count = 3 + static_cast<int>(rng() % 30);
        for (int k = 0; k < count; ++k) {
            if (rng() % 25 == 0) {
                text += "\tnumber 5" + std::string(2100 + rng() % 3000, ' ');  // past the limit, then a cut
            } else if (rng() % 25 == 0) {
                text += "textureMap " + std::string(2500, 'x');
            } else {
                text += lines[rng() % std::size(lines)];
            }
            text += eol;
        }
        dir.WriteFile(folder + name, name.ends_with(".crz") || rng() % 8 == 0 ? test::Gzip(text) : text);
    }
}

void ExpectSameNotices(const std::vector<Notice>& a, const std::vector<Notice>& b) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].kind, b[i].kind);
        EXPECT_EQ(a[i].title, b[i].title);
        EXPECT_EQ(a[i].text, b[i].text);
        EXPECT_EQ(a[i].answer, b[i].answer);
    }
}

}  // namespace veltrane::test
