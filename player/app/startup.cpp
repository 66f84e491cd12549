#include "startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>
#include <QTranslator>

#include "desktop_entry.h"

namespace vistamo::app {

const char* const kConfigurationFailure =
    "Failed to create configuration file folder. Please check that you have the required access rights.\n"
    "Vistamo Player will shut down.";

QString userFolderPath() {
    return QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                           QStringLiteral("/VistamoPlayer"));
}

bool prepareUserFiles(const QString& folder, UserFiles& files) {
    files.folder = QDir::cleanPath(folder);
    files.dumpFolder = files.folder + QStringLiteral("/Dump");
    files.settingsPath = files.folder + QStringLiteral("/VistamoPlayer.ini");
    QDir dir(files.folder);
    if (!dir.exists() && !QDir().mkpath(files.folder))
        return false;
    dir.mkdir(QStringLiteral("Dump"));
    if (!QFile::exists(files.settingsPath)) {
        QFile settings(files.settingsPath);
        if (settings.open(QIODevice::WriteOnly))
            settings.close();
    }
    return QFile::exists(files.settingsPath);
}

QString readLocale(const QString& settingsPath, const QString& systemLocale) {
    QSettings settings(settingsPath, QSettings::IniFormat);
    QString locale = settings.value(QStringLiteral("/locale")).toString();
    if (locale.isEmpty()) {
        locale = systemLocale;
        settings.setValue(QStringLiteral("/locale"), locale);
        settings.sync();
    }
    return locale;
}

Language applyLanguage(const QString& locale, QTranslator& translator, const QString& programFolder) {
    if (locale == QLatin1String("zh_CN")) {
        QLocale::setDefault(QLocale(QStringLiteral("zh_CN")));
        translator.load(programFolder + QDir::separator() + QStringLiteral("orvex_zh.qm"));
        QCoreApplication::installTranslator(&translator);
        return Language::Chinese;
    }
    if (locale == QLatin1String("en_US")) {
        QLocale::setDefault(QLocale(QStringLiteral("en_US")));
        return Language::English;
    }
    return Language::Source;
}

QSize initialWindowSize(const QRect& available) { return {available.width() * 3 / 4, available.height() * 3 / 4}; }

}  // namespace vistamo::app

namespace vistamo::app {

bool registrationNeeded(const QString& programFolder) {
    return !registopen::entryRuns(registopen::entryPath(),
                                  QDir(programFolder).filePath(QStringLiteral("VistamoPlayer")));
}

bool runRegistrationCheck(const QString& programFolder) {
    if (!registrationNeeded(programFolder))
        return false;
    return QProcess::startDetached(QDir(programFolder).filePath(QStringLiteral("RegistVistamoOpen")), QStringList());
}

namespace {

const char* const kPlayerUsage =
    "usage: vistamo-player [FILE]\n"
    "       vistamo-player -- FILE   (a FILE whose name begins with -)\n"
    "Plays and stitches two-lens 360-degree videos and stills; with FILE it opens it.\n"
    "  -h, --help     this text\n"
    "      --version  the version\n";

}  // namespace

int answerCommandLine(const QStringList& arguments, QString& out, bool& toStderr) {
    toStderr = false;
    const QString first = arguments.value(1);
    if (first == QLatin1String("--help") || first == QLatin1String("-h")) {
        out = QString::fromLatin1(kPlayerUsage);
        return 0;
    }
    if (first == QLatin1String("--version")) {
        out = QStringLiteral("vistamo-player " VISTAMO_VERSION "\n");
        return 0;
    }
    // Single-dash options are Qt's own (-platform, -style), which it takes.
    if (first.startsWith(QLatin1String("--")) && first != QLatin1String("--")) {
        toStderr = true;
        out = QStringLiteral("vistamo-player: unknown option %1\n").arg(first) + QString::fromLatin1(kPlayerUsage);
        return 2;
    }
    return -1;
}

QString commandLineFile(const QStringList& arguments) {
    const int at = arguments.value(1) == QLatin1String("--") ? 2 : 1;
    return arguments.value(at);
}

}  // namespace vistamo::app
