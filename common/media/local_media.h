// The one way our programs hand a media file to FFmpeg: as a local regular
// file and nothing else. The path is checked by type before anything opens
// it (a FIFO or a device would block the demuxer), is given to FFmpeg as a
// "file:" URL, and only the file protocol is allowed, so a name such as
// "http://x.mp4" or "concat:a|b.mp4" never reaches another protocol. Used
// by Lensmeta, lensmeta-info, the player's playback layer and the engine.
#pragma once

#include <string>

struct AVDictionary;
struct AVFormatContext;
struct AVInputFormat;

namespace vistamo::media {

// Opens path into *context (which may be pre-allocated, with callbacks
// set, as avformat_open_input allows; it is freed on failure, as there).
// options may be null; "protocol_whitelist" is always set to "file".
// Returns FFmpeg's result (>= 0 on success); a path that is not a regular
// file gives AVERROR(EINVAL) with the reason in *reason (when given).
int openLocalMedia(AVFormatContext** context, const std::string& path, const AVInputFormat* format = nullptr,
                   AVDictionary** options = nullptr, std::string* reason = nullptr);

}  // namespace vistamo::media
