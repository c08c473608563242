#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

namespace veltrane::cli {

// Text for a stream, handed over in blocks of about kBlock bytes as it grows: a long output never
// stands whole in memory and costs a few large writes. The first refusal of the stream ends the writing
// and is kept with its errno. Without a stream the text stays in Text().
class BlockOutput {
public:
    static constexpr size_t kBlock = 64 * 1024;

    explicit BlockOutput(std::FILE* stream) : m_stream(stream) {}

    // The text not yet handed over, to append to.
    std::string& Text() { return m_text; }
    const std::string& Text() const { return m_text; }
    // Hands the text over once it has grown to a block.
    void HandWhenFull() {
        if (m_text.size() >= kBlock) {
            Hand();
        }
    }
    // Appends piece (a piece of a block or more goes out as it is); false once the stream refused any.
    bool Put(std::string_view piece);
    // Hands over the rest and flushes; false (errno set to why) when the stream refused any of it.
    bool Finish();

private:
    void Hand();
    void Write(std::string_view bytes);

    std::FILE* m_stream;
    std::string m_text;
    bool m_failed = false;
    int m_error = 0;  // errno of the first refusal
};

}  // namespace veltrane::cli
