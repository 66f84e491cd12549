// Start-up's files, language and window size, and the crash handler in a
// child process that really crashes.
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QSettings>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include "crash_handler.h"
#include "startup.h"

using namespace vistamo::app;

class StartupTest : public QObject {
    Q_OBJECT

private slots:
    void firstStartMakesTheFolderDumpAndSettings() {
        QTemporaryDir home;
        UserFiles files;
        const QString folder = home.path() + QStringLiteral("/deep/er/VistamoPlayer/");
        QVERIFY(prepareUserFiles(folder, files));
        QCOMPARE(files.folder, home.path() + QStringLiteral("/deep/er/VistamoPlayer"));
        QVERIFY(QDir(files.dumpFolder).exists());
        QVERIFY(QFile::exists(files.settingsPath));
        QCOMPARE(QFile(files.settingsPath).size(), 0);
        // The system locale is written back once; a kept value stays.
        QCOMPARE(readLocale(files.settingsPath, QStringLiteral("de_DE")), QStringLiteral("de_DE"));
        QCOMPARE(QSettings(files.settingsPath, QSettings::IniFormat).value("/locale").toString(), QStringLiteral("de_DE"));
        QCOMPARE(readLocale(files.settingsPath, QStringLiteral("fr_FR")), QStringLiteral("de_DE"));
        // A second start changes nothing and still succeeds.
        QVERIFY(prepareUserFiles(folder, files));
    }

    void aFolderThatCannotBeMadeFails() {
        QTemporaryDir home;
        // A file where the folder must go (read-only folders do not stop root).
        QFile blocker(home.path() + QStringLiteral("/blocked"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        UserFiles files;
        QVERIFY(!prepareUserFiles(home.path() + QStringLiteral("/blocked/VistamoPlayer"), files));
        QVERIFY(QString::fromLatin1(kConfigurationFailure).contains("\nVistamo Player will shut down."));
    }

    void languages() {
        QTranslator translator;
        QCOMPARE(applyLanguage(QStringLiteral("fr_FR"), translator, QStringLiteral("/nonexistent")), Language::Source);
        QCOMPARE(applyLanguage(QStringLiteral("en_US"), translator, QStringLiteral("/nonexistent")), Language::English);
        QCOMPARE(QLocale().name(), QStringLiteral("en_US"));
        // Missing translation file: Chinese locale, installed but empty translator.
        QCOMPARE(applyLanguage(QStringLiteral("zh_CN"), translator, QStringLiteral("/nonexistent")), Language::Chinese);
        QCOMPARE(QLocale().name(), QStringLiteral("zh_CN"));
        QVERIFY(translator.isEmpty());
        QCoreApplication::removeTranslator(&translator);
        // The built translation: a known text in Chinese, and English for
        // any other locale.
        QTranslator built;
        QCOMPARE(applyLanguage(QStringLiteral("zh_CN"), built, QStringLiteral(VISTAMO_QM_DIR)), Language::Chinese);
        QVERIFY(!built.isEmpty());
        QCOMPARE(QCoreApplication::translate("vistamo::app::MainWindow", "Export failed!"), QStringLiteral("导出失败！"));
        QCOMPARE(QCoreApplication::translate("title_bar", "中文"), QStringLiteral("English"));
        QCoreApplication::removeTranslator(&built);
        QTranslator unused;
        QCOMPARE(applyLanguage(QStringLiteral("fr_FR"), unused, QStringLiteral(VISTAMO_QM_DIR)), Language::Source);
        QCOMPARE(QCoreApplication::translate("vistamo::app::MainWindow", "Export failed!"), QStringLiteral("Export failed!"));
        QLocale::setDefault(QLocale::c());
        QCOMPARE(initialWindowSize(QRect(0, 0, 1921, 1081)), QSize(1440, 810));
    }

    void dumpNamesAreTheLocalTime() {
        char name[64];
        // 2016-12-03 14:15:02 UTC, seen from UTC+1.
        dumpFileName("Dump", 1480774502, 3600, name, sizeof name);
        QCOMPARE(QString::fromLatin1(name), QStringLiteral("Dump/20161203_151502.dmp"));
        dumpFileName("Dump", 0, -3600, name, sizeof name);
        QCOMPARE(QString::fromLatin1(name), QStringLiteral("Dump/19691231_230000.dmp"));
        char small[10];
        dumpFileName("/a/long/folder", 0, 0, small, sizeof small);
        QCOMPARE(QString::fromLatin1(small), QStringLiteral("/a/long/f"));  // truncated, never past the buffer
    }

    void aCrashLeavesAReportAndTheMessage() {
        QTemporaryDir dumps;
        int err[2];
        QVERIFY(pipe(err) == 0);
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(err[1], STDERR_FILENO);
            installCrashHandler(QFile::encodeName(dumps.path()).constData());
            volatile int* nowhere = nullptr;
            *nowhere = 1;
            _exit(0);
        }
        close(err[1]);
        QByteArray message;
        char buffer[512];
        for (ssize_t n; (n = read(err[0], buffer, sizeof buffer)) > 0;)
            message.append(buffer, int(n));
        close(err[0]);
        int status = 0;
        waitpid(pid, &status, 0);
        QVERIFY(WIFSIGNALED(status));
        QCOMPARE(WTERMSIG(status), SIGSEGV);
        const QStringList reports = QDir(dumps.path()).entryList({QStringLiteral("*.dmp")}, QDir::Files);
        QCOMPARE(reports.size(), 1);
        QVERIFY(QRegularExpression(QStringLiteral("^\\d{8}_\\d{6}\\.dmp$")).match(reports[0]).hasMatch());
        QFile report(QDir(dumps.path()).filePath(reports[0]));
        QVERIFY(report.open(QIODevice::ReadOnly));
        const QByteArray text = report.readAll();
        QVERIFY(text.contains("signal: 11 (SIGSEGV)"));
        QVERIFY(text.contains("address: 0x0"));
        QVERIFY(text.contains("backtrace:\n"));
        QVERIFY(message.startsWith("Sorry, Vistamo Player has crashed, please contact to us for help! \ndump file : "));
        QVERIFY(message.contains(reports[0].toLatin1()));
    }
};

QTEST_GUILESS_MAIN(StartupTest)
#include "startup_test.moc"
