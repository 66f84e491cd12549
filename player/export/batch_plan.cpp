#include "batch_plan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <unistd.h>

#include <string>

extern "C" {
#include <libavformat/avformat.h>
}

#include "lensmeta/lensmeta.h"
#include "local_media.h"
#include "media_rules.h"

namespace vistamo::exporting {

const char* const kBatchUsage =
    "usage: vistamo-stitch [--codec h264|hevc] [--bitrate MBPS] [--width W] [--output-dir DIR]\n"
    "                      [--jobs N] [--force] [--no-match] FILE...\n"
    "Stitches two-lens and one-lens videos and stills into equirectangular panoramas,\n"
    "as NAME_pano.EXT beside each FILE (or in DIR). Standard files are skipped.\n"
    "  --codec     h264 up to 4096 pixels wide and hevc above, unless given\n"
    "  --bitrate   video bit rate in Mbit/s, 1 to 1000 (default 20)\n"
    "  --width     the panorama's width, even, at most the source's (default: the source's)\n"
    "  --output-dir  where the panoramas go (default: beside each file)\n"
    "  --jobs      stitches at once, 1 to 16 (default 1)\n"
    "  --force     replace panoramas that exist (default: keep them, and count a failure)\n"
    "  --no-match  leave the two lenses' exposure and colour as recorded (default: matched)\n";

namespace {

bool wholeNumber(const QString& text, int low, int high, int& out) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < low || value > high)
        return false;
    out = value;
    return true;
}

// The width of the best video stream; 0 when it cannot be read.
int videoWidth(const QString& path, QString& reason) {
    AVFormatContext* format = nullptr;
    std::string why;
    const int opened = media::openLocalMedia(&format, QFile::encodeName(path).toStdString(), nullptr, nullptr, &why);
    if (opened < 0) {
        reason = QStringLiteral("it cannot be read as a video") +
                 (why.empty() ? QString() : QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(why.c_str())));
        return 0;
    }
    int width = 0;
    if (avformat_find_stream_info(format, nullptr) >= 0) {
        const int best = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (best >= 0)
            width = format->streams[best]->codecpar->width;
    }
    avformat_close_input(&format);
    if (width <= 0)
        reason = QStringLiteral("it has no video that can be read");
    return width;
}

FilePlan failed(const QString& reason) {
    FilePlan plan;
    plan.reason = reason;
    return plan;
}

}  // namespace

bool parseBatchArguments(const QStringList& arguments, BatchOptions& options, QString& reason) {
    options = BatchOptions();
    bool optionsEnd = false;
    for (int k = 0; k < arguments.size(); ++k) {
        const QString& a = arguments[k];
        if (optionsEnd || !a.startsWith(QLatin1String("--"))) {
            options.files << a;
            continue;
        }
        if (a == QLatin1String("--")) {
            optionsEnd = true;
            continue;
        }
        if (a == QLatin1String("--force")) {
            options.force = true;
            continue;
        }
        if (a == QLatin1String("--no-match")) {
            options.matchLenses = false;
            continue;
        }
        const bool takesValue = a == QLatin1String("--codec") || a == QLatin1String("--bitrate") ||
                                a == QLatin1String("--width") || a == QLatin1String("--output-dir") ||
                                a == QLatin1String("--jobs");
        if (!takesValue) {
            reason = QStringLiteral("unknown option %1").arg(a);
            return false;
        }
        if (k + 1 >= arguments.size()) {
            reason = QStringLiteral("%1 needs a value").arg(a);
            return false;
        }
        const QString value = arguments[++k];
        if (a == QLatin1String("--codec")) {
            if (value != QLatin1String("h264") && value != QLatin1String("hevc")) {
                reason = QStringLiteral("--codec is h264 or hevc, not \"%1\"").arg(value);
                return false;
            }
            options.codec = value;
        } else if (a == QLatin1String("--bitrate")) {
            if (!wholeNumber(value, 1, 1000, options.bitrateMbps)) {
                reason = QStringLiteral("--bitrate is a whole number of Mbit/s from 1 to 1000");
                return false;
            }
        } else if (a == QLatin1String("--width")) {
            if (!wholeNumber(value, 2, 16384, options.width) || options.width % 2 != 0) {
                reason = QStringLiteral("--width is an even number from 2 to 16384");
                return false;
            }
        } else if (a == QLatin1String("--jobs")) {
            if (!wholeNumber(value, 1, 16, options.jobs)) {
                reason = QStringLiteral("--jobs is a whole number from 1 to 16");
                return false;
            }
        } else {
            if (!QFileInfo(value).isDir()) {
                reason = QStringLiteral("--output-dir %1 is not a folder").arg(value);
                return false;
            }
            options.outputDir = value;
        }
    }
    if (options.files.isEmpty()) {
        reason = QStringLiteral("no FILE given");
        return false;
    }
    return true;
}

