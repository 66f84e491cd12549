// vistamo-stitch as a user runs it: a batch with a standard file, a damaged
// one and a missing one exports the rest and names each of the others;
// existing panoramas are kept unless --force; two jobs at once give the
// files one job gives; a wide HEVC source stays HEVC; a signal keeps what
// is done; usage errors are one line and status 2.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tool_run.h"

namespace {

using namespace vistamo::testing;

const std::string kSamples = VISTAMO_SAMPLES_DIR;
const std::string kStitch = VISTAMO_STITCH_PATH;

ToolRun stitch(const std::vector<std::string>& args) {
    ToolOptions options;
    options.timeoutMs = 120000;
    return runTool(kStitch, args, options);
}

std::string shellOutput(const std::string& command) {
    std::string text;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return text;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, pipe)) > 0)
        text.append(buf, n);
    pclose(pipe);
    return text;
}

bool hasLine(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class StitchBatch : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"twins.mp4", "twins.jpg", "standard.mp4"})
            copyFile(kSamples + "/" + name, dir / name);
        copyFile(kSamples + "/damaged/truncated.mp4", dir / "truncated.mp4");
    }
    ScratchFolder dir;
};

TEST_F(StitchBatch, ADamagedFileFailsAloneAndTheRestIsExported) {
    const ToolRun run = stitch({dir / "twins.mp4", dir / "standard.mp4", dir / "truncated.mp4", dir / "twins.jpg"});
    EXPECT_EQ(run.exitCode, 1) << run.err;
    const std::vector<std::string> errors = run.errLines();
    EXPECT_EQ(errors.size(), 2u) << run.err;
    EXPECT_TRUE(hasLine(errors, "vistamo-stitch: " + dir / "standard.mp4" + ": skipped, a standard picture, nothing to stitch"))
        << run.err;
    EXPECT_EQ(std::count_if(errors.begin(), errors.end(),
                            [&](const std::string& l) {
                                return l.rfind("vistamo-stitch: " + dir / "truncated.mp4" + ": it cannot be read as a video", 0) == 0;
                            }),
              1)
        << run.err;
    EXPECT_NE(run.out.find("2 exported, 1 failed, 1 skipped\n"), std::string::npos) << run.out;
    // Not a terminal: one line per finished file.
    EXPECT_NE(run.out.find(dir / "twins.mp4" + " -> " + dir / "twins_pano.mp4"), std::string::npos) << run.out;
    // What every reader takes: the projection (V1 and V2) and the GPano tags.
    EXPECT_NE(shellOutput("ffprobe -v error -show_streams '" + dir / "twins_pano.mp4" + "'").find("projection=equirectangular"),
              std::string::npos);
    EXPECT_EQ(shellOutput("ffprobe -v warning -show_streams '" + dir / "twins_pano.mp4" + "' 2>&1 >/dev/null"), "");
    EXPECT_EQ(shellOutput("exiftool -s3 -ProjectionType -PoseHeadingDegrees '" + dir / "twins_pano.jpg" + "'"),
              "equirectangular\n0\n");
    // Nothing else was made: no panorama of the others, no temporary.
    EXPECT_EQ(dir.listing(), (std::vector<std::string>{"standard.mp4", "truncated.mp4", "twins.jpg", "twins.mp4",
                                                       "twins_pano.jpg", "twins_pano.mp4"}));
}

TEST_F(StitchBatch, ExistingPanoramasAreKeptUnlessForced) {
    writeBytes(dir / "twins_pano.jpg", "an older panorama");
    const ToolRun kept = stitch({dir / "twins.jpg"});
    EXPECT_EQ(kept.exitCode, 1);
    EXPECT_EQ(kept.errLines(), std::vector<std::string>{"vistamo-stitch: " + dir / "twins.jpg" + ": " + dir / "twins_pano.jpg" +
                                                        " exists (--force replaces it)"});
    EXPECT_NE(kept.out.find("0 exported, 1 failed, 0 skipped"), std::string::npos);
    EXPECT_EQ(readBytes(dir / "twins_pano.jpg"), "an older panorama");
    const ToolRun forced = stitch({"--force", dir / "twins.jpg"});
    EXPECT_EQ(forced.exitCode, 0) << forced.err;
    EXPECT_EQ(readBytes(dir / "twins_pano.jpg").substr(0, 2), "\xff\xd8");
}

