#include "loomfold/loomfold.h"

#include "engine_log.h"
#include "loomfold_core.h"

int nLoomfold = 0;

int fnLoomfold() { return 42; }

Loomfold::Loomfold()
    : input_path(nullptr), output_path(nullptr), calibration(nullptr), reserved_flag(0), engine(nullptr),
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
    engine = other.engine;
    delegate = other.delegate;
    return *this;
}

int Loomfold::InitGLES2() {
    delete engine;
    engine = new LoomfoldCore();
    if (!engine->initialise(*this)) {
        // The engine stays, without a context: Stitch calls then fail cleanly.
        return -1;
    }
    return 0;
}

void Loomfold::SetDelegate(VideoStitchDelegate* d) { delegate = d; }

int Loomfold::Stitch() {
    LF_LOG(loomfold::kLogDebug, "((LoomfoldCore*)loomfoldcore)->Stitch();");
    if (!engine) {
        if (delegate && delegate->videoStitchError)
            delegate->videoStitchError(-1, "open file fail");
        return -1;
    }
    return engine->stitchVideo();
}

int Loomfold::StitchImage() {
    LF_LOG(loomfold::kLogDebug, "((LoomfoldCore*)loomfoldcore)->StitchImage();");
    if (!engine) {
        if (delegate && delegate->videoStitchError)
            delegate->videoStitchError(-1, "InitGLES2 was not called");
        return -1;
    }
    return engine->stitchImage();
}
