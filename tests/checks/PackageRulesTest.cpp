#include "checks/PackageRules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "checks/PackageCheck.h"
#include "support/Archive.h"
#include "support/Images.h"
#include "support/ScriptedContext.h"
#include "support/TestTree.h"

namespace veltrane {
namespace {

using test::ArchiveFormat;
using test::ArchiveItem;
using test::ScriptedContext;
using test::TempDir;

bool IsStoreRule(Rule rule) {
    return PackageRuleHeader(rule) != nullptr || rule == Rule::JunkEntry || rule == Rule::CaseCollision;
}

// The store rules' findings of a run, "rule path[: value]" with paths below root in "/" form, sorted.
std::vector<std::string> StoreFindings(const std::string& root) {
    ScriptedContext ctx;
    const PackageCheckRun run = RunPackageCheck(root, {}, ctx);
    auto relative = [&](std::string path) {
        path = path.starts_with(root) ? path.substr(std::min(path.size(), root.size() + 1)) : path;
        std::replace(path.begin(), path.end(), '\\', '/');
        return path;
    };
    std::vector<std::string> found;
    for (const Finding& f : run.findings) {
        if (IsStoreRule(f.rule)) {
            const std::string value = f.rule == Rule::CaseCollision ? relative(f.value) : f.value;
            found.push_back(std::string(RuleName(f.rule)) + " " + relative(f.path) +
                            (value.empty() ? "" : ": " + value));
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

// Names Windows will not create (devices, ':', letter case alone) are tried there in zips only.
#ifdef _WIN32
constexpr bool kAnyFolderName = false;
#else
constexpr bool kAnyFolderName = true;
#endif

// Each rule on a package that is clean but for the files a case adds, as a folder and as a zip.
TEST(PackageRulesTest, EachRuleOnFoldersAndZips) {
    const std::string png = test::Thumbnail();
    const std::string jpeg = test::kJpegHead;
    struct Case {
        const char* what;
        std::vector<ArchiveItem> added;
        std::vector<std::string> expected;
        const char* readme = "ReadMe.txt";
        bool zip = true;            // the test's zip writer takes only ASCII names whatever the locale
        bool windowsFolder = true;  // a Windows folder can hold these names
    };
    const Case cases[] = {
        {"clean", {}, {}},
        {"unportable names",
         {{"Runtime/textures/T/a:b.jpg", jpeg},
          {"Runtime/textures/T/Con.tar.jpg", jpeg},
          {"Runtime/textures/Dot./x.jpg", jpeg},
          {"Runtime/textures/T/tab\t.jpg", jpeg}},
         {"unportable-name Runtime/textures/Dot.: a trailing dot",
          "unportable-name Runtime/textures/T/Con.tar.jpg: a reserved device name",
          "unportable-name Runtime/textures/T/a:b.jpg: the character :",
          "unportable-name Runtime/textures/T/tab\t.jpg: a control character"},
         "ReadMe.txt",
         true,
         false},
        {"names outside ASCII and UTF-8",
         {{"Runtime/textures/T/caf\xC3\xA9.jpg", jpeg}, {"Runtime/textures/T/x\xFF.jpg", jpeg}},
         {"non-ascii-name Runtime/textures/T/caf\xC3\xA9.jpg",
          "unportable-name Runtime/textures/T/x\xFF.jpg: not valid UTF-8"},
         "ReadMe.txt",
         false,
         false},
        {"clutter",
         {{"Runtime/textures/T/.DS_Store", "d"},
          {"Runtime/textures/T/._Tex.jpg", "a"},
          {"__MACOSX/Runtime/._Tex.jpg", "a"},
          {"Runtime/desktop.ini", "d"}},
         {"junk-entry Runtime/desktop.ini", "junk-entry Runtime/textures/T/.DS_Store",
          "junk-entry Runtime/textures/T/._Tex.jpg", "junk-entry __MACOSX"}},
        {"case collisions",
         {{"Runtime/textures/T/tex.jpg", jpeg}, {"Runtime/textures/t/x.jpg", jpeg}},
         {"case-collision Runtime/textures/T/tex.jpg: Runtime/textures/T/Tex.jpg",
          "case-collision Runtime/textures/t: Runtime/textures/T"},
         "ReadMe.txt",
         true,
         false},
        {"three names of one spelling, and the same name in another folder",
         {{"Runtime/textures/T/tex.jpg", jpeg},
          {"Runtime/textures/T/TEX.jpg", jpeg},
          {"Runtime/textures/U/tex.jpg", jpeg}},
         {"case-collision Runtime/textures/T/Tex.jpg: Runtime/textures/T/TEX.jpg",
          "case-collision Runtime/textures/T/tex.jpg: Runtime/textures/T/TEX.jpg"},
         "ReadMe.txt",
         false,  // an archive reports each later entry against the first of its spelling
         false},
        {"thumbnails",
         {{"Runtime/libraries/pose/P/b.pz2", "x"},
          {"Runtime/libraries/pose/P/c.pz2", "x"},
          {"Runtime/libraries/pose/P/c.PNG", png},
          {"Runtime/libraries/pose/P/d.pz2", "x"},
          {"Runtime/libraries/pose/P/d.png", test::PngHead(64, 91)},
          {"Runtime/libraries/pose/P/e.pz2", "x"},
          {"Runtime/libraries/pose/P/e.png", jpeg},
          {"Runtime/libraries/pose/P/f.pz2", "x"},
          {"Runtime/libraries/pose/P/f.png", ""},
          {"Runtime/Loose.pz2", "x"}},
         {"missing-thumbnail Runtime/libraries/pose/P/b.pz2",
          "thumbnail-size Runtime/libraries/pose/P/d.png: 64 x 91",
          "thumbnail-size Runtime/libraries/pose/P/e.png: JPEG",
          "thumbnail-size Runtime/libraries/pose/P/f.png: an empty file"}},
        {"readme below Runtime", {{"Runtime/Docs/Read Me.PDF", "r"}}, {}, nullptr},
        {"no readme", {}, {"no-readme "}, nullptr},
        {"readme of another kind or elsewhere",
         {{"README.md", "r"}, {"Docs/readme.txt", "r"}},
         {"no-readme "},
         nullptr},
        {"empty files",
         {{"Runtime/Geometries/G/g.obj", ""},
          {"Runtime/textures/T/e.jpg", ""},
          {"Runtime/libraries/pose/P/g.pz2", ""},
          {"Runtime/libraries/pose/P/g.png", png},
          {"Docs/empty.txt", ""}},
         {"empty-file Runtime/Geometries/G/g.obj", "empty-file Runtime/libraries/pose/P/g.pz2",
          "empty-file Runtime/textures/T/e.jpg"}},
        {"images",
         {{"Runtime/textures/T/p.jpg", png},
          {"Runtime/textures/T/n.png", "not an image"},
          {"Runtime/textures/T/b.bmp", "BM...."},
          {"Runtime/textures/T/g.gif", "GIF89a"},
          {"Runtime/textures/T/t.TIF", std::string("II*\0", 4)},
          {"Runtime/textures/T/m.tiff", std::string("MM\0*", 4)},
          {"Runtime/textures/T/j.jpeg", jpeg},
          {"Downloads/x.jpg", "text"}},
         {"image-mismatch Runtime/textures/T/n.png: not an image",
          "image-mismatch Runtime/textures/T/p.jpg: PNG"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<ArchiveItem> items = {{"Runtime/libraries/pose/P/a.pz2", "textureMap NO_MAP\r\n"},
                                          {"Runtime/libraries/pose/P/a.png", png},
                                          {"Runtime/textures/T/Tex.jpg", jpeg}};
        if (c.readme) {
            items.push_back({c.readme, "r"});
        }
        items.insert(items.end(), c.added.begin(), c.added.end());
        TempDir dir;
        if (kAnyFolderName || c.windowsFolder) {
            for (const ArchiveItem& item : items) {
                dir.WriteFile("Pkg/" + item.name, item.data);
            }
            EXPECT_EQ(StoreFindings(dir.Path("Pkg")), c.expected);
        }
        if (c.zip) {
            const std::string zip = dir.Path("Pkg.zip");
            ASSERT_TRUE(test::WriteArchive(zip, ArchiveFormat::Zip, items));
            EXPECT_EQ(StoreFindings(zip), c.expected);
        }
    }
}

#ifndef _WIN32
// What the walk lists as no regular file is never opened (a FIFO would wait for a writer) and says
// nothing; a file reached through a link inside the package is read through it.
TEST(PackageRulesTest, FifosAreNotOpenedAndLinksAreFollowed) {
    TempDir dir;
    dir.WriteFile("Pkg/ReadMe.txt", "r");
    dir.WriteFile("Pkg/Runtime/libraries/pose/P/a.pz2", "textureMap NO_MAP\r\n");
    dir.WriteFile("Pkg/Runtime/Shared/a.png", test::PngHead(64, 64));
    dir.WriteFile("Pkg/Runtime/textures/t.jpg", test::kJpegHead);
    ASSERT_EQ(::symlink("../../../Shared/a.png", dir.Path("Pkg/Runtime/libraries/pose/P/a.png").c_str()), 0);
    ASSERT_EQ(::mkfifo(dir.Path("Pkg/Runtime/textures/f.jpg").c_str(), 0600), 0);
    EXPECT_EQ(StoreFindings(dir.Path("Pkg")),
              (std::vector<std::string>{"thumbnail-size Runtime/libraries/pose/P/a.png: 64 x 64"}));
}
#endif

TEST(PackageRulesTest, ImageFormatsByTheirFirstBytes) {
    const std::pair<std::string, const char*> cases[] = {
        {"\xFF\xD8\xFF\xDB", "JPEG"},      {test::PngHead(1, 1), "PNG"}, {"GIF87a", "GIF"},    {"BM", "BMP"},
        {std::string("II*\0", 4), "TIFF"}, {"\xFF\xD8", nullptr},        {"\x89PNG", nullptr}, {"", nullptr},
    };
    for (const auto& [bytes, format] : cases) {
        const char* found = ImageFormatOf(bytes);
        EXPECT_EQ(found ? std::string(found) : "", format ? std::string(format) : "") << bytes;
    }
}

}  // namespace
}  // namespace veltrane
