// The export's pieces without the main window: the plan, the dialog's
// fields, placing finished files (also across file systems) and the
// still's tags written by the real exiftool.
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <QComboBox>
#include <QLabel>

#include "export_dialog.h"
#include "export_plan.h"
#include "feedback.h"
#include "file_placer.h"
#include "resources.h"
#include "still_tagger.h"

using namespace vistamo;
using namespace vistamo::exporting;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QString exiftoolValue(const QString& file, const QString& tag) {
    QProcess tool;
    tool.start(QStringLiteral("exiftool"), {QStringLiteral("-s3"), QStringLiteral("-") + tag, file});
    tool.waitForFinished(30000);
    return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
}

}  // namespace

class ExportPartsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { ui::initResources(); }

    void planFollowsTheKindAndTheFile() {
        QCOMPARE(exportTypeFor(0, false), StandardCopy);
        QCOMPARE(exportTypeFor(0, true), StandardCopy);
        QCOMPARE(exportTypeFor(1, false), SphereVideo);
        QCOMPARE(exportTypeFor(1, true), SphereImage);
        QCOMPARE(exportTypeFor(2, false), TwinsVideo);
        QCOMPARE(exportTypeFor(2, true), TwinsImage);
        QCOMPARE(panoPathFor("/v/a.mp4"), QStringLiteral("/v/a_pano.mp4"));
        QCOMPARE(panoPathFor("/v.d/a"), QStringLiteral("/v.d/a_pano"));
        QCOMPARE(panoPathFor("/v/a.b.MOV"), QStringLiteral("/v/a.b_pano.MOV"));
        QCOMPARE(tempPathFor("/home/u/VP", "/x/out.mov"), QStringLiteral("/home/u/VP/temp_pano.mov"));
        const QStringList twins = buildConverterArgs(TwinsVideo, "/v/a.mp4", 3840, "6_1_2");
        QCOMPARE(twins, (QStringList{"video", "/v/a.mp4", "/v/a_pano.mp4", "3840", "1920", "6_1_2", "0", "20"}));
        // One lens without a text: the converter finds the circle.
        const QStringList sphere = buildConverterArgs(SphereImage, "/v/s.jpg", 481, QString());
        QCOMPARE(sphere[0], QStringLiteral("sphere-image"));
        QCOMPARE(sphere[4], QStringLiteral("240"));
        QCOMPARE(sphere[5], QString::fromLatin1(kFindTheCircle));
        QCOMPARE(buildConverterArgs(SphereVideo, "/v/s.mp4", 960, "5_1")[0], QStringLiteral("sphere-video"));
    }

    void widthsAndProgressLines() {
        QVERIFY(widthAccepted("3840", 3840));
        QVERIFY(widthAccepted(" 1920 ", 3840));
        QVERIFY(!widthAccepted("3841", 3840));  // odd
        QVERIFY(!widthAccepted("4000", 3840));  // wider than the source
        QVERIFY(!widthAccepted("1920.5", 3840));
        QVERIFY(!widthAccepted("Default", 3840));
        QVERIFY(!widthAccepted("0", 3840));
        QCOMPARE(progressOf("Export_Progress 10 Export_Progress 57\n"), 57);
        QCOMPARE(progressOf("Export_Progress  42 "), 42);
        QCOMPARE(progressOf("Converter: open file fail"), -1);
        QCOMPARE(progressOf("Export_Progress 101"), -1);
    }

    // Above 4096 pixels H.265 is proposed, with one line saying why; the
    // user's own choice stays whatever the width.
    void dialogProposesTheCodecByTheWidth() {
        QCOMPARE(proposedCodec(4096), QStringLiteral("h264"));
        QCOMPARE(proposedCodec(4098), QStringLiteral("hevc"));
        ExportDialog dialog(nullptr);
        dialog.setExportType(TwinsVideo);
        dialog.setPaths("/v/a.mp4", "/v/a.mp4");
        dialog.setArgs(buildConverterArgs(TwinsVideo, "/v/a.mp4", 5760, "6_1"));
        dialog.show();
        QCOMPARE(dialog.formatCombo()->currentText(), QStringLiteral("H.265"));
        QVERIFY(dialog.codecHint()->isVisible());
        QVERIFY(dialog.codecHint()->text().contains("4096"));
        dialog.widthEdit()->setFocus();
        dialog.widthEdit()->setText("3840");
        QCOMPARE(dialog.formatCombo()->currentText(), QStringLiteral("H.264"));
        QVERIFY(!dialog.codecHint()->isVisible());
        dialog.widthEdit()->setText("5760");
        QCOMPARE(dialog.formatCombo()->currentText(), QStringLiteral("H.265"));
        // H.264 stays selectable, and chosen it stays.
        dialog.formatCombo()->setCurrentIndex(0);
        emit dialog.formatCombo()->activated(0);
        dialog.widthEdit()->setText("5000");
        QCOMPARE(dialog.formatCombo()->currentText(), QStringLiteral("H.264"));
        // A still has no codec to propose.
        ExportDialog still(nullptr);
        still.setExportType(TwinsImage);
        still.setArgs(buildConverterArgs(TwinsImage, "/v/a.jpg", 5760, "6_1"));
        still.show();
        QVERIFY(!still.codecHint()->isVisible());
        QVERIFY(!still.formatCombo()->isVisible());
    }

    void dialogFieldsCheckTheWidth() {
        ExportDialog dialog(nullptr);
        QStringList messages;
        dialog.setDialogRunner([&](ui::Feedback& f) {
            messages << f.message();
            return 0;
        });
        dialog.setExportType(TwinsVideo);
        dialog.setPaths("/v/a.mp4", "/v/a.mp4");
        dialog.setArgs(buildConverterArgs(TwinsVideo, "/v/a.mp4", 3840, "6_1"));
        QCOMPARE(dialog.exportPathEdit()->text(), QStringLiteral("/v/a_pano.mp4"));
        QCOMPARE(dialog.widthEdit()->text(), QStringLiteral("3840"));
        QCOMPARE(dialog.heightEdit()->text(), QStringLiteral("1920"));
        dialog.show();
        // The height edit doubles into the width, which is too wide here.
        dialog.heightEdit()->setFocus();
        dialog.heightEdit()->setText("2000");
        QCOMPARE(dialog.widthEdit()->text(), QStringLiteral("4000"));
        QVERIFY(dialog.widthEdit()->styleSheet().contains("#ee0000"));
        dialog.okButton()->click();
        QVERIFY(dialog.isVisible());  // refused: the red field says why
        dialog.widthEdit()->setFocus();
        dialog.widthEdit()->setText("3841");
        QVERIFY(dialog.widthEdit()->styleSheet().contains("#ee0000"));
        dialog.okButton()->click();
        QVERIFY(dialog.isVisible());
        dialog.widthEdit()->setText("1920");
        QCOMPARE(dialog.heightEdit()->text(), QStringLiteral("960"));
        QVERIFY(dialog.widthEdit()->styleSheet().contains("#eeeeee"));
        dialog.okButton()->click();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(dialog.tempPath().endsWith("temp_pano.mp4"));
        QVERIFY(messages.isEmpty());
        // An empty path is refused with a message.
        ExportDialog empty(nullptr);
        empty.setDialogRunner([&](ui::Feedback& f) {
            messages << f.message();
            return 0;
        });
        empty.setExportType(TwinsImage);
        empty.setPaths("/v/a.jpg", "/v/a.jpg");
        empty.setArgs(buildConverterArgs(TwinsImage, "/v/a.jpg", 960, "6_1"));
        empty.show();
        empty.exportPathEdit()->clear();
        empty.okButton()->click();
        QCOMPARE(empty.result(), int(QDialog::Rejected));
        QCOMPARE(messages, QStringList{"The save path is empty, exporting aborted!"});
    }

    void placingReplacesOnlyWithACompleteFile() {
        QTemporaryDir here;
        // /dev/shm is another file system than the build's: the file is
        // copied, then takes the target's name.
        QTemporaryDir other(QStringLiteral("/dev/shm/vistamo-export-XXXXXX"));
        QVERIFY(other.isValid());
        struct stat a {}, b {};
        stat(here.path().toLocal8Bit().constData(), &a);
        stat(other.path().toLocal8Bit().constData(), &b);
        if (a.st_dev == b.st_dev)
            QSKIP("/dev/shm is on the same file system here");
        for (const QString& folder : {here.path(), other.path()}) {
            const QString source = here.filePath("temp_pano.mp4"), target = folder + "/out.mp4";
            writeAll(source, QByteArray(3 << 20, 'n'));
            writeAll(target, "old");
            Placement p{source.toStdString(), target.toStdString(), {}, true};
            std::string reason;
            QList<int> steps;
            QVERIFY(placeFile(p, [&](int v) { steps << v; }, nullptr, reason));
            QCOMPARE(readAll(target).size(), 3 << 20);
            QVERIFY(!QFile::exists(source));
            QCOMPARE(steps.last(), 100);
            QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden).size(), 1);
        }
        // A cancelled copy and a full disk keep the old target.
        const QString source = here.filePath("big.mp4"), target = other.filePath("keep.mp4");
        writeAll(source, QByteArray(4 << 20, 'n'));
        writeAll(target, "old");
        std::atomic<bool> stop{true};
        std::string reason;
        QVERIFY(!placeFile({source.toStdString(), target.toStdString(), {}, true}, {}, &stop, reason));
        QCOMPARE(readAll(target), QByteArray("old"));
        QVERIFY(QFile::exists(source));
        // The target may never be the source file itself.
        QVERIFY(!placeFile({source.toStdString(), target.toStdString(), {target.toStdString()}, true}, {}, nullptr,
                           reason));
        QCOMPARE(readAll(target), QByteArray("old"));
    }

    void stillTagsAreArgumentsNeverOptions() {
        const QString exiftool = findExiftool(QStringLiteral("/nonexistent"));
        QVERIFY2(!exiftool.isEmpty(), "exiftool is part of the bootstrap");
        QTemporaryDir dir;
        const QString source = dir.filePath("source.jpg"), still = dir.filePath("temp_pano.jpg");
        QVERIFY(QFile::copy(QStringLiteral(VISTAMO_SAMPLES_DIR "/twins.jpg"), source));
        QVERIFY(QFile::copy(QStringLiteral(VISTAMO_SAMPLES_DIR "/standard.jpg"), still));
        // A serial number that would be options and files in a command line.
        const QString hostile = QStringLiteral("SN 1 \"q\" 'x' -@ /etc/passwd");
        QProcess set;
        set.start(exiftool, {"-q", "-overwrite_original", "-ExifIFD:SerialNumber=" + hostile, source});
        QVERIFY(set.waitForFinished(30000));
        QString reason;
        QVERIFY2(tagImage(exiftool, still, source, reason), qPrintable(reason));
        QCOMPARE(exiftoolValue(still, "CameraSerialNumber"), hostile);
        QCOMPARE(exiftoolValue(still, "Make"), QStringLiteral("Tessaly"));
        QCOMPARE(exiftoolValue(still, "Model"), QStringLiteral("Tessaly Vistamo"));
        QCOMPARE(exiftoolValue(still, "UsePanoramaViewer"), QStringLiteral("True"));
        QCOMPARE(exiftoolValue(still, "ProjectionType"), QStringLiteral("equirectangular"));
        QCOMPARE(exiftoolValue(still, "FullPanoWidthPixels"), QStringLiteral("960"));
        QCOMPARE(exiftoolValue(still, "FullPanoHeightPixels"), QStringLiteral("480"));
        QCOMPARE(exiftoolValue(still, "CroppedAreaImageWidthPixels"), QStringLiteral("960"));
        QCOMPARE(exiftoolValue(still, "CroppedAreaImageHeightPixels"), QStringLiteral("480"));
        QCOMPARE(exiftoolValue(still, "CroppedAreaLeftPixels"), QStringLiteral("0"));
        QCOMPARE(exiftoolValue(still, "CroppedAreaTopPixels"), QStringLiteral("0"));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);  // in place, no backups
        // No tool: the still stays as it was, and the caller hears why.
        const QByteArray before = readAll(still);
        QVERIFY(!tagImage(QString(), still, source, reason));
        QCOMPARE(readAll(still), before);
    }
};

QTEST_MAIN(ExportPartsTest)
#include "export_parts_test.moc"
