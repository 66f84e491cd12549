// Exports from the real main window under a display, as a user runs them:
// the dialog filled and accepted, the converter running with the progress
// bar and the button's animation, then the file read back with ffprobe,
// exiftool and the generator's scene; failing converters, a target on
// another file system, and closing the window during an export.
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>

#include <opencv2/core.hpp>

#include <functional>

#include "bottom_bar.h"
#include "export_dialog.h"
#include "feedback.h"
#include "gl_view.h"
#include "main_window.h"
#include "picture_compare.h"
#include "resources.h"
#include "title_bar.h"
#include "type_bar.h"
#include "video_inspect.h"
#include "video_texture_player.h"

using namespace vistamo;

namespace {

const QString kSamples = QStringLiteral(VISTAMO_SAMPLES_DIR);

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes, bool executable = false) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
    f.close();
    if (executable)
        f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

QString run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

// What program prints on stderr.
QString warningsOf(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardError()).trimmed();
}

}  // namespace

class ExportWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::unique_ptr<app::MainWindow> window_;
    QStringList messages_;
    int closeAnswer_ = 0;                       // how the close question is answered
    std::function<void()> duringExport_;        // runs once progress passes 10
    QList<int> progress_;
    QSet<QString> buttonLooks_;

    app::MainWindow& window() { return *window_; }

    void open(const QString& file) {
        window().openMediaFile(file);
        QElapsedTimer t;
        t.start();
        while (!window().frameRenderer()->frameReceived() && t.elapsed() < 10000)
            QTest::qWait(20);
        QTest::qWait(200);
        QVERIFY(window().frameRenderer()->frameReceived());
    }

    // Runs one export through the export button: the dialog gets target
    // (and width and format, when given) and is accepted. True when it
    // reported success.
    bool exportTo(const QString& target, const QString& width = QString(), const QString& format = QString()) {
        messages_.clear();
        progress_.clear();
        buttonLooks_.clear();
        window().setExportDialogRunner([&](exporting::ExportDialog& dialog) {
            dialog.show();
            if (!width.isEmpty()) {
                dialog.widthEdit()->setFocus();
                dialog.widthEdit()->setText(width);
            }
            dialog.exportPathEdit()->setText(target);
            if (!format.isEmpty())
                dialog.formatCombo()->setCurrentText(format);
            connect(dialog.progressBar(), &QProgressBar::valueChanged, this, [this](int v) {
                progress_ << v;
                if (v >= 10 && duringExport_) {
                    auto act = std::move(duringExport_);
                    duringExport_ = nullptr;
                    QTimer::singleShot(0, this, act);
                }
            });
            dialog.okButton()->click();
            return dialog.result();
        });
        QTimer sampler;
        connect(&sampler, &QTimer::timeout, this,
                [this] { buttonLooks_ << window().controlBar()->exportButton()->styleSheet(); });
        sampler.start(30);
        window().controlBar()->exportButton()->click();
        // The export runs on without blocking the window: wait for its end
        // (the dialog goes), or for the window to close.
        QElapsedTimer waited;
        waited.start();
        while (window().exportDialog() && window().isVisible() &&
               waited.elapsed() < 180000)
            QTest::qWait(20);
        QTest::qWait(100);  // the queued end
        sampler.stop();
        return !messages_.isEmpty() && messages_.last().contains("has been exported successfully");
    }

