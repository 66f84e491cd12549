#include "audio_resampler.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
}

#include "engine_log.h"

namespace loomfold {

AudioFormat audioFormatFromAV(AVSampleFormat format) {
    switch (format) {
    case AV_SAMPLE_FMT_U8: return kAudioFormatU8;
    case AV_SAMPLE_FMT_S32: return kAudioFormatS32;
    case AV_SAMPLE_FMT_FLT: return kAudioFormatFloat;
    case AV_SAMPLE_FMT_U8P: return kAudioFormatU8Planar;
    case AV_SAMPLE_FMT_S16P: return kAudioFormatS16Planar;
    case AV_SAMPLE_FMT_S32P: return kAudioFormatS32Planar;
    case AV_SAMPLE_FMT_FLTP: return kAudioFormatFloatPlanar;
    default: return kAudioFormatS16;
    }
}

AVSampleFormat avFromAudioFormat(AudioFormat format) {
    switch (format) {
    case kAudioFormatU8: return AV_SAMPLE_FMT_U8;
    case kAudioFormatS32: return AV_SAMPLE_FMT_S32;
    case kAudioFormatFloat: return AV_SAMPLE_FMT_FLT;
    case kAudioFormatU8Planar: return AV_SAMPLE_FMT_U8P;
    case kAudioFormatS16Planar: return AV_SAMPLE_FMT_S16P;
    case kAudioFormatS32Planar: return AV_SAMPLE_FMT_S32P;
    case kAudioFormatFloatPlanar: return AV_SAMPLE_FMT_FLTP;
    default: return AV_SAMPLE_FMT_S16;
    }
}

int bytesPerSample(AudioFormat format) {
    switch (format) {
    case kAudioFormatU8: case kAudioFormatU8Planar: return 1;
    case kAudioFormatS16: case kAudioFormatS16Planar: return 2;
    case kAudioFormatS32: case kAudioFormatS32Planar:
    case kAudioFormatFloat: case kAudioFormatFloatPlanar: return 4;
    default: return 0;
    }
}

bool isPlanar(AudioFormat format) { return format >= kAudioFormatU8Planar && format <= kAudioFormatFloatPlanar; }

int channelsOf(int speakers) {
    static const int kChannels[] = {0, 1, 2, 3, 4, 5, 6, 6, 8, 8, 4};
    return speakers >= 1 && speakers <= 10 ? kChannels[speakers] : 0;
}

uint64_t channelMaskOf(int speakers) {
    static const uint64_t kMasks[] = {0, 0x4, 0x3, 0x103, 0x33, 0x10F, 0x60F, 0x3F, 0x63F, 0xFF, 0x7};
    return speakers >= 1 && speakers <= 10 ? kMasks[speakers] : 0;
}

AudioResampler::AudioResampler(const AudioSpec& output, const AudioSpec& input) : input_(input), output_(output) {
    outputChannels_ = channelsOf(output.speakers);
    outputPlanes_ = isPlanar(output.format) ? outputChannels_ : 1;
    AVChannelLayout outLayout, inLayout;
    av_channel_layout_from_mask(&outLayout, channelMaskOf(output.speakers));
    av_channel_layout_from_mask(&inLayout, channelMaskOf(input.speakers));
    if (swr_alloc_set_opts2(&context_, &outLayout, avFromAudioFormat(output.format), output.sampleRate, &inLayout,
                            avFromAudioFormat(input.format), input.sampleRate, 0, nullptr) < 0 ||
        !context_) {
        LF_LOG(kLogError, "swr_alloc_set_opts failed");
        swr_free(&context_);
        return;
    }
    const int rc = swr_init(context_);
    if (rc < 0) {
        LF_LOG(kLogError, "avresample_open failed: error code %d", rc);
        swr_free(&context_);
    }
}

AudioResampler::~AudioResampler() {
    swr_free(&context_);
    if (buffer_) {
        av_freep(&buffer_[0]);
        av_freep(&buffer_);
    }
}

bool AudioResampler::resample(const uint8_t* const* input, int frames, uint8_t** output, int* outFrames,
                              uint64_t* offsetNs) {
    if (!context_)
        return false;
    const int64_t delay = swr_get_delay(context_, input_.sampleRate);
    const int estimated = int(av_rescale_rnd(delay + frames, output_.sampleRate, input_.sampleRate, AV_ROUND_UP));
    *offsetNs = uint64_t(swr_get_delay(context_, 1000000000));
    if (!buffer_ || bufferSamples_ < estimated) {
        if (buffer_) {
            av_freep(&buffer_[0]);
            av_freep(&buffer_);
        }
        if (av_samples_alloc_array_and_samples(&buffer_, nullptr, outputChannels_, estimated,
                                               avFromAudioFormat(output_.format), 0) < 0) {
            buffer_ = nullptr;
            bufferSamples_ = 0;
            return false;
        }
        bufferSamples_ = estimated;
    }
    const int converted = swr_convert(context_, buffer_, estimated, const_cast<const uint8_t**>(input), frames);
    if (converted < 0) {
        LF_LOG(kLogError, "swr_convert failed: %d", converted);
        return false;
    }
    for (int p = 0; p < outputPlanes_; ++p)
        output[p] = buffer_[p];
    *outFrames = converted;
    return true;
}

}  // namespace loomfold
