// The GL view with real GL (Mesa under Xvfb): programs, camera presets,
// input, frame intake, and the pictures it shows against the scene.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QThread>
#include <QWheelEvent>

extern "C" {
#include <libavutil/frame.h>
}

#include <unistd.h>

#include <cmath>
#include <functional>

#include <opencv2/imgproc.hpp>

#include "av_player.h"
#include "gl_view.h"
#include "video_texture_player.h"
#include "view_host.h"

namespace vistamo::render {
namespace {

const QString kSamples = QStringLiteral(VISTAMO_SAMPLES_DIR);

void spin(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
}

struct TestHost : ViewHost {
    int errors = 0, fullscreens = 0;
    bool paused = true;
    void showOpenGLError() override { ++errors; }
    bool isPlayerPaused() const override { return paused; }
    bool isPlayerStopped() const override { return false; }
    void setFullscreen() override { ++fullscreens; }
};

media::VideoFrame blankFrame(int w, int h) {
    AVFrame* f = av_frame_alloc();
    f->format = AV_PIX_FMT_YUV420P;
    f->width = w;
    f->height = h;
    av_frame_get_buffer(f, 0);
    for (int p = 0; p < 3; ++p)
        memset(f->data[p], 128, size_t(f->linesize[p]) * size_t(p == 0 ? h : (h + 1) / 2));
    media::VideoFrame frame(f, 0);
    av_frame_free(&f);
    return frame;
}

class ViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        view.setMainWindow(&host);
        view.resize(640, 360);
        view.show();
        spin(100);
    }
    void sendMove(QPoint to) {
        QMouseEvent move(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&view, &move);
    }
    void sendButton(QEvent::Type type, QPoint at) {
        QMouseEvent e(type, at, Qt::LeftButton, type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
        QApplication::sendEvent(&view, &e);
    }
    void sendWheel(int delta) {
        QWheelEvent e(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(&view, &e);
    }

    TestHost host;
    GLView view;
};

TEST_F(ViewTest, ProgramsBuildOnTheDesktopContext) {
    ASSERT_TRUE(view.isGlReady());
    EXPECT_TRUE(view.standardModel().programLinked());
    EXPECT_TRUE(view.sphereModel().programLinked());
    EXPECT_TRUE(view.twinsModel().programLinked());
    EXPECT_EQ(host.errors, 0);
    EXPECT_TRUE(view.standardModel().texCoordsReady);
}

TEST_F(ViewTest, CameraPresetsPerMode) {
    const QVector3D eye = view.eye();
    EXPECT_NEAR(eye.x(), 0.5000001f, 1e-6);
    EXPECT_NEAR(eye.y(), 0.0f, 1e-6);
    view.setViewMode(Fisheye);
    spin(50);
    EXPECT_EQ(view.pitch(), -85);
    EXPECT_EQ(view.zoomLevel(), 5);
    EXPECT_EQ(view.fieldOfView(), 145);
    EXPECT_DOUBLE_EQ(view.nearPlane(), double(0.34f));
    view.setViewMode(LittlePlanet);
    spin(50);
    EXPECT_EQ(view.pitch(), 85);
    EXPECT_DOUBLE_EQ(view.viewOffset(), double(-0.9f));
    view.setCamera(33, 20, 2);
    view.setViewMode(Original);
    spin(50);
    EXPECT_EQ(view.yaw(), 33);
    EXPECT_EQ(view.pitch(), 20);
    EXPECT_EQ(view.zoomLevel(), 2);
    EXPECT_EQ(view.fieldOfView(), 75);
    EXPECT_DOUBLE_EQ(view.viewOffset(), 0.0);
    view.setViewMode(Pano);
    view.prepareFile(kSamples + "/standard.jpg");
    EXPECT_EQ(view.yaw(), 1.0);
}

TEST_F(ViewTest, DragWheelEdgeAndDoubleClick) {
    sendButton(QEvent::MouseButtonPress, {100, 100});
    sendMove({200, 100});
    EXPECT_DOUBLE_EQ(view.yaw(), -30);
    sendMove({100, -300});  // 400 pixels up: pitch 120, which the camera clamps
    spin(50);
    EXPECT_DOUBLE_EQ(view.pitch(), 85);
    sendButton(QEvent::MouseButtonRelease, {100, -300});

    const double yaw = view.yaw(), pitch = view.pitch();
    sendButton(QEvent::MouseButtonPress, {view.width() - 3, 100});
    sendMove({view.width() - 150, 200});
    EXPECT_EQ(view.yaw(), yaw);
    EXPECT_EQ(view.pitch(), pitch);
    sendButton(QEvent::MouseButtonRelease, {view.width() - 150, 200});
    EXPECT_EQ(view.cursor().shape(), Qt::ArrowCursor);

    view.setCamera(0, 0, 5);
    sendWheel(120);
    EXPECT_EQ(view.zoomLevel(), 5);
    view.setCamera(0, 0, 1);
    sendWheel(-120);
    EXPECT_EQ(view.zoomLevel(), 1);
    sendWheel(60);
    EXPECT_EQ(view.zoomLevel(), 1);
    sendWheel(240);
    EXPECT_EQ(view.zoomLevel(), 3);

    QMouseEvent twice(QEvent::MouseButtonDblClick, QPoint(10, 10), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &twice);
    EXPECT_EQ(host.fullscreens, 1);
}

// The Twins blend on a picture that is red on the left, blue on the right:
// every vertex samples red in lens A and blue in lens B, so the screen
// centre's colour tells the blend weight at the longitude looked at.
TEST_F(ViewTest, TwinsSeamsBlendAsSpecified) {
    view.setKind(Twins);
    QImage halves(64, 32, QImage::Format_ARGB32);
    for (int x = 0; x < 64; ++x)
        for (int y = 0; y < 32; ++y)
            halves.setPixel(x, y, x < 32 ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
    view.showImage(halves);
    GLSphere2FishEye& twins = view.twinsModel();
    for (size_t k = 0; k < twins.texCoordA.size(); k += 2) {
        twins.texCoordA[k] = 0.25f;
        twins.texCoordA[k + 1] = 0.5f;
        twins.texCoordB[k] = 0.75f;
        twins.texCoordB[k + 1] = 0.5f;
    }
    twins.data.fov2 = 190;  // m = 10
    twins.yaw0 = 270;
    twins.yaw1 = 90;
    twins.texCoordsReady = true;
    // Camera yaw y looks through the centre at longitude y + 180.
    struct Case {
        double longitude;
        double blue;  // weight of lens B
    };
    for (const Case& c : {Case{180, 0}, Case{0, 1}, Case{359, 1}, Case{90, 0.5}, Case{85, 0.75}, Case{275, 0.75}}) {
        view.setCamera(c.longitude - 180, 0, 3);
        spin(60);
        const QImage shot = view.grabFramebuffer();
        const QColor centre = shot.pixelColor(shot.width() / 2, shot.height() / 2);
        EXPECT_NEAR(centre.blueF(), c.blue, 0.03) << c.longitude;
        EXPECT_NEAR(centre.redF(), 1 - c.blue, 0.03) << c.longitude;
    }
    // Equal seams: lens A everywhere.
    twins.yaw1 = 270;
    view.setCamera(-180, 0, 3);
    spin(60);
    const QImage shot = view.grabFramebuffer();
    EXPECT_EQ(shot.pixelColor(shot.width() / 2, shot.height() / 2).red(), 255);
}

TEST(FrameIntake, Sizes) {
    EXPECT_EQ(intakeSize({3840, 1920}), QSize(1920, 960));
    EXPECT_EQ(intakeSize({2158, 1080}), QSize(2158, 1080));
    EXPECT_EQ(intakeSize({2162, 1081}), QSize(1080, 540));
    EXPECT_EQ(intakeSize({8192, 4096}), QSize(4096, 2048));
    EXPECT_TRUE(intakeSize({8193, 4096}).isEmpty());
}

TEST_F(ViewTest, TakeFrameHalvesLargeFramesAndIgnoresHugeOnes) {
    view.takeFrame(blankFrame(3840, 1920));
    EXPECT_EQ(view.pictureSize(), QSize(1920, 960));
    // An export starts from the decoded size, not the view's half.
    EXPECT_EQ(view.decodedSize(), QSize(3840, 1920));
    // The picture as RGB is the frame itself, at its own size.
    EXPECT_EQ(view.currentImage().size(), QSize(3840, 1920));
    EXPECT_EQ(view.currentImage().format(), QImage::Format_ARGB32);
    view.takeFrame(blankFrame(8194, 2000));
    EXPECT_EQ(view.pictureSize(), QSize(1920, 960));
    view.takeFrame(blankFrame(2158, 1080));
    EXPECT_EQ(view.pictureSize(), QSize(2158, 1080));
}

TEST_F(ViewTest, FirstFrameBuildsCoordinatesOnce) {
    view.setKind(Twins);
    EXPECT_TRUE(view.kindSwitched());
    view.takeFrame(blankFrame(960, 480));  // between setKind and prepareFile: no coordinates
    EXPECT_EQ(view.coordinateBuilds(), 0);
    view.prepareFile(kSamples + "/twins.jpg");
    EXPECT_FALSE(view.kindSwitched());
    view.takeFrame(blankFrame(960, 480));
    view.takeFrame(blankFrame(960, 480));
    EXPECT_EQ(view.coordinateBuilds(), 1);
    EXPECT_TRUE(view.twinsModel().texCoordsReady);
    EXPECT_EQ(view.twinsModel().data.frameWidth, 960);
}

TEST(ViewBeforeGL, SetKindOnlySwitches) {
    GLView view;
    view.setKind(Sphere);
    EXPECT_EQ(view.kind(), Sphere);
    EXPECT_TRUE(view.kindSwitched());
    EXPECT_EQ(view.activeModel(), &view.sphereModel());
    EXPECT_FALSE(view.isGlReady());
}

// --- Pictures against the scene ---------------------------------------

struct Camera {
    int mode;
    double yaw, pitch;
    int zoom;
};

// Shows the first frame of file in a 640 × 360 view with the camera, through
// the playback layer and VideoTexturePlayer, and grabs the framebuffer.
QImage showFirstFrame(const QString& file, int kind, const Camera& camera, int* builds = nullptr,
                      ImageData* sphereRecord = nullptr, bool matchLenses = true,
                      const std::function<void(GLView&)>& beforeGrab = {}) {
    media::AVPlayer player;
    player.masterClock()->setClockAuto(false);
    player.masterClock()->setClockType(media::AVClock::VideoClock);
    player.setMediaEndAction(media::AVPlayer::MediaEndAction_KeepDisplay);
    GLView view;
    view.resize(640, 360);
    view.show();
    spin(50);
    VideoTexturePlayer renderer;
    renderer.setView(&view);
    player.setRenderer(&renderer);
    view.setMatchLenses(matchLenses);
    view.setKind(kind);
    view.setViewMode(camera.mode);
    view.prepareFile(file);
    view.setCamera(camera.yaw, camera.pitch, camera.zoom);
    renderer.clearFrameReceived();
    player.play(file);
    QElapsedTimer t;
    t.start();
    while (!renderer.frameReceived() && t.elapsed() < 10000)
        spin(10);
    // The first frame's coordinates (and any detection) are built on the
    // presentation thread right after the flag is set.
    while (kind != Standard && view.coordinateBuilds() == 0 && t.elapsed() < 10000)
        spin(10);
    player.pause(true);
    spin(100);
    if (beforeGrab) {
        beforeGrab(view);
        spin(100);
    }
    if (builds)
        *builds = view.coordinateBuilds();
    if (sphereRecord)
        *sphereRecord = view.sphereModel().data;
    const QImage shot = view.grabFramebuffer().convertToFormat(QImage::Format_RGB32);
    player.stop();
    return shot;
}

// The same camera on a picture whose red channel is the longitude (0..255
// over 360°) and green the colatitude (0..255 over 180°).
QImage coordinateMap(const Camera& camera) {
    QImage map(1024, 512, QImage::Format_RGB32);
    for (int y = 0; y < map.height(); ++y)
        for (int x = 0; x < map.width(); ++x)
            map.setPixel(x, y, qRgb(x * 256 / map.width(), y * 256 / map.height(), 0));
    GLView view;
    view.resize(640, 360);
    view.show();
    spin(50);
    view.setKind(Standard);
    view.setViewMode(camera.mode);
    view.setCamera(camera.yaw, camera.pitch, camera.zoom);
    view.showImage(map);
    view.requestPaint();
    spin(100);
    return view.grabFramebuffer().convertToFormat(QImage::Format_RGB32);
}

// The picture at its structure: a Gaussian low-pass (σ = 1 pixel) takes out
// what a second resampling of the fisheye picture does to one-pixel edges.
QImage lowPass(const QImage& picture) {
    QImage out = picture.convertToFormat(QImage::Format_RGB32);
    cv::Mat pixels(out.height(), out.width(), CV_8UC4, out.bits(), size_t(out.bytesPerLine()));
    cv::GaussianBlur(pixels, pixels, cv::Size(5, 5), 1.0);
    return out;
}

// PSNR over the pixels that keep(longitude, colatitude) accepts.
double maskedPsnr(const QImage& a, const QImage& b, const QImage& map,
                  const std::function<bool(double, double)>& keep, int* counted) {
    double sum = 0;
    long n = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb m = map.pixel(x, y);
            if (qRed(m) == 0 && qGreen(m) == 0)
                continue;  // nothing drawn there
            if (!keep(qRed(m) * 360.0 / 256, qGreen(m) * 180.0 / 256))
                continue;
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (int d : {qRed(p) - qRed(q), qGreen(p) - qGreen(q), qBlue(p) - qBlue(q)})
                sum += double(d) * d;
            n += 3;
        }
    }
    if (counted)
        *counted = int(n / 3);
    return n == 0 || sum == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / (sum / double(n)));
}

