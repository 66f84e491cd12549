#include "local_media.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
}

#include "file_guard.h"

namespace vistamo::media {

int openLocalMedia(AVFormatContext** context, const std::string& path, const AVInputFormat* format,
                   AVDictionary** options, std::string* reason) {
    const std::string problem = files::inputProblem(path);
    if (!problem.empty()) {
        if (reason)
            *reason = problem;
        avformat_free_context(*context);  // as a failed open would
        *context = nullptr;
        return AVERROR(EINVAL);
    }
    AVDictionary* own = nullptr;
    AVDictionary** dict = options ? options : &own;
    av_dict_set(dict, "protocol_whitelist", "file", 0);
    const std::string url = "file:" + path;
    const int rc = avformat_open_input(context, url.c_str(), format, dict);
    av_dict_free(&own);
    if (rc < 0 && reason) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {0};
        av_strerror(rc, text, sizeof text);
        *reason = text;
    }
    return rc;
}

}  // namespace vistamo::media
