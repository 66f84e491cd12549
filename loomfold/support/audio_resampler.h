// Converts decoded audio to the output's rate, channel layout and sample
// format (libswresample). Engine audio records name formats by code and
// channel layouts by speaker count.
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/samplefmt.h>
}

struct SwrContext;

namespace loomfold {

enum AudioFormat {
    kAudioFormatNone = 0,
    kAudioFormatU8 = 1,
    kAudioFormatS16 = 2,
    kAudioFormatS32 = 3,
    kAudioFormatFloat = 4,
    kAudioFormatU8Planar = 5,
    kAudioFormatS16Planar = 6,
    kAudioFormatS32Planar = 7,
    kAudioFormatFloatPlanar = 8,
};

AudioFormat audioFormatFromAV(AVSampleFormat format);
AVSampleFormat avFromAudioFormat(AudioFormat format);
int bytesPerSample(AudioFormat format);
bool isPlanar(AudioFormat format);
// Channels and channel mask of a speaker value (1 to 10); 0 and 0 otherwise.
int channelsOf(int speakers);
uint64_t channelMaskOf(int speakers);

struct AudioSpec {
    int sampleRate = 0;
    int speakers = 0;
    AudioFormat format = kAudioFormatNone;
    bool operator==(const AudioSpec& o) const {
        return sampleRate == o.sampleRate && speakers == o.speakers && format == o.format;
    }
};

class AudioResampler {
public:
    // Attempts creation; valid() tells whether it worked (failures logged).
    AudioResampler(const AudioSpec& output, const AudioSpec& input);
    ~AudioResampler();
    AudioResampler(const AudioResampler&) = delete;
    AudioResampler& operator=(const AudioResampler&) = delete;

    bool valid() const { return context_ != nullptr; }
    int outputPlanes() const { return outputPlanes_; }

    // Converts frames of input; the output planes stay valid until the next
    // call. offsetNs is the resampler's delay, to subtract from the
    // timestamp. False on a conversion error (logged).
    bool resample(const uint8_t* const* input, int frames, uint8_t** output, int* outFrames, uint64_t* offsetNs);

private:
    SwrContext* context_ = nullptr;
    AudioSpec input_, output_;
    int outputChannels_ = 0;
    int outputPlanes_ = 0;
    uint8_t** buffer_ = nullptr;
    int bufferSamples_ = 0;
};

// A resampler is needed unless the formats are the same.
inline bool needsResampling(const AudioSpec& output, const AudioSpec& input) { return !(output == input); }

}  // namespace loomfold
