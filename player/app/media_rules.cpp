#include "media_rules.h"

#include <QFile>
#include <QFileInfo>

#include <QStringList>
#include <QTime>

#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "calibration_check.h"
#include "file_guard.h"
#include "jpeg_probe.h"
#include "media_kind.h"

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
    // The content decides: a JPEG starts with its SOI marker and a segment.
    std::string reason;
    const int fd = files::openInput(QFile::encodeName(path).toStdString(), reason);
    if (fd < 0)
        return false;
    unsigned char head[3] = {};
    const bool jpeg = ::read(fd, head, sizeof head) == ssize_t(sizeof head) && head[0] == 0xFF && head[1] == 0xD8 &&
                      head[2] == 0xFF;
    ::close(fd);
    return jpeg;
}

QString mediaFileProblem(const QString& path, bool isImage) {
    const std::string local = QFile::encodeName(path).toStdString();
    const std::string problem = files::inputProblem(local);
    if (!problem.empty())
        return QString::fromStdString(problem);
    if (!isImage)
        return {};  // the demuxer judges a video's content, off the GUI thread
    return QString::fromStdString(picture::jpegFileProblem(local, kMaxStillSide));
}

QString calibrationProblem(const QString& calibText) {
    return QString::fromStdString(lens::calibrationProblem(calibText.toStdString()));
}

int kindFromCalibration(const QString& calibText) {
    return int(lens::mediaKindOf(calibText.toStdString()));
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
