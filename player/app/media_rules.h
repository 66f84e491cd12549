// The main window's decisions, as free functions tested without a window:
// which files it opens, which kind a file's calibration gives, how times
// are written, what a capture is called.
#pragma once

#include <QString>

namespace vistamo::app {

// Videos by suffix (mp4, MP4, mov, MOV, flv, FLV); stills (JPG, jpg, JPEG,
// jpeg) only when their content is a JPEG. Other letter cases and suffixes
// are refused. *isImage says whether the suffix is a still's.
bool isSupportedMediaFile(const QString& path, bool* isImage);

// The kind (MediaKind's numbers) a calibration text gives: "6_" two lenses
// (Twins, 2), "5_" one lens (Sphere, 1), anything else or none Standard (0).
int kindFromCalibration(const QString& calibText);

// hh:mm:ss of a position, wrapping at 24 hours (3 725 000 ms → "01:02:05").
QString formatTime(qint64 ms);

// The file a capture proposes: the current file's name without its last
// extension + "_capture.JPG", in its folder ("\\" or "/" separators); empty
// without a current file.
QString captureProposal(const QString& currentFile);

}  // namespace vistamo::app
