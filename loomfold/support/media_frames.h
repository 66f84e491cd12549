// The engine's own records of one decoded video frame and one decoded
// audio frame, as the media input hands them on. Both point into memory
// owned by the decoder side: valid only during the call that receives them.
#pragma once

#include <cstdint>

#include "colour_rule.h"

namespace loomfold {

struct stitch_frame {
    uint8_t* data[8];       // planes (YUV 4:2:0: Y, U, V)
    int linesize[8];        // bytes per row of each plane
    int width;
    int height;
    uint64_t timestamp;     // presentation time from the start of the file, nanoseconds
    int user;
    int64_t index;          // packet number within the video stream, from 0
    int64_t seconds;        // decoding_time in whole seconds
    int64_t decoding_time;  // packet decoding time in microseconds, stream time
    vistamo::colour::ColourRule colour;  // how the planes' samples are coded
};

struct stitch_audio {
    const uint8_t* data[8];  // one plane per channel for planar formats
    uint32_t frames;         // samples per channel
    int speakers;            // speaker layout code (audio_resampler.h)
    int format;              // AudioFormat code
    uint32_t samples_per_sec;
    uint64_t timestamp;      // nanoseconds from the start of the file
    int user;
    int64_t index;
    int64_t seconds;
    int64_t decoding_time;   // microseconds, stream time
};

}  // namespace loomfold
