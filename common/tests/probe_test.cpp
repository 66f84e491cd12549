// The JPEG completeness probe and the calibration check, as tables.
#include <gtest/gtest.h>

#include <string>

#include "calibration_check.h"
#include "jpeg_probe.h"
#include "sample_calibration.h"
#include "tool_run.h"

using vistamo::lens::calibrationProblem;
using vistamo::picture::jpegFileProblem;
using vistamo::picture::probeJpeg;

namespace {

// A structurally complete baseline JPEG of width x height: SOI, APP0, SOF0,
// SOS, coded bytes with a stuffed 0xFF00 and a restart marker, EOI.
std::string minimalJpeg(int width, int height) { return vistamo::testing::jpegSkeleton(width, height); }

bool contains(const std::string& s, const std::string& part) { return s.find(part) != std::string::npos; }

}  // namespace

TEST(JpegProbe, CompleteCutAndDamagedPictures) {
    const std::string good = minimalJpeg(640, 320);
    auto probe = [](const std::string& bytes) {
        return probeJpeg(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    };
    const auto whole = probe(good);
    EXPECT_TRUE(whole.complete) << whole.problem;
    EXPECT_EQ(whole.width, 640);
    EXPECT_EQ(whole.height, 320);
    EXPECT_EQ(whole.end, good.size());
    EXPECT_TRUE(probe(good + "trailing camera data").complete);

    // Every cut before EOI is incomplete, whatever it cuts through.
    for (size_t cut = 0; cut < good.size(); ++cut)
        EXPECT_FALSE(probe(good.substr(0, cut)).complete) << "cut at " << cut;

    const struct {
        std::string bytes;
        std::string problem;
    } damaged[] = {
        {"\x89PNG\r\n\x1a\n", "not a JPEG picture"},
        {good.substr(0, 20) + "X" + good.substr(21), "the picture is damaged (no marker where one must be)"},
        {std::string("\xFF\xD8\xFF\xDA\x00\x02\x00\xFF\xD9", 9), "the picture is damaged (coded data before the frame header)"},
        {std::string("\xFF\xD8\xFF\xE0\x00\x01", 6), "the picture is damaged (a segment shorter than its header)"},
        {std::string("\xFF\xD8\xFF\xD9", 4), "the picture has no frame header"},
        {minimalJpeg(0, 100), "the picture has no size in its frame header"},
    };
    for (const auto& d : damaged)
        EXPECT_EQ(probe(d.bytes).problem, d.problem);
    EXPECT_EQ(probe(minimalJpeg(65500, 65500)).width, 65500);
}

TEST(JpegProbe, FilesOnDisk) {
    vistamo::testing::ScratchFolder dir;
    const std::string sample = std::string(VISTAMO_SAMPLES_DIR) + "/twins.jpg";
    EXPECT_EQ(jpegFileProblem(sample, 16384), "");
    const std::string bytes = vistamo::testing::readBytes(sample);
    vistamo::testing::writeBytes(dir / "cut.jpg", bytes.substr(0, bytes.size() / 2));
    EXPECT_EQ(jpegFileProblem(dir / "cut.jpg", 16384), "the picture is cut short");
    vistamo::testing::writeBytes(dir / "huge.jpg", minimalJpeg(65500, 65500));
    EXPECT_EQ(jpegFileProblem(dir / "huge.jpg", 16384),
              "the picture is 65500x65500, larger than the 16384 pixels a side that can be used");
    // Other formats are left to their decoders.
    EXPECT_EQ(jpegFileProblem(std::string(VISTAMO_SAMPLES_DIR) + "/scene.png", 16384), "");
    EXPECT_EQ(jpegFileProblem(dir / "missing.jpg", 16384), "no such file or directory");
}

TEST(CalibrationCheck, UsableAndUnusableTexts) {
    const std::string twins = samples::kTwinsCalibText;
    const std::string sphere = "5_700_720_720_1440_1440_236_0_0_0";
    // Replaces the k-th token (0-based) of text.
    auto with = [](std::string text, int k, const std::string& value) {
        size_t start = 0;
        for (int i = 0; i < k; ++i)
            start = text.find('_', start) + 1;
        const size_t end = text.find('_', start);
        return text.replace(start, end == std::string::npos ? std::string::npos : end - start, value);
    };
    EXPECT_EQ(calibrationProblem(twins), "");
    EXPECT_EQ(calibrationProblem(sphere), "");
    EXPECT_EQ(calibrationProblem(with(sphere, 1, "5")), "") << "a small radius asks for detection";
    EXPECT_EQ(calibrationProblem("5_5_0_0_0_0_0_0_0_0"), "") << "detection supplies the rest";
    EXPECT_EQ(calibrationProblem(""), "");
    EXPECT_EQ(calibrationProblem("standard"), "");

    const struct {
        std::string text;
        std::string problem;
    } bad[] = {
        {with(twins, 4, "nan"), "number 5 (\"nan\") is not a finite number"},
        {with(twins, 4, "inf"), "number 5 (\"inf\") is not a finite number"},
        {with(twins, 4, "1e999"), "number 5 (\"1e999\") is not a finite number"},
        {with(twins, 2, "abc"), "number 3 (\"abc\") is not a finite number"},
        {with(twins, 13, "0x9"), "number 14 (\"0x9\") is not a finite number"},
        {with(twins, 13, "."), "number 14 (\".\") is not a finite number"},
        {with(twins, 1, "0"), "the first lens radius is 0"},
        {with(twins, 7, "-5"), "the second lens radius is negative"},
        {with(twins, 13, "0"), "the calibration width is 0"},
        {with(twins, 13, "0.7"), "the calibration width is 0"},
        {with(twins, 14, "-1920"), "the calibration height is negative"},
        {with(twins, 25, "0"), "the field of view is 0"},
        {with(twins, 26, "0"), "the second field of view is 0"},
        {with(twins, 25, "400"), "the field of view is over 360 degrees"},
        {with(twins, 25, "7E-070"), "the field of view is 0"},
        {with(twins, 13, "0.5e4"), "the calibration width is 0"},
        {with(sphere, 6, "0"), "the field of view is 0"},
        {with(sphere, 4, "0"), "the calibration width is 0"},
        {with(with(sphere, 1, "5"), 6, "nan"), "number 7 (\"nan\") is not a finite number"},
        {"6_1_2_3", ""},
    };
    for (const auto& b : bad) {
        const std::string problem = calibrationProblem(b.text);
        if (b.problem.empty())
            EXPECT_TRUE(contains(problem, "numbers, its layout needs 27")) << problem;
        else
            EXPECT_EQ(problem, "the calibration cannot be used: " + b.problem) << b.text;
    }
}
