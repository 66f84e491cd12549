// Spherical Video V1 metadata: the "uuid" box that tells players a video is
// a stitched, mono, full-sphere equirectangular panorama, and the injection
// of it and of the V2 boxes (spherical_v2.h) into every video track of an
// MP4 file.
#pragma once

#include <QString>

#include <memory>
#include <string>
#include <vector>

#include "mpeg4_container.h"

namespace mp4 {

// The RDF/XML document of the box (ASCII, two line feeds, no NUL).
std::string sphericalXml();

// The complete "uuid" leaf with the spherical UUID and the document as its
// payload.
std::unique_ptr<Box> makeSphericalBox();

// The "trak" boxes of moov whose media handler is "vide".
std::vector<Container*> videoTracks(Mpeg4Container& file, QIODevice& input);

// Adds one spherical box to every "trak" of moov whose media handler is
// "vide", then resizes the tree. Returns how many boxes were added.
int addSphericalBoxes(Mpeg4Container& file, QIODevice& input);

// Why an injection failed, for a one-line message.
enum class InjectStatus { Ok, SameFile, CannotOpenInput, NotMp4, Fragmented, CannotWrite, CannotMoveOffsets };

struct InjectResult {
    InjectStatus status = InjectStatus::Ok;
    QString detail;  // the first box-model error line, or the system's reason
    int boxesAdded = 0;      // V1 "uuid" boxes
    int v2EntriesAdded = 0;  // sample entries given "st3d" and "sv3d"
};

// Writes input with spherical metadata, V1 and V2, as output. The input must be a
// regular file; the output must be a regular file or absent, and not the
// input. The output is written as an unnamed file in its own folder and
// named when complete; on any failure nothing is left at outputPath (an
// existing file there is kept). The input is never written. Fragmented
// files are refused.
InjectResult injectSpherical(const QString& inputPath, const QString& outputPath);

}  // namespace mp4

// The export flow's entry point: 0 on success, −1 on failure. Paths are
// narrow strings in the local 8-bit encoding.
int injectSphericalMetadata(const std::string& inputPath, const std::string& outputPath);
