#include "still_tagger.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QProcess>
#include <QStandardPaths>

#include <string>

#include "lensmeta/lensmeta.h"

namespace vistamo::exporting {

QString findExiftool(const QString& programFolder) {
    const QString beside = QDir(programFolder).filePath(QStringLiteral("exiftool"));
    if (QFileInfo(beside).isExecutable() && QFileInfo(beside).isFile())
        return beside;
    return QStandardPaths::findExecutable(QStringLiteral("exiftool"));
}

QStringList tagArguments(const QString& stillPath, int width, int height, const QString& serial) {
    const QString w = QString::number(width), h = QString::number(height);
    return {QStringLiteral("-q"),
            QStringLiteral("-m"),
            QStringLiteral("-Make=Tessaly"),
            QStringLiteral("-Model=Tessaly Vistamo"),
            QStringLiteral("-XMP-GPano:UsePanoramaViewer=true"),
            QStringLiteral("-XMP-GPano:ProjectionType=equirectangular"),
            QStringLiteral("-XMP-GPano:FullPanoWidthPixels=") + w,
            QStringLiteral("-XMP-GPano:FullPanoHeightPixels=") + h,
            QStringLiteral("-XMP-GPano:CroppedAreaImageWidthPixels=") + w,
            QStringLiteral("-XMP-GPano:CroppedAreaImageHeightPixels=") + h,
            QStringLiteral("-XMP-GPano:CroppedAreaLeftPixels=0"),
            QStringLiteral("-XMP-GPano:CroppedAreaTopPixels=0"),
            // The export's centre is the camera's front.
            QStringLiteral("-XMP-GPano:PoseHeadingDegrees=0"),
            QStringLiteral("-CameraSerialNumber=") + serial,
            QStringLiteral("-overwrite_original_in_place"),
            QStringLiteral("--"),
            QDir::toNativeSeparators(stillPath)};
}

bool tagImage(const QString& exiftool, const QString& stillPath, const QString& sourcePath, QString& reason,
              int timeoutMs) {
    if (exiftool.isEmpty()) {
        reason = QStringLiteral("exiftool is not installed");
        return false;
    }
    std::string unused, source = QDir::fromNativeSeparators(sourcePath).toLocal8Bit().toStdString();
    QString serial = QString::fromLocal8Bit(GetImageSnNum(unused, source).c_str());
    while (serial.endsWith(QChar(0)))
        serial.chop(1);
    const QSize size = QImageReader(stillPath).size();
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(exiftool, tagArguments(stillPath, size.width(), size.height(), serial), QIODevice::ReadOnly);
    if (!tool.waitForStarted(10000)) {
        reason = QStringLiteral("exiftool cannot be started: ") + tool.errorString();
        return false;
    }
    if (!tool.waitForFinished(timeoutMs)) {
        tool.kill();
        tool.waitForFinished(5000);
        reason = QStringLiteral("exiftool took too long");
        return false;
    }
    if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
        reason = QStringLiteral("exiftool failed: ") + QString::fromLocal8Bit(tool.readAll()).trimmed();
        return false;
    }
    return true;
}

}  // namespace vistamo::exporting
