// The encoder and muxer of a video job: H.264 video from RGBA pictures
// (converted by the configured colour rule and tagged with it),
// AAC audio re-blocked from float planar samples, one MP4 file. Video
// arrives on the render thread and audio on the audio refresh thread; the
// write mutex serialises their packets into the muxer.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

extern "C" {
#include <libavutil/rational.h>
}

#include "colour_rule.h"
#include "lf_circlebuf.h"

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVPacket;
struct AVStream;
struct SwsContext;

namespace loomfold {

// The encoders an export may use.
enum class VideoCodec { H264, Hevc };

struct ffmpeg_cfg {
    std::string url;
    std::string format_name = "mp4";
    std::string muxer_settings;
    int video_bitrate = 0;  // kbit/s
    VideoCodec video_codec = VideoCodec::H264;
    int audio_bitrate = 128;
    bool with_audio = true;
    int width = 0, height = 0;              // output (encoded) size
    int scale_width = 0, scale_height = 0;  // size of the RGBA pictures handed in
    int audio_sample_rate = 44100;
    int audio_channels = 2;
    AVRational frame_rate{30, 1};  // the source's rate: the video time base is its inverse
    std::string title;             // empty: no "title" tag
    // How the encoded pictures are coded (the source's own rule, so that
    // the stitch keeps its samples' meaning), and the source's primaries
    // and transfer (H.273 code points) that the stream is tagged with.
    vistamo::colour::ColourRule colour;
    int color_primaries = 2, color_trc = 2;
};

// Who touches what: init and free run on one thread while no frame or
// sample is in delivery (the job's open, and its one closing caller after
// the input has stopped). In between, the video members are the render
// thread's and the audio members the audio refresh thread's (under the
// captureplay audio lock); both meet only in the muxer, under write_mutex.
struct ffmpeg_data {
    ffmpeg_cfg config;             // set before init, read-only afterwards
    AVFormatContext* output = nullptr;  // write_mutex (packets of both streams)
    AVStream* video = nullptr;     // made by init
    AVStream* audio = nullptr;
    // -- Video: the render thread.
    AVCodecContext* video_ctx = nullptr;
    SwsContext* swscale = nullptr;
    AVFrame* vframe = nullptr;
    int64_t total_frames = 0;      // video frames submitted
    int64_t last_video_pts = -1;   // presentation times must rise
    int64_t delayed_frames = 0;    // submitted frames that gave no packet yet
    // -- Audio: the audio refresh thread, under the captureplay audio lock.
    AVCodecContext* audio_ctx = nullptr;
    AVFrame* aframe = nullptr;
    int frame_size = 0;            // audio samples per encoder frame
    int64_t total_samples = 0;
    bool audio_started = false;
    int audio_planes = 0;
    int audio_size = 0;            // bytes per sample and plane
    lf_circlebuf excess_frames[8] = {};
    uint8_t* samples[8] = {};
    // -- Set by init, read by free.
    bool created_file = false;     // the file did not exist before: remove it on failure
    bool initialized = false;
    // -- Guarded by write_mutex: the first write or encode failure; the job
    // ends with it. Any thread may record or read it.
    std::string failure;
    std::mutex write_mutex;
};

// Builds encoders and muxer and writes the header; on failure logs, fills
// reason and leaves nothing open (a file it created is removed).
bool ffmpeg_data_init(ffmpeg_data* data, std::string& reason);
// Flushes both encoders, writes the trailer and closes the file; false (with
// reason) when the file could not be completed. Clears the record.
bool ffmpeg_data_free(ffmpeg_data* data, std::string& reason);
// Removes a file the job created (after a failure).
void ffmpeg_data_discard_output(const ffmpeg_data& data);

// One RGBA picture of scale_width × scale_height, rows from the top at
// stride bytes (negative strides walk upwards); pts in 1 / frame_rate.
bool receive_video(ffmpeg_data* data, const uint8_t* rgba, int stride, int64_t pts);
// The encoder's picture (planar 4:2:0 at the output size, coded by
// config.colour), writable, for a caller that fills it directly; null when the
// record has no video or no memory.
AVFrame* video_frame_to_fill(ffmpeg_data* data);
// Encodes the picture filled through video_frame_to_fill.
bool encode_filled_video(ffmpeg_data* data, int64_t pts);

// Float planar samples at the configured rate and channel count; start_ns
// places the first block on the file's time line.
bool receive_audio(ffmpeg_data* data, const uint8_t* const* planes, int frames, uint64_t start_ns);

// The first failure, if any (any thread).
std::string ffmpeg_data_failure(ffmpeg_data* data);

}  // namespace loomfold