private slots:
    void initTestCase() { ui::initResources(); }

    void init() {
        window_ = std::make_unique<app::MainWindow>(nullptr, QStringLiteral("en_US"), dir_.filePath("p.ini"),
                                                    QSize(1000, 600), dir_.filePath("p.plist"));
        window().setDialogRunner([this](ui::Feedback& dialog) {
            messages_ << dialog.message();
            return dialog.message().startsWith("Exporting now") ? closeAnswer_ : 0;
        });
        window().setExportTools(QStringLiteral(CONVERTER_PATH), QString());
        QDir(dir_.path()).mkpath("user");
        window().setExportFolder(dir_.filePath("user"));
        window().initPlayList();
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
    }

    void cleanup() {
        if (window_)
            window().close();
        window_.reset();
        QFile::remove(dir_.filePath("p.plist"));
    }

    void twinsVideoBecomesASphericalPanorama_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("codec");
        QTest::addColumn<QString>("tag");
        QTest::newRow("H.264") << "H.264" << "h264" << "avc1";
        QTest::newRow("H.265") << "H.265" << "hevc" << "hvc1";
    }
    void twinsVideoBecomesASphericalPanorama() {
        QFETCH(QString, format);
        open(kSamples + "/twins.mp4");
        const QString target = dir_.filePath("pano.mp4");
        // The sample is 960 wide; the dialog takes no width beyond the source.
        QVERIFY2(exportTo(target, "960", format), qPrintable(messages_.join('\n')));
        const QString stream = run("ffprobe", {"-v", "error", "-select_streams", "v", "-show_entries",
                                              "stream=codec_name,codec_tag_string,profile", "-of", "csv=p=0", target});
        QTEST(stream.split(',').value(0), "codec");
        QTEST(stream.split(',').value(2).trimmed(), "tag");
        // Read without a warning: V1 and V2 (with its header) alike.
        QCOMPARE(warningsOf("ffprobe", {"-v", "warning", "-show_streams", target}), QString());
        // The bar moved, the button animated and came back.
        QVERIFY(progress_.size() >= 3);
        QVERIFY(progress_.contains(100) || progress_.last() >= 90);
        QVERIFY(buttonLooks_.size() >= 3);
        QVERIFY(window().controlBar()->exportButton()->styleSheet().contains("export.png"));
        QCOMPARE(window().controlBar()->exportButton()->toolTip(), QStringLiteral("Export"));
        QVERIFY(window().exportDialog() == nullptr);
        const QString side = run("ffprobe", {"-v", "error", "-select_streams", "v", "-show_entries",
                                            "stream_side_data=side_data_type,projection", "-of", "compact=p=0", target});
        QVERIFY2(side.contains("projection=equirectangular"), qPrintable(side));
        testing::FrameReader stitched(target.toStdString(), 960, 480),
            scene((kSamples + "/standard.mp4").toStdString(), 960, 480);
        cv::Mat a, b;
        QVERIFY(scene.next(b));
        const cv::Mat mask = testing::awayFromSeams(cv::Size(960, 480), 15);
        double worst = 99;
        int frames = 0;
        while (stitched.next(a) && scene.next(b)) {
            worst = std::min(worst, testing::psnr(testing::lowPass(a), testing::lowPass(testing::turnedHalfAround(b)), mask));
            ++frames;
        }
        qInfo("exported twins video: %d frames, worst PSNR %.2f dB away from the seams", frames, worst);
        QCOMPARE(frames, 89);
        QVERIFY(worst >= 32.0);
        // Nothing is left in the user folder.
        QCOMPARE(QDir(dir_.filePath("user")).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void twinsStillCarriesTheGPanoSet() {
        open(kSamples + "/twins.jpg");
        const QString target = dir_.filePath("pano.jpg");
        QVERIFY2(exportTo(target), qPrintable(messages_.join('\n')));
        QCOMPARE(run("exiftool", {"-s3", "-ProjectionType", target}), QStringLiteral("equirectangular"));
        QCOMPARE(run("exiftool", {"-s3", "-UsePanoramaViewer", target}), QStringLiteral("True"));
        QCOMPARE(run("exiftool", {"-s3", "-FullPanoWidthPixels", target}), QStringLiteral("960"));
        QCOMPARE(run("exiftool", {"-s3", "-CroppedAreaImageHeightPixels", target}), QStringLiteral("480"));
        QCOMPARE(run("exiftool", {"-s3", "-FullPanoHeightPixels", target}), QStringLiteral("480"));
        QCOMPARE(run("exiftool", {"-s3", "-CroppedAreaImageWidthPixels", target}), QStringLiteral("960"));
        QCOMPARE(run("exiftool", {"-s3", "-CroppedAreaLeftPixels", target}), QStringLiteral("0"));
        QCOMPARE(run("exiftool", {"-s3", "-CroppedAreaTopPixels", target}), QStringLiteral("0"));
        QCOMPARE(run("exiftool", {"-s3", "-PoseHeadingDegrees", target}), QStringLiteral("0"));
        QCOMPARE(run("exiftool", {"-s3", "-Make", target}), QStringLiteral("Tessaly"));
        QCOMPARE(run("exiftool", {"-s3", "-CameraSerialNumber", target}),
                 run("exiftool", {"-s3", "-SerialNumber", kSamples + "/twins.jpg"}));
    }

    void sphereVideoAndStillAndAStandardCopy() {
        open(kSamples + "/sphere.mp4");
        QVERIFY2(exportTo(dir_.filePath("sphere_pano.mp4")), qPrintable(messages_.join('\n')));
        QVERIFY(QFileInfo(dir_.filePath("sphere_pano.mp4")).size() > 0);
        open(kSamples + "/sphere.jpg");
        QVERIFY2(exportTo(dir_.filePath("sphere_pano.jpg")), qPrintable(messages_.join('\n')));
        QCOMPARE(run("exiftool", {"-s3", "-ProjectionType", dir_.filePath("sphere_pano.jpg")}),
                 QStringLiteral("equirectangular"));
        open(kSamples + "/standard.jpg");
        // Another file system for the target: copied, then named.
        QTemporaryDir shm(QStringLiteral("/dev/shm/vistamo-window-XXXXXX"));
        const QString copy = shm.filePath("copy.jpg");
        QVERIFY2(exportTo(copy), qPrintable(messages_.join('\n')));
        QCOMPARE(readAll(copy), readAll(kSamples + "/standard.jpg"));
    }

    void failingConvertersKeepTheOldTarget_data() {
        QTest::addColumn<QByteArray>("script");
        QTest::newRow("exits 1") << QByteArray("#!/bin/sh\necho 'Export_Progress 50' >&2\nexit 1\n");
        QTest::newRow("crashes") << QByteArray("#!/bin/sh\necho 'Export_Progress 30' >&2\nkill -SEGV $$\n");
        QTest::newRow("cannot start") << QByteArray("#!/nonexistent/interpreter\n");
        QTest::newRow("writes nothing") << QByteArray("#!/bin/sh\necho 'Export_Progress 100' >&2\nexit 0\n");
    }
    void failingConvertersKeepTheOldTarget() {
        QFETCH(QByteArray, script);
        const QString stand = dir_.filePath("stand-in");
        writeAll(stand, script, true);
        window().setExportTools(stand, QString());
        open(kSamples + "/twins.jpg");
        const QString target = dir_.filePath("kept.jpg");
        writeAll(target, "an older export");
        QVERIFY(!exportTo(target));
        QCOMPARE(messages_, QStringList{"Export failed!"});
        QCOMPARE(readAll(target), QByteArray("an older export"));
        QCOMPARE(QDir(dir_.filePath("user")).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    void closingDuringAnExportAsksFirst() {
        open(kSamples + "/twins.mp4");
        const QString target = dir_.filePath("closing.mp4");
        writeAll(target, "an older export");
        // "Cancel": the window stays and the export completes.
        closeAnswer_ = 0;
        duringExport_ = [this] { window().titleBar()->closeButton()->click(); };
        QVERIFY(exportTo(target));
        QVERIFY(window().isVisible());
        QCOMPARE(messages_.size(), 2);
        QVERIFY(messages_[0].startsWith("Exporting now, closing Vistamo Player will stop the export."));
        QVERIFY(QFileInfo(target).size() > 1000);
        // "Close": the converter stops, nothing is written, the window goes.
        writeAll(target, "an older export");
        closeAnswer_ = QDialog::Accepted;
        duringExport_ = [this] { window().titleBar()->closeButton()->click(); };
        exportTo(target);
        QTRY_VERIFY_WITH_TIMEOUT(!window().isVisible(), 5000);
        QCOMPARE(readAll(target), QByteArray("an older export"));
        QTRY_COMPARE_WITH_TIMEOUT(QDir(dir_.filePath("user")).entryList(QDir::Files | QDir::Hidden), QStringList(),
                                  5000);
        window_.reset();
    }
};

QTEST_MAIN(ExportWindowTest)
#include "export_window_test.moc"
