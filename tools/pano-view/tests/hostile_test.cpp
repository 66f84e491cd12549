// pano-view on hostile files, paths and options: one "pano-view: …" line
// (or the usage) for every refusal, the input and any earlier screenshot
// byte-identical, nothing left behind after a full disk or a kill.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "sample_calibration.h"
#include "tool_run.h"

namespace {

using namespace vistamo::testing;

const std::string kSamples = VISTAMO_SAMPLES_DIR;

ToolRun view(const std::vector<std::string>& args, ToolOptions options = {}) {
    options.timeoutMs = 60000;
    return runTool(PANO_VIEW_PATH, args, options);
}

// The tool's own lines; the view's GL diagnostics aside.
std::vector<std::string> toolLines(const ToolRun& run) {
    std::vector<std::string> lines;
    for (const std::string& line : run.errLines())
        if (line.rfind("pano-view:", 0) == 0 || line.rfind("usage:", 0) == 0)
            lines.push_back(line);
    return lines;
}

mode_t typeOf(const std::string& path) {
    struct stat st {};
    lstat(path.c_str(), &st);
    return st.st_mode & S_IFMT;
}

class PanoViewHostile : public ToolFolderTest {
protected:
    void SetUp() override { useInput(kSamples + "/twins.jpg", "in.jpg"); }
    void expectRefusal(const std::vector<std::string>& args, const std::string& line) {
        const ToolRun run = view(args);
        ASSERT_FALSE(run.timedOut) << line;
        EXPECT_EQ(run.exitCode, 1) << line;
        EXPECT_EQ(toolLines(run), std::vector<std::string>{"pano-view: " + line});
    }
};

}  // namespace

TEST_F(PanoViewHostile, SpecialInputsAreRefusedAtOnce) {
    ASSERT_EQ(mkfifo((dir / "fifo.jpg").c_str(), 0600), 0);
    expectRefusal({dir / "fifo.jpg"}, "cannot read " + dir / "fifo.jpg" + ": is a FIFO, not a regular file");
    expectRefusal({dir.path()}, "cannot read " + dir.path() + ": is a directory");
    if (makeNullDevice(dir / "null.mp4"))
        expectRefusal({dir / "null.mp4"}, "cannot read " + dir / "null.mp4" + ": is a device, not a regular file");
    else
        ASSERT_NE(getuid(), 0u);
}

TEST_F(PanoViewHostile, ScreenshotsNeverReplaceWhatIsNotOurs) {
    symlink("in.jpg", (dir / "soft.png").c_str());
    mkfifo((dir / "fifo.png").c_str(), 0600);
    const bool device = makeNullDevice(dir / "null.png");
    expectRefusal({in, "--screenshot", in}, "cannot write " + in + ": is the input file; choose another output");
    expectRefusal({in, "--screenshot", dir / "soft.png"},
                  "cannot write " + dir / "soft.png" + ": is the input file; choose another output");
    expectRefusal({in, "--screenshot", dir / "fifo.png"}, "cannot write " + dir / "fifo.png" + ": is a FIFO, not a regular file");
    if (device)
        expectRefusal({in, "--screenshot", dir / "null.png"},
                      "cannot write " + dir / "null.png" + ": is a device, not a regular file");
    expectRefusal({in, "--screenshot", dir / "shot.xyz"}, "cannot write " + dir / "shot.xyz" + ": unknown image format for .xyz");
    EXPECT_EQ(typeOf(dir / "fifo.png"), mode_t(S_IFIFO));
    EXPECT_EQ(typeOf(dir / "soft.png"), mode_t(S_IFLNK));
    expectFolder(device ? std::vector<std::string>{"fifo.png", "in.jpg", "null.png", "soft.png"}
                        : std::vector<std::string>{"fifo.png", "in.jpg", "soft.png"});
}

