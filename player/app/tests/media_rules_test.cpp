// The main window's decisions, as tables.
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "media_rules.h"

using namespace vistamo::app;

class MediaRulesTest : public QObject {
    Q_OBJECT

private slots:
    void formats() {
        QTemporaryDir dir;
        auto copy = [&dir](const char* sample, const char* name) {
            const QString to = dir.filePath(QString::fromLatin1(name));
            QFile::copy(QStringLiteral(VISTAMO_SAMPLES_DIR "/") + QString::fromLatin1(sample), to);
            return to;
        };
        const struct {
            QString path;
            bool accepted, image;
        } cases[] = {
            {QStringLiteral("/m/clip.mp4"), true, false},      {QStringLiteral("/m/clip.MOV"), true, false},
            {QStringLiteral("/m/clip.FLV"), true, false},      {QStringLiteral("/m/clip.Mp4"), false, false},
            {QStringLiteral("/m/clip.mkv"), false, false},     {QStringLiteral("/m/noext"), false, false},
            {copy("twins.jpg", "a.jpg"), true, true},          {copy("twins.jpg", "b.JPEG"), true, true},
            {copy("twins.jpg", "c.jpe"), false, false},        {copy("scene.png", "d.jpg"), false, true},
            {dir.filePath(QStringLiteral("missing.jpg")), false, true},
        };
        for (const auto& c : cases) {
            bool image = !c.image;
            QCOMPARE(isSupportedMediaFile(c.path, &image), c.accepted);
            QCOMPARE(image, c.image);
        }
    }

    void kinds() {
        QCOMPARE(kindFromCalibration(QStringLiteral("6_952_960")), 2);
        QCOMPARE(kindFromCalibration(QStringLiteral("5_700_720")), 1);
        QCOMPARE(kindFromCalibration(QStringLiteral("2_952_960")), 0);
        QCOMPARE(kindFromCalibration(QString()), 0);
    }

    void times() {
        QCOMPARE(formatTime(3725000), QStringLiteral("01:02:05"));
        QCOMPARE(formatTime(0), QStringLiteral("00:00:00"));
        QCOMPARE(formatTime(59999), QStringLiteral("00:00:59"));
        QCOMPARE(formatTime(86400000 + 61000), QStringLiteral("00:01:01"));  // wraps at 24 hours
    }

    void captures() {
        QCOMPARE(captureProposal(QStringLiteral("C:\\clips\\trip.mp4")), QStringLiteral("C:\\clips\\trip_capture.JPG"));
        QCOMPARE(captureProposal(QStringLiteral("C:/clips/trip.mp4")), QStringLiteral("C:/clips/trip_capture.JPG"));
        QCOMPARE(captureProposal(QStringLiteral("D:\\a.b\\clip")), QStringLiteral("D:\\a.b\\clip_capture.JPG"));
        QCOMPARE(captureProposal(QStringLiteral("/home/u/a.tar.mp4")), QStringLiteral("/home/u/a.tar_capture.JPG"));
        QCOMPARE(captureProposal(QString()), QString());
    }
};

QTEST_GUILESS_MAIN(MediaRulesTest)
#include "media_rules_test.moc"
