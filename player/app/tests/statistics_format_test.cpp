// The overlay's lines for given figures: what a user reads off them.
#include <QtTest>

#include "statistics_overlay.h"

using namespace vistamo;

class StatisticsFormatTest : public QObject {
    Q_OBJECT
private slots:
    void linesForAPlayingClip() {
        media::PlaybackStatistics stats;
        stats.decoder = "VAAPI";
        stats.hardware = true;
        stats.size = QSize(3840, 1920);
        stats.frameRate = 29.97;
        stats.colour = "BT.709 limited";
        stats.sourceFrames = 900;
        stats.decoded = 412;
        stats.shown = 400;
        stats.dropped = 7;
        const QStringList lines = app::formatStatistics(stats, {58.04, 24.96});
        QCOMPARE(lines, QStringList({"Decoder: VAAPI (hardware)", "Source: 3840×1920 at 29.97 fps",
                                     "Colour: BT.709 limited", "Frames: decoded 412, shown 400, dropped 7 of 900",
                                     "View: 58.0 paints/s, 25.0 new frames/s"}));
    }
    void unknownFiguresAreSaidSo() {
        // Nothing open yet, or a stream that tells neither rate nor count.
        QCOMPARE(app::formatStatistics({}, {}),
                 QStringList({"Decoder: none", "Frames: decoded 0, shown 0, dropped 0 of ?",
                              "View: 0.0 paints/s, 0.0 new frames/s"}));
        media::PlaybackStatistics stats;
        stats.decoder = "FFmpeg";
        stats.size = QSize(320, 160);
        QCOMPARE(app::formatStatistics(stats, {}).mid(0, 2), QStringList({"Decoder: FFmpeg (software)", "Source: 320×160"}));
    }
};

QTEST_MAIN(StatisticsFormatTest)
#include "statistics_format_test.moc"
