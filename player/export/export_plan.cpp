#include "export_plan.h"

#include <QDir>
#include <QFileInfo>

#include "media_kind.h"

namespace vistamo::exporting {

const char* const kFindTheCircle = "5_0_0_0_1_1_1_0_0_0";

ExportType exportTypeFor(int mediaKind, bool isImage) {
    // The kind numbers are the kind rule's own (what the view and the
    // playlist store).
    switch (static_cast<lens::MediaKind>(mediaKind)) {
    case lens::MediaKind::Sphere: return isImage ? SphereImage : SphereVideo;
    case lens::MediaKind::Twins: return isImage ? TwinsImage : TwinsVideo;
    default: return StandardCopy;
    }
}

bool isVideoExport(ExportType type) { return type == SphereVideo || type == TwinsVideo; }

QString converterMode(ExportType type) {
    switch (type) {
    case TwinsVideo: return QStringLiteral("video");
    case TwinsImage: return QStringLiteral("image");
    case SphereVideo: return QStringLiteral("sphere-video");
    case SphereImage: return QStringLiteral("sphere-image");
    default: return QStringLiteral("pano");
    }
}

QString panoPathFor(const QString& path) {
    const QString portable = QDir::fromNativeSeparators(path);
    const int slash = portable.lastIndexOf(QLatin1Char('/'));
    const int dot = portable.lastIndexOf(QLatin1Char('.'));
    if (dot <= slash + 1)  // no extension, or a hidden name without one
        return portable + QStringLiteral("_pano");
    return portable.left(dot) + QStringLiteral("_pano") + portable.mid(dot);
}

QString tempPathFor(const QString& userFolder, const QString& exportPath) {
    const QString name = QFileInfo(exportPath).fileName();
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    return QDir(userFolder).filePath(QStringLiteral("temp_pano") + (dot < 0 ? QString() : name.mid(dot)));
}

QStringList buildConverterArgs(ExportType type, const QString& playedPath, int pictureWidth,
                               const QString& calibration) {
    const QString input = QDir::fromNativeSeparators(playedPath);
    QString text = calibration;
    if (text.isEmpty() && (type == SphereVideo || type == SphereImage))
        text = QString::fromLatin1(kFindTheCircle);
    return {converterMode(type),
            input,
            panoPathFor(input),
            QString::number(pictureWidth),
            QString::number(pictureWidth / 2),
            text,
            QStringLiteral("0"),
            QStringLiteral("20")};
}

QString proposedCodec(int width) {
    return width > kH264WidthLimit ? QStringLiteral("hevc") : QStringLiteral("h264");
}

bool widthAccepted(const QString& typed, int sourceWidth) {
    bool ok = false;
    const double width = typed.trimmed().toDouble(&ok);
    if (!ok || width < 2 || width > sourceWidth || width != double(qint64(width)))
        return false;
    return qint64(width) % 2 == 0;
}

int progressOf(const QString& line) {
    static const QString kMarker = QStringLiteral("Export_Progress ");
    const int at = line.lastIndexOf(kMarker);
    if (at < 0)
        return -1;
    QString rest = line.mid(at + kMarker.size()).trimmed();
    int end = 0;
    while (end < rest.size() && rest.at(end).isDigit())
        ++end;
    bool ok = false;
    const int value = rest.left(end).toInt(&ok);
    return ok && value >= 0 && value <= 100 ? value : -1;
}

}  // namespace vistamo::exporting
