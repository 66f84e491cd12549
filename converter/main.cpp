// Converter: the command-line host of Loomfold that the player's export
// starts.
//
//   Converter MODE INPUT OUTPUT WIDTH HEIGHT CALIBRATION 0 BITRATE_MBPS [CODEC] [--no-match]
//
// A two-lens job matches the lenses' exposure and colour at the seams
// unless --no-match is given (after the eight arguments, before or after
// CODEC).
// CODEC, for the video modes, is "h264" (the default) or "hevc" (Main
// profile, 8-bit 4:2:0, at the same bit rate, tagged "hvc1").
// MODE "image" stitches a two-lens still, "sphere-image" a one-lens still
// (its circle is found on the picture when the calibration has none),
// "video" a two-lens video, "sphere-video" a one-lens video (circle found on
// its first frame likewise). An empty CALIBRATION means none given: a video
// then uses the text its file carries. Progress goes to stderr as
// "Export_Progress N" lines (0 to 100, never falling, 100 last, only after
// success); failure is one "Converter: …" line and a non-zero exit.
// INPUT must be a regular file; OUTPUT a regular file or absent, never
// INPUT. The output is written under a hidden temporary name beside OUTPUT
// and renamed when complete, so a failed, interrupted or killed (SIGINT,
// SIGTERM, SIGHUP) job leaves nothing behind and an existing OUTPUT intact.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <opencv2/core.hpp>

extern "C" {
#include <libavutil/log.h>
}

#include "atomic_output.h"
#include "circle_detection.h"
#include "file_guard.h"
#include "loomfold/loomfold.h"

namespace {

constexpr long kMaxSide = 16384;  // the largest render target a GL driver offers
constexpr long kMaxMbps = 1000;   // far above any camera's own rate

const char* const kUsage =
    "usage: Converter MODE INPUT OUTPUT WIDTH HEIGHT CALIBRATION 0 BITRATE_MBPS [CODEC] [--no-match]\n"
    "  MODE: image (two-lens still), sphere-image (one-lens still),\n"
    "        video (two-lens video), sphere-video (one-lens video)\n"
    "  CALIBRATION: the lens text, or empty to use the one the video carries\n"
    "  WIDTH, HEIGHT: 1 to 16384; BITRATE_MBPS: 1 to 1000\n"
    "  CODEC (videos): h264 (the default) or hevc\n"
    "  --no-match: leave the two lenses' exposure and colour as recorded\n"
    "              (by default they are matched at the seams)\n";

// Prints a progress line when the figure has grown.
void progress(int percent) {
    static int shown = -1;
    if (percent <= shown)
        return;
    shown = percent;
    std::fprintf(stderr, "Export_Progress %d\n", percent);
    std::fflush(stderr);
}

[[noreturn]] void failWith(const std::string& reason, int code = 1) {
    std::fprintf(stderr, "Converter: %s\n", reason.c_str());
    std::exit(code);
}

bool parseWhole(const char* text, long low, long high, int& value) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno || end == text || *end || v < low || v > high)
        return false;
    value = int(v);
    return true;
}

// Every occurrence of from in text replaced by to.
std::string replaced(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); !from.empty() && at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// The lens circle of a one-lens picture, found as the player's view finds
// it, as a single-lens text (the engine asks on the first frame when the
// calibration's radius is 10 or less).
void findCircle(unsigned char* bgr, int width, int height, int channels, char* text) {
    std::string found;
    try {
        const cv::Mat picture(height, width, channels == 4 ? CV_8UC4 : CV_8UC3, bgr);
        found = vistamo::vision::singleLensText(vistamo::vision::detectFisheyeCircle(picture));
    } catch (const cv::Exception&) {
        found.clear();  // the engine refuses an empty answer
    }
    std::snprintf(text, 256, "%s", found.c_str());
}

