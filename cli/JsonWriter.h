#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "cli/BlockOutput.h"

namespace veltrane::cli {

// Writes JSON as it goes, in the tool's layout: members and elements one per line under a two-space
// indent ({} and [] when empty), or with oneLine all on one line, ", " and ": " between. Strings go
// through JsonString. The text collects in a buffer that is handed to the stream (when there is one)
// each time it passes a block, so a long list of findings never stands whole in memory.
class JsonWriter {
public:
    // Without a stream the text stays in Text().
    explicit JsonWriter(std::FILE* stream, bool oneLine);

    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    // The next value is the member key of the open object.
    JsonWriter& Key(std::string_view key);

    void String(std::string_view text);
    // A string value written piece by piece, each escaped as it comes, for a text too long to be made
    // whole first. A piece holds whole UTF-8 sequences.
    void BeginString();
    void StringPiece(std::string_view piece);
    void EndString();
    void Number(int64_t number);
    void Bool(bool value);
    void Null();
    // key: text, and key_bytes (the raw bytes in base64) when text is not valid UTF-8.
    void StringMember(std::string_view key, std::string_view text);
    // A row of numbers stays on one line: [3, 1].
    void NumberRow(const int32_t* numbers, size_t count);

    // Ends the output with a line end and hands it over; false (errno set) when the stream refused
    // any of it.
    bool Finish();
    const std::string& Text() const { return m_output.Text(); }

private:
    void BeforeValue();
    void Close(char bracket);

    BlockOutput m_output;
    std::string& m_out = m_output.Text();  // the text being made
    bool m_oneLine;
    std::string m_first;  // per open level: 1 while it has no member or element yet
    bool m_afterKey = false;
};

}  // namespace veltrane::cli
