// A small reader of the EXIF block of JPEG files. It decodes a fixed set of
// common tags from IFD0, the EXIF directory and the GPS directory; Lensmeta
// takes the lens model (where the camera keeps its calibration text) and the
// body serial number out of it. It never writes and allocates only the
// decoded strings and small vectors.
//
// Every position and size is checked in 64-bit arithmetic, so no offset or
// count in the file can wrap a bounds check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace lensmeta {

// Results of ExifRecord::parse and parseSegment.
enum ExifStatus : int {
    kExifOk = 0,
    kExifNotJpeg = 1982,        // null data, under 4 bytes, or no 0xFF 0xD8 start
    kExifNoBlock = 1983,        // no APP1 pair, or its payload is not "Exif\0\0"
    kExifUnknownByteOrder = 1984,  // neither "II" nor "MM"
    kExifCorrupt = 1985,        // a length or offset check failed, or magic != 42
};

struct ExifRational {
    uint32_t numerator = 0;
    uint32_t denominator = 0;
    // 0 when the denominator is 0.
    double value() const { return denominator == 0 ? 0.0 : double(numerator) / double(denominator); }
};

// One decoded 12-byte IFD entry. An entry that cannot be decoded carries
// kInvalidTag in both tag and format, which no rule handles.
struct ExifEntry {
    static constexpr uint16_t kInvalidTag = 0x00FF;

    uint16_t tag = kInvalidTag;
    uint16_t format = kInvalidTag;
    uint32_t count = 0;
    uint32_t rawField = 0;  // the value-or-offset field, read in the byte order

    // Decoded values; only the member matching the format is filled.
    std::vector<uint8_t> bytes;        // BYTE
    std::string text;                  // ASCII, without one trailing zero byte
    std::vector<uint16_t> shorts;      // SHORT
    std::vector<uint32_t> longs;       // LONG
    std::vector<ExifRational> rationals;  // RATIONAL

    bool valid() const { return tag != kInvalidTag || format != kInvalidTag; }
};

struct GpsComponents {
    double degrees = 0;
    double minutes = 0;
    double seconds = 0;
    char direction = '?';
};

// The decoded EXIF block. parse() and parseSegment() reset it first; after a
// failure it keeps what was decoded before the failing check.
struct ExifRecord {
    bool byteOrder = false;  // true: "II" little-endian; false: "MM" big-endian
    std::string ImageDescription;
    std::string Make;
    std::string Model;
    uint16_t Orientation = 0;
    uint16_t BitsPerSample = 0;
    std::string Software;
    std::string DateTime;
    std::string DateTimeOriginal;
    std::string DateTimeDigitized;
    std::string SubSecTimeOriginal;
    std::string RightsNotice;
    double ExposureTime = 0;
    double FNumber = 0;
    uint16_t ISOSpeedRatings = 0;
    double ShutterSpeedValue = 0;
    double ExposureBiasValue = 0;
    double SubjectDistance = 0;
    double FocalLength = 0;
    uint16_t FocalLengthIn35mm = 0;
    bool Flash = false;
    uint16_t MeteringMode = 0;
    uint32_t ImageWidth = 0;
    uint32_t ImageHeight = 0;
    double Latitude = 0;
    double Longitude = 0;
    double Altitude = 0;
    double DOP = 0;
    char AltitudeRef = 0;
    GpsComponents LatComponents;
    GpsComponents LonComponents;
    double FStopMin = 0;
    double FStopMax = 0;
    double FocalLengthMin = 0;
    double FocalLengthMax = 0;
    double FocalPlaneXResolution = 0;
    double FocalPlaneYResolution = 0;
    std::string BodySerialNumber;
    std::string LensMake;
    std::string LensModel;

    // Scans a whole JPEG file in memory and decodes its first APP1 block.
    int parse(const uint8_t* data, size_t length);
    // Decodes an APP1 payload that starts at "Exif"; length bounds every read.
    int parseSegment(const uint8_t* payload, size_t length);
    void reset();
};

}  // namespace lensmeta
