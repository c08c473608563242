// The program that holds every GUI test class: "veltrane_gui_tests <class> [Qt Test options]" runs
// one class, as its own program would.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "pages/GuiTestSupport.h"

namespace veltrane::test {

namespace {

std::map<std::string, GuiTestRunner>& Registry() {
    static std::map<std::string, GuiTestRunner> tests;
    return tests;
}

}  // namespace

bool RegisterGuiTest(const char* name, GuiTestRunner run) {
    Registry()[name] = run;
    return true;
}

}  // namespace veltrane::test

int main(int argc, char** argv) {
    const auto& tests = veltrane::test::Registry();
    const auto found = argc > 1 ? tests.find(argv[1]) : tests.end();
    if (found == tests.end()) {
        std::fputs("usage: veltrane_gui_tests CLASS [Qt Test options]; the classes:\n", stderr);
        for (const auto& [name, run] : tests) {
            std::fprintf(stderr, "  %s\n", name.c_str());
        }
        return 2;
    }
    // The class's name stands where the program's name was, so Qt Test's options follow as usual.
    return found->second(argc - 1, argv + 1);
}
