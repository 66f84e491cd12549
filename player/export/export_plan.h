// The decisions of an export that need no window: which kind of export a
// file gets, the converter's argument list, the paths, the width checks and
// the converter's progress lines.
#pragma once

#include <QString>
#include <QStringList>

namespace vistamo::exporting {

enum ExportType { StandardCopy = 0, SphereVideo = 1, TwinsVideo = 2, SphereImage = 3, TwinsImage = 4 };

// The export of a file of this media kind (a lens::MediaKind number: 0
// Standard, 1 Sphere, 2 Twins), as the view shows it.
ExportType exportTypeFor(int mediaKind, bool isImage);
bool isVideoExport(ExportType type);
// The converter's mode word ("pano" for a copy, which never reaches it).
QString converterMode(ExportType type);

// "a.mp4" → "a_pano.mp4" in the same folder ("a" → "a_pano").
QString panoPathFor(const QString& path);
// The converter's output in the user folder: "temp_pano" + the target's
// extension (with its dot).
QString tempPathFor(const QString& userFolder, const QString& exportPath);

// The argument list: mode, input, output, width, width / 2, calibration,
// "0", "20". A one-lens file without a calibration text gets one whose
// radius asks the converter to find the circle, as the view does.
QStringList buildConverterArgs(ExportType type, const QString& playedPath, int pictureWidth,
                               const QString& calibration);
// The calibration a one-lens export passes when the file has none.
extern const char* const kFindTheCircle;

// The video codec an export of this width is proposed: "h264", or "hevc"
// above kH264WidthLimit, where phones' and graphics cards' H.264 decoders
// stop. The converter's CODEC argument takes either.
constexpr int kH264WidthLimit = 4096;
QString proposedCodec(int width);

// Whether a typed width can be exported from a source this wide: a whole,
// even number from 2 up to the source's width.
bool widthAccepted(const QString& typed, int sourceWidth);

// The percentage of the last "Export_Progress " marker in a line, or −1.
int progressOf(const QString& line);

}  // namespace vistamo::exporting
