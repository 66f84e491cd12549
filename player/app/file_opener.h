// FileOpener: whether and how the main window opens a file, decided before
// anything reads it. Every way of opening (the command line, the file
// dialog, a drop, a playlist row) asks admit() first, so a FIFO, a device
// or a folder is refused by its type and a still by its frame before the
// window could block on it; and asks settleKind() once the kind is known,
// so a calibration the stitch cannot use is said, and the picture shown as
// recorded instead of a black stitch. It also keeps the duration probe's
// queue: files reach the playlist in order, each with its length. GUI
// thread only.
#pragma once

#include <QCoreApplication>
#include <QList>
#include <QString>

#include <functional>

namespace vistamo::media {
class AVPlayer;
}
namespace vistamo::render {
class GLView;
}

namespace vistamo::app {

class FileOpener {
    Q_DECLARE_TR_FUNCTIONS(vistamo::app::FileOpener)
public:
    // The user is told through tell(text, titleLine).
    FileOpener(render::GLView* view, std::function<void(const QString&, const QString&)> tell)
        : view_(view), tell_(std::move(tell)) {}

    // Why a file of a suffix we play cannot be opened (its type, or a still
    // too large), without opening it; empty when it can, or when *supported
    // comes back false (not a suffix we play). Tells nobody.
    static QString problemOf(const QString& path, bool* supported, bool* isImage);
    // True when path may be opened, with *isImage; else the user was told
    // why, naming the file.
    bool admit(const QString& path, const QString& titleLine, bool* isImage) const;
    // The view's kind from the file's calibration (lens::mediaKindOf).
    void takeKindFromMetadata(const QString& path) const;
    // Falls back to Standard, with a message, when the view's stitched kind
    // cannot use the file's calibration.
    void settleKind(const QString& path, const QString& titleLine) const;

    // -- The duration probe. Files are probed one after another, in order,
    // and each reaches the playlist through add with its duration (0 when
    // none comes).
    using AddToList = std::function<void(const QString& path, bool isImage, qint64 duration, bool current)>;
    void setProbe(media::AVPlayer* probePlayer, AddToList add);
    // Queues path for its duration; current marks the file being opened.
    void probe(const QString& path, bool isImage, bool current);
    // Probes path and waits, running events, until it has reached the list;
    // after kProbeWaitMs it is added without a duration.
    void probeAndWait(const QString& path, bool isImage);
    // The probe player's answer for the oldest queued file.
    void durationArrived(qint64 duration);
    static constexpr int kProbeWaitMs = 5000;

private:
    QString calibrationTextOf(const QString& path) const;

    render::GLView* view_;
    std::function<void(const QString&, const QString&)> tell_;

    struct ProbeEntry {
        QString path;
        bool isImage;
        bool current;
    };
    media::AVPlayer* probePlayer_ = nullptr;
    AddToList add_;
    QList<ProbeEntry> probeQueue_;
    bool probeDone_ = false;
};

}  // namespace vistamo::app
