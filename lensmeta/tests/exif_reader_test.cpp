#include "exif_reader.h"

#include <gtest/gtest.h>

#include <cstring>

#include "exif_builder.h"

namespace lensmeta {
namespace {

using test::Bytes;
using test::ExifBuilder;

int parseBytes(ExifRecord& record, const Bytes& bytes) {
    return record.parse(bytes.data(), bytes.size());
}

TEST(ExifReaderStatus, RejectsWhatIsNoJpeg) {
    ExifRecord r;
    EXPECT_EQ(r.parse(nullptr, 100), kExifNotJpeg);
    const Bytes shortFile{0xFF, 0xD8, 0xFF};
    EXPECT_EQ(parseBytes(r, shortFile), kExifNotJpeg);
    const Bytes png{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    EXPECT_EQ(parseBytes(r, png), kExifNotJpeg);
}

TEST(ExifReaderStatus, NoExifBlock) {
    ExifRecord r;
    // A JPEG without any APP1 marker pair.
    const Bytes plain{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 0x00, 0x00, 0xFF, 0xD9};
    EXPECT_EQ(parseBytes(r, plain), kExifNoBlock);
    // The marker pair in the last two bytes leaves no room for a length.
    const Bytes atEnd{0xFF, 0xD8, 0x00, 0xFF, 0xE1};
    EXPECT_EQ(parseBytes(r, atEnd), kExifNoBlock);
    // The first APP1 is XMP: only the first one is looked at.
    std::string xmp = "http://ns.adobe.com/xap/1.0/";
    Bytes payload(xmp.begin(), xmp.end());
    payload.resize(40, 0);
    EXPECT_EQ(parseBytes(r, test::jpegWithApp1(payload)), kExifNoBlock);
}

TEST(ExifReaderStatus, UnknownByteOrderAndBadMagic) {
    ExifRecord r;
    Bytes payload = ExifBuilder(true).ascii(ExifBuilder::kIfd0, 0x010F, "Maker").payload();
    Bytes bad = payload;
    bad[6] = 'X';
    bad[7] = 'X';
    EXPECT_EQ(parseBytes(r, test::jpegWithApp1(bad)), kExifUnknownByteOrder);
    bad = payload;
    bad[8] = 43;
    EXPECT_EQ(parseBytes(r, test::jpegWithApp1(bad)), kExifCorrupt);
}

TEST(ExifReaderStatus, SegmentLengthChecks) {
    ExifRecord r;
    Bytes jpeg = ExifBuilder(false).ascii(ExifBuilder::kIfd0, 0x010F, "Maker").jpeg();
    Bytes tooShort = jpeg;
    tooShort[4] = 0;
    tooShort[5] = 15;  // below the 16-byte minimum
    EXPECT_EQ(parseBytes(r, tooShort), kExifCorrupt);
    Bytes pastEnd = jpeg;
    pastEnd[4] = 0xFF;
    pastEnd[5] = 0xF0;  // runs past the end of the file
    EXPECT_EQ(parseBytes(r, pastEnd), kExifCorrupt);
    // A payload of "Exif\0\0" and fewer than 8 TIFF bytes.
    Bytes header{'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0};
    EXPECT_EQ(r.parseSegment(header.data(), header.size()), kExifCorrupt);
    EXPECT_EQ(r.parseSegment(header.data(), 4), kExifNoBlock);
}

TEST(ExifReaderStatus, DirectoryOffsetsOutsideThePayload) {
    ExifRecord r;
    for (uint32_t offset : {0x00001000u, 0xFFFFFFFAu, 0xFFFFFFFFu}) {
        Bytes payload = ExifBuilder(true).ascii(ExifBuilder::kIfd0, 0x010F, "M").payload();
        std::memcpy(&payload[10], &offset, 4);  // little-endian IFD0 offset
        EXPECT_EQ(r.parseSegment(payload.data(), payload.size()), kExifCorrupt) << offset;
    }
    // An entry count that runs past the end.
    Bytes payload = ExifBuilder(true).ascii(ExifBuilder::kIfd0, 0x010F, "M").payload();
    payload[14] = 0xFF;
    payload[15] = 0xFF;
    EXPECT_EQ(r.parseSegment(payload.data(), payload.size()), kExifCorrupt);
}

class ExifReaderByteOrder : public ::testing::TestWithParam<bool> {};

TEST_P(ExifReaderByteOrder, DecodesTheTagsOfEachDirectory) {
    ExifBuilder b(GetParam());
    b.ascii(ExifBuilder::kIfd0, 0x010E, "A description")
        .ascii(ExifBuilder::kIfd0, 0x010F, "Maker")
        .ascii(ExifBuilder::kIfd0, 0x0110, "Mdl")  // short enough to sit in the entry
        .shortValue(ExifBuilder::kIfd0, 0x0112, 6)
        .ascii(ExifBuilder::kIfd0, 0x0131, "Software 1.0")
        .ascii(ExifBuilder::kIfd0, 0x0132, "2026:12:09 10:00:00")
        .ascii(ExifBuilder::kIfd0, 0x8298, "(c) nobody")
        .rationals(ExifBuilder::kExifIfd, 0x829A, {{1, 250}})
        .rationals(ExifBuilder::kExifIfd, 0x829D, {{28, 10}})
        .shortValue(ExifBuilder::kExifIfd, 0x8827, 400)
        .rationals(ExifBuilder::kExifIfd, 0x920A, {{19, 10}})
        .shortValue(ExifBuilder::kExifIfd, 0x9209, 1)
        .shortValue(ExifBuilder::kExifIfd, 0xA002, 5760)
        .longValue(ExifBuilder::kExifIfd, 0xA003, 2880)
        .rationals(ExifBuilder::kExifIfd, 0xA432, {{18, 10}, {19, 10}, {20, 10}, {22, 10}})
        .ascii(ExifBuilder::kExifIfd, 0xA431, "SN-0001")
        .ascii(ExifBuilder::kExifIfd, 0xA433, "LensCo")
        .ascii(ExifBuilder::kExifIfd, 0xA434, "6_1_2_3")
        .ascii(ExifBuilder::kExifIfd, 0x9003, "2026:12:09 10:00:01")
        .rawEntry(ExifBuilder::kGpsIfd, 0x0001, 2, 2, GetParam() ? 'S' : uint32_t('S') << 24)
        .rationals(ExifBuilder::kGpsIfd, 0x0002, {{35, 1}, {30, 1}, {36, 1}})
        .rawEntry(ExifBuilder::kGpsIfd, 0x0003, 2, 2, GetParam() ? 'W' : uint32_t('W') << 24)
        .rationals(ExifBuilder::kGpsIfd, 0x0004, {{139, 1}, {15, 1}, {0, 1}})
        .rawEntry(ExifBuilder::kGpsIfd, 0x0005, 1, 1, GetParam() ? 1 : 1u << 24)
        .rationals(ExifBuilder::kGpsIfd, 0x0006, {{125, 10}})
        .rationals(ExifBuilder::kGpsIfd, 0x000B, {{3, 2}});

    ExifRecord r;
    ASSERT_EQ(parseBytes(r, b.jpeg()), kExifOk);
    EXPECT_EQ(r.byteOrder, GetParam());
    EXPECT_EQ(r.ImageDescription, "A description");
    EXPECT_EQ(r.Make, "Maker");
    EXPECT_EQ(r.Model, "Mdl");
    EXPECT_EQ(r.Orientation, 6);
    EXPECT_EQ(r.Software, "Software 1.0");
    EXPECT_EQ(r.DateTime, "2026:12:09 10:00:00");
    EXPECT_EQ(r.RightsNotice, "(c) nobody");
    EXPECT_DOUBLE_EQ(r.ExposureTime, 0.004);
    EXPECT_DOUBLE_EQ(r.FNumber, 2.8);
    EXPECT_EQ(r.ISOSpeedRatings, 400);
    EXPECT_DOUBLE_EQ(r.FocalLength, 1.9);
    EXPECT_TRUE(r.Flash);
    EXPECT_EQ(r.ImageWidth, 5760u);
    EXPECT_EQ(r.ImageHeight, 2880u);
    EXPECT_DOUBLE_EQ(r.FocalLengthMin, 1.8);
    EXPECT_DOUBLE_EQ(r.FocalLengthMax, 1.9);
    EXPECT_DOUBLE_EQ(r.FStopMin, 2.0);
    EXPECT_DOUBLE_EQ(r.FStopMax, 2.2);
    EXPECT_EQ(r.BodySerialNumber, "SN-0001");
    EXPECT_EQ(r.LensMake, "LensCo");
    EXPECT_EQ(r.LensModel, "6_1_2_3");
    EXPECT_EQ(r.DateTimeOriginal, "2026:12:09 10:00:01");
    EXPECT_EQ(r.LatComponents.direction, 'S');
    EXPECT_DOUBLE_EQ(r.Latitude, -(35 + 30 / 60.0 + 36 / 3600.0));
    EXPECT_EQ(r.LonComponents.direction, 'W');
    EXPECT_DOUBLE_EQ(r.Longitude, -(139 + 15 / 60.0));
    EXPECT_DOUBLE_EQ(r.Altitude, -12.5);
    EXPECT_DOUBLE_EQ(r.DOP, 1.5);
}

TEST_P(ExifReaderByteOrder, EntriesPointingOutsideAreSkipped) {
    // Offsets and counts whose 32-bit sums wrap around to small numbers.
    ExifBuilder b(GetParam());
    b.ascii(ExifBuilder::kIfd0, 0x010F, "Maker")
        .rawEntry(ExifBuilder::kExifIfd, 0xA434, 2, 0x20, 0xFFFFFFF0u)
        .rawEntry(ExifBuilder::kExifIfd, 0xA431, 2, 0xFFFFFFFFu, 0)
        .rawEntry(ExifBuilder::kExifIfd, 0x829A, 5, 0x20000001u, 8)
        .rawEntry(ExifBuilder::kExifIfd, 0xA432, 5, 4, 0xFFFFFFFCu)
        .rawEntry(ExifBuilder::kGpsIfd, 0x0002, 5, 3, 0xFFFFFFF8u)
        .rawEntry(ExifBuilder::kGpsIfd, 0x0006, 5, 1, 0xFFFFFFFEu)
        .ascii(ExifBuilder::kExifIfd, 0xA433, "Still here");
    ExifRecord r;
    ASSERT_EQ(parseBytes(r, b.jpeg()), kExifOk);
    EXPECT_EQ(r.Make, "Maker");
    EXPECT_EQ(r.LensModel, "");
    EXPECT_EQ(r.BodySerialNumber, "");
    EXPECT_EQ(r.ExposureTime, 0);
    EXPECT_EQ(r.FocalLengthMin, 0);
    EXPECT_EQ(r.Latitude, 0);
    EXPECT_EQ(r.Altitude, 0);
    EXPECT_EQ(r.LensMake, "Still here");
}

TEST_P(ExifReaderByteOrder, SubDirectoryFaults) {
    // An EXIF pointer outside the payload: no EXIF tags, still a success.
    ExifBuilder outside(GetParam());
    outside.ascii(ExifBuilder::kIfd0, 0x010F, "Maker")
        .rawEntry(ExifBuilder::kIfd0, 0x8769, 4, 1, 0xFFFFFFFFu);
    ExifRecord r;
    EXPECT_EQ(parseBytes(r, outside.jpeg()), kExifOk);
    EXPECT_EQ(r.Make, "Maker");

    // An EXIF directory whose entry count runs past the end: corrupt, and
    // what IFD0 held is kept.
    ExifBuilder overlong(GetParam());
    overlong.ascii(ExifBuilder::kIfd0, 0x010F, "Maker")
        .ascii(ExifBuilder::kExifIfd, 0xA434, "6_lens");
    Bytes payload = overlong.payload();
    ExifRecord probe;
    ASSERT_EQ(probe.parseSegment(payload.data(), payload.size()), kExifOk);
    // IFD0 holds the EXIF pointer first; find the EXIF directory's count.
    const uint64_t tiff = 6;
    const uint8_t* ptr = &payload[tiff + 8 + 2 + 8];
    uint32_t exifOffset = GetParam()
        ? uint32_t(ptr[0] | ptr[1] << 8 | ptr[2] << 16 | uint32_t(ptr[3]) << 24)
        : uint32_t(uint32_t(ptr[0]) << 24 | ptr[1] << 16 | ptr[2] << 8 | ptr[3]);
    payload[tiff + exifOffset] = 0x7F;
    payload[tiff + exifOffset + 1] = 0x7F;
    EXPECT_EQ(r.parseSegment(payload.data(), payload.size()), kExifCorrupt);
    EXPECT_EQ(r.Make, "Maker");
    EXPECT_EQ(r.LensModel, "");
}

TEST_P(ExifReaderByteOrder, UnknownFormatsAndWrongTypesAreIgnored) {
    ExifBuilder b(GetParam());
    b.rawEntry(ExifBuilder::kIfd0, 0x010F, 11, 1, 0)  // FLOAT: not decoded
        .shortValue(ExifBuilder::kIfd0, 0x0110, 7)    // Model as SHORT: ignored
        .ascii(ExifBuilder::kIfd0, 0x0112, "six");    // Orientation as ASCII: ignored
    ExifRecord r;
    ASSERT_EQ(parseBytes(r, b.jpeg()), kExifOk);
    EXPECT_EQ(r.Make, "");
    EXPECT_EQ(r.Model, "");
    EXPECT_EQ(r.Orientation, 0);
}

INSTANTIATE_TEST_SUITE_P(BothOrders, ExifReaderByteOrder, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "II" : "MM"; });

TEST(ExifReader, ParseStartsFromAFreshRecord) {
    ExifRecord r;
    ASSERT_EQ(parseBytes(r, ExifBuilder(true).ascii(ExifBuilder::kIfd0, 0x010F, "First").jpeg()), kExifOk);
    ASSERT_EQ(parseBytes(r, ExifBuilder(true).ascii(ExifBuilder::kIfd0, 0x0110, "Second").jpeg()), kExifOk);
    EXPECT_EQ(r.Make, "");
    EXPECT_EQ(r.Model, "Second");
}

TEST(ExifReader, AsciiWithoutTrailingZeroKeepsAllBytes) {
    ExifBuilder b(false);
    b.rawEntry(ExifBuilder::kIfd0, 0x010F, 2, 4, uint32_t('A') << 24 | 'B' << 16 | 'C' << 8 | 'D');
    ExifRecord r;
    ASSERT_EQ(parseBytes(r, b.jpeg()), kExifOk);
    EXPECT_EQ(r.Make, "ABCD");
}

// Stills tagged by exiftool, the tool cameras' files are usually checked with.
class ExifReaderExiftoolFiles : public ::testing::TestWithParam<const char*> {};

TEST_P(ExifReaderExiftoolFiles, ReadsWhatExiftoolWrote) {
    const std::string order = GetParam();
    const Bytes file = test::readFileBytes(std::string(LENSMETA_FIXTURES_DIR) + "/tagged-" + order + ".jpg");
    ExifRecord r;
    ASSERT_EQ(parseBytes(r, file), kExifOk);
    EXPECT_EQ(r.byteOrder, order == "II");
    EXPECT_EQ(r.Make, "TestMake");
    EXPECT_EQ(r.Model, "TestModel");
    EXPECT_EQ(r.Orientation, 6);
    EXPECT_EQ(r.LensMake, "TestLens");
    EXPECT_EQ(r.LensModel,
              "6_952_960_960_0_0.8_-0.6_952_2880_960_180_-0.5_0.7_3840_1920_0_0_0_0_0.02_-0.05_0.08_-0.03_0.04_0.06_200_200");
    EXPECT_EQ(r.BodySerialNumber, "SN-" + order + "-42");
    EXPECT_DOUBLE_EQ(r.ExposureTime, 0.004);
    EXPECT_DOUBLE_EQ(r.FNumber, 2.8);
    EXPECT_EQ(r.ISOSpeedRatings, 200);
    EXPECT_DOUBLE_EQ(r.FocalLength, 1.9);
    EXPECT_EQ(r.DateTimeOriginal, "2026:12:01 10:20:30");
    EXPECT_DOUBLE_EQ(r.Latitude, -35.5);
    EXPECT_DOUBLE_EQ(r.Longitude, -139.25);
    EXPECT_DOUBLE_EQ(r.Altitude, -12.5);
}

INSTANTIATE_TEST_SUITE_P(BothOrders, ExifReaderExiftoolFiles, ::testing::Values("II", "MM"));

TEST(ExifReader, ExiftoolXmpOnlyStillHasNoExifBlock) {
    const Bytes file = test::readFileBytes(std::string(LENSMETA_FIXTURES_DIR) + "/xmp-only.jpg");
    ExifRecord r;
    EXPECT_EQ(parseBytes(r, file), kExifNoBlock);
}

}  // namespace
}  // namespace lensmeta
