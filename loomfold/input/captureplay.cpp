#include "captureplay.h"

#include <chrono>
#include <system_error>

#include "engine_log.h"

namespace loomfold {

namespace {

void markEnded(captureplay* cp, std::atomic<bool>& flag) {
    std::lock_guard<std::mutex> lock(cp->end_mutex);
    flag = true;
    cp->end_cond.notify_all();
}

void onVideo(captureplay* cp, stitch_frame* frame) {
    if (!cp->opened)
        return;
    if (!frame) {
        markEnded(cp, cp->video_ended);
        return;
    }
    std::lock_guard<std::mutex> lock(cp->video_lock);
    if (cp->video_callback)
        cp->video_callback(frame);
}

void onAudio(captureplay* cp, stitch_audio* audio) {
    if (!cp->opened)
        return;
    if (!audio) {
        markEnded(cp, cp->audio_ended);
        return;
    }
    std::lock_guard<std::mutex> lock(cp->audio_lock);
    const AudioSpec input{int(audio->samples_per_sec), audio->speakers, AudioFormat(audio->format)};
    const uint8_t* const* planes = audio->data;
    int frames = int(audio->frames);
    uint64_t timestamp = audio->timestamp;
    uint8_t* converted[8] = {};
    if (needsResampling(cp->audio_target, input)) {
        if (!cp->resampler && !cp->resampler_failed) {
            cp->resampler = std::make_unique<AudioResampler>(cp->audio_target, input);
            if (!cp->resampler->valid()) {
                LF_LOG(kLogError, "cannot create the audio resampler: the sound is left out");
                cp->resampler.reset();
                // Samples in another format would be noise: the sound is
                // left out rather than written wrong.
                cp->resampler_failed = true;
            }
        }
        if (!cp->resampler)
            return;
        uint64_t offset = 0;
        if (!cp->resampler->resample(audio->data, frames, converted, &frames, &offset)) {
            LF_LOG(kLogWarn, "an audio frame could not be resampled and is left out");
            return;
        }
        planes = converted;
        timestamp = timestamp > offset ? timestamp - offset : 0;
    }
    if (frames > 0)
        receive_audio(&cp->output.data, planes, frames, timestamp);
}

void captureThread(captureplay* cp) {
    {
        std::unique_lock<std::mutex> lock(cp->end_mutex);
        while (!(cp->video_ended && cp->audio_ended))
            cp->end_cond.wait_for(lock, std::chrono::milliseconds(100));
    }
    if (!cp->opened)
        return;  // closed from outside: nothing to end
    LF_LOG(kLogInfo, "both streams have ended: completing the output");
    if (cp->end_callback)
        cp->end_callback();
    LF_LOG(kLogInfo, "video stitch end");
}

}  // namespace

media_info captureplay_open(captureplay* cp, std::string& reason) {
    media_info failed;
    cp->rendered_frames = 0;
    cp->opened = false;
    cp->audio_ended = false;
    cp->video_ended = false;
    cp->close_failure.clear();
    cp->closed = false;
    cp->closing_started = false;
    cp->source.path = cp->source_path;
    cp->source.paced = cp->paced;
    cp->source.video_hook = [cp](stitch_frame* f) { onVideo(cp, f); };
    cp->source.audio_hook = [cp](stitch_audio* a) { onAudio(cp, a); };

    const media_info info = mediasource_open(&cp->source);
    if (info.width < 1) {
        reason = "cannot read " + cp->source_path + ": " + cp->source.problem;
        return failed;
    }
    cp->output.source_width = info.width;
    cp->output.source_height = info.height;
    cp->output.with_audio = info.has_audio;
    if (!info.has_audio)
        cp->audio_ended = true;
    if (info.frame_rate.num > 0 && info.frame_rate.den > 0)
        cp->output.frame_rate = info.frame_rate;
    cp->output.colour = info.colour;
    cp->output.color_primaries = info.color_primaries;
    cp->output.color_trc = info.color_trc;
    if (!capture_open(&cp->output, reason)) {
        mediasource_close(&cp->source);
        return failed;
    }
    cp->closing_started = true;
    cp->opened = true;
    try {
        cp->capture_thread = std::thread(captureThread, cp);
    } catch (const std::system_error&) {
        reason = "cannot start the capture thread";
        captureplay_abort(cp);
        return failed;
    }
    // Frames flow from here on, into an open output.
    if (!mediasource_start(&cp->source)) {
        reason = "cannot start reading " + cp->source_path;
        captureplay_abort(cp);
        return failed;
    }
    return info;
}

bool captureplay_close(captureplay* cp, std::string& reason) {
    bool wasOpen = true;
    if (cp->opened.compare_exchange_strong(wasOpen, false)) {
        // This caller closes; the capture thread, if still waiting, sees
        // the record closed and leaves.
        LF_LOG(kLogInfo, "closing the video job");
        markEnded(cp, cp->video_ended);
        markEnded(cp, cp->audio_ended);
        // The input stops first, so no frame or sample is in delivery while
        // the encoders are flushed.
        mediasource_close(&cp->source);
        std::string why;
        bool ok;
        {
            // Both streams' locks: a sample or frame still in delivery
            // finishes before the encoders go, and none starts after.
            std::scoped_lock both(cp->video_lock, cp->audio_lock);
            ok = capture_close(&cp->output, why);
            cp->resampler.reset();
        }
        std::lock_guard<std::mutex> lock(cp->end_mutex);
        cp->close_failure = ok ? std::string() : (why.empty() ? "the output could not be completed" : why);
        cp->closed = true;
        cp->end_cond.notify_all();
    } else {
        // Another thread is closing (or has closed): its result counts.
        std::unique_lock<std::mutex> lock(cp->end_mutex);
        while (cp->closing_started && !cp->closed)
            cp->end_cond.wait_for(lock, std::chrono::milliseconds(100));
    }
    if (cp->capture_thread.joinable() && cp->capture_thread.get_id() != std::this_thread::get_id())
        cp->capture_thread.join();
    std::lock_guard<std::mutex> lock(cp->end_mutex);
    reason = cp->close_failure;
    return cp->close_failure.empty();
}

void captureplay_abort(captureplay* cp) {
    {
        std::lock_guard<std::mutex> lock(cp->output.data.write_mutex);
        if (cp->output.data.failure.empty())
            cp->output.data.failure = "the job was stopped";
    }
    std::string ignored;
    captureplay_close(cp, ignored);
}

}  // namespace loomfold
