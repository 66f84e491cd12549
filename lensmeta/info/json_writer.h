// A minimal writer of one-line JSON objects, enough for lensmeta-info.
// Keys are written as given; string values are escaped, and bytes that are
// not valid UTF-8 become U+FFFD so that the line always parses.
#pragma once

#include <cstdint>
#include <string>

class JsonWriter {
public:
    void beginObject(const char* key = nullptr);
    void endObject();
    void beginArray(const char* key);
    void endArray();

    void value(const char* key, const std::string& text);
    void value(const char* key, bool flag);
    void value(const char* key, int64_t number);
    void value(const char* key, int32_t number) { value(key, int64_t(number)); }
    // Written with enough digits to read back the same value.
    void value(const char* key, double number);
    void value(const char* key, float number);

    const std::string& text() const { return out_; }

private:
    void separate(const char* key);
    void appendString(const std::string& text);

    std::string out_;
    bool needComma_ = false;
};
