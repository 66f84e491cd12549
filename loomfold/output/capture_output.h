// The output of a video job: the read-back of each rendered picture and
// the encoder/muxer behind it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ffmpeg_data.h"

namespace loomfold {

class StitchRenderer;

struct capture_output {
    int source_width = 0, source_height = 0;  // decoded size (not used for encoding)
    int view_w = 0, view_h = 0;               // render target
    int pano_w = 0, pano_h = 0;               // encoded size (at most the render target)
    int video_bitrate = 0;                    // kbit/s
    VideoCodec video_codec = VideoCodec::H264;
    AVRational frame_rate{30, 1};
    bool with_audio = true;
    std::string url;
    std::string format_name = "mp4";
    vistamo::colour::ColourRule colour;      // of the source: the output keeps it
    int color_primaries = 2, color_trc = 2;  // the source's, for the output's tags
    ffmpeg_data data;
    bool active = false;
    std::vector<uint8_t> readback;            // render thread
};

bool capture_open(capture_output* out, std::string& reason);
// Completes the file; false (file removed when the job made it) on failure.
bool capture_close(capture_output* out, std::string& reason);
// Reads the rendered picture back and encodes it (render thread, context
// current); pts in 1 / frame_rate. False once the output has failed.
bool capture_frame(capture_output* out, const StitchRenderer& renderer, int64_t pts);
// Encodes a picture stitched elsewhere: view_w × view_h RGBA, rows from the
// top. False once the output has failed.
bool capture_picture(capture_output* out, const uint8_t* rgba, int64_t pts);
// The encoder's own 4:2:0 picture for a caller that stitches straight into
// it (render and output sizes equal), then capture_filled to encode it.
AVFrame* capture_picture_to_fill(capture_output* out);
bool capture_filled(capture_output* out, int64_t pts);

}  // namespace loomfold