// A disk that fills part-way: the converter's reason in one line, the old
// panorama as it was, and no temporary left.
TEST_F(StitchBatch, AFullDiskKeepsTheOldPanoramaAndSaysWhy) {
    writeBytes(dir / "twins_pano.mp4", "an older panorama");
    ToolOptions limited;
    limited.fileSizeLimit = 256 * 1024;
    limited.timeoutMs = 120000;
    const ToolRun run = runTool(kStitch, {"--force", dir / "twins.mp4"}, limited);
    EXPECT_EQ(run.exitCode, 1);
    ASSERT_EQ(run.errLines().size(), 1u) << run.err;
    EXPECT_EQ(run.errLines()[0].rfind("vistamo-stitch: " + dir / "twins.mp4" + ": cannot write ", 0), 0u) << run.err;
    EXPECT_EQ(readBytes(dir / "twins_pano.mp4"), "an older panorama");
    EXPECT_EQ(dir.listing(), (std::vector<std::string>{"standard.mp4", "truncated.mp4", "twins.jpg", "twins.mp4",
                                                       "twins_pano.mp4"}));
}

TEST_F(StitchBatch, TwoJobsAtOnceGiveTheFilesOfOne) {
    ScratchFolder one, two;
    const ToolRun a = stitch({"--output-dir", one.path(), "--width", "640", dir / "twins.mp4", dir / "twins.jpg"});
    const ToolRun b =
        stitch({"--jobs", "2", "--output-dir", two.path(), "--width", "640", dir / "twins.mp4", dir / "twins.jpg"});
    ASSERT_EQ(a.exitCode, 0) << a.err;
    ASSERT_EQ(b.exitCode, 0) << b.err;
    for (const char* name : {"twins_pano.mp4", "twins_pano.jpg"}) {
        EXPECT_FALSE(readBytes(one / name).empty());
        EXPECT_EQ(readBytes(one / name), readBytes(two / name)) << name;
    }
    EXPECT_EQ(shellOutput("ffprobe -v error -select_streams v -show_entries stream=width -of default=nw=1:nk=1 '" +
                          one / "twins_pano.mp4" + "'"),
              "640\n");
}

// A camera's full 5760 x 2880 clip in HEVC: the default codec is HEVC (said
// once), tagged hvc1, at the source's full size.
TEST_F(StitchBatch, AWideHevcSourceExportsToHevc) {
    const std::string wide = dir / "wide.mp4";
    // Our sample, scaled up to the camera's size and re-encoded; its
    // calibration tag goes along.
    ASSERT_EQ(std::system(("ffmpeg -hide_banner -loglevel error -y -i '" + kSamples +
                           "/twins.mp4' -frames:v 3 -an -vf scale=5760:2880 -c:v libx265 -preset ultrafast "
                           "-x265-params log-level=error -tag:v hvc1 -map_metadata 0 -movflags use_metadata_tags '" +
                           wide + "'")
                              .c_str()),
              0);
    const ToolRun run = stitch({wide});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.errLines(), std::vector<std::string>{"vistamo-stitch: panoramas wider than 4096 pixels are H.265 "
                                                       "(--codec h264 keeps H.264)"});
    EXPECT_EQ(shellOutput("ffprobe -v error -select_streams v -show_entries stream=codec_name,codec_tag_string,width,"
                          "height -of csv=p=0 '" + dir / "wide_pano.mp4" + "'")
                  .rfind("hevc,hvc1,5760,2880,\n", 0),
              0u);
    EXPECT_NE(shellOutput("ffprobe -v error -show_streams '" + dir / "wide_pano.mp4" + "'").find("projection=equirectangular"),
              std::string::npos);
}

