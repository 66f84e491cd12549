// Test support: looks at encoded videos through the ffprobe and ffmpeg
// commands, as a user's tools would see them.
#pragma once

#include <opencv2/core.hpp>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace vistamo::testing {

struct StreamFacts {
    std::string type;   // "video", "audio"
    std::string codec;
    int frames = 0;     // decoded frames (video) or packets' frames (audio)
    double duration = 0;
};

struct VideoFacts {
    std::vector<StreamFacts> streams;
    std::map<std::string, std::string> tags;  // container tags
    const StreamFacts* stream(const std::string& type) const {
        for (const StreamFacts& s : streams)
            if (s.type == type)
                return &s;
        return nullptr;
    }
};

inline std::string shellQuoted(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline VideoFacts probeVideo(const std::string& path) {
    VideoFacts facts;
    const std::string cmd = "ffprobe -v error -count_frames -show_entries "
                            "stream=codec_type,codec_name,nb_read_frames,duration:format_tags "
                            "-of compact=p=0 " + shellQuoted(path);
    FILE* pipe = popen(cmd.c_str(), "r");
    if (!pipe)
        return facts;
    char line[4096];
    while (std::fgets(line, sizeof line, pipe)) {
        std::map<std::string, std::string> fields;
        std::stringstream parts(line);
        std::string part;
        while (std::getline(parts, part, '|')) {
            while (!part.empty() && (part.back() == '\n' || part.back() == '\r'))
                part.pop_back();
            const size_t eq = part.find('=');
            if (eq != std::string::npos)
                fields[part.substr(0, eq)] = part.substr(eq + 1);
        }
        if (fields.count("codec_type")) {
            StreamFacts s;
            s.type = fields["codec_type"];
            s.codec = fields["codec_name"];
            s.frames = std::atoi(fields["nb_read_frames"].c_str());
            s.duration = std::atof(fields["duration"].c_str());
            facts.streams.push_back(s);
        } else {
            for (const auto& [key, value] : fields)
                if (key.rfind("tag:", 0) == 0)
                    facts.tags[key.substr(4)] = value;
        }
    }
    pclose(pipe);
    return facts;
}

// Decodes a video's frames one by one as BGR pictures of width × height.
class FrameReader {
public:
    FrameReader(const std::string& path, int width, int height) : width_(width), height_(height) {
        const std::string cmd = "ffmpeg -v error -nostdin -i " + shellQuoted(path) + " -fps_mode passthrough -vf scale=" +
                                std::to_string(width) + ":" + std::to_string(height) +
                                ":flags=area -f rawvideo -pix_fmt bgr24 -";
        pipe_ = popen(cmd.c_str(), "r");
    }
    ~FrameReader() {
        if (pipe_)
            pclose(pipe_);
    }
    FrameReader(const FrameReader&) = delete;
    FrameReader& operator=(const FrameReader&) = delete;

    bool next(cv::Mat& frame) {
        frame.create(height_, width_, CV_8UC3);
        const size_t bytes = size_t(width_) * size_t(height_) * 3;
        return pipe_ && std::fread(frame.data, 1, bytes, pipe_) == bytes;
    }

private:
    int width_, height_;
    FILE* pipe_ = nullptr;
};

}  // namespace vistamo::testing