bool awayFromTwinsSeams(double longitude, double) {
    for (double seam : {90.0, 270.0})
        if (std::fabs(longitude - seam) < 28)
            return false;
    return true;
}

TEST(ViewPictures, TwinsShowTheStandardSceneAwayFromTheSeams) {
    const Camera cameras[] = {
        {Pano, 0, 0, 3}, {Pano, 180, 0, 3}, {Pano, 40, 30, 2}, {Pano, -20, -45, 4},
        {Fisheye, 0, -85, 5}, {Fisheye, 60, -70, 4}, {LittlePlanet, 0, 85, 5}, {LittlePlanet, -30, 70, 3},
    };
    for (const Camera& c : cameras) {
        int builds = 0;
        // Stills: one frame each, so both show the scene at the same moment.
        const QImage twins = showFirstFrame(kSamples + "/twins.jpg", Twins, c, &builds);
        const QImage standard = showFirstFrame(kSamples + "/standard.jpg", Standard, c);
        const QImage map = coordinateMap(c);
        EXPECT_EQ(builds, 1);
        int counted = 0;
        const double quality = maskedPsnr(lowPass(twins), lowPass(standard), map, awayFromTwinsSeams, &counted);
        std::printf("mode %d yaw %g pitch %g zoom %d: PSNR %.2f dB over %d pixels\n", c.mode, c.yaw, c.pitch,
                    c.zoom, quality, counted);
        EXPECT_GT(counted, 10000);
        EXPECT_GE(quality, 30.0) << "mode " << c.mode << " yaw " << c.yaw << " pitch " << c.pitch;
    }
}

