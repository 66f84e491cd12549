// The library's exported functions: find the calibration text in a file and
// decode it. No failure leaves the library: every one ends in an empty text
// or serial, reported as false by the decoding functions.
#include <cctype>
#include <mutex>
#include <new>
#include <string>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include "calib_text.h"
#include "exif_reader.h"
#include "file_guard.h"
#include "local_media.h"
#include "lensmeta/lensmeta.h"

namespace lensmeta {
namespace {

// The last three characters of the path, lower-cased; empty when shorter.
std::string extensionOf(const std::string& path) {
    if (path.size() < 3)
        return {};
    std::string ext = path.substr(path.size() - 3);
    for (char& c : ext)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// The host's sink for failure lines; guarded by sinkMutex(), which also
// keeps calls into the sink one at a time.
std::mutex& sinkMutex() {
    static std::mutex mutex;
    return mutex;
}
LensmetaLogSink logSink = nullptr;
void* logContext = nullptr;

void report(const std::string& line) {
    std::lock_guard<std::mutex> lock(sinkMutex());
    if (logSink)
        logSink(line.c_str(), logContext);
}

// Reads a whole JPEG and decodes its EXIF block into record. Reports one
// line to the host's sink and returns false when the file cannot be opened,
// read or decoded.
bool readExif(const std::string& path, ExifRecord& record) {
    // The type is checked before the open: a FIFO must not block the caller.
    std::vector<uint8_t> bytes;
    std::string reason;
    bool opened = false;
    if (!vistamo::files::readWholeFile(path, bytes, reason, &opened)) {
        report(opened ? "Can't read file." : "Can't open file.");
        return false;
    }
    int code = record.parse(bytes.data(), bytes.size());
    if (code != kExifOk) {
        report("Error parsing EXIF: code " + std::to_string(code));
        return false;
    }
    return true;
}

// Container metadata value of key (letter case ignored), or null.
const char* metadataValue(AVFormatContext* ctx, const char* key) {
    AVDictionaryEntry* entry = av_dict_get(ctx->metadata, key, nullptr, 0);
    return entry ? entry->value : nullptr;
}

std::string readMp4CalibText(const std::string& path) {
    // A regular local file only: no FIFO, no other protocol.
    AVFormatContext* ctx = nullptr;
    if (vistamo::media::openLocalMedia(&ctx, path) < 0)
        return {};
    std::string text;
    if (const char* original = metadataValue(ctx, "original_format")) {
        text = original;
        if (!text.empty() && text[0] != '6') {
            if (const char* comment = metadataValue(ctx, "comment"))
                text = comment;
        }
    }
    avformat_close_input(&ctx);
    return text;
}

std::string readCalibText(const std::string& path) {
    const std::string ext = extensionOf(path);
    if (ext == "mp4")
        return readMp4CalibText(path);
    if (ext == "jpg") {
        ExifRecord record;
        return readExif(path, record) ? record.LensModel : std::string();
    }
    return {};
}

std::string readSerial(const std::string& path) {
    if (extensionOf(path) != "jpg")
        return {};
    ExifRecord record;
    return readExif(path, record) ? record.BodySerialNumber : std::string();
}

}  // namespace

void setLogSink(LensmetaLogSink sink, void* context) {
    std::lock_guard<std::mutex> lock(sinkMutex());
    logSink = sink;
    logContext = context;
}

}  // namespace lensmeta

// Each exported function keeps exceptions inside the library: memory
// exhaustion while decoding ends as "nothing found".
bool GetLensmeta(ImageData& data, std::string& path) {
    try {
        const std::string text = lensmeta::readCalibText(path);
        if (text.empty())
            return false;
        lensmeta::fillImageData(data, text);
        return true;
    } catch (...) {
        return false;
    }
}

bool GetPanoParam(PanoData& data, std::string& path) {
    try {
        const std::string text = lensmeta::readCalibText(path);
        if (text.empty())
            return false;
        lensmeta::fillPanoData(data, text);
        return true;
    } catch (...) {
        return false;
    }
}

std::string GetImageSnNum(std::string& /*unused*/, std::string& path) {
    try {
        return lensmeta::readSerial(path);
    } catch (...) {
        return {};
    }
}

void SetLensmetaLogSink(LensmetaLogSink sink, void* context) { lensmeta::setLogSink(sink, context); }
