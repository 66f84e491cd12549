// Converter: the command-line host of Loomfold that the player's export
// starts.
//
//   Converter MODE INPUT OUTPUT WIDTH HEIGHT CALIBRATION 0 BITRATE_MBPS
//
// MODE "image" stitches a two-lens still, "sphere-image" a one-lens still
// (its circle is found on the picture when the calibration has none),
// "video" a two-lens video. Progress goes to stderr as "Export_Progress N"
// lines (0 to 100); failure is one "Converter: …" line and a non-zero exit.
// The output is written under a temporary name beside OUTPUT and renamed
// when complete, so a failed job leaves nothing behind.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "loomfold/loomfold.h"

namespace {

const char* const kUsage =
    "usage: Converter MODE INPUT OUTPUT WIDTH HEIGHT CALIBRATION 0 BITRATE_MBPS\n"
    "  MODE: image (two-lens still), sphere-image (one-lens still), video\n";

void progress(int percent) {
    std::fprintf(stderr, "Export_Progress %d\n", percent);
    std::fflush(stderr);
}

[[noreturn]] void failWith(const std::string& reason, int code = 1) {
    std::fprintf(stderr, "Converter: %s\n", reason.c_str());
    std::exit(code);
}

bool parseSize(const char* text, int& value) {
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text, &end, 10);
    if (errno || end == text || *end || v <= 0 || v > 16384)
        return false;
    value = int(v);
    return true;
}

// The smallest circle around the picture's bright pixels: the lens circle
// of a one-lens picture on its dark border. Writes a "5_" text (236 degrees,
// as the player assumes for detected circles).
void findCircle(unsigned char* bgr, int width, int height, int channels, char* text) {
    int left = width, right = -1, top = height, bottom = -1;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const unsigned char* p = bgr + (size_t(y) * size_t(width) + size_t(x)) * size_t(channels);
            if (p[0] + p[1] + p[2] > 3 * 24) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    int radius, cx, cy;
    if (right < 0) {
        radius = std::min(width, height) / 2;
        cx = width / 2;
        cy = height / 2;
    } else {
        cx = (left + right + 1) / 2;
        cy = (top + bottom + 1) / 2;
        radius = std::max(right - left + 1, bottom - top + 1) / 2;
    }
    std::snprintf(text, 256, "5_%d_%d_%d_%d_%d_236_0_0_0", radius, cx, cy, width, height);
}

// A unique name beside path with the same extension (the image writer picks
// the format from it).
std::string temporaryBeside(const std::string& path, int& fd) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    const std::string ext = dot == std::string::npos ? "" : name.substr(dot);
    std::string pattern = folder + "/." + name + ".XXXXXX" + ext;
    fd = mkstemps(pattern.data(), int(ext.size()));
    return pattern;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 9) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string mode = argv[1], input = argv[2], output = argv[3];
    int width = 0, height = 0;
    if (!parseSize(argv[4], width) || !parseSize(argv[5], height))
        failWith("WIDTH and HEIGHT must be whole numbers from 1 to 16384", 2);
    int stitchMode;
    if (mode == "image") stitchMode = 0;
    else if (mode == "sphere-image") stitchMode = 2;
    else if (mode == "video") stitchMode = 0;
    else failWith("unknown mode \"" + mode + "\"\n" + kUsage, 2);
    const int bitrateMbps = std::atoi(argv[8]);

    struct stat st;
    if (stat(input.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        failWith("cannot read " + input + ": " + (errno ? std::strerror(errno) : "not a regular file"));
    progress(0);

    int fd = -1;
    const std::string temporary = temporaryBeside(output, fd);
    if (fd < 0)
        failWith("cannot write beside " + output + ": " + std::strerror(errno));
    close(fd);

    std::string error;
    Loomfold job;
    job.input_path = input.c_str();
    job.output_path = temporary.c_str();
    job.pano_width = width;
    job.pano_height = height;
    job.view_w = width;
    job.view_h = height;
    job.stitch_mode = stitchMode;
    job.calibration = argv[6];
    job.video_bitrate = bitrateMbps * 1000;
    auto* delegate = new VideoStitchDelegate;
    delegate->videoStitchError = [&error](int, const std::string& message) { error = message; };
    delegate->videoStitchState = [](int64_t current, int64_t total) {
        if (total > 0)
            progress(int(std::clamp<int64_t>(current * 100 / total, 0, 99)));
    };
    delegate->videoStitchCalibrate = findCircle;
    job.SetDelegate(delegate);

    int rc = job.InitGLES2();
    if (rc == 0) {
        progress(10);
        rc = mode == "video" ? job.Stitch() : job.StitchImage();
    }
    if (rc != 0) {
        unlink(temporary.c_str());
        failWith(error.empty() ? "the job failed" : error);
    }
    if (std::rename(temporary.c_str(), output.c_str()) != 0) {
        const int e = errno;
        unlink(temporary.c_str());
        failWith("cannot write " + output + ": " + std::strerror(e));
    }
    progress(100);
    return 0;
}
