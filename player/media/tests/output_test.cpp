// The widget renderer in a real window.
#include <gtest/gtest.h>

#include <QWidget>

#include "media_test_support.h"
#include "video_output.h"

namespace vistamo::media {
namespace {

TEST(VideoOutputWidget, DrawsFramesLetterboxed) {
    VideoOutput output;
    QWidget* widget = output.widget();
    widget->resize(400, 400);
    widget->show();
    AVPlayer player;
    player.setRenderer(&output);
    player.setMediaEndAction(AVPlayer::MediaEndAction_KeepDisplay);
    player.play(test::fixture("still.jpg"));
    ASSERT_TRUE(test::waitFor([&] { return output.currentFrame().isValid(); }));
    test::spin(200);
    const QImage shot = widget->grab().toImage();
    ASSERT_EQ(shot.size(), QSize(400, 400));
    // A 2:1 picture in a square: black bars above and below, picture between.
    EXPECT_EQ(shot.pixelColor(200, 20), QColor(Qt::black));
    EXPECT_EQ(shot.pixelColor(200, 380), QColor(Qt::black));
    const QImage source = output.currentFrame().toImage(QImage::Format_RGB32, QSize(400, 200));
    const QColor expected = source.pixelColor(100, 100), shown = shot.pixelColor(100, 200);
    EXPECT_NEAR(shown.red(), expected.red(), 24);
    EXPECT_NEAR(shown.green(), expected.green(), 24);
    EXPECT_NEAR(shown.blue(), expected.blue(), 24);
    player.stop();
}

}  // namespace
}  // namespace vistamo::media
