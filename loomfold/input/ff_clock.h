// The clock that keeps a file's streams in step: which stream is the master
// and how to read the master's current time. Shared by reference between
// the demuxer, the packets that carry it and the frames decoded from them.
#pragma once

#include <functional>
#include <memory>

namespace loomfold {

enum class ff_av_sync_type { audio_master, video_master, external_master };

struct ff_clock {
    ff_av_sync_type sync_type = ff_av_sync_type::video_master;
    // The master's current time in seconds; set when the clock is made.
    std::function<double()> sync_clock;
};

using ff_clock_ref = std::shared_ptr<ff_clock>;

}  // namespace loomfold
