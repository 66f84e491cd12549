#include "loomfold/loomfold.h"

#include <exception>
#include <new>
#include <string>

#include "engine_log.h"
#include "loomfold_core.h"

int nLoomfold = 0;

void SetLoomfoldLogSink(LoomfoldLogSink sink, void* user) { loomfold::EngineLog::instance().setSink(sink, user); }

void LoomfoldMediaLogHook(void* context, int level, const char* format, va_list args) {
    loomfold::engineMediaLogHook(context, level, format, args);
}

int fnLoomfold() { return 42; }

Loomfold::Loomfold()
    : input_path(nullptr), output_path(nullptr), calibration(nullptr), reserved_flag(0), video_codec(0), match_lenses(1), engine(nullptr),
      delegate(nullptr) {}

Loomfold::~Loomfold() {
    if (engine) {
        delete engine;
        engine = nullptr;
        delete delegate;
        delegate = nullptr;
    }
}

Loomfold& Loomfold::operator=(const Loomfold& other) {
    input_path = other.input_path;
    output_path = other.output_path;
    pano_width = other.pano_width;
    pano_height = other.pano_height;
    view_w = other.view_w;
    view_h = other.view_h;
    stitch_mode = other.stitch_mode;
    calibration = other.calibration;
    reserved_flag = other.reserved_flag;
    video_bitrate = other.video_bitrate;
    video_codec = other.video_codec;
    match_lenses = other.match_lenses;
    engine = other.engine;
    delegate = other.delegate;
    return *this;
}

namespace {

// Keeps every exception inside the library: the host hears of it through
// videoStitchError and a −1 result.
template <typename Job>
int guarded(VideoStitchDelegate* delegate, Job job) {
    std::string reason;
    try {
        return job();
    } catch (const std::bad_alloc&) {
        reason = "not enough memory";
    } catch (const std::exception& e) {
        reason = std::string("internal error: ") + e.what();
    } catch (...) {
        reason = "internal error";
    }
    LF_LOG(loomfold::kLogError, "%s", reason.c_str());
    if (delegate && delegate->videoStitchError)
        delegate->videoStitchError(-1, reason);
    return -1;
}

}  // namespace

int Loomfold::InitGLES2() {
    return guarded(delegate, [this] {
        delete engine;
        engine = new LoomfoldCore();
        // On failure the engine stays, without a context: Stitch calls then
        // fail cleanly.
        return engine->initialise(*this) ? 0 : -1;
    });
}

void Loomfold::SetDelegate(VideoStitchDelegate* d) { delegate = d; }

const char* Loomfold::LastProblem() const { return engine ? engine->lastProblem().c_str() : ""; }

int Loomfold::SetPaced(bool paced) {
    if (!engine)
        return -1;
    engine->setPaced(paced);
    return 0;
}

int Loomfold::Stitch() {
    LF_LOG(loomfold::kLogDebug, "((LoomfoldCore*)loomfoldcore)->Stitch();");
    if (!engine) {
        if (delegate && delegate->videoStitchError)
            delegate->videoStitchError(-1, "open file fail");
        return -1;
    }
    return guarded(delegate, [this] { return engine->stitchVideo(); });
}

int Loomfold::StitchImage() {
    LF_LOG(loomfold::kLogDebug, "((LoomfoldCore*)loomfoldcore)->StitchImage();");
    if (!engine) {
        if (delegate && delegate->videoStitchError)
            delegate->videoStitchError(-1, "InitGLES2 was not called");
        return -1;
    }
    return guarded(delegate, [this] { return engine->stitchImage(); });
}
