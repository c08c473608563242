#include "cli/JsonWriter.h"

#include "cli/CliOutput.h"

namespace veltrane::cli {

JsonWriter::JsonWriter(std::FILE* stream, bool oneLine) : m_output(stream), m_oneLine(oneLine) {}

void JsonWriter::BeforeValue() {
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (m_first.empty()) {
        return;
    }
    if (m_first.back() == '1') {
        m_first.back() = '0';
    } else {
        m_out += ',';
        m_out += m_oneLine ? " " : "";
    }
    if (!m_oneLine) {
        m_out += '\n';
        m_out.append(m_first.size() * 2, ' ');
    }
}

void JsonWriter::BeginObject() {
    BeforeValue();
    m_out += '{';
    m_first += '1';
}

void JsonWriter::BeginArray() {
    BeforeValue();
    m_out += '[';
    m_first += '1';
}

void JsonWriter::Close(char bracket) {
    const bool empty = m_first.back() == '1';
    m_first.pop_back();
    if (!empty && !m_oneLine) {
        m_out += '\n';
        m_out.append(m_first.size() * 2, ' ');
    }
    m_out += bracket;
    m_output.HandWhenFull();
}

void JsonWriter::EndObject() {
    Close('}');
}

void JsonWriter::EndArray() {
    Close(']');
}

JsonWriter& JsonWriter::Key(std::string_view key) {
    BeforeValue();
    m_out += JsonString(key);
    m_out += ": ";
    m_afterKey = true;
    return *this;
}

void JsonWriter::String(std::string_view text) {
    BeforeValue();
    m_out += JsonString(text);
}

void JsonWriter::BeginString() {
    BeforeValue();
    m_out += '"';
}

void JsonWriter::StringPiece(std::string_view piece) {
    AppendJsonEscaped(m_out, piece);
    m_output.HandWhenFull();
}

void JsonWriter::EndString() {
    m_out += '"';
}

void JsonWriter::Number(int64_t number) {
    BeforeValue();
    m_out += std::to_string(number);
}

void JsonWriter::Bool(bool value) {
    BeforeValue();
    m_out += value ? "true" : "false";
}

void JsonWriter::Null() {
    BeforeValue();
    m_out += "null";
}

void JsonWriter::StringMember(std::string_view key, std::string_view text) {
    Key(key).String(text);
    if (!IsValidUtf8(text)) {
        std::string bytesKey(key);
        bytesKey += "_bytes";
        Key(bytesKey).String(Base64(text));
    }
}

void JsonWriter::NumberRow(const int32_t* numbers, size_t count) {
    BeforeValue();
    m_out += '[';
    for (size_t i = 0; i < count; ++i) {
        m_out += i == 0 ? "" : ", ";
        m_out += std::to_string(numbers[i]);
    }
    m_out += ']';
}

bool JsonWriter::Finish() {
    m_out += '\n';
    return m_output.Finish();
}

}  // namespace veltrane::cli
