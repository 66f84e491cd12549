#include "desktop_entry.h"

#include <QFile>
#include <QStandardPaths>

namespace vistamo::registopen {

QString applicationsFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/applications");
}

QString entryPath() { return applicationsFolder() + QStringLiteral("/vistamo-player.desktop"); }

QString execArgument(const QString& playerPath) {
    static const QString kReserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool quote = false;
    for (QChar c : playerPath)
        quote = quote || kReserved.contains(c);
    QString arg;
    for (QChar c : playerPath) {
        if (c == QLatin1Char('%'))
            arg += QStringLiteral("%%");
        else if (quote && (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
                           c == QLatin1Char('\\')))
            arg += QLatin1Char('\\') + QString(c);
        else
            arg += c;
    }
    if (quote)
        arg = QLatin1Char('"') + arg + QLatin1Char('"');
    // The Exec value is also a string value: its backslashes are escaped.
    arg.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return arg;
}

QString entryText(const QString& playerPath) {
    return QStringLiteral(
               "[Desktop Entry]\n"
               "Type=Application\n"
               "Name=Vistamo Player\n"
               "GenericName=360° Video Player\n"
               "Comment=Play, stitch and export the footage of two-lens 360° cameras\n"
               "Exec=%1 %f\n"
               "Icon=vistamo-player\n"
               "Terminal=false\n"
               "Categories=AudioVideo;Video;Player;\n"
               "MimeType=video/mp4;video/quicktime;video/x-flv;image/jpeg;\n")
        .arg(execArgument(playerPath));
}

bool entryRuns(const QString& path, const QString& playerPath) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray expected = (QStringLiteral("Exec=") + execArgument(playerPath) + QStringLiteral(" %f")).toUtf8();
    for (const QByteArray& line : file.read(1 << 16).split('\n'))
        if (line.trimmed() == expected)
            return true;
    return false;
}

}  // namespace vistamo::registopen
