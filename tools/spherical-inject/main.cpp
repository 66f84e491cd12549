// spherical-inject [--quiet] IN OUT: writes IN with Spherical Video V1 and
// V2 metadata in every video track as OUT. IN is never written; OUT appears
// only when complete. The box tree and the model's trace go to stdout
// (--quiet hides them), a failure is one line on stderr.
#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

#include "atomic_output.h"
#include "mp4_log.h"
#include "spherical_metadata.h"

namespace {

const char* const kUsage =
    "usage: spherical-inject [--quiet] IN OUT\n"
    "Writes IN with spherical (equirectangular) video metadata in every video track as OUT.\n";

QString reasonFor(const mp4::InjectResult& r, const QString& in, const QString& out) {
    switch (r.status) {
    case mp4::InjectStatus::Ok: return {};
    case mp4::InjectStatus::SameFile: return QStringLiteral("%1 is the input file; choose another output").arg(out);
    case mp4::InjectStatus::CannotOpenInput: return QStringLiteral("cannot open %1: %2").arg(in, r.detail);
    case mp4::InjectStatus::NotMp4: return QStringLiteral("%1 is not a readable MP4 file: %2").arg(in, r.detail);
    case mp4::InjectStatus::Fragmented: return QStringLiteral("%1 is refused: %2").arg(in, r.detail);
    case mp4::InjectStatus::CannotWrite: return QStringLiteral("cannot write %1: %2").arg(out, r.detail);
    case mp4::InjectStatus::CannotMoveOffsets: return QStringLiteral("cannot rewrite %1: %2").arg(in, r.detail);
    }
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    vistamo::files::installCleanupOnSignals();
    QStringList files;
    bool quiet = false;
    bool optionsDone = false;
    for (const QString& arg : app.arguments().mid(1)) {
        if (!optionsDone && arg == QLatin1String("--")) {
            optionsDone = true;
        } else if (!optionsDone && arg == QLatin1String("--quiet")) {
            quiet = true;
        } else if (!optionsDone && (arg == QLatin1String("-h") || arg == QLatin1String("--help"))) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!optionsDone && arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            std::fprintf(stderr, "spherical-inject: unknown option %s\n%s", qPrintable(arg), kUsage);
            return 2;
        } else {
            files << arg;
        }
    }
    if (files.size() != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    mp4::InjectResult result;
    {
        // The model's error lines are folded into the one-line reason below.
        const mp4::LogScope log(quiet ? mp4::LogSink() : mp4::LogSink([](const std::string& text) {
            std::fwrite(text.data(), 1, text.size(), stdout);
        }), mp4::LogSink());
        result = mp4::injectSpherical(files[0], files[1]);
    }
    std::fflush(stdout);
    if (result.status != mp4::InjectStatus::Ok) {
        std::fprintf(stderr, "spherical-inject: %s\n", qPrintable(reasonFor(result, files[0], files[1])));
        return 1;
    }
    if (!quiet)
        std::printf("\nspherical-inject: %d video track(s) tagged in %s\n", result.boxesAdded,
                    qPrintable(files[1]));
    return 0;
}
