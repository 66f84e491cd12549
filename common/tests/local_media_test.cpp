// The one media opener: regular local files only, whatever the name says.
#include <gtest/gtest.h>
#include <sys/stat.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include <string>

#include "local_media.h"
#include "tool_run.h"

namespace {

using vistamo::media::openLocalMedia;

int openAndClose(const std::string& path, std::string* reason) {
    AVFormatContext* context = nullptr;
    const int rc = openLocalMedia(&context, path, nullptr, nullptr, reason);
    EXPECT_EQ(rc < 0, context == nullptr);
    avformat_close_input(&context);
    return rc;
}

}  // namespace

TEST(LocalMedia, OpensRegularFilesByNameAndNothingElse) {
    vistamo::testing::ScratchFolder dir;
    const std::string sample = std::string(VISTAMO_SAMPLES_DIR) + "/twins.mp4";
    std::string reason;
    EXPECT_GE(openAndClose(sample, &reason), 0) << reason;
    // Names that other protocols would take are files here.
    vistamo::testing::copyFile(sample, dir / "concat:a.mp4");
    EXPECT_GE(openAndClose(dir / "concat:a.mp4", &reason), 0) << reason;
    EXPECT_LT(openAndClose("http://127.0.0.1:9/x.mp4", &reason), 0);
    EXPECT_EQ(reason, "no such file or directory");
    // A FIFO is refused by its type, without blocking, and a pre-allocated
    // context is freed as a failed open frees it.
    ASSERT_EQ(mkfifo((dir / "fifo.mp4").c_str(), 0600), 0);
    AVFormatContext* context = avformat_alloc_context();
    EXPECT_EQ(openLocalMedia(&context, dir / "fifo.mp4", nullptr, nullptr, &reason), AVERROR(EINVAL));
    EXPECT_EQ(context, nullptr);
    EXPECT_EQ(reason, "is a FIFO, not a regular file");
    EXPECT_LT(openAndClose(dir.path(), &reason), 0);
    EXPECT_EQ(reason, "is a directory");
}
