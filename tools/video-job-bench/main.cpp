// video-job-bench: runs one Loomfold video job through the facade, paced at
// the media's own speed or as fast as it renders, and prints its figures.
//
//   video-job-bench [--paced] IN OUT WIDTH HEIGHT MBPS
//
// The calibration is the one the file carries. Prints "frames N seconds S
// fps F" on success; one line and exit 1 otherwise.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "loomfold/loomfold.h"

int main(int argc, char** argv) {
    int first = 1;
    const bool paced = argc > 1 && std::strcmp(argv[1], "--paced") == 0;
    if (paced)
        ++first;
    if (argc - first != 5) {
        std::fputs("usage: video-job-bench [--paced] IN OUT WIDTH HEIGHT MBPS\n", stderr);
        return 2;
    }
    Loomfold job;
    job.input_path = argv[first];
    job.output_path = argv[first + 1];
    job.pano_width = job.view_w = std::atoi(argv[first + 2]);
    job.pano_height = job.view_h = std::atoi(argv[first + 3]);
    job.stitch_mode = 0;
    job.video_bitrate = std::atoi(argv[first + 4]) * 1000;
    int frames = 0;
    std::string error;
    auto* delegate = new VideoStitchDelegate;
    delegate->videoStitchState = [&frames](int64_t, int64_t) { ++frames; };
    delegate->videoStitchError = [&error](int, const std::string& message) { error = message; };
    job.SetDelegate(delegate);
    const auto start = std::chrono::steady_clock::now();
    if (job.InitGLES2() != 0 || job.SetPaced(paced) != 0 || job.Stitch() != 0) {
        std::fprintf(stderr, "video-job-bench: %s\n", error.c_str());
        return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("frames %d seconds %.2f fps %.2f\n", frames, seconds, frames / seconds);
    return 0;
}
