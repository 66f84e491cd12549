// lensmeta-info FILE...: prints, for each file, one JSON object on its own
// line with everything Lensmeta reads from it: the ImageData fields, the
// PanoData photos, the body serial number, and "found" (GetLensmeta's
// result). PanoData's own pano size, which can differ from ImageData's on a
// short text, is under "panoData".
//
// Exit status: 0 when every file had calibration, 1 when one had none or
// could not be read (or the output could not be written), 2 on a usage
// error.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include "file_guard.h"
#include "json_writer.h"
#include "lensmeta/lensmeta.h"
#include "local_media.h"

namespace {

const char* const kUsage =
    "usage: lensmeta-info FILE...\n"
    "Prints the lens calibration of each .jpg or .mp4 file as one JSON line.\n";

// Collects the library's failure lines ("Can't open file." and the like),
// each with its line end, as relayLibraryMessages takes them.
void collectLine(const char* line, void* context) {
    *static_cast<std::string*>(context) += std::string(line) + "\n";
}

// Why an MP4 that yielded nothing cannot be read at all; empty when it
// opens (it then simply has no calibration). The library stays silent about
// videos, so the tool asks FFmpeg itself, as strictly as the library does.
std::string unreadableMp4Reason(const std::string& path) {
    AVFormatContext* ctx = nullptr;
    std::string reason;
    if (vistamo::media::openLocalMedia(&ctx, path, nullptr, nullptr, &reason) >= 0) {
        avformat_close_input(&ctx);
        return {};
    }
    return "not a readable MP4 file (" + reason + ")";
}

// The library's own test: the last three characters, lower-cased.
std::string extensionOf(const std::string& path) {
    std::string ext = path.size() < 3 ? std::string() : path.substr(path.size() - 3);
    for (char& c : ext)
        c = char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return ext;
}

bool hasReadableExtension(const std::string& path) {
    const std::string ext = extensionOf(path);
    return ext == "jpg" || ext == "mp4";
}

void writeLens(JsonWriter& json, const LenParam& lens) {
    json.beginObject();
    json.value("radius", lens.radius);
    json.value("centerX", lens.centerX);
    json.value("centerY", lens.centerY);
    json.value("yaw", lens.yaw);
    json.value("pitch", lens.pitch);
    json.value("roll", lens.roll);
    json.value("coefA", lens.coefA);
    json.value("coefB", lens.coefB);
    json.value("coefC", lens.coefC);
    json.value("coefD", lens.coefD);
    json.value("coefE", lens.coefE);
    json.endObject();
}

void writePhoto(JsonWriter& json, const PhotoParam& photo) {
    json.beginObject();
    json.value("calibText", photo.calibText);
    json.value("width", photo.width);
    json.value("height", photo.height);
    json.value("cropLeft", photo.cropLeft);
    json.value("cropTop", photo.cropTop);
    json.value("cropWidth", photo.cropWidth);
    json.value("cropHeight", photo.cropHeight);
    json.value("deviceType", photo.deviceType);
    json.value("fov", photo.fov);
    json.value("yaw", photo.yaw);
    json.value("roll", photo.roll);
    json.value("pitch", photo.pitch);
    json.value("coefA", photo.coefA);
    json.value("coefB", photo.coefB);
    json.value("coefC", photo.coefC);
    json.value("coefD", photo.coefD);
    json.value("coefE", photo.coefE);
    json.value("offsetX", photo.offsetX);
    json.value("offsetY", photo.offsetY);
    json.value("auxFloat1", photo.auxFloat1);
    json.value("auxFloat2", photo.auxFloat2);
    json.value("flag", photo.flag);
    json.endObject();
}

std::string describe(const std::string& path, bool found, const ImageData& image,
                     const PanoData& pano, const std::string& serial) {
    JsonWriter json;
    json.beginObject();
    json.value("path", path);
    json.value("found", found);
    json.value("calibText", image.calibText);
    json.value("deviceType", image.deviceType);
    json.value("calibrated", image.calibrated);
    json.value("frameWidth", image.frameWidth);
    json.value("frameHeight", image.frameHeight);
    json.value("calibWidth", image.calibWidth);
    json.value("calibHeight", image.calibHeight);
    json.value("fov", image.fov);
    json.value("fov2", image.fov2);
    json.beginArray("lenses");
    for (const LenParam& lens : image.lenses)
        writeLens(json, lens);
    json.endArray();
    json.value("panoWidth", image.panoWidth);
    json.value("panoHeight", image.panoHeight);
    json.value("offsetX", image.offsetX);
    json.value("offsetY", image.offsetY);
    json.value("auxFloat1", image.auxFloat1);
    json.value("auxFloat2", image.auxFloat2);
    json.beginArray("photos");
    for (const PhotoParam& photo : pano.photos)
        writePhoto(json, photo);
    json.endArray();
    json.beginObject("panoData");
    json.value("panoWidth", pano.panoWidth);
    json.value("panoHeight", pano.panoHeight);
    json.endObject();
    json.value("serial", serial);
    json.endObject();
    return json.text();
}

// Passes each distinct line the library printed on to stderr, naming the
// file (the three calls each read the file and may repeat one message).
void relayLibraryMessages(const std::string& path, const std::string& text) {
    std::vector<std::string> seen;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (line.empty() || std::find(seen.begin(), seen.end(), line) != seen.end())
            continue;
        std::fprintf(stderr, "lensmeta-info: %s: %s\n", path.c_str(), line.c_str());
        seen.push_back(std::move(line));
    }
}

// Prints one file's line; returns whether it had calibration.
bool inspect(const std::string& path) {
    const std::string reason = vistamo::files::inputProblem(path);
    if (!reason.empty()) {
        std::fprintf(stderr, "lensmeta-info: cannot read %s: %s\n", path.c_str(), reason.c_str());
        return false;
    }
    if (!hasReadableExtension(path))
        std::fprintf(stderr, "lensmeta-info: %s: only names ending in jpg or mp4 are read\n",
                     path.c_str());

    ImageData image;
    PanoData pano;
    std::string serial;
    bool found = false;
    std::string messages;
    {
        std::string arg = path;  // the library takes non-const references
        std::string unused;
        SetLensmetaLogSink(collectLine, &messages);
        found = GetLensmeta(image, arg);
        GetPanoParam(pano, arg);
        serial = GetImageSnNum(unused, arg);
        SetLensmetaLogSink(nullptr, nullptr);
    }
    relayLibraryMessages(path, messages);
    if (!found && extensionOf(path) == "mp4") {
        const std::string why = unreadableMp4Reason(path);
        if (!why.empty())
            std::fprintf(stderr, "lensmeta-info: cannot read %s: %s\n", path.c_str(), why.c_str());
    }
    const std::string line = describe(path, found, image, pano, serial);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> files;
    bool optionsDone = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsDone && arg == "--") {
            optionsDone = true;
        } else if (!optionsDone && (arg == "-h" || arg == "--help")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!optionsDone && arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "lensmeta-info: unknown option %s\n%s", arg.c_str(), kUsage);
            return 2;
        } else {
            files.push_back(arg);
        }
    }
    if (files.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    // FFmpeg's own notes on damaged files ("moov atom not found") would
    // interleave with this tool's one-line messages.
    av_log_set_level(AV_LOG_FATAL);
    bool allFound = true;
    for (const std::string& path : files)
        allFound = inspect(path) && allFound;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "lensmeta-info: cannot write the output\n");
        return 1;
    }
    return allFound ? 0 : 1;
}
