// The Converter on hostile files, paths and arguments, as the player or a
// careless script runs it: one "Converter: …" line and no output for every
// refusal, the input and any earlier output byte-identical, nothing left
// behind after a full disk or a kill.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "sample_calibration.h"
#include "tool_run.h"

namespace {

using namespace vistamo::testing;

const std::string kSamples = VISTAMO_SAMPLES_DIR;
const std::string kTwins = samples::kTwinsCalibText;
const std::string kProgress = "Export_Progress ";

ToolRun convert(const std::vector<std::string>& args, ToolOptions options = {}) {
    options.timeoutMs = 60000;
    return runTool(CONVERTER_PATH, args, options);
}

// image IN OUT 960 480 CALIBRATION 0 20
std::vector<std::string> imageJob(const std::string& in, const std::string& out,
                                  const std::string& calibration = kTwins, const std::string& mode = "image") {
    return {mode, in, out, "960", "480", calibration, "0", "20"};
}

mode_t typeOf(const std::string& path) {
    struct stat st {};
    lstat(path.c_str(), &st);
    return st.st_mode & S_IFMT;
}

mode_t permissionsOf(const std::string& path) {
    struct stat st {};
    stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

// The one failure line, progress lines aside.
std::string failureLine(const ToolRun& run) {
    const auto lines = run.errLinesWithout(kProgress);
    return lines.size() == 1 ? lines[0] : "(" + std::to_string(lines.size()) + " lines) " + run.err;
}

class ConverterHostile : public ToolFolderTest {
protected:
    void SetUp() override { useInput(kSamples + "/twins.jpg", "in.jpg"); }
};

}  // namespace

TEST_F(ConverterHostile, SpecialInputsAreRefusedAtOnce) {
    ASSERT_EQ(mkfifo((dir / "fifo.jpg").c_str(), 0600), 0);
    std::vector<std::pair<std::string, std::string>> cases = {
        {dir / "fifo.jpg", "is a FIFO, not a regular file"},
        {dir.path(), "is a directory"},
        {dir / "missing.jpg", "no such file or directory"},
    };
    if (makeNullDevice(dir / "null.jpg"))
        cases.push_back({dir / "null.jpg", "is a device, not a regular file"});
    else
        ASSERT_NE(getuid(), 0u);
    for (const auto& [input, reason] : cases) {
        const ToolRun run = convert(imageJob(input, dir / "out.jpg"));
        ASSERT_FALSE(run.timedOut) << input;
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(failureLine(run), "Converter: cannot read " + input + ": " + reason);
    }
    EXPECT_EQ(access((dir / "out.jpg").c_str(), F_OK), -1);
}

TEST_F(ConverterHostile, OutputsThatAreNotOursAreLeftAlone) {
    link(in.c_str(), (dir / "hard.jpg").c_str());
    symlink("in.jpg", (dir / "soft.jpg").c_str());
    mkfifo((dir / "fifo.jpg").c_str(), 0600);
    const bool device = makeNullDevice(dir / "null.jpg");
    ASSERT_TRUE(device || getuid() != 0);
    std::vector<std::pair<std::string, std::string>> cases = {
        {in, "is the input file; choose another output"},
        {dir / "hard.jpg", "is the input file; choose another output"},
        {dir / "soft.jpg", "is the input file; choose another output"},
        {dir / "fifo.jpg", "is a FIFO, not a regular file"},
        {dir / "gone/out.jpg", "the folder " + dir / "gone" + " does not exist"},
    };
    if (device)
        cases.push_back({dir / "null.jpg", "is a device, not a regular file"});
    for (const auto& [output, reason] : cases) {
        const ToolRun run = convert(imageJob(in, output));
        EXPECT_EQ(run.exitCode, 1) << output;
        EXPECT_EQ(failureLine(run), "Converter: cannot write " + output + ": " + reason);
    }
    EXPECT_EQ(typeOf(dir / "fifo.jpg"), mode_t(S_IFIFO));
    EXPECT_EQ(typeOf(dir / "soft.jpg"), mode_t(S_IFLNK));
    if (device) {
        EXPECT_EQ(typeOf(dir / "null.jpg"), mode_t(S_IFCHR));
        expectFolder({"fifo.jpg", "hard.jpg", "in.jpg", "null.jpg", "soft.jpg"});
    } else {
        expectFolder({"fifo.jpg", "hard.jpg", "in.jpg", "soft.jpg"});
    }
}

TEST_F(ConverterHostile, UnusableCalibrationsAndPicturesWriteNothing) {
    writeBytes(dir / "out.jpg", "earlier export");
    const std::string bytes = original;
    writeBytes(dir / "cut.jpg", bytes.substr(0, bytes.size() * 2 / 3));
    writeBytes(dir / "huge.jpg", jpegSkeleton(65500, 65500));
    writeBytes(dir / "empty.jpg", "");
    const std::string sphere = "5_200_240_240_480_480_236_0_0_0";
    const struct {
        std::vector<std::string> args;
        std::string line;
    } cases[] = {
        {imageJob(in, dir / "out.jpg", vistamo::testing::withToken(kTwins, 5, "nan")),
         "the calibration cannot be used: number 6 (\"nan\") is not a finite number"},
        {imageJob(in, dir / "out.jpg", vistamo::testing::withToken(kTwins, 5, "-inf")),
         "the calibration cannot be used: number 6 (\"-inf\") is not a finite number"},
        {imageJob(in, dir / "out.jpg", vistamo::testing::withToken(kTwins, 1, "0")), "the calibration cannot be used: the first lens radius is 0"},
        {imageJob(in, dir / "out.jpg", vistamo::testing::withToken(kTwins, 13, "-3840")),
         "the calibration cannot be used: the calibration width is negative"},
        {imageJob(in, dir / "out.jpg", vistamo::testing::withToken(kTwins, 25, "0")), "the calibration cannot be used: the field of view is 0"},
        {imageJob(in, dir / "out.jpg", "6_952_960"), "the calibration cannot be used: it has 3 numbers, its layout needs 27"},
        {imageJob(in, dir / "out.jpg", vistamo::testing::withToken(sphere, 6, "0"), "sphere-image"),
         "the calibration cannot be used: the field of view is 0"},
        {imageJob(dir / "cut.jpg", dir / "out.jpg"), "cannot use the picture " + dir / "cut.jpg" + ": the picture is cut short"},
        {imageJob(dir / "huge.jpg", dir / "out.jpg"),
         "cannot use the picture " + dir / "huge.jpg" +
             ": the picture is 65500x65500, larger than the 16384 pixels a side that can be used"},
        {imageJob(dir / "empty.jpg", dir / "out.jpg"), "cannot read the picture " + dir / "empty.jpg"},
        {imageJob(in, dir / "out.xyz"), "unknown image format for .xyz"},
    };
    for (const auto& c : cases) {
        const ToolRun run = convert(c.args);
        EXPECT_EQ(run.exitCode, 1) << c.line;
        EXPECT_EQ(failureLine(run), "Converter: " + c.line);
    }
    EXPECT_EQ(readBytes(dir / "out.jpg"), "earlier export");
    expectFolder({"cut.jpg", "empty.jpg", "huge.jpg", "in.jpg", "out.jpg"});
}

TEST_F(ConverterHostile, ArgumentsOutsideTheirRangeAreUsageErrors) {
    const std::string sizes = "Converter: WIDTH and HEIGHT must be whole numbers from 1 to 16384";
    const std::string rate = "Converter: BITRATE_MBPS must be a whole number from 1 to 1000";
    const struct {
        int index;
        std::string value, line;
    } cases[] = {
        {3, "0", sizes},    {3, "16385", sizes}, {4, "abc", sizes},  {4, "-480", sizes}, {3, "960.5", sizes},
        {7, "abc", rate},   {7, "-1", rate},     {7, "nan", rate},   {7, "0", rate},     {7, "1001", rate},
        {6, "1", "Converter: the seventh argument must be 0"}, {6, "", "Converter: the seventh argument must be 0"},
    };
    for (const auto& c : cases) {
        auto args = imageJob(in, dir / "out.jpg");
        args[size_t(c.index)] = c.value;
        const ToolRun run = convert(args);
        EXPECT_EQ(run.exitCode, 2) << c.value;
        EXPECT_EQ(failureLine(run), c.line) << c.value;
    }
    expectFolder({"in.jpg"});
}

TEST_F(ConverterHostile, FullDisksAndKillsLeaveNothingBehind) {
    writeBytes(dir / "out.jpg", "earlier export");
    ToolOptions limited;
    limited.fileSizeLimit = 20000;  // the stitched picture is far larger
    const ToolRun full = convert(imageJob(in, dir / "out.jpg"), limited);
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_EQ(failureLine(full), "Converter: cannot write " + dir / "out.jpg" + ": file too large");
    expectFolder({"in.jpg", "out.jpg"});

    for (int signal : {SIGTERM, SIGINT}) {
        ToolOptions kill;
        kill.killSignal = signal;
        kill.killWhenOutputHas = "Export_Progress 10";
        const ToolRun run = convert(imageJob(in, dir / "out.jpg"), kill);
        EXPECT_EQ(run.signal, signal) << run.err;
        expectFolder({"in.jpg", "out.jpg"});
    }
    EXPECT_EQ(readBytes(dir / "out.jpg"), "earlier export");
}

TEST_F(ConverterHostile, OutputsGetTheUsualPermissions) {
    for (int mask : {022, 077}) {
        ToolOptions options;
        options.umask = mask;
        const std::string out = dir / ("mask" + std::to_string(mask) + ".jpg");
        const ToolRun run = convert(imageJob(in, out), options);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(permissionsOf(out), mode_t(0666 & ~mask));
    }
    // A replaced file keeps its own permissions.
    writeBytes(dir / "kept.jpg", "old");
    chmod((dir / "kept.jpg").c_str(), 0640);
    ASSERT_EQ(convert(imageJob(in, dir / "kept.jpg")).exitCode, 0);
    EXPECT_EQ(permissionsOf(dir / "kept.jpg"), 0640u);
    EXPECT_GT(readBytes(dir / "kept.jpg").size(), 1000u);
}
