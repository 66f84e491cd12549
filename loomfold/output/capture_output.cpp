#include "capture_output.h"

extern "C" {
#include <libavutil/log.h>
}

#include "engine_log.h"
#include "stitch_renderer.h"

namespace loomfold {

bool capture_open(capture_output* out, std::string& reason) {
    out->active = false;
    if (out->pano_w > out->view_w || out->pano_h > out->view_h) {
        // The read-back holds only the render target.
        reason = "the output size " + std::to_string(out->pano_w) + "x" + std::to_string(out->pano_h) +
                 " does not fit the render target " + std::to_string(out->view_w) + "x" +
                 std::to_string(out->view_h);
        return false;
    }
    ffmpeg_cfg& c = out->data.config;
    c = ffmpeg_cfg{};
    c.url = out->url;
    c.format_name = out->format_name;
    c.video_bitrate = out->video_bitrate;
    c.video_codec = out->video_codec;
    c.with_audio = out->with_audio;
    c.width = out->pano_w;
    c.height = out->pano_h;
    c.scale_width = out->pano_w;
    c.scale_height = out->pano_h;
    c.frame_rate = out->frame_rate;
    c.colour = out->colour;
    c.colour.guessed = false;  // once written into the tags it is no guess any more
    c.color_primaries = out->color_primaries;
    c.color_trc = out->color_trc;
    if (!ffmpeg_data_init(&out->data, reason))
        return false;
    out->active = true;
    return true;
}

bool capture_close(capture_output* out, std::string& reason) {
    LF_LOG(kLogInfo, "capture_close start");
    if (!out->active)
        return true;
    const bool ok = ffmpeg_data_free(&out->data, reason);
    out->active = false;
    out->readback.clear();
    out->readback.shrink_to_fit();
    LF_LOG(kLogInfo, "capture_close end");
    return ok;
}

bool capture_frame(capture_output* out, const StitchRenderer& renderer, int64_t pts) {
    if (!out->active)
        return false;
    if (!renderer.readPixels(out->view_w, out->view_h, out->readback))
        return true;  // nothing rendered: this frame is skipped
    // GL rows run upwards; the converter walks them from the last with a
    // negative stride, which keeps the top-left pano_w × pano_h.
    const int stride = out->view_w * 4;
    const uint8_t* top = out->readback.data() + size_t(out->view_h - 1) * size_t(stride);
    return receive_video(&out->data, top, -stride, pts) && ffmpeg_data_failure(&out->data).empty();
}

}  // namespace loomfold

namespace loomfold {

bool capture_picture(capture_output* out, const uint8_t* rgba, int64_t pts) {
    if (!out->active)
        return false;
    return receive_video(&out->data, rgba, out->view_w * 4, pts) && ffmpeg_data_failure(&out->data).empty();
}

}  // namespace loomfold

namespace loomfold {

AVFrame* capture_picture_to_fill(capture_output* out) {
    if (!out->active || out->pano_w != out->view_w || out->pano_h != out->view_h)
        return nullptr;
    return video_frame_to_fill(&out->data);
}

bool capture_filled(capture_output* out, int64_t pts) {
    return encode_filled_video(&out->data, pts) && ffmpeg_data_failure(&out->data).empty();
}

}  // namespace loomfold