// The summed level of the shot's pixels whose longitude (the map's red,
// 0..255 over 360 degrees) lies from lo to hi degrees, at colatitudes from
// 50 to 130 degrees (the map's green); count gets their number.
double levelWhere(const QImage& shot, const QImage& map, double lo, double hi, int& count) {
    double sum = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x) {
            const QRgb where = map.pixel(x, y);
            const double longitude = qRed(where) * 360.0 / 256.0, colatitude = qGreen(where) * 180.0 / 256.0;
            if (longitude < lo || longitude >= hi || colatitude < 50 || colatitude > 130)
                continue;
            const QRgb c = shot.pixel(x, y);
            sum += qRed(c) + qGreen(c) + qBlue(c);
            ++count;
        }
    return sum;
}

// The live view matches the lenses of a camera whose second lens records
// 35 % brighter and 10 % bluer than the first, as the export does: across
// each seam the level keeps the balanced picture's step within 4 %.
TEST(ViewPictures, UnevenLensesAreMatchedAtTheSeams) {
    QTemporaryDir dir;
    QImage uneven(kSamples + "/twins.jpg");
    uneven = uneven.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < uneven.height(); ++y)
        for (int x = 0; x < uneven.width(); ++x) {
            const QRgb c = uneven.pixel(x, y);
            uneven.setPixel(x, y, x < uneven.width() / 2
                                      ? qRgb(int(qRed(c) / 1.35 + 0.5), int(qGreen(c) / 1.35 + 0.5), int(qBlue(c) / 1.35 + 0.5))
                                      : qRgb(qRed(c), qGreen(c), std::min(255, int(qBlue(c) * 1.1 + 0.5))));
        }
    const QString file = dir.filePath("uneven.jpg");
    ASSERT_TRUE(uneven.save(file, "JPEG", 95));
    // The camera's tags (its calibration) come along.
    ASSERT_EQ(QProcess::execute("exiftool", {"-q", "-q", "-overwrite_original", "-TagsFromFile",
                                             kSamples + "/twins.jpg", file}),
              0);
    const Camera cameras[] = {{Pano, 90, 0, 3}, {Pano, -90, 0, 3}};
    double sums[3][2][2] = {};  // balanced, matched, as recorded; seam; before, after
    int counts[2][2] = {};
    for (const Camera& c : cameras) {
        const QImage map = coordinateMap(c);
        const QImage shots[3] = {showFirstFrame(kSamples + "/twins.jpg", Twins, c),
                                 showFirstFrame(file, Twins, c), showFirstFrame(file, Twins, c, nullptr, nullptr, false)};
        for (int seam = 0; seam < 2; ++seam)
            for (int side = 0; side < 2; ++side) {
                const double centre = seam == 0 ? 90 : 270, lo = side == 0 ? centre - 35 : centre + 20;
                for (int k = 0; k < 3; ++k) {
                    int n = 0;
                    sums[k][seam][side] += levelWhere(shots[k], map, lo, lo + 15, n);
                    if (k == 0)
                        counts[seam][side] += n;
                }
            }
    }
    for (int seam = 0; seam < 2; ++seam) {
        ASSERT_GT(counts[seam][0], 2000) << seam;
        ASSERT_GT(counts[seam][1], 2000) << seam;
        const double level = sums[0][seam][0] / sums[0][seam][1];
        const double matched = sums[1][seam][0] / sums[1][seam][1] / level;
        const double recorded = sums[2][seam][0] / sums[2][seam][1] / level;
        std::printf("view, seam %d: matched %+.1f %%, as recorded %+.1f %% against the balanced picture\n", seam,
                    100 * (matched - 1), 100 * (recorded - 1));
        EXPECT_NEAR(matched, 1.0, 0.04) << seam;
        EXPECT_GT(std::fabs(recorded - 1.0), 0.15) << seam;
    }
    // Switched on while a still is shown: matched at once, as from its frame.
    const Camera c = cameras[0];
    const QImage later = showFirstFrame(file, Twins, c, nullptr, nullptr, false,
                                        [](GLView& view) { view.setMatchLenses(true); });
    const QImage atOnce = showFirstFrame(file, Twins, c);
    EXPECT_EQ(later, atOnce);
}

