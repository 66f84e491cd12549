#include "json_writer.h"

#include <charconv>
#include <cmath>
#include <cstdio>

void JsonWriter::separate(const char* key) {
    if (needComma_)
        out_ += ',';
    needComma_ = true;
    if (key) {
        appendString(key);
        out_ += ':';
    }
}

void JsonWriter::beginObject(const char* key) {
    separate(key);
    out_ += '{';
    needComma_ = false;
}

void JsonWriter::endObject() {
    out_ += '}';
    needComma_ = true;
}

void JsonWriter::beginArray(const char* key) {
    separate(key);
    out_ += '[';
    needComma_ = false;
}

void JsonWriter::endArray() {
    out_ += ']';
    needComma_ = true;
}

void JsonWriter::value(const char* key, const std::string& text) {
    separate(key);
    appendString(text);
}

void JsonWriter::value(const char* key, bool flag) {
    separate(key);
    out_ += flag ? "true" : "false";
}

void JsonWriter::value(const char* key, int64_t number) {
    separate(key);
    out_ += std::to_string(number);
}

// Shortest text that reads back as the same value.
template <typename T>
static void appendNumber(std::string& out, T number) {
    if (!std::isfinite(number)) {  // JSON has no infinities
        out += "null";
        return;
    }
    char buf[64];
    const auto result = std::to_chars(buf, buf + sizeof buf, number);
    out.append(buf, result.ptr);
}

void JsonWriter::value(const char* key, double number) {
    separate(key);
    appendNumber(out_, number);
}

void JsonWriter::value(const char* key, float number) {
    separate(key);
    appendNumber(out_, number);
}

namespace {

// Length of the valid UTF-8 sequence at s[i], or 0 when it is not one.
size_t utf8SequenceLength(const std::string& s, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char lead = byte(i);
    size_t length;
    uint32_t code;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) { length = 2; code = lead & 0x1F; }
    else if (lead >= 0xE0 && lead <= 0xEF) { length = 3; code = lead & 0x0F; }
    else if (lead >= 0xF0 && lead <= 0xF4) { length = 4; code = lead & 0x07; }
    else return 0;
    if (i + length > s.size()) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not valid.
    if ((length == 3 && code < 0x800) || (length == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

}  // namespace

void JsonWriter::appendString(const std::string& text) {
    out_ += '"';
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t length = utf8SequenceLength(text, i);
        if (length == 0) {
            out_ += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (length > 1) {
            out_.append(text, i, length);
            i += length;
            continue;
        }
        switch (c) {
        case '"': out_ += "\\\""; break;
        case '\\': out_ += "\\\\"; break;
        case '\n': out_ += "\\n"; break;
        case '\r': out_ += "\\r"; break;
        case '\t': out_ += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out_ += buf;
            } else {
                out_ += char(c);
            }
        }
        ++i;
    }
    out_ += '"';
}
