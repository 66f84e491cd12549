// Opens one media file and reads it on its own thread, feeding the first
// video and the first audio stream to their decoders. Each stream's frames
// leave through its frame hook; a stream that cannot be decoded reports its
// end at once, so a job never waits for it.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "ff_decoder.h"

struct AVFormatContext;

namespace loomfold {

struct ff_demuxer_options {
    int64_t audio_packet_queue_size = 81920;
    int64_t video_packet_queue_size = 1310720;
    int audio_frame_queue_size = 1;
    int video_frame_queue_size = 1;
    bool is_hw_decoding = true;  // software decoding only here: no hardware path is built
    bool is_looping = false;     // never set: ignored
    bool paced = true;           // release frames at the media's own speed
};

class ff_demuxer {
public:
    explicit ff_demuxer(const ff_demuxer_options& options) : options_(options) {}
    ~ff_demuxer();  // ff_demuxer_free
    ff_demuxer(const ff_demuxer&) = delete;
    ff_demuxer& operator=(const ff_demuxer&) = delete;

    void set_video_hook(ff_decoder::FrameHook hook) { video_hook_ = std::move(hook); }
    void set_audio_hook(ff_decoder::FrameHook hook) { audio_hook_ = std::move(hook); }

    // Opens the input and the decoders of its streams.
    bool open(const std::string& input, const std::string& input_format);
    // Starts reading on the demux thread: frames flow from here on, so the
    // receiver must be ready first.
    bool start();
    AVFormatContext* format_context() const { return format_context_; }
    // The streams that will be decoded (set by open, before reading starts).
    const AVStream* video_stream() const { return video_decoder_ ? video_decoder_->stream() : nullptr; }
    const AVStream* audio_stream() const { return audio_decoder_ ? audio_decoder_->stream() : nullptr; }

private:
    void demux_thread();
    std::unique_ptr<ff_decoder> open_decoder(int stream_index);
    void choose_clock();

    const ff_demuxer_options options_;
    ff_decoder::FrameHook video_hook_, audio_hook_;
    std::string input_, input_format_;
    AVFormatContext* format_context_ = nullptr;
    std::thread thread_;
    std::atomic<bool> abort_{false};

    // -- Set by open(); then the demux thread's (released by the destructor
    // after it ends).
    std::unique_ptr<ff_decoder> video_decoder_, audio_decoder_;
    ff_av_sync_type sync_type_ = ff_av_sync_type::video_master;
};

}  // namespace loomfold