bool insideTheLens(double, double colatitude) { return colatitude < 105; }

TEST(ViewPictures, SphereShowsTheSceneWhereItsLensSees) {
    const Camera cameras[] = {{Fisheye, 0, -85, 5}, {Pano, 0, -40, 3}, {Pano, 120, -60, 2}};
    // The same still without its calibration: the circle is detected.
    const QString uncalibrated = QString::fromStdString(testing::TempDir()) + "/sphere-uncalibrated.jpg";
    ASSERT_TRUE(QImage(kSamples + "/sphere.jpg").save(uncalibrated, "JPEG", 95));
    for (const Camera& c : cameras) {
        const QImage standard = showFirstFrame(kSamples + "/standard.jpg", Standard, c);
        const QImage map = coordinateMap(c);
        int builds = 0, counted = 0;
        const QImage calibrated = showFirstFrame(kSamples + "/sphere.jpg", Sphere, c, &builds);
        EXPECT_EQ(builds, 1);
        const double withCalibration =
            maskedPsnr(lowPass(calibrated), lowPass(standard), map, insideTheLens, &counted);
        ImageData found;
        const QImage detected = showFirstFrame(uncalibrated, Sphere, c, &builds, &found);
        EXPECT_EQ(builds, 1);
        const double withDetection = maskedPsnr(lowPass(detected), lowPass(standard), map, insideTheLens, nullptr);
        std::printf("sphere mode %d yaw %g pitch %g: calibrated %.2f dB, detected %.2f dB over %d pixels\n",
                    c.mode, c.yaw, c.pitch, withCalibration, withDetection, counted);
        EXPECT_GT(counted, 5000);
        EXPECT_GE(withCalibration, 30.0);
        // Detection finds the calibrated circle within two pixels, but the
        // effective radius moves in steps of two with the centre's parity,
        // which shifts the rim's hard edges by about 1 % of the radius.
        ASSERT_EQ(found.lenses.size(), 1u);
        EXPECT_NEAR(found.lenses[0].radius, 208, 2);
        EXPECT_NEAR(found.lenses[0].centerX, 240, 2);
        EXPECT_NEAR(found.lenses[0].centerY, 240, 2);
        EXPECT_FLOAT_EQ(found.fov, 236.0f);
        EXPECT_GE(withDetection, 16.0);
    }
}

