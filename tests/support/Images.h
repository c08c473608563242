#pragma once

#include <cstdint>
#include <string>

namespace veltrane::test {

// The first bytes of a PNG of width x height: its signature and the start of its IHDR chunk, which is
// all a check of a thumbnail reads.
inline std::string PngHead(uint32_t width, uint32_t height) {
    std::string head("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR", 16);
    for (uint32_t value : {width, height}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            head += static_cast<char>((value >> shift) & 0xFF);
        }
    }
    return head;
}

// A thumbnail as a store wants it.
inline std::string Thumbnail() {
    return PngHead(91, 91);
}

// The first bytes of a JPEG.
inline const std::string kJpegHead("\xFF\xD8\xFF\xE0", 4);

}  // namespace veltrane::test
