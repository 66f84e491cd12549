// A video job's input and output together: the source file, the audio
// conversion to the output's format, the encoder, and the capture thread
// that ends the job once both streams have ended. Fields set before open
// are the host thread's and read-only afterwards.
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

    // -- The job's state.
    // Counted by the render thread (the host's, in Stitch); read by the
    // end callback on the capture thread.
    std::atomic<int> rendered_frames{0};
    mediasource source;                         // its own threads; see mediasource.h
    AudioSpec audio_target{44100, 2, kAudioFormatFloatPlanar};
    // video_lock: held by the video refresh thread while it hands a frame
    // on, and by the closing thread while the encoders are flushed.
    // audio_lock: held by the audio refresh thread while it converts and
    // queues samples, and by the closing thread around the resampler.
    std::mutex video_lock, audio_lock;
    std::unique_ptr<AudioResampler> resampler;  // audio_lock
    bool resampler_failed = false;              // audio_lock
    std::thread capture_thread;                 // started by open, joined by close
    std::mutex end_mutex;
    std::condition_variable end_cond;           // both ends, or closing
    // Set by open (host's thread); the ends by each stream's refresh thread
    // under end_mutex; opened cleared by the one closing caller.
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