double meanLevel(const QImage& picture) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB32);
    double sum = 0;
    for (int y = 0; y < rgb.height(); ++y)
        for (int x = 0; x < rgb.width(); ++x)
            sum += qGray(rgb.pixel(x, y));
    return sum / std::max(1, rgb.width() * rgb.height());
}

// Moving a live view into another window takes its surface along: its
// programs and texture still work there, and the picture stays.
TEST(ViewContext, ReparentingALiveViewKeepsThePicture) {
    QWidget first, second;
    first.resize(660, 380);
    second.resize(660, 380);
    auto* view = new GLView(&first);  // owned by its parent
    view->resize(640, 360);
    first.show();
    spin(100);
    view->setKind(Standard);
    view->showImage(QImage(kSamples + "/standard.jpg"));
    view->requestPaint();
    spin(100);
    const QImage before = view->grabFramebuffer();
    ASSERT_GT(meanLevel(before), 30.0);

    for (QWidget* window : {&second, &first}) {
        view->setParent(window);
        view->resize(640, 360);
        view->show();
        window->show();
        spin(200);
        ASSERT_TRUE(view->isGlReady());
        EXPECT_TRUE(view->standardModel().programLinked());
        EXPECT_TRUE(view->sphereModel().programLinked());
        EXPECT_TRUE(view->twinsModel().programLinked());
        const QImage after = view->grabFramebuffer();
        EXPECT_NEAR(meanLevel(after), meanLevel(before), 1.0) << "a black or different view after re-parenting";
    }
}

