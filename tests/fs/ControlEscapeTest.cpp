#include "fs/text/ControlEscape.h"

#include <gtest/gtest.h>

#include <string>

namespace veltrane {
namespace {

// What a terminal or the results box is given for a name: every byte that could steer a terminal or
// break a line is written as \xHH; text, tabs, UTF-8 and the text's own CR LF line ends stay.
TEST(ControlEscapeTest, EscapesWhatCouldSteerATerminal) {
    struct Case {
        std::string text;
        std::string shown;
    };
    const Case cases[] = {
        {"plain name.cr2\tx", "plain name.cr2\tx"},
        {"line\r\nnext\r\n", "line\r\nnext\r\n"},
        {"\x1b]0;title\x07", "\\x1b]0;title\\x07"},
        {"a\rb", "a\\x0db"},
        {"a\nb", "a\\x0ab"},
        {"\n\r", "\\x0a\\x0d"},
        {"del\x7f", "del\\x7f"},
        {"c1 \xc2\x9b[2J", "c1 \\xc2\\x9b[2J"},            // C1 written in UTF-8
        {"stray \x9b[2J", "stray \\x9b[2J"},               // C1 as a lone byte
        {"caf\xc3\xa9 \xc2\xa0", "caf\xc3\xa9 \xc2\xa0"},  // characters from U+00A0 on stay
        {"latin \xe9", "latin \xe9"},                      // a lone byte above C1 steers nothing
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EscapeControls(c.text), c.shown) << c.shown;
        EXPECT_EQ(HasControls(c.text), c.text != c.shown) << c.shown;
    }
}

}  // namespace
}  // namespace veltrane
