// Builds small EXIF blocks and JPEG files in memory, in either byte order,
// with every offset under the test's control.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lensmeta::test {

using Bytes = std::vector<uint8_t>;

class ExifBuilder {
public:
    enum Directory { kIfd0, kExifIfd, kGpsIfd };

    explicit ExifBuilder(bool littleEndian) : little_(littleEndian) {}

    ExifBuilder& ascii(Directory dir, uint16_t tag, const std::string& text);
    ExifBuilder& shortValue(Directory dir, uint16_t tag, uint16_t value);
    ExifBuilder& longValue(Directory dir, uint16_t tag, uint32_t value);
    ExifBuilder& rationals(Directory dir, uint16_t tag,
                           const std::vector<std::pair<uint32_t, uint32_t>>& values);
    // An entry whose value-or-offset field is written exactly as given.
    ExifBuilder& rawEntry(Directory dir, uint16_t tag, uint16_t format, uint32_t count,
                          uint32_t field);

    // The APP1 payload: "Exif\0\0" and the TIFF structure. The EXIF and GPS
    // pointers are added to IFD0 when those directories have entries.
    Bytes payload() const;
    // A JPEG file: SOI, the APP1 segment with the payload, EOI.
    Bytes jpeg() const;

    bool little() const { return little_; }

private:
    struct Entry {
        uint16_t tag;
        uint16_t format;
        uint32_t count;
        Bytes data;        // written out of line when longer than 4 bytes
        bool raw = false;  // rawField is the field as is
        uint32_t rawField = 0;
    };
    Bytes encode16(uint16_t v) const;
    Bytes encode32(uint32_t v) const;

    bool little_;
    std::vector<Entry> dirs_[3];
};

// Wraps a payload into a JPEG file.
Bytes jpegWithApp1(const Bytes& payload);

Bytes readFileBytes(const std::string& path);

}  // namespace lensmeta::test
