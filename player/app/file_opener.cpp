#include "file_opener.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <string>

#include "av_player.h"
#include "gl_view.h"
#include "lensmeta/lensmeta.h"
#include "media_rules.h"

namespace vistamo::app {

QString FileOpener::problemOf(const QString& path, bool* supported, bool* isImage) {
    *isImage = false;
    *supported = isSupportedMediaFile(path, isImage);
    // The type and the still's frame are settled before anything opens the
    // file: a FIFO named ".jpg" must not hold the window.
    return *isImage || *supported ? mediaFileProblem(path, *isImage) : QString();
}

bool FileOpener::admit(const QString& path, const QString& titleLine, bool* isImage) const {
    bool image = false, supported = false;
    const QString problem = problemOf(path, &supported, &image);
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

void FileOpener::setProbe(media::AVPlayer* probePlayer, AddToList add) {
    probePlayer_ = probePlayer;
    add_ = std::move(add);
}

void FileOpener::probe(const QString& path, bool isImage, bool current) {
    probeQueue_.push_back({path, isImage, current});
    if (probePlayer_->file() == path) {
        durationArrived(probePlayer_->duration());
        return;
    }
    probePlayer_->setFile(path);
    if (!probePlayer_->load()) {
        // No duration will come: the entry must not take the next file's.
        probeQueue_.removeLast();
        probeDone_ = true;
    }
}

void FileOpener::probeAndWait(const QString& path, bool isImage) {
    probeDone_ = false;
    probe(path, isImage, false);
    QElapsedTimer waited;
    waited.start();
    while (!probeDone_ && waited.elapsed() < kProbeWaitMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (!probeDone_)
        durationArrived(0);
}

void FileOpener::durationArrived(qint64 duration) {
    if (probeQueue_.isEmpty())
        return;
    const ProbeEntry entry = probeQueue_.takeFirst();
    if (add_)
        add_(entry.path, entry.isImage, duration, entry.current);
    probeDone_ = true;
}

}  // namespace vistamo::app
