// VistamoPlayer: the player program. Start-up in this order: the crash
// handler, the application, the user folder with "Dump" and the settings,
// the language, the main window with its playlist, the command-line file.
#include <QApplication>
#include <QFile>
#include <QStringList>
#include <QGuiApplication>
#include <QIcon>
#include <QScreen>
#include <QTranslator>

#include <cstdio>

#include "crash_handler.h"
#include "feedback.h"
#include "main_window.h"
#include "resources.h"
#include "startup.h"

using namespace vistamo;

int main(int argc, char** argv) {
    // --help and --version answer on the terminal, before any window.
    {
        QStringList arguments;
        for (int k = 0; k < argc; ++k)
            arguments << QString::fromLocal8Bit(argv[k]);
        QString answer;
        bool toStderr = false;
        const int status = app::answerCommandLine(arguments, answer, toStderr);
        if (status >= 0) {
            std::fputs(answer.toLocal8Bit().constData(), toStderr ? stderr : stdout);
            return status;
        }
    }
    // 1. The crash handler, with the dump folder it will need.
    const QByteArray dumpFolder = QFile::encodeName(app::userFolderPath() + QStringLiteral("/Dump"));
    app::installCrashHandler(dumpFolder.constData());
    // 2–4. The application, desktop GL, the icon.
    QApplication::setAttribute(Qt::AA_UseDesktopOpenGL);
    QApplication application(argc, argv);
    ui::initResources();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/app_icon.ico")));
    QTranslator translator;
    // 6–9. The user folder, "Dump" and the settings file.
    app::UserFiles files;
    if (!app::prepareUserFiles(app::userFolderPath(), files)) {
        ui::Feedback failure;
        failure.setFixedSize(400, 300);
        failure.hideRightButton();
        failure.makeModal();
        failure.setTitleLine(QStringLiteral("Vistamo Player"));
        failure.setMessage(QString::fromLatin1(app::kConfigurationFailure));
        failure.exec();
        return -1;
    }
    // 10–11. The language.
    const QString locale = app::readLocale(files.settingsPath, QLocale::system().name());
    app::applyLanguage(locale, translator, QCoreApplication::applicationDirPath());
    // 12. The "Open with" entry.
    app::runRegistrationCheck(QCoreApplication::applicationDirPath());
    // 13–15. The window.
    const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
    app::MainWindow window(nullptr, locale, files.settingsPath, app::initialWindowSize(available),
                           files.folder + QStringLiteral("/VistamoPlayer.plist"));
    window.initPlayList();
    window.show();
    // 16. The file named on the command line.
    {
        QStringList arguments;
        for (int k = 0; k < argc; ++k)
            arguments << QString::fromLocal8Bit(argv[k]);
        const QString path = app::commandLineFile(arguments);
        if (!path.isEmpty())
            window.openMediaFile(path);
    }
    // 17. Full screen and straight back: a frameless window is laid out anew.
    window.setWindowState(Qt::WindowFullScreen);
    window.setWindowState(Qt::WindowNoState);
    // Once after start-up: the update check (nothing is sent when this build
    // has no update address).
    window.checkForUpdate();
    return application.exec();
}
