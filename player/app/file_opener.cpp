#include "file_opener.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <string>

#include "gl_view.h"
#include "lensmeta/lensmeta.h"
#include "media_rules.h"

namespace vistamo::app {

bool FileOpener::admit(const QString& path, const QString& titleLine, bool* isImage) const {
    bool image = false;
    const bool supported = isSupportedMediaFile(path, &image);
    // The type and the still's frame are settled before anything opens the
    // file: a FIFO named ".jpg" must not hold the window.
    const QString problem = image || supported ? mediaFileProblem(path, image) : QString();
    if (!problem.isEmpty()) {
        tell_(tr("Cannot open %1: %2").arg(QDir::toNativeSeparators(path), problem), titleLine);
        return false;
    }
    if (!supported) {
        tell_(tr("File format not supported!") + QStringLiteral("(.mp4, .mov, .flv, .jpeg)"), titleLine);
        return false;
    }
    *isImage = image;
    return true;
}

QString FileOpener::calibrationTextOf(const QString& path) const {
    ImageData data;
    std::string local = QFile::encodeName(QDir::fromNativeSeparators(path)).toStdString();
    GetLensmeta(data, local);
    return QString::fromStdString(data.calibText);
}

void FileOpener::takeKindFromMetadata(const QString& path) const {
    view_->setKind(kindFromCalibration(calibrationTextOf(path)));
}

void FileOpener::settleKind(const QString& path, const QString& titleLine) const {
    if (view_->kind() == render::Standard)
        return;
    const QString problem = calibrationProblem(calibrationTextOf(path));
    if (problem.isEmpty())
        return;
    view_->setKind(render::Standard);
    tell_(tr("%1 cannot be stitched: %2. It is shown as it was recorded.").arg(QDir::toNativeSeparators(path), problem),
          titleLine);
}

}  // namespace vistamo::app