// The view and the Converter find one circle on an uncalibrated one-lens
// still: the Converter's export with its own detection is byte for byte the
// export with the circle the view found.
TEST(ViewPictures, ViewAndConverterFindTheSameCircle) {
    const QString dir = QString::fromStdString(testing::TempDir()) + "/same-circle-" + QString::number(getpid());
    QDir().mkpath(dir);
    const QString uncalibrated = dir + "/sphere.jpg";
    ASSERT_TRUE(QImage(kSamples + "/sphere.jpg").save(uncalibrated, "JPEG", 95));
    ImageData found;
    int builds = 0;
    showFirstFrame(uncalibrated, Sphere, {Pano, 0, 0, 3}, &builds, &found);
    ASSERT_EQ(builds, 1);
    ASSERT_EQ(found.lenses.size(), 1u);
    const QString viewText = QStringLiteral("5_%1_%2_%3_%4_%5_236_0_0_0")
                                 .arg(found.lenses[0].radius)
                                 .arg(found.lenses[0].centerX)
                                 .arg(found.lenses[0].centerY)
                                 .arg(found.frameWidth)
                                 .arg(found.frameHeight);
    auto exportWith = [&](const QString& text, const QString& out) {
        QProcess converter;
        converter.start(QStringLiteral(CONVERTER_PATH),
                        {"sphere-image", uncalibrated, out, "960", "480", text, "0", "20"});
        return converter.waitForFinished(60000) && converter.exitCode() == 0;
    };
    ASSERT_TRUE(exportWith(QStringLiteral("5_5_0_0_0_0_0_0_0_0"), dir + "/detected.jpg"));
    ASSERT_TRUE(exportWith(viewText, dir + "/view.jpg"));
    QFile a(dir + "/detected.jpg"), b(dir + "/view.jpg");
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_TRUE(a.readAll() == b.readAll()) << "the view found " << viewText.toStdString();
    QDir(dir).removeRecursively();
}

