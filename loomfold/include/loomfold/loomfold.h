// Loomfold: stitches one two-lens (or one-lens) camera recording into an
// equirectangular panorama, offscreen with OpenGL.
//
// GL context contract: InitGLES2() creates a hidden window with its own GL
// context through GLFW and makes it current on the calling thread. That
// thread owns the context for the facade's whole life: Stitch() and
// StitchImage() must be called on it, after InitGLES2(), and the context
// must not be made current elsewhere meanwhile. The facade's destructor
// releases the context (call it on the same thread). Only one facade may
// hold a context at a time in a process (GLFW is process-wide).
//
// No call ends the host's process: failures are reported through the
// delegate's videoStitchError and the calls' results.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <functional>
#include <string>

#include "loomfold/loomfold_export.h"

// Callbacks of one job; created by the host with new, owned and deleted by
// the facade once handed over with SetDelegate. A member without a target
// is skipped. Each says on which thread it comes; none may call back into
// the facade.
struct LOOMFOLD_EXPORT VideoStitchDelegate {
    // (current time, total time) in microseconds, after every frame. On the
    // thread that called Stitch.
    std::function<void(int64_t, int64_t)> videoStitchState;
    // Once, when the job ends after the output was closed. On the engine's
    // capture thread, while Stitch is still waiting on the host's thread.
    std::function<void()> videoStitchFinished;
    // (−1, reason) when a job cannot start or fails. On the thread that
    // called InitGLES2, Stitch or StitchImage.
    std::function<void(int, std::string)> videoStitchError;
    // Sphere mode, first frame, lens radius ≤ 10: (packed B, G, R picture,
    // width = luma stride, height, 3, 256-byte buffer for a "5_" text). On
    // the thread that called Stitch or StitchImage.
    std::function<void(unsigned char*, int, int, int, char*)> videoStitchCalibrate;
};

// The engine log always writes its file (export_log.txt); a copy of each
// line goes to this sink, and nowhere else, once the host installs one
// (null removes it). The sink is called on whichever engine thread wrote
// the line, one whole stamped line at a time, and must not call back into
// the engine.
typedef void (*LoomfoldLogSink)(int level, const char* line, void* user);
LOOMFOLD_EXPORT void SetLoomfoldLogSink(LoomfoldLogSink sink, void* user);

// A log callback for FFmpeg that feeds FFmpeg's context-free lines into the
// engine log. FFmpeg's callback is process-wide, so the engine never sets
// it: a host that wants these lines installs it with av_log_set_callback.
LOOMFOLD_EXPORT void LoomfoldMediaLogHook(void* context, int level, const char* format, va_list args);

class LoomfoldCore;

class LOOMFOLD_EXPORT Loomfold {
public:
    Loomfold();
    ~Loomfold();
    // Copies every field, the engine and delegate pointers included: the two
    // facades then share one engine, and only one of them may be destroyed.
    Loomfold& operator=(const Loomfold& other);

    // Creates the engine and its GL context; 0 on success, −1 (with the
    // delegate's videoStitchError) when no context or program can be made.
    int InitGLES2();
    // Stores the delegate; one set before is not destroyed.
    void SetDelegate(VideoStitchDelegate* delegate);
    // Runs a video job to its end on the calling thread; 0 when the output
    // file is complete, −1 (videoStitchError called once, no file left
    // that the job created) otherwise. The host makes replacing an existing
    // file atomic (the Converter writes to a temporary and renames it).
    int Stitch();
    // Frame pacing of Stitch: true (the default) releases frames at the
    // media's own speed, as a player does; false takes them as fast as
    // they are rendered, for files. No frame is dropped either way. Call
    // after InitGLES2 and before Stitch; −1 without an engine.
    int SetPaced(bool paced);
    // Why the last job failed, in words for a person (videoStitchError's
    // message for a job that cannot open is always "open file fail"); ""
    // when none failed or there is no engine. Valid until the next call.
    const char* LastProblem() const;
    // Stitches the picture at input_path into output_path; 0 on success, −1
    // (nothing written, videoStitchError called) on failure.
    int StitchImage();

    const char* input_path;   // source file
    const char* output_path;  // file to write
    int32_t pano_width;       // output size (read-back size of StitchImage)
    int32_t pano_height;
    int32_t view_w;           // render target size
    int32_t view_h;
    int32_t stitch_mode;      // 0 Twins, 1 Standard, 2 Sphere
    const char* calibration;  // calibration text, or null
    uint8_t reserved_flag;    // never read
    int32_t video_bitrate;    // kbit/s
    int32_t video_codec;      // 0 H.264 (the default), 1 HEVC: Main, 8-bit 4:2:0, tagged "hvc1"
    int32_t match_lenses;     // Twins: 1 (the default) matches the lenses' exposure and colour, 0 not
    LoomfoldCore* engine;
    VideoStitchDelegate* delegate;
};

LOOMFOLD_EXPORT int fnLoomfold();
extern LOOMFOLD_EXPORT int nLoomfold;
