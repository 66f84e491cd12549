#include "media_rules.h"

#include <QFileInfo>

#include <algorithm>
#include <QImageReader>
#include <QStringList>
#include <QTime>

namespace vistamo::app {

bool isSupportedMediaFile(const QString& path, bool* isImage) {
    const QString suffix = QFileInfo(path).suffix();
    static const QStringList videos = {"mp4", "MP4", "mov", "MOV", "flv", "FLV"};
    static const QStringList images = {"JPG", "jpg", "JPEG", "jpeg"};
    const bool image = images.contains(suffix);
    if (isImage)
        *isImage = image;
    if (videos.contains(suffix))
        return true;
    if (!image)
        return false;
    QImageReader reader(path);
    reader.setDecideFormatFromContent(true);
    const QByteArray format = reader.format();
    return format == "JPEG" || format == "jpeg" || format == "JPG" || format == "jpg";
}

int kindFromCalibration(const QString& calibText) {
    if (calibText.startsWith(QLatin1String("6_")))
        return 2;
    if (calibText.startsWith(QLatin1String("5_")))
        return 1;
    return 0;
}

QString formatTime(qint64 ms) {
    const QTime t = QTime(0, 0, 0, 0).addMSecs(int(ms));
    auto two = [](int v) { return v > 9 ? QString::number(v) : QStringLiteral("0") + QString::number(v); };
    return two(t.hour()) + QLatin1Char(':') + two(t.minute()) + QLatin1Char(':') + two(t.second());
}

QString captureProposal(const QString& currentFile) {
    if (currentFile.isEmpty())
        return {};
    const int slash = std::max(currentFile.lastIndexOf(QLatin1Char('/')), currentFile.lastIndexOf(QLatin1Char('\\')));
    const QString folder = currentFile.left(slash + 1);
    QString name = currentFile.mid(slash + 1);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    return folder + name + QStringLiteral("_capture.JPG");
}

}  // namespace vistamo::app
