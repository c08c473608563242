// veltrane-gentree OUTDIR SIZE [long]
//
// Writes a deterministic synthetic content tree: Runtime/libraries/<kind>/<product>/... with
// Poser-like text files (version blocks, materials with texture-map lines) and
// Runtime/textures/<product>/... with small binary textures. SIZE is "small", "large" or a number
// of products; "large" is ten times "small". With "long", every actor of a Poser file also holds a few
// lines of several KiB of numbers (as morph and weight data make them), so that the files are a few
// hundred KiB and the bytes, not the opens, weigh most. The same arguments always give the same bytes.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace fs = std::filesystem;

namespace {

struct Kind {
    const char* folder;
    const char* ext;
};
const Kind kKinds[] = {{"character", ".cr2"}, {"pose", ".pz2"},   {"props", ".pp2"},
                       {"face", ".fc2"},      {"hair", ".hr2"},   {"hand", ".hd2"},
                       {"light", ".lt2"},     {"camera", ".cm2"}, {"scenes", ".pz3"}};

std::string Version(std::mt19937& rng) {
    static const char* versions[] = {"4.01", "4.01", "4.01", "4.0", "4", "5", "4.1", "5.0"};
    return versions[rng() % 8];
}

std::string TexturePath(std::mt19937& rng, int product, int i) {
    switch (rng() % 10) {
        case 0:
            return "\"C:\\Program Files\\Poser\\Runtime\\textures\\P" + std::to_string(product) + "\\t" +
                   std::to_string(i) + ".jpg\"";
        case 1:
            return "\":Runtime:textures:P" + std::to_string(product) + ":with space " + std::to_string(i) +
                   ".jpg\"";
        case 2:
            return ":Runtime:textures:P" + std::to_string(product) +
                   ":a_rather_long_texture_name_for_testing_" + std::to_string(i) + ".jpg";
        default:
            return "\":Runtime:textures:P" + std::to_string(product) + ":tex" + std::to_string(i) + ".jpg\"";
    }
}

void WritePoserFile(const fs::path& path, std::mt19937& rng, int product, bool longLines) {
    std::string s;
    s.reserve(32 * 1024);
    const bool lf = rng() % 4 == 0;  // some files use bare LF
    const char* eol = lf ? "\n" : "\r\n";
    auto line = [&](const std::string& text) {
        s += text;
        s += eol;
    };
    line("{");
    line("");
    line("version");
    line("\t{");
    // Some files carry no version block at all and are read to the end.
    if (rng() % 5 != 0) {
        line("\tnumber " + Version(rng));
    }
    line("\t}");
    int actors = 4 + static_cast<int>(rng() % 20);
    for (int a = 0; a < actors; ++a) {
        line("actor part" + std::to_string(a) + ":1");
        line("\t{");
        line("\tname\tPart number " + std::to_string(a));
        line("\ton");
        line("\tbend 1");
        line("\tdynamicsLock 1");
        for (int l = longLines ? 2 + static_cast<int>(rng() % 3) : 0; l > 0; --l) {
            std::string data = "\tweights";
            for (int n = 600 + static_cast<int>(rng() % 700); n > 0; --n) {
                data += ' ';
                data += std::to_string(rng() % 10000);
            }
            line(data);
        }
        line("\tchannels");
        line("\t\t{");
        for (int c = 0; c < 8; ++c) {
            line("\t\trotateY rotY" + std::to_string(c));
            line("\t\t\t{");
            line("\t\t\tinitValue 0");
            line("\t\t\thidden 0");
            line("\t\t\tmin -100000");
            line("\t\t\tmax 100000");
            line("\t\t\ttrackingScale 1");
            line("\t\t\t}");
        }
        line("\t\t}");
        line("\t}");
    }
    int materials = 1 + static_cast<int>(rng() % 6);
    for (int m = 0; m < materials; ++m) {
        line("\tmaterial mat" + std::to_string(m));
        line("\t\t{");
        line("\t\tKdColor 1 1 1 1");
        line("\t\tKsColor 0 0 0 1");
        line("\t\ttextureMap " + TexturePath(rng, product, m));
        line("\t\tbumpMap NO_MAP");
        line("\t\treflectionMap NO_MAP");
        line("\t\ttransparencyMap " +
             (rng() % 3 == 0 ? TexturePath(rng, product, m + 100) : std::string("NO_MAP")));
        line("\t\t}");
    }
    line("}");
    std::ofstream(path, std::ios::binary).write(s.data(), static_cast<std::streamsize>(s.size()));
}

void WriteTexture(const fs::path& path, std::mt19937& rng) {
    std::string bytes(512 + rng() % 3584, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(rng());
    }
    bytes.replace(0, 3, "\xFF\xD8\xFF");  // a JPEG by its first bytes, as Package Check judges it
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
    const bool longLines = argc == 4 && std::string(argv[3]) == "long";
    if (argc != 3 && !longLines) {
        std::fprintf(stderr, "usage: veltrane-gentree OUTDIR small|large|PRODUCTS [long]\n");
        return 2;
    }
    const std::string size = argv[2];
    const int products = size == "small" ? 40 : size == "large" ? 400 : std::atoi(argv[2]);
    if (products <= 0) {
        std::fprintf(stderr, "bad size: %s\n", argv[2]);
        return 2;
    }
    const fs::path root = fs::path(argv[1]) / "Runtime";
    std::mt19937 rng(1234567);
    long files = 0;
    for (int p = 0; p < products; ++p) {
        const std::string product = "Product" + std::to_string(p);
        for (const Kind& kind : kKinds) {
            fs::path dir = root / "libraries" / kind.folder / product;
            fs::create_directories(dir);
            int n = 1 + static_cast<int>(rng() % 8);
            for (int i = 0; i < n; ++i) {
                WritePoserFile(dir / ("item" + std::to_string(i) + kind.ext), rng, p, longLines);
                // The thumbnail: the head of a 91 x 91 PNG, all that Package Check reads of it.
                std::ofstream(dir / ("item" + std::to_string(i) + ".png"), std::ios::binary)
                    .write("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\0\x5B\0\0\0\x5B", 24);
                files += 2;
            }
        }
        fs::path tex = root / "textures" / product;
        fs::create_directories(tex / "maps");
        int n = 40 + static_cast<int>(rng() % 80);
        for (int i = 0; i < n; ++i) {
            WriteTexture((i % 3 ? tex : tex / "maps") / ("tex" + std::to_string(i) + ".jpg"), rng);
            ++files;
        }
    }
    std::ofstream(fs::path(argv[1]) / "ReadMe.txt") << "A generated package.\n";
    std::printf("%ld files under %s\n", files, root.string().c_str());
    return 0;
}