TEST_F(PanoViewHostile, UnusablePicturesAndCalibrationsShowNothing) {
    writeBytes(dir / "cut.jpg", original.substr(0, original.size() / 2));
    writeBytes(dir / "huge.jpg", jpegSkeleton(65500, 65500));
    // A two-lens video whose calibration has a number that is not one.
    std::string bad = samples::kTwinsCalibText;
    bad.replace(bad.find("_0.8_"), 5, "_nan_");
    const std::string command = "ffmpeg -v error -nostdin -y -i '" + kSamples + "/twins.mp4' -t 0.5 -c copy "
                                "-metadata original_format=" + bad + " -movflags use_metadata_tags '" +
                                dir / "nan.mp4" + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    expectRefusal({dir / "cut.jpg", "--screenshot", dir / "a.png"},
                  "cannot show " + dir / "cut.jpg" + ": the picture is cut short");
    expectRefusal({dir / "huge.jpg", "--screenshot", dir / "a.png"},
                  "cannot show " + dir / "huge.jpg" +
                      ": the picture is 65500x65500, larger than the 8192 pixels a side that can be used");
    expectRefusal({dir / "nan.mp4", "--screenshot", dir / "a.png"},
                  "cannot show " + dir / "nan.mp4" +
                      ": the calibration cannot be used: number 6 (\"nan\") is not a finite number");
    expectRefusal({kSamples + "/standard.jpg", "--kind", "2", "--screenshot", dir / "a.png"},
                  kSamples + "/standard.jpg has no two-lens calibration to stitch with");
    expectFolder({"cut.jpg", "huge.jpg", "in.jpg", "nan.mp4"});
}

TEST_F(PanoViewHostile, OptionsOutsideTheirRangeAreUsageErrors) {
    const std::vector<std::vector<std::string>> cases = {
        {"--size", "100000x100000"}, {"--size", "0x10"}, {"--size", "640"}, {"--yaw", "nan"},
        {"--yaw", "inf"},           {"--pitch", "95"},   {"--zoom", "6"},   {"--zoom", "2.5"},
        {"--kind", "3"},            {"--mode", "x"},     {"--screenshot", ""}, {"--bogus", "1"},
        {"--yaw"},
    };
    for (const auto& options : cases) {
        std::vector<std::string> args = {in};
        args.insert(args.end(), options.begin(), options.end());
        const ToolRun run = view(args);
        EXPECT_EQ(run.exitCode, 2) << options[0];
        const auto lines = toolLines(run);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0].rfind("usage: pano-view FILE", 0), 0u);
    }
    ToolOptions noDisplay;
    noDisplay.env = {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="};
    const ToolRun run = view({in}, noDisplay);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.errLines(), std::vector<std::string>{"pano-view: no display: set DISPLAY, or run under xvfb-run"});
    expectFolder({"in.jpg"});
}

TEST_F(PanoViewHostile, FullDisksAndKillsKeepTheEarlierScreenshot) {
    writeBytes(dir / "shot.png", "earlier screenshot");
    ToolOptions limited;
    limited.fileSizeLimit = 10000;  // the screenshot is far larger
    const ToolRun full = view({in, "--size", "320x160", "--screenshot", dir / "shot.png"}, limited);
    EXPECT_EQ(full.exitCode, 1);
    EXPECT_EQ(toolLines(full), std::vector<std::string>{"pano-view: cannot write " + dir / "shot.png" + ": file too large"});
    EXPECT_EQ(readBytes(dir / "shot.png"), "earlier screenshot");
    expectFolder({"in.jpg", "shot.png"});

    ToolOptions kill;
    kill.killSignal = SIGTERM;
    kill.killWhenOutputHas = "Twins fragment compile";
    const ToolRun killed = view({in, "--screenshot", dir / "shot.png"}, kill);
    EXPECT_EQ(killed.signal, SIGTERM);
    EXPECT_EQ(readBytes(dir / "shot.png"), "earlier screenshot");
    expectFolder({"in.jpg", "shot.png"});

    ToolOptions mask;
    mask.umask = 027;
    const ToolRun done = view({in, "--size", "320x160", "--screenshot", dir / "new.png"}, mask);
    ASSERT_EQ(done.exitCode, 0) << done.err;
    struct stat st {};
    stat((dir / "new.png").c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(readBytes(dir / "new.png").substr(1, 3), "PNG");
}
