// RegistVistamoOpen as a process in a private XDG_DATA_HOME, and the
// player's start-up check that starts it.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "desktop_entry.h"
#include "startup.h"

using namespace vistamo;

namespace {

QString readText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The tool from folder (a link to the built one), with its own data home.
struct ToolResult {
    int exitCode = -1;
    QString err;
};
ToolResult runTool(const QString& folder, const QString& dataHome) {
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", dataHome);
    tool.setProcessEnvironment(env);
    tool.start(folder + "/RegistVistamoOpen", QStringList());
    tool.waitForFinished(30000);
    return {tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1,
            QString::fromLocal8Bit(tool.readAllStandardError())};
}

QString installIn(const QString& folder) {
    QDir().mkpath(folder);
    QFile::link(QStringLiteral(REGISTOPEN_PATH), folder + "/RegistVistamoOpen");
    return folder;
}

bool validates(const QString& path) {
    QProcess check;
    check.start("desktop-file-validate", {path});
    check.waitForFinished(30000);
    const QString said = QString::fromLocal8Bit(check.readAllStandardOutput() + check.readAllStandardError());
    if (!said.trimmed().isEmpty())
        qWarning("%s", qPrintable(said));
    return check.exitStatus() == QProcess::NormalExit && check.exitCode() == 0 && said.trimmed().isEmpty();
}

}  // namespace

class RegistOpenTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;

private slots:
    void execArgumentsFollowTheFormat() {
        QCOMPARE(registopen::execArgument("/opt/vistamo/VistamoPlayer"), QStringLiteral("/opt/vistamo/VistamoPlayer"));
        QCOMPARE(registopen::execArgument("/opt/My Apps/VistamoPlayer"),
                 QStringLiteral("\"/opt/My Apps/VistamoPlayer\""));
        // '$' and '"' escaped inside the quotes, then the backslashes
        // escaped again for the string value; '%' doubled.
        QCOMPARE(registopen::execArgument("/a$b/\"c\"/50%/VistamoPlayer"),
                 QStringLiteral("\"/a\\\\$b/\\\\\"c\\\\\"/50%%/VistamoPlayer\""));
    }

    void writesAValidEntryOnceAndRepointsAMovedInstallation() {
        const QString data = dir_.filePath("data");
        const QString first = installIn(dir_.filePath("opt/vistamo"));
        const ToolResult r = runTool(first, data);
        QCOMPARE(r.exitCode, 0);
        QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
        const QString entry = data + "/applications/vistamo-player.desktop";
        const QString text = readText(entry);
        QVERIFY(text.contains("Name=Vistamo Player\n"));
        QVERIFY(text.contains("Exec=" + first + "/VistamoPlayer %f\n"));
        QVERIFY(text.contains("MimeType=video/mp4;video/quicktime;video/x-flv;image/jpeg;\n"));
        QVERIFY(validates(entry));
        // Twice: one entry, the same text.
        QCOMPARE(runTool(first, data).exitCode, 0);
        QCOMPARE(readText(entry), text);
        const QStringList files = QDir(data + "/applications").entryList({"*.desktop"}, QDir::Files | QDir::Hidden);
        QCOMPARE(files, QStringList{"vistamo-player.desktop"});
        // Moved to a folder with blanks and non-ASCII letters: re-pointed,
        // quoted, still valid.
        const QString moved = installIn(dir_.filePath("Program Files/Vistamo Spieler ü"));
        QCOMPARE(runTool(moved, data).exitCode, 0);
        QVERIFY(readText(entry).contains("Exec=\"" + moved + "/VistamoPlayer\" %f\n"));
        QVERIFY(validates(entry));
        QVERIFY(registopen::entryRuns(entry, moved + "/VistamoPlayer"));
        QVERIFY(!registopen::entryRuns(entry, first + "/VistamoPlayer"));
    }

    void aFailedWriteIsReported() {
        // A file where the data folder should be.
        const QString blocked = dir_.filePath("blocked");
        QFile f(blocked);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        const ToolResult r = runTool(installIn(dir_.filePath("opt/blocked")), blocked);
        QCOMPARE(r.exitCode, 1);
        QCOMPARE(r.err.count('\n'), 1);
        QVERIFY(r.err.startsWith("RegistVistamoOpen: cannot "));
    }

    void startUpStartsTheToolOnlyWhenNeeded() {
        const QString data = dir_.filePath("startup-data");
        qputenv("XDG_DATA_HOME", data.toLocal8Bit());
        const QString folder = installIn(dir_.filePath("startup/vistamo"));
        const QString entry = data + "/applications/vistamo-player.desktop";
        QVERIFY(app::registrationNeeded(folder));
        QVERIFY(app::runRegistrationCheck(folder));
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(entry), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(!app::registrationNeeded(folder), 5000);
        QVERIFY(!app::runRegistrationCheck(folder));  // present and right: not started
        // Another installation's entry counts as missing.
        const QString other = installIn(dir_.filePath("startup/other"));
        QVERIFY(app::registrationNeeded(other));
        qunsetenv("XDG_DATA_HOME");
    }
};

QTEST_GUILESS_MAIN(RegistOpenTest)
#include "registopen_test.moc"
