// RegistVistamoOpen: offers "Open with Vistamo Player" for videos and
// stills. It writes the desktop entry for the VistamoPlayer in the folder it
// was started from into
// $XDG_DATA_HOME/applications (whole, every time, so a moved installation
// is re-pointed), then refreshes that folder's desktop database when
// update-desktop-database is installed. No arguments. Exit 0 when the
// entry is written; 1 with one line on stderr otherwise.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#include <cstdio>
#include <string>

#include "atomic_output.h"
#include "desktop_entry.h"

using namespace vistamo;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The folder the tool was started from: the player starts it by its full
    // path beside itself (where it may be a link, as in the build tree).
    const QString invoked = QFile::decodeName(argv[0]);
    const QString folder0 = invoked.contains(QLatin1Char('/')) ? QFileInfo(invoked).absolutePath()
                                                                : QCoreApplication::applicationDirPath();
    const QString player = QDir(folder0).filePath(QStringLiteral("VistamoPlayer"));
    const QString folder = registopen::applicationsFolder();
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "RegistVistamoOpen: cannot create %s\n", QFile::encodeName(folder).constData());
        return 1;
    }
    const QByteArray text = registopen::entryText(player).toUtf8();
    std::string reason;
    if (!files::writeFileAtomically(QFile::encodeName(registopen::entryPath()).toStdString(), text.constData(),
                                    size_t(text.size()), {}, reason)) {
        std::fprintf(stderr, "RegistVistamoOpen: cannot write %s: %s\n",
                     QFile::encodeName(registopen::entryPath()).constData(), reason.c_str());
        return 1;
    }
    // The menus learn of it now rather than at the next login.
    const QString updater = QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
    if (!updater.isEmpty()) {
        QProcess update;
        update.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        update.setStandardOutputFile(QProcess::nullDevice());
        update.start(updater, {folder});
        if (!update.waitForFinished(30000))
            update.kill();
    }
    return 0;
}
