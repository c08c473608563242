#pragma once

#include <string>
#include <string_view>

namespace veltrane {

// text as a terminal or a results box may show it: every control character (C0 but tab, DEL, and C1,
// whether encoded in UTF-8 or a stray byte) becomes a \xHH escape per byte, as ls and other tools show
// them, so that a name can neither steer the terminal nor split a line. The line ends of the text
// itself (CR LF pairs) stay.
std::string EscapeControls(std::string_view text);

// Whether text holds anything EscapeControls would change.
bool HasControls(std::string_view text);

}  // namespace veltrane
