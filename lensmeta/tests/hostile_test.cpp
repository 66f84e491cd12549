// lensmeta-info on hostile files: special files refused at once with one
// line each, unreadable videos named, the other files still printed.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "tool_run.h"

namespace {

using namespace vistamo::testing;

const std::string kSamples = VISTAMO_SAMPLES_DIR;

ToolRun info(const std::vector<std::string>& files) {
    ToolOptions options;
    options.timeoutMs = 20000;  // a hang on a FIFO is a failure, not a stuck suite
    return runTool(LENSMETA_INFO_PATH, files, options);
}

}  // namespace

TEST(LensmetaInfoHostile, SpecialFilesAreRefusedWithoutBlocking) {
    ScratchFolder dir;
    ASSERT_EQ(mkfifo((dir / "clip.mp4").c_str(), 0600), 0);
    ASSERT_EQ(mkfifo((dir / "still.jpg").c_str(), 0600), 0);
    std::vector<std::string> files = {dir / "clip.mp4", dir / "still.jpg", dir.path(), kSamples + "/twins.jpg"};
    std::vector<std::string> expected = {
        "lensmeta-info: cannot read " + dir / "clip.mp4" + ": is a FIFO, not a regular file",
        "lensmeta-info: cannot read " + dir / "still.jpg" + ": is a FIFO, not a regular file",
        "lensmeta-info: cannot read " + dir.path() + ": is a directory",
    };
    if (makeNullDevice(dir / "device.mp4")) {
        files.insert(files.begin() + 3, dir / "device.mp4");
        expected.push_back("lensmeta-info: cannot read " + dir / "device.mp4" + ": is a device, not a regular file");
    } else {
        ASSERT_NE(getuid(), 0u) << "root must be able to make a device node";
    }
    const ToolRun run = info(files);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.errLines(), expected);
    // Only the readable file gets its JSON line.
    ASSERT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1);
    EXPECT_NE(run.out.find("twins.jpg"), std::string::npos);
}

TEST(LensmetaInfoHostile, UnreadableVideosAreNamed) {
    ScratchFolder dir;
    writeBytes(dir / "text.mp4", "this is not a video\n");
    const std::vector<std::string> files = {kSamples + "/damaged/truncated.mp4", kSamples + "/damaged/empty.mp4",
                                            dir / "text.mp4", kSamples + "/standard.mp4"};
    const ToolRun run = info(files);
    EXPECT_EQ(run.exitCode, 1);
    const auto lines = run.errLines();
    ASSERT_EQ(lines.size(), 3u) << run.err;
    for (size_t k = 0; k < 3; ++k)
        EXPECT_EQ(lines[k].rfind("lensmeta-info: cannot read " + files[k] + ": not a readable MP4 file (", 0), 0u)
            << lines[k];
    // A readable video without calibration is not an error line.
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 4);
}
