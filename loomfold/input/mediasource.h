// One opened source file: its demuxer and decoders, turning decoded frames
// into the engine's stitch_frame and stitch_audio records.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/rational.h>
}

#include "colour_rule.h"
#include "ff_demuxer.h"
#include "media_frames.h"

struct SwsContext;

namespace loomfold {

// What opening a source found. width and height are −1 when it failed.
struct media_info {
    int width = -1;
    int height = -1;
    int64_t duration = 0;               // container duration, microseconds
    const char* format_text = nullptr;  // "original_format", or null; valid until close
    bool has_audio = false;             // an audio stream that can be decoded
    AVRational frame_rate{0, 1};        // the video stream's rate
    int64_t video_bitrate = 0;
    int audio_sample_rate = 0;
    int audio_channels = 0;
    // How the video is coded (the stream's tags, or the guess), and its
    // primaries and transfer as H.273 code points, for the output's tags.
    vistamo::colour::ColourRule colour;
    int color_primaries = 2, color_trc = 2;
};

struct mediasource {
    std::unique_ptr<ff_demuxer> demuxer;
    bool paced = true;
    std::string path;
    // Called on the decoders' refresh threads; nullptr at the end of a stream.
    std::function<void(stitch_frame*)> video_hook;
    std::function<void(stitch_audio*)> audio_hook;

    // Pictures not in planar YUV 4:2:0 are converted into this buffer
    // (video refresh thread only).
    SwsContext* scaler = nullptr;
    std::vector<uint8_t> buffer;

    bool jpeg = false;        // the video is JPEG pictures (BT.601 full range)
    std::string format_text;  // storage behind media_info::format_text
    std::string problem;      // why the last open failed
    std::mutex mutex;
    bool closing = false;     // guarded by mutex: late frames are ignored
};

// Opens the file and its decoders; nothing is read yet.
media_info mediasource_open(mediasource* source);
// Starts reading and decoding; the hooks are called from here on.
bool mediasource_start(mediasource* source);
void mediasource_close(mediasource* source);

}  // namespace loomfold