// The engine's log lines, besides its log file, on stdout: the player
// reads only stderr (progress and the failure line).
void engineLineToStdout(int, const char* line, void*) {
    std::fprintf(stdout, "%s\n", line);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    // A killed job removes its temporary; a file-size limit fails a write.
    vistamo::files::installCleanupOnSignals();
    SetLoomfoldLogSink(engineLineToStdout, nullptr);
    // FFmpeg's own lines go into the engine log, not onto stderr.
    av_log_set_callback(LoomfoldMediaLogHook);
    // The eight positional arguments, then CODEC and --no-match in either
    // order.
    bool matchLenses = true;
    std::string codecArgument;
    bool usable = argc >= 9;
    for (int k = 9; usable && k < argc; ++k) {
        if (std::strcmp(argv[k], "--no-match") == 0 && matchLenses)
            matchLenses = false;
        else if (codecArgument.empty() && argv[k][0] != '\0')
            codecArgument = argv[k];
        else
            usable = false;
    }
    if (!usable) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string mode = argv[1], input = argv[2], output = argv[3];
    int width = 0, height = 0, bitrateMbps = 0, reserved = 0;
    if (!parseWhole(argv[4], 1, kMaxSide, width) || !parseWhole(argv[5], 1, kMaxSide, height))
        failWith("WIDTH and HEIGHT must be whole numbers from 1 to " + std::to_string(kMaxSide), 2);
    if (!parseWhole(argv[7], 0, 0, reserved))
        failWith("the seventh argument must be 0", 2);
    if (!parseWhole(argv[8], 1, kMaxMbps, bitrateMbps))
        failWith("BITRATE_MBPS must be a whole number from 1 to " + std::to_string(kMaxMbps), 2);
    const std::string codec = codecArgument.empty() ? "h264" : codecArgument;
    if (codec != "h264" && codec != "hevc")
        failWith("CODEC must be h264 or hevc, not \"" + codec + "\"", 2);
    int stitchMode;
    if (mode == "image") stitchMode = 0;
    else if (mode == "sphere-image") stitchMode = 2;
    else if (mode == "video") stitchMode = 0;
    else if (mode == "sphere-video") stitchMode = 2;
    else failWith("unknown mode \"" + mode + "\"\n" + kUsage, 2);

    const std::string inputProblem = vistamo::files::inputProblem(input);
    if (!inputProblem.empty())
        failWith("cannot read " + input + ": " + inputProblem);
    // The engine writes a hidden file beside OUTPUT with OUTPUT's extension
    // (the encoder goes by it); it takes OUTPUT's name only when complete.
    vistamo::files::AtomicOutput target;
    std::string reason;
    if (!target.open(output, {input}, vistamo::files::AtomicOutput::Naming::NamedLikeTarget, reason))
        failWith("cannot write " + output + ": " + reason);
    const std::string temporary = target.writablePath();
    progress(0);

    std::string error;
    Loomfold job;
    job.input_path = input.c_str();
    job.output_path = temporary.c_str();
    job.pano_width = width;
    job.pano_height = height;
    job.view_w = width;
    job.view_h = height;
    job.stitch_mode = stitchMode;
    const bool video = mode == "video" || mode == "sphere-video";
    // An empty text is none at all: the video's own is used.
    job.calibration = *argv[6] || !video ? argv[6] : nullptr;
    job.video_bitrate = bitrateMbps * 1000;
    job.video_codec = codec == "hevc" ? 1 : 0;
    job.match_lenses = matchLenses ? 1 : 0;
    auto* delegate = new VideoStitchDelegate;
    delegate->videoStitchError = [&error](int, const std::string& message) { error = message; };
    delegate->videoStitchState = [](int64_t current, int64_t total) {
        if (total > 0)
            progress(int(std::clamp<int64_t>(current * 100 / total, 0, 99)));
    };
    delegate->videoStitchCalibrate = findCircle;
    job.SetDelegate(delegate);

    int rc = job.InitGLES2();
    if (rc == 0 && video) {
        // A file is read as fast as the frames are stitched.
        job.SetPaced(false);
        rc = job.Stitch();
    } else if (rc == 0) {
        progress(10);
        rc = job.StitchImage();
    }
    if (rc != 0) {
        target.discard();
        // "open file fail" says that, not why: the engine's own words do.
        if (error == "open file fail" && *job.LastProblem() && std::string(job.LastProblem()) != error)
            error += std::string(": ") + job.LastProblem();
        // The user knows the file by OUTPUT's name, not the temporary's.
        failWith(error.empty() ? "the job failed" : replaced(error, temporary, output));
    }
    if (!target.commit(reason))
        failWith("cannot write " + output + ": " + reason);
    progress(100);
    return 0;
}
