// A video job's input and output together: the source file, the audio
// conversion to the output's format, the encoder, and the capture thread
// that ends the job once both streams have ended.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "audio_resampler.h"
#include "capture_output.h"
#include "mediasource.h"

namespace loomfold {

struct captureplay {
    // -- Set by the engine before captureplay_open.
    std::string source_path;
    bool paced = true;                // frames at the media's own speed
    capture_output output;            // sizes, bit rate, URL
    std::function<void(stitch_frame*)> video_callback;  // the engine's setFrameCallBack
    std::function<void()> end_callback;                 // the engine's endFrameCallBack
    void (*log_hook)(void*, int, const char*, va_list) = nullptr;
    int log_level = 0;                // 0: FFmpeg's warning level and the console hook

    // -- The job's state.
    int rendered_frames = 0;          // render thread
    mediasource source;
    AudioSpec audio_target{44100, 2, kAudioFormatFloatPlanar};
    std::unique_ptr<AudioResampler> resampler;  // audio lock
    bool resampler_failed = false;              // audio lock
    std::mutex video_lock, audio_lock;
    std::thread capture_thread;
    std::mutex end_mutex;
    std::condition_variable end_cond;           // both ends, or closing
    std::atomic<bool> opened{false}, audio_ended{false}, video_ended{false};
    // -- Guarded by end_mutex.
    bool closing_started = false;  // opened once: a close is owed
    bool closed = false;           // that close has finished
    std::string close_failure;     // why the file is not complete
};

// Opens the source, then the output; on failure width is −1 and reason
// says why (nothing is left open).
media_info captureplay_open(captureplay* cp, std::string& reason);
// Stops the input, completes and closes the output, and waits for the
// capture thread (unless called from it). Only the first call closes; every
// later one waits for it and returns its result: false, with reason, when
// the output file is not complete (then it has been removed).
bool captureplay_close(captureplay* cp, std::string& reason);
// Stops the job at once, discarding the output.
void captureplay_abort(captureplay* cp);

}  // namespace loomfold
