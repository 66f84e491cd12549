// The library through its public header, on the generated samples and on
// files that exiftool and the ffmpeg command wrote.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "lensmeta/lensmeta.h"
#include "sample_calibration.h"

namespace {

const std::string kFixtures = LENSMETA_FIXTURES_DIR;
const std::string kSamples = VISTAMO_SAMPLES_DIR;

const std::string kTwins = samples::kTwinsCalibText;
const std::string kGeneral = "2_900_960_960_0_0_0_900_2880_960_180_0_0_3840_1920_3840_1920_195_195";
const std::string kType3 = "3_900_960_960_0_0_0_900_2880_960_180_0_0_3840_1920_3840_1920_190_190";
const std::string kSphere = "5_450_480_480_960_960_236_0_0_0";

// GetLensmeta's text, or "-" when it found none.
std::string calibTextOf(std::string path) {
    ImageData d;
    if (!GetLensmeta(d, path))
        return "-";
    return d.calibText;
}

TEST(Extract, TwinsSamples) {
    for (const char* name : {"twins.jpg", "twins.mp4"}) {
        std::string path = kSamples + "/" + name;
        const std::string original = path;
        ImageData d;
        ASSERT_TRUE(GetLensmeta(d, path)) << name;
        EXPECT_EQ(path, original);
        EXPECT_EQ(d.calibText, kTwins);
        EXPECT_EQ(d.deviceType, 6);
        ASSERT_EQ(d.lenses.size(), 2u);
        EXPECT_FLOAT_EQ(d.lenses[1].yaw, 180.0f);
        EXPECT_FLOAT_EQ(d.fov, 200.0f);
        PanoData p;
        ASSERT_TRUE(GetPanoParam(p, path)) << name;
        ASSERT_EQ(p.photos.size(), 2u);
        EXPECT_EQ(p.photos[0].cropWidth, 2 * 952);
    }
    std::string jpg = kSamples + "/twins.jpg", mp4 = kSamples + "/twins.mp4", unused;
    EXPECT_EQ(GetImageSnNum(unused, jpg), samples::kTwinsSerial);
    EXPECT_EQ(GetImageSnNum(unused, mp4), "");  // videos carry no serial here
}

TEST(Extract, SphereSamples) {
    for (const char* name : {"sphere.jpg", "sphere.mp4"}) {
        std::string path = kSamples + "/" + name;
        ImageData d;
        ASSERT_TRUE(GetLensmeta(d, path)) << name;
        EXPECT_EQ(d.deviceType, 5);
        EXPECT_TRUE(d.calibrated);
        ASSERT_EQ(d.lenses.size(), 1u);
        EXPECT_FLOAT_EQ(d.fov, samples::kSphereFov);
        EXPECT_EQ(d.calibWidth, d.calibHeight);
        EXPECT_EQ(d.lenses[0].centerX, d.calibWidth / 2);
    }
}

TEST(Extract, StandardSamplesHaveNoCalibration) {
    for (const char* name : {"standard.jpg", "standard.mp4"}) {
        std::string path = kSamples + "/" + name;
        ImageData d;
        d.fov = 42;  // must stay untouched
        EXPECT_FALSE(GetLensmeta(d, path)) << name;
        EXPECT_EQ(d.fov, 42.0f);
        EXPECT_TRUE(d.calibText.empty());
        PanoData p;
        EXPECT_FALSE(GetPanoParam(p, path));
        EXPECT_TRUE(p.photos.empty());
    }
}

TEST(Extract, Mp4MetadataEntries) {
    // "original_format" first; its text is replaced by "comment" when it does
    // not begin with the device-type-6 digit.
    EXPECT_EQ(calibTextOf(kFixtures + "/original6.mp4"), kTwins);
    EXPECT_EQ(calibTextOf(kFixtures + "/original2-comment3.mp4"), kType3);
    EXPECT_EQ(calibTextOf(kFixtures + "/original2.mp4"), kGeneral);
    EXPECT_EQ(calibTextOf(kFixtures + "/sphere.mp4"), kSphere);
    // "comment" alone is not looked at.
    EXPECT_EQ(calibTextOf(kFixtures + "/comment-only.mp4"), "-");
    EXPECT_EQ(calibTextOf(kFixtures + "/plain.mp4"), "-");
}

TEST(Extract, ExtensionDecidesTheReader) {
    EXPECT_EQ(calibTextOf(kFixtures + "/UPPER.MP4"), kTwins);
    EXPECT_EQ(calibTextOf(kFixtures + "/UPPER.JPG"), kTwins);
    EXPECT_EQ(calibTextOf(kFixtures + "/original6.mov"), "-");
    EXPECT_EQ(calibTextOf("mp4"), "-");
    EXPECT_EQ(calibTextOf(""), "-");
}

TEST(Extract, ExiftoolStillsInBothByteOrders) {
    for (const char* order : {"II", "MM"}) {
        std::string path = kFixtures + "/tagged-" + order + ".jpg", unused;
        EXPECT_EQ(calibTextOf(path), kTwins) << order;
        EXPECT_EQ(GetImageSnNum(unused, path), std::string("SN-") + order + "-42");
    }
    std::string noLens = kFixtures + "/no-lens.jpg", unused;
    EXPECT_EQ(calibTextOf(noLens), "-");
    EXPECT_EQ(GetImageSnNum(unused, noLens), "SN-NOLENS");
}

TEST(Extract, LocalFilesOnly) {
    // Names that FFmpeg would hand to another protocol are read as paths.
    for (const char* name : {"http://127.0.0.1:9/x.mp4", "concat:a.mp4|b.mp4", "pipe:0.mp4"})
        EXPECT_EQ(calibTextOf(name), "-") << name;
}

struct BadFile {
    std::string path;
    const char* message;  // what the library reports to the host's sink
    const char* serial = "";
};

TEST(Extract, DamagedAndMissingFilesFailCleanly) {
    const std::string damaged = kSamples + "/damaged";
    const std::string dirNamedJpg = testing::TempDir() + "/folder.jpg";
    mkdir(dirNamedJpg.c_str(), 0755);
    const BadFile cases[] = {
        {damaged + "/truncated.mp4", ""},
        {damaged + "/empty.mp4", ""},
        // Only the lens model's offset is broken: the serial still reads.
        {damaged + "/bad-offsets.jpg", "", samples::kTwinsSerial},
        {damaged + "/png-named.jpg", "Error parsing EXIF: code 1982\n"},
        {damaged + "/empty.jpg", "Error parsing EXIF: code 1982\n"},
        {kFixtures + "/xmp-only.jpg", "Error parsing EXIF: code 1983\n"},
        {kSamples + "/no-such-file.jpg", "Can't open file.\n"},
        {dirNamedJpg, "Can't open file.\n"},
    };
    for (const BadFile& c : cases) {
        std::string path = c.path, unused;
        ImageData d;
        PanoData p;
        // Without a sink the library prints nothing of its own (FFmpeg's log
        // is the host's, through FFmpeg's one process-wide callback).
        testing::internal::CaptureStdout();
        GetLensmeta(d, path);
        const std::string unasked = testing::internal::GetCapturedStdout();
        EXPECT_EQ(unasked, "") << path;
        d = ImageData();
        // With one, the failure reaches it as a line.
        std::string printed;
        SetLensmetaLogSink([](const char* line, void* to) { *static_cast<std::string*>(to) += std::string(line) + "\n"; },
                           &printed);
        const bool found = GetLensmeta(d, path);
        SetLensmetaLogSink(nullptr, nullptr);
        const bool foundPano = GetPanoParam(p, path);
        const std::string serial = GetImageSnNum(unused, path);
        EXPECT_FALSE(found) << path;
        EXPECT_EQ(printed, c.message) << path;
        EXPECT_FALSE(foundPano) << path;
        EXPECT_EQ(serial, c.serial) << path;
        EXPECT_TRUE(d.lenses.empty());
        EXPECT_TRUE(p.photos.empty());
    }
}

}  // namespace
