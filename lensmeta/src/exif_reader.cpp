#include "exif_reader.h"

#include <cstring>

namespace lensmeta {
namespace {

// The TIFF header sits 6 bytes into the APP1 payload, after "Exif\0\0"; every
// offset stored in the TIFF structure counts from there.
constexpr uint64_t kTiffStart = 6;
constexpr uint64_t kEntrySize = 12;

enum ExifFormat : uint16_t {
    kByte = 1,
    kAscii = 2,
    kShort = 3,
    kLong = 4,
    kRational = 5,
    kUndefined = 7,
    kSLong = 9,
    kSRational = 10,
    kFormat255 = 255,
};

// Bounds-checked reads over one payload. Callers check positions against
// length before reading; the accessors trust them.
class PayloadView {
public:
    PayloadView(const uint8_t* data, uint64_t length, bool littleEndian)
        : data_(data), length_(length), little_(littleEndian) {}

    uint64_t length() const { return length_; }
    bool fits(uint64_t pos, uint64_t size) const {
        return pos <= length_ && size <= length_ - pos;
    }
    uint16_t u16(uint64_t pos) const {
        const uint8_t* p = data_ + pos;
        return little_ ? uint16_t(p[0] | (p[1] << 8)) : uint16_t((p[0] << 8) | p[1]);
    }
    uint32_t u32(uint64_t pos) const {
        const uint8_t* p = data_ + pos;
        if (little_)
            return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
        return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | uint32_t(p[3]);
    }
    const uint8_t* at(uint64_t pos) const { return data_ + pos; }
    // A rational at TIFF offset `offset`; false when it lies outside.
    bool rationalAt(uint64_t offset, ExifRational& out) const {
        uint64_t pos = offset + kTiffStart;
        if (!fits(pos, 8))
            return false;
        out.numerator = u32(pos);
        out.denominator = u32(pos + 4);
        return true;
    }

private:
    const uint8_t* data_;
    uint64_t length_;
    bool little_;
};

uint64_t unitSize(uint16_t format) {
    switch (format) {
    case kByte:
    case kAscii: return 1;
    case kShort: return 2;
    case kLong: return 4;
    case kRational: return 8;
    default: return 0;
    }
}

// Decodes the entry at payload position q; an undecodable entry comes back
// with the invalid tag and format.
ExifEntry decodeEntry(const PayloadView& view, uint64_t q) {
    ExifEntry entry;
    if (!view.fits(q, kEntrySize))
        return entry;
    uint16_t tag = view.u16(q);
    uint16_t format = view.u16(q + 2);
    uint32_t count = view.u32(q + 4);
    uint32_t raw = view.u32(q + 8);
    switch (format) {
    case kByte: case kAscii: case kShort: case kLong: case kRational:
    case kUndefined: case kSLong: case kSRational: case kFormat255:
        break;
    default:
        return entry;
    }

    uint64_t unit = unitSize(format);
    if (unit != 0) {
        uint64_t size = unit * uint64_t(count);  // at most 8 · (2^32 − 1): no wrap
        uint64_t pos = q + 8;                   // inline values: the raw field itself
        bool outOfLine = format == kRational ? count != 0 : size > 4;
        if (outOfLine) {
            pos = uint64_t(raw) + kTiffStart;
            if (!view.fits(pos, size))
                return entry;
        }
        const uint8_t* p = view.at(pos);
        switch (format) {
        case kByte:
            entry.bytes.assign(p, p + size);
            break;
        case kAscii:
            entry.text.assign(reinterpret_cast<const char*>(p), size);
            if (!entry.text.empty() && entry.text.back() == '\0')
                entry.text.pop_back();
            break;
        case kShort:
            entry.shorts.reserve(count);
            for (uint64_t i = 0; i < count; ++i)
                entry.shorts.push_back(view.u16(pos + 2 * i));
            break;
        case kLong:
            entry.longs.reserve(count);
            for (uint64_t i = 0; i < count; ++i)
                entry.longs.push_back(view.u32(pos + 4 * i));
            break;
        case kRational:
            entry.rationals.reserve(count);
            for (uint64_t i = 0; i < count; ++i)
                entry.rationals.push_back({view.u32(pos + 8 * i), view.u32(pos + 8 * i + 4)});
            break;
        }
    }
    entry.tag = tag;
    entry.format = format;
    entry.count = count;
    entry.rawField = raw;
    return entry;
}

void takeAscii(const ExifEntry& e, std::string& field) {
    if (e.format == kAscii)
        field = e.text;
}
void takeShort(const ExifEntry& e, uint16_t& field) {
    if (e.format == kShort && !e.shorts.empty())
        field = e.shorts.front();
}
void takeRational(const ExifEntry& e, double& field, size_t index = 0) {
    if (e.format == kRational && e.rationals.size() > index)
        field = e.rationals[index].value();
}

void applyIfd0(ExifRecord& r, const ExifEntry& e, uint64_t& exifPos, uint64_t& gpsPos) {
    switch (e.tag) {
    case 0x010E: takeAscii(e, r.ImageDescription); break;
    case 0x010F: takeAscii(e, r.Make); break;
    case 0x0110: takeAscii(e, r.Model); break;
    case 0x0112: takeShort(e, r.Orientation); break;
    case 0x0102: takeShort(e, r.BitsPerSample); break;
    case 0x0131: takeAscii(e, r.Software); break;
    case 0x0132: takeAscii(e, r.DateTime); break;
    case 0x8298: takeAscii(e, r.RightsNotice); break;
    case 0x8769: exifPos = uint64_t(e.rawField) + kTiffStart; break;
    case 0x8825: gpsPos = uint64_t(e.rawField) + kTiffStart; break;
    default: break;
    }
}

void applyExif(ExifRecord& r, const ExifEntry& e) {
    switch (e.tag) {
    case 0x9003: takeAscii(e, r.DateTimeOriginal); break;
    case 0x9004: takeAscii(e, r.DateTimeDigitized); break;
    case 0x9291: takeAscii(e, r.SubSecTimeOriginal); break;
    case 0x829A: takeRational(e, r.ExposureTime); break;
    case 0x829D: takeRational(e, r.FNumber); break;
    case 0x8827: takeShort(e, r.ISOSpeedRatings); break;
    case 0x9201: takeRational(e, r.ShutterSpeedValue); break;
    case 0x9204: takeRational(e, r.ExposureBiasValue); break;
    case 0x9206: takeRational(e, r.SubjectDistance); break;
    case 0x920A: takeRational(e, r.FocalLength); break;
    case 0xA405: takeShort(e, r.FocalLengthIn35mm); break;
    case 0x9209:
        if (e.format == kShort)
            r.Flash = e.rawField != 0;
        break;
    case 0x9207: takeShort(e, r.MeteringMode); break;
    case 0xA002:
        if (e.format == kLong && !e.longs.empty())
            r.ImageWidth = e.longs.front();
        else if (e.format == kShort && !e.shorts.empty())
            r.ImageWidth = e.shorts.front();
        break;
    case 0xA003:
        if (e.format == kLong && !e.longs.empty())
            r.ImageHeight = e.longs.front();
        else if (e.format == kShort && !e.shorts.empty())
            r.ImageHeight = e.shorts.front();
        break;
    case 0xA432:
        takeRational(e, r.FocalLengthMin, 0);
        takeRational(e, r.FocalLengthMax, 1);
        takeRational(e, r.FStopMin, 2);
        takeRational(e, r.FStopMax, 3);
        break;
    case 0xA20E: takeRational(e, r.FocalPlaneXResolution); break;
    case 0xA20F: takeRational(e, r.FocalPlaneYResolution); break;
    case 0xA431: takeAscii(e, r.BodySerialNumber); break;
    case 0xA433: takeAscii(e, r.LensMake); break;
    case 0xA434: takeAscii(e, r.LensModel); break;
    default: break;
    }
}

// Degrees, minutes and seconds from three rationals at TIFF offset `offset`;
// false (nothing changed) when any of them lies outside the payload.
bool readDms(const PayloadView& view, uint64_t offset, GpsComponents& c, double& decimal) {
    ExifRational d, m, s;
    if (!view.rationalAt(offset, d) || !view.rationalAt(offset + 8, m) || !view.rationalAt(offset + 16, s))
        return false;
    c.degrees = d.value();
    c.minutes = m.value();
    c.seconds = s.value();
    decimal = c.degrees + c.minutes / 60.0 + c.seconds / 3600.0;
    return true;
}

// Checks that a directory of n entries plus its 4-byte next link fits at p.
bool directoryFits(const PayloadView& view, uint64_t p, uint64_t n) {
    return view.fits(p, 6 + kEntrySize * n);
}

void applyGps(ExifRecord& r, const PayloadView& view, uint64_t q) {
    uint16_t tag = view.u16(q);
    uint16_t format = view.u16(q + 2);
    uint32_t count = view.u32(q + 4);
    uint32_t field = view.u32(q + 8);
    char inlineChar = char(*view.at(q + 8));
    bool rational = format == kRational || format == kSRational;
    ExifRational value;
    switch (tag) {
    case 0x0001:
        r.LatComponents.direction = inlineChar == 0 ? '?' : inlineChar;
        if (r.LatComponents.direction == 'S')
            r.Latitude = -r.Latitude;
        break;
    case 0x0002:
        if (rational && count == 3 && readDms(view, field, r.LatComponents, r.Latitude) &&
            r.LatComponents.direction == 'S')
            r.Latitude = -r.Latitude;
        break;
    case 0x0003:
        r.LonComponents.direction = inlineChar == 0 ? '?' : inlineChar;
        if (r.LonComponents.direction == 'W')
            r.Longitude = -r.Longitude;
        break;
    case 0x0004:
        if (rational && count == 3 && readDms(view, field, r.LonComponents, r.Longitude) &&
            r.LonComponents.direction == 'W')
            r.Longitude = -r.Longitude;
        break;
    case 0x0005:
        r.AltitudeRef = inlineChar;
        if (r.AltitudeRef == 1)
            r.Altitude = -r.Altitude;
        break;
    case 0x0006:
        if (rational && view.rationalAt(field, value)) {
            r.Altitude = value.value();
            if (r.AltitudeRef == 1)
                r.Altitude = -r.Altitude;
        }
        break;
    case 0x000B:
        if (rational && view.rationalAt(field, value))
            r.DOP = value.value();
        break;
    default:
        break;
    }
}

}  // namespace

void ExifRecord::reset() {
    *this = ExifRecord();
}

int ExifRecord::parse(const uint8_t* data, size_t length) {
    if (data == nullptr || length < 4 || data[0] != 0xFF || data[1] != 0xD8)
        return kExifNotJpeg;
    reset();
    // A plain byte search for the first APP1 marker pair, not a marker walk.
    const uint64_t len = length;
    uint64_t i = 0;
    while (i < len - 1 && !(data[i] == 0xFF && data[i + 1] == 0xE1))
        ++i;
    if (i + 4 > len)
        return kExifNoBlock;
    uint64_t segmentLength = (uint64_t(data[i + 2]) << 8) | data[i + 3];
    if (i + 2 + segmentLength > len || segmentLength < 16)
        return kExifCorrupt;
    // The payload runs to the end of the file, not to the end of the segment.
    return parseSegment(data + i + 4, size_t(len - i - 4));
}

int ExifRecord::parseSegment(const uint8_t* payload, size_t length) {
    static const uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (payload == nullptr || length < 6 || std::memcmp(payload, kExifHeader, 6) != 0)
        return kExifNoBlock;
    if (length < 14)
        return kExifCorrupt;
    if (payload[6] == 'I' && payload[7] == 'I')
        byteOrder = true;
    else if (payload[6] == 'M' && payload[7] == 'M')
        byteOrder = false;
    else
        return kExifUnknownByteOrder;

    const PayloadView view(payload, length, byteOrder);
    if (view.u16(8) != 42)
        return kExifCorrupt;

    // IFD0.
    uint64_t p = uint64_t(view.u32(10)) + kTiffStart;
    if (!view.fits(p, 2))
        return kExifCorrupt;
    uint64_t n = view.u16(p);
    if (!directoryFits(view, p, n))
        return kExifCorrupt;
    uint64_t exifPos = view.length();  // "absent" until a pointer tag sets it
    uint64_t gpsPos = view.length();
    for (uint64_t k = 0; k < n; ++k)
        applyIfd0(*this, decodeEntry(view, p + 2 + kEntrySize * k), exifPos, gpsPos);

    // EXIF directory.
    if (view.fits(exifPos, 4)) {
        n = view.u16(exifPos);
        if (!directoryFits(view, exifPos, n))
            return kExifCorrupt;
        for (uint64_t k = 0; k < n; ++k)
            applyExif(*this, decodeEntry(view, exifPos + 2 + kEntrySize * k));
    }

    // GPS directory.
    if (!view.fits(gpsPos, 4))
        return kExifOk;
    n = view.u16(gpsPos);
    if (!directoryFits(view, gpsPos, n))
        return kExifCorrupt;
    for (uint64_t k = 0; k < n; ++k)
        applyGps(*this, view, gpsPos + 2 + kEntrySize * k);
    return kExifOk;
}

}  // namespace lensmeta