FilePlan planFile(const QString& given, const BatchOptions& options, int index) {
    // The converter runs in its own folder: every path it gets is absolute.
    const QString path = QFileInfo(given).absoluteFilePath();
    // The player's checks, in the player's order: the suffix, the type and
    // the still's frame before anything opens the file, then the kind.
    bool isImage = false;
    const bool supported = app::isSupportedMediaFile(path, &isImage);
    if (supported || isImage) {
        const QString problem = app::mediaFileProblem(path, isImage);
        if (!problem.isEmpty())
            return failed(problem);
    }
    if (!supported)
        return failed(QStringLiteral("not a supported file (.mp4, .mov, .flv, .jpg, .jpeg)"));
    // A file that cannot be read fails, even one that would be skipped.
    QString reason;
    const int sourceWidth = isImage ? QImageReader(path).size().width() : videoWidth(path, reason);
    if (sourceWidth <= 0)
        return failed(reason.isEmpty() ? QStringLiteral("its picture cannot be read") : reason);
    std::string local = QFile::encodeName(path).toStdString();
    ImageData record;
    GetLensmeta(record, local);
    const QString calibText = QString::fromStdString(record.calibText);
    const int kind = app::kindFromCalibration(calibText);
    if (kind == 0) {
        FilePlan plan;
        plan.outcome = FilePlan::Skip;
        plan.reason = QStringLiteral("a standard picture, nothing to stitch");
        return plan;
    }
    const QString calibrationProblem = app::calibrationProblem(calibText);
    if (!calibrationProblem.isEmpty())
        return failed(QStringLiteral("it cannot be stitched: ") + calibrationProblem);

    FilePlan plan;
    plan.source = path;
    plan.type = exportTypeFor(kind, isImage);
    plan.width = options.width > 0 ? options.width : sourceWidth - sourceWidth % 2;
    const bool player = options.host == BatchOptions::Player;
    if (!widthAccepted(QString::number(plan.width), sourceWidth))
        return failed(QStringLiteral("%1 %2 is wider than the source (%3)")
                          .arg(player ? QStringLiteral("the width") : QStringLiteral("--width"))
                          .arg(plan.width)
                          .arg(sourceWidth));

    const QString name = QFileInfo(panoPathFor(path)).fileName();
    const QString folder = options.outputDir.isEmpty() ? QFileInfo(path).absolutePath() : options.outputDir;
    plan.target = QDir(folder).absoluteFilePath(name);
    if (QFileInfo::exists(plan.target) && !options.force)
        return failed(QStringLiteral("%1 exists (%2)")
                          .arg(QDir::toNativeSeparators(plan.target),
                               player ? QStringLiteral("\"Replace existing panoramas\" replaces it")
                                      : QStringLiteral("--force replaces it")));
    // Hidden beside the target, named for this run and file, with the
    // target's extension (the converter goes by it).
    plan.temporary = QDir(folder).absoluteFilePath(QStringLiteral(".%1.%2-%3-%4.%5")
                                                       .arg(QFileInfo(name).completeBaseName())
                                                       .arg(player ? QStringLiteral("vistamo-player")
                                                                   : QStringLiteral("vistamo-stitch"))
                                                       .arg(getpid())
                                                       .arg(index)
                                                       .arg(QFileInfo(name).suffix()));

    // The calibration handed over is the export's, as the player's.
    PanoData pano;
    QString exportCalibration;
    if (GetPanoParam(pano, local) && !pano.photos.empty())
        exportCalibration = QString::fromStdString(pano.photos.front().calibText);
    if ((plan.type == TwinsVideo || plan.type == TwinsImage) && exportCalibration.isEmpty())
        return failed(QStringLiteral("its calibration cannot be read for the stitch"));
    plan.converterArgs = buildConverterArgs(plan.type, path, plan.width, exportCalibration);
    plan.converterArgs[2] = plan.temporary;
    plan.converterArgs[7] = QString::number(options.bitrateMbps);
    if (isVideoExport(plan.type)) {
        plan.codec = options.codec.isEmpty() ? proposedCodec(plan.width) : options.codec;
        plan.codecByWidth = options.codec.isEmpty() && plan.codec == QLatin1String("hevc");
        plan.converterArgs << plan.codec;
    }
    if (!options.matchLenses && (plan.type == TwinsVideo || plan.type == TwinsImage))
        plan.converterArgs << QStringLiteral("--no-match");
    plan.outcome = FilePlan::Export;
    return plan;
}

}  // namespace vistamo::exporting
