// The main window's decisions, as free functions tested without a window:
// which files it opens, which kind a file's calibration gives, how times
// are written, what a capture is called.
#pragma once

#include <QString>

namespace vistamo::app {

// Videos by suffix (mp4, MP4, mov, MOV, flv, FLV); stills (JPG, jpg, JPEG,
// jpeg) only when their content is a JPEG. Other letter cases and suffixes
// are refused. *isImage says whether the suffix is a still's. A still's
// content is read only from a regular file, opened without blocking.
bool isSupportedMediaFile(const QString& path, bool* isImage);

// The largest still the view takes, in pixels a side (the GL texture limit
// every driver we support offers).
constexpr int kMaxStillSide = 16384;

// Why a file of a supported suffix cannot be opened at all, for the one
// line the user is shown; empty when it can. Settled before anything opens
// the file: a FIFO, a device or a folder is refused by its type, and a
// still must be a complete JPEG no larger than kMaxStillSide.
QString mediaFileProblem(const QString& path, bool isImage);

// Why the calibration text of a file cannot drive a stitch; empty when it
// can or when the text is of no layout that is stitched.
QString calibrationProblem(const QString& calibText);

// The kind (MediaKind's numbers) a calibration text gives, by the rule the
// whole project shares (lens::mediaKindOf).
int kindFromCalibration(const QString& calibText);

// hh:mm:ss of a position, wrapping at 24 hours (3 725 000 ms → "01:02:05").
QString formatTime(qint64 ms);

// The file a capture proposes: the current file's name without its last
// extension + "_capture.JPG", in its folder ("\\" or "/" separators); empty
// without a current file.
QString captureProposal(const QString& currentFile);

}  // namespace vistamo::app