// --no-match reaches the Converter: on a still whose first lens recorded
// darker the panorama changes, on a balanced one nothing does.
TEST_F(StitchBatch, NoMatchLeavesTheLensesAsRecorded) {
    const std::string uneven = dir / "uneven.jpg";
    ASSERT_EQ(std::system(("convert '" + dir / "twins.jpg" + "' \\( +clone -crop 50%x100%+0+0 +repage -evaluate "
                           "multiply 0.74 \\) -geometry +0+0 -composite -quality 95 '" + uneven +
                           "' && exiftool -q -q -overwrite_original -TagsFromFile '" + dir / "twins.jpg" + "' '" +
                           uneven + "'")
                              .c_str()),
              0);
    ScratchFolder matched, recorded;
    ASSERT_EQ(stitch({"--output-dir", matched.path(), uneven, dir / "twins.jpg"}).exitCode, 0);
    ASSERT_EQ(stitch({"--no-match", "--output-dir", recorded.path(), uneven, dir / "twins.jpg"}).exitCode, 0);
    EXPECT_NE(readBytes(matched / "uneven_pano.jpg"), readBytes(recorded / "uneven_pano.jpg"));
    EXPECT_EQ(readBytes(matched / "twins_pano.jpg"), readBytes(recorded / "twins_pano.jpg"));
}

// A signal while the second file is stitched: the finished panorama stays,
// the running one's temporary goes, and the count says what was not done.
TEST_F(StitchBatch, ASignalStopsTheRestAndKeepsWhatIsDone) {
    ToolOptions stopped;
    stopped.timeoutMs = 120000;
    stopped.killSignal = SIGTERM;
    stopped.killWhenOutputHas = "twins.jpg -> ";
    const ToolRun run = runTool(kStitch, {dir / "twins.jpg", dir / "twins.mp4"}, stopped);
    EXPECT_EQ(run.exitCode, 130) << run.err;
    EXPECT_NE(run.out.find("1 exported, 1 failed, 0 skipped\n"), std::string::npos) << run.out;
    EXPECT_EQ(readBytes(dir / "twins_pano.jpg").substr(0, 2), "\xff\xd8");
    EXPECT_EQ(dir.listing(), (std::vector<std::string>{"standard.mp4", "truncated.mp4", "twins.jpg", "twins.mp4",
                                                       "twins_pano.jpg"}));
}

// SIGKILL cannot be caught: the converter learns of it (its progress pipe
// breaks, and the kernel sends it SIGTERM) and removes its temporary itself.
TEST_F(StitchBatch, AKillLeavesNoTemporaryBehind) {
    ToolOptions killed;
    killed.timeoutMs = 120000;
    killed.killSignal = SIGKILL;
    killed.killAfterMs = 1200;
    const ToolRun run = runTool(kStitch, {"--force", dir / "twins.mp4"}, killed);
    ASSERT_EQ(run.signal, SIGKILL);
    const std::vector<std::string> before = {"standard.mp4", "truncated.mp4", "twins.jpg", "twins.mp4"};
    for (int k = 0; k < 100 && dir.listing() != before; ++k)
        usleep(50000);
    EXPECT_EQ(dir.listing(), before);
}

TEST(StitchUsage, ErrorsAreOneLineAndStatusTwo) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "vistamo-stitch: no FILE given"},
        {{"--codec", "vp9", "a.mp4"}, "vistamo-stitch: --codec is h264 or hevc, not \"vp9\""},
        {{"--width", "641", "a.mp4"}, "vistamo-stitch: --width is an even number from 2 to 16384"},
        {{"--jobs", "0", "a.mp4"}, "vistamo-stitch: --jobs is a whole number from 1 to 16"},
        {{"--bitrate"}, "vistamo-stitch: --bitrate needs a value"},
        {{"--output-dir", "/nonexistent/x", "a.mp4"}, "vistamo-stitch: --output-dir /nonexistent/x is not a folder"},
        {{"--frobnicate", "a.mp4"}, "vistamo-stitch: unknown option --frobnicate"},
    };
    for (const auto& [args, line] : cases) {
        const ToolRun run = stitch(args);
        EXPECT_EQ(run.exitCode, 2) << line;
        ASSERT_FALSE(run.errLines().empty());
        EXPECT_EQ(run.errLines().front(), line);
        EXPECT_NE(run.err.find("usage: vistamo-stitch"), std::string::npos);
    }
    const ToolRun help = stitch({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_EQ(help.out.rfind("usage: vistamo-stitch", 0), 0u);
}

}  // namespace
