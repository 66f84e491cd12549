// vistamo-stitch's decisions, made without running anything: its command
// line, and for each file what becomes of it. A file's kind comes from its
// calibration by the player's own rules (media_rules), and its export is
// the player's: the same converter arguments, spherical metadata and
// tags, and placing (ExportJob).
#pragma once

#include <QString>
#include <QStringList>

#include "export_plan.h"

namespace vistamo::exporting {

extern const char* const kBatchUsage;

struct BatchOptions {
    QString codec;        // "h264" or "hevc"; empty: by the width (proposedCodec)
    int bitrateMbps = 20;
    int width = 0;        // 0: each source's own
    QString outputDir;    // empty: beside each file
    int jobs = 1;
    bool force = false;   // replace existing outputs
    bool matchLenses = true;  // match the two lenses at the seams (the Converter's default)
    QStringList files;
    // Who runs the batch: it names the temporaries, and the reasons speak of
    // the command's options or of the player's form.
    enum Host { CommandLine, Player };
    Host host = CommandLine;
};

// Reads the arguments after the program's name; false with a one-line
// reason (a usage error).
bool parseBatchArguments(const QStringList& arguments, BatchOptions& options, QString& reason);

struct FilePlan {
    enum Outcome { Export, Skip, Fail };
    Outcome outcome = Fail;
    QString reason;             // for Skip and Fail: why, in a few words
    QString source;             // the file, as an absolute path
    ExportType type = StandardCopy;
    QString target;             // NAME_pano.EXT, beside the file or in the output folder
    QString temporary;          // the converter's output, hidden beside the target
    QStringList converterArgs;  // complete: the temporary as output, the size, rate and codec
    int width = 0;
    QString codec;              // videos only
    bool codecByWidth = false;  // HEVC because the export is wider than kH264WidthLimit
};

// What the batch makes of path (the index-th file: it names the temporary).
FilePlan planFile(const QString& path, const BatchOptions& options, int index);

}  // namespace vistamo::exporting