// Flat clips of RGB (200, 60, 30) coded four ways: the view shows that
// colour whatever matrix and range the stream says it holds, flat (Standard)
// and stitched (Twins, which mixes both lenses at the seams).
TEST(ViewPictures, FlatClipsShowTheirTrueColours) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    struct Coding {
        const char* name;
        QStringList tags;  // ffmpeg output options
        const char* scale;  // the coding, as the scale filter's output options
    };
    const Coding codings[] = {
        {"bt601-limited.mp4", {"-colorspace", "bt470bg", "-color_range", "tv"}, "out_color_matrix=bt601:out_range=tv"},
        {"bt709-limited.mp4", {"-colorspace", "bt709", "-color_range", "tv"}, "out_color_matrix=bt709:out_range=tv"},
        {"bt709-full.mp4", {"-colorspace", "bt709", "-color_range", "pc"}, "out_color_matrix=bt709:out_range=pc"},
        {"still.jpg", {"-frames:v", "1"}, nullptr},
    };
    for (const Coding& coding : codings) {
        const QString path = dir.filePath(coding.name);
        QStringList args{"-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
                         "color=c=0xC83C1E:s=960x480:r=25:d=1,format=rgb24"};
        if (coding.scale)
            args << "-vf" << QString("scale=%1,format=yuv420p").arg(coding.scale) << "-c:v" << "libx264";
        args << coding.tags << path;
        QProcess ffmpeg;
        ffmpeg.start("ffmpeg", args);
        ASSERT_TRUE(ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0) << coding.name;
        for (int kind : {Standard, Twins}) {
            const QImage shot = showFirstFrame(path, kind, {Pano, 0, 0, 3});
            ASSERT_FALSE(shot.isNull());
            const QRgb centre = shot.pixel(shot.width() / 2, shot.height() / 2);
            std::printf("%s kind %d: %d %d %d\n", coding.name, kind, qRed(centre), qGreen(centre), qBlue(centre));
            EXPECT_LE(std::abs(qRed(centre) - 200), 4) << coding.name << " kind " << kind;
            EXPECT_LE(std::abs(qGreen(centre) - 60), 4) << coding.name << " kind " << kind;
            EXPECT_LE(std::abs(qBlue(centre) - 30), 4) << coding.name << " kind " << kind;
        }
    }
}

}  // namespace
}  // namespace vistamo::render
