// The player's sound for real: a private PulseAudio server with a null sink
// (started here, as CI has no other), its monitor recorded while the main
// window plays a tone: the tone arrives, follows the volume bar, and stops
// on mute and on pause.
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSlider>
#include <QToolButton>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "bottom_bar.h"
#include "feedback.h"
#include "main_window.h"
#include "progress_slider.h"
#include "resources.h"
#include "video_texture_player.h"

using namespace vistamo;

namespace {

// The monitor of the null sink, recorded as 16-bit stereo at 44.1 kHz into
// a file that is read as it grows.
class Recorder {
public:
    explicit Recorder(const QString& path) : path_(path) {}
    void start() {
        // Read through a pipe: parec writes nothing when its output is a
        // regular file. parec itself is the child, so that killing it leaves
        // no recording stream behind to change the sink's latency.
        QVERIFY(file_.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QObject::connect(&parec_, &QProcess::readyReadStandardOutput,
                         [this] { file_.write(parec_.readAllStandardOutput()), file_.flush(); });
        parec_.start(QStringLiteral("parec"), {"-d", "vistamo_test.monitor", "--format=s16le", "--rate=44100",
                                               "--channels=2", "--latency-msec=20"});
        QVERIFY(parec_.waitForStarted(5000));
    }
    ~Recorder() {
        parec_.kill();
        parec_.waitForFinished(2000);
    }
    // The RMS of what arrived while waiting ms milliseconds.
    double rmsOver(int ms) {
        const qint64 from = QFileInfo(path_).size();
        QTest::qWait(ms);
        QFile file(path_);
        if (!file.open(QIODevice::ReadOnly) || !file.seek(from & ~qint64(3)))
            return -1;
        const QByteArray bytes = file.readAll();
        const auto* samples = reinterpret_cast<const int16_t*>(bytes.constData());
        const int n = bytes.size() / 2;
        double sum = 0;
        for (int k = 0; k < n; ++k)
            sum += double(samples[k]) * samples[k];
        lastBytes_ = bytes.size();
        return n ? std::sqrt(sum / n) : 0;
    }
    int lastBytes() const { return lastBytes_; }

private:
    QString path_;
    QFile file_{path_};
    QProcess parec_;
    int lastBytes_ = 0;
};

// The times (seconds, the capture's wall clock) at which a series read by
// ffprobe from `filter` (a lavfi source) first rises above threshold.
std::vector<double> onsets(const QString& filter, const QString& tag, double threshold) {
    QProcess probe;
    probe.start(QStringLiteral("ffprobe"), {"-v", "error", "-f", "lavfi", filter, "-show_entries",
                                            "frame=pts_time:frame_tags=" + tag, "-of", "csv=p=0"});
    if (!probe.waitForFinished(60000) || probe.exitCode() != 0)
        return {};
    std::vector<double> times;
    bool above = false;
    for (const QByteArray& line : probe.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> fields = line.trimmed().split(',');
        if (fields.size() < 2)
            continue;
        bool ok = false;
        const double t = fields[0].toDouble(&ok);
        const double value = fields[1] == "-inf" ? -1e9 : fields[1].toDouble();
        if (!ok)
            continue;
        if (value > threshold && !above)
            times.push_back(t);
        above = value > threshold;
    }
    return times;
}

}  // namespace

class SoundTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;

private slots:
    void initTestCase() {
        ui::initResources();
        // An 8-second clip with a 440 Hz tone.
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     {"-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i", "testsrc=s=320x160:d=8:r=25", "-f", "lavfi",
                      "-i", "sine=f=440:d=8", "-c:v", "libx264", "-c:a", "aac", "-shortest", dir_.filePath("tone.mp4")});
        QVERIFY(ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0);
        // A white flash and a 1 kHz beep of 100 ms at every whole second.
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     {"-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
                      "color=c=black:s=320x160:r=30:d=12,drawbox=c=white:t=fill:enable='lt(mod(t,1),0.1)'", "-f",
                      "lavfi", "-i", "aevalsrc='if(lt(mod(t,1),0.1),0.5*sin(2*PI*1000*t),0)':s=48000:d=12", "-c:v",
                      "libx264", "-pix_fmt", "yuv420p", "-c:a", "aac", "-shortest", dir_.filePath("flash.mp4")});
        QVERIFY(ffmpeg.waitForFinished(60000) && ffmpeg.exitCode() == 0);
    }

    void toneFollowsVolumeMuteAndPause() {
        app::MainWindow window(nullptr, QStringLiteral("en_US"), dir_.filePath("VistamoPlayer.ini"), QSize(800, 500),
                               dir_.filePath("VistamoPlayer.plist"));
        window.setDialogRunner([](ui::Feedback&) { return 0; });
        window.show();
        Recorder recorder(dir_.filePath("monitor.raw"));
        recorder.start();
        // The recording stream takes a moment to flow; before any sound it is silence.
        QVERIFY(recorder.rmsOver(1200) < 50);
        window.openMediaFile(dir_.filePath("tone.mp4"));
        QTRY_VERIFY_WITH_TIMEOUT(window.player()->position() > 500, 8000);
        const double loud = recorder.rmsOver(600);  // volume bar at 50: gain 2.0
        QVERIFY2(loud > 3000, qPrintable(QString("rms %1 over %2 bytes, file %3").arg(loud).arg(recorder.lastBytes()).arg(QFileInfo(dir_.filePath("monitor.raw")).size())));
        window.controlBar()->volumeSlider()->setValue(25);  // gain 1.0
        recorder.rmsOver(300);  // what the device had already taken
        const double half = recorder.rmsOver(600);
        QVERIFY2(half > loud * 0.3 && half < loud * 0.7, qPrintable(QString("%1 then %2").arg(loud).arg(half)));
        window.controlBar()->volumeButton()->click();  // mute
        recorder.rmsOver(300);
        const double muted = recorder.rmsOver(500);
        QVERIFY2(muted < loud * 0.02, qPrintable(QString::number(muted)));
        window.controlBar()->volumeButton()->click();  // sound again
        recorder.rmsOver(300);
        QVERIFY(recorder.rmsOver(400) > loud * 0.3);
        // In step: over one second of the wall clock the picture's clock and
        // the sound both advance by about one second.
        const qint64 from = window.player()->position();
        const double during = recorder.rmsOver(1000);
        const qint64 advanced = window.player()->position() - from;
        QVERIFY2(advanced > 800 && advanced < 1200, qPrintable(QString::number(advanced)));
        QVERIFY(during > loud * 0.3);
        QVERIFY2(recorder.lastBytes() > 44100 * 4 * 8 / 10, qPrintable(QString::number(recorder.lastBytes())));
        window.player()->pause(true);
        recorder.rmsOver(300);
        const double paused = recorder.rmsOver(500);
        QVERIFY2(paused < loud * 0.02, qPrintable(QString::number(paused)));
        window.close();
    }

    // Lip sync as a viewer meets it: the screen and the sink's monitor are
    // recorded by one ffmpeg, both stamped with the wall clock, and each
    // beep must come within 45 ms of its flash. The recording starts before
    // the clip so that its own start-up settles first.
    void beepMeetsItsFlash() {
        app::MainWindow window(nullptr, QStringLiteral("en_US"), dir_.filePath("VistamoPlayer.ini"), QSize(800, 500),
                               dir_.filePath("VistamoPlayer.plist"));
        window.setDialogRunner([](ui::Feedback&) { return 0; });
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        // The picture fills the window above the control bar, its centre too.
        const QPoint spot = window.mapToGlobal(window.rect().center()) - QPoint(16, 48);
        const QString capture = dir_.filePath("capture.mkv");
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     {"-v", "error", "-nostdin", "-y", "-t", "11", "-f", "x11grab", "-framerate", "60", "-video_size",
                      "32x32", "-i", QString("%1+%2,%3").arg(qEnvironmentVariable("DISPLAY")).arg(spot.x()).arg(spot.y()),
                      "-t", "11", "-f", "pulse", "-i", "vistamo_test.monitor", "-copyts", "-map", "0:v", "-pix_fmt", "yuv444p", "-c:v", "ffv1",
                      "-map", "1:a", "-c:a", "pcm_s16le", capture});
        QVERIFY(ffmpeg.waitForStarted(5000));
        QTest::qWait(1500);
        window.openMediaFile(dir_.filePath("flash.mp4"));
        QTRY_VERIFY_WITH_TIMEOUT(ffmpeg.state() == QProcess::NotRunning, 20000);
        QVERIFY2(ffmpeg.exitCode() == 0, ffmpeg.readAllStandardError().constData());
        window.close();

        const std::vector<double> flashes =
            onsets("movie=" + capture + ",signalstats", "lavfi.signalstats.YMAX", 128);
        // 5 ms pieces of sound; a beep is far above -30 dB, silence far below.
        const std::vector<double> beeps = onsets(
            "amovie=" + capture + ",asetnsamples=n=240,astats=metadata=1:reset=1", "lavfi.astats.Overall.RMS_level", -30);
        QVERIFY2(flashes.size() >= 5, qPrintable(QString("%1 flashes").arg(flashes.size())));
        std::vector<double> offsets;
        QString seen;
        // The clip's first second is left out: while the window and the sound
        // device start, the two settle (see docs/playback.md).
        double start = flashes.front();
        if (!beeps.empty())
            start = std::min(start, beeps.front());
        for (size_t k = 0; k < flashes.size(); ++k) {
            if (flashes[k] < start + 1.5)
                continue;
            double nearest = 1e9;
            for (double beep : beeps)
                if (std::abs(beep - flashes[k]) < std::abs(nearest))
                    nearest = beep - flashes[k];
            if (std::abs(nearest) < 0.5) {
                offsets.push_back(nearest * 1000);
                seen += QString(" %1").arg(std::lround(nearest * 1000));
            }
        }
        qInfo("beep after flash, ms:%s", qPrintable(seen));
        QVERIFY2(offsets.size() >= 4, qPrintable(seen));
        std::vector<double> sorted = offsets;
        std::sort(sorted.begin(), sorted.end());
        const double median = sorted[sorted.size() / 2];
        // Each reading carries the grab's 17 ms frame step and the sound
        // input's stamping jitter (up to about 20 ms): the typical offset
        // must be within 45 ms, each single one within that plus the jitter.
        QVERIFY2(std::abs(median) <= 45, qPrintable(seen));
        for (double offset : offsets)
            QVERIFY2(std::abs(offset) <= 45 + 40, qPrintable(seen));
    }
};

// The server must run before Qt Multimedia looks for a device; it is this
// process's child and ends with it.
int main(int argc, char** argv) {
    QTemporaryDir runtime;
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    qputenv("PULSE_SERVER", QFile::encodeName(QStringLiteral("unix:") + runtime.path() + QStringLiteral("/pulse/native")));
    QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const pid_t server = fork();
    if (server == 0) {
        const int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, STDERR_FILENO);
        execlp("pulseaudio", "pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n", "--log-level=error",
               "--load=module-null-sink sink_name=vistamo_test", "--load=module-native-protocol-unix",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    bool ready = false;
    for (int k = 0; k < 100 && !ready; ++k) {
        ready = std::system("pactl info >/dev/null 2>&1") == 0;
        if (!ready)
            usleep(100 * 1000);
    }
    int rc = 1;
    if (!ready) {
        std::fprintf(stderr, "sound_test: cannot start a private PulseAudio server\n");
    } else {
        QApplication app(argc, argv);
        SoundTest test;
        rc = QTest::qExec(&test, argc, argv);
    }
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    return rc;
}

#include "sound_test.moc"
