// VistamoPlayer as a process: a first start on an empty data folder, the
// failure dialog and exit status -1 when the folder cannot be made, and the
// crash report when the process gets SIGSEGV.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <functional>

#include "tool_run.h"

namespace {

// Keys and clicks of this suite go to a display of its own.
::testing::Environment* const kDisplay = ::testing::AddGlobalTestEnvironment(new vistamo::testing::PrivateDisplay);

const QString kPlayer = QStringLiteral(VISTAMO_PLAYER_PATH);

QProcessEnvironment environmentWith(const QString& dataHome) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    env.insert(QStringLiteral("LANG"), QStringLiteral("de_DE.UTF-8"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("de_DE.UTF-8"));
    return env;
}

bool waitFor(const std::function<bool()>& done, int ms) {
    for (int waited = 0; waited < ms; waited += 50) {
        if (done())
            return true;
        QThread::msleep(50);
    }
    return done();
}

}  // namespace

TEST(PlayerProgram, FirstStartMakesItsFilesAndACrashLeavesAReport) {
    QTemporaryDir data;
    QProcess player;
    player.setProcessEnvironment(environmentWith(data.path()));
    player.start(kPlayer, QStringList());
    ASSERT_TRUE(player.waitForStarted(10000));
    const QString folder = data.path() + QStringLiteral("/VistamoPlayer");
    ASSERT_TRUE(waitFor([&] { return QFile::exists(folder + "/VistamoPlayer.plist"); }, 20000));
    EXPECT_TRUE(QDir(folder + "/Dump").exists());
    EXPECT_EQ(QSettings(folder + "/VistamoPlayer.ini", QSettings::IniFormat).value("/locale").toString(),
              QStringLiteral("de_DE"));
    kill(pid_t(player.processId()), SIGSEGV);
    ASSERT_TRUE(player.waitForFinished(10000));
    EXPECT_EQ(player.exitStatus(), QProcess::CrashExit);
    const QStringList reports = QDir(folder + "/Dump").entryList({QStringLiteral("*.dmp")}, QDir::Files);
    ASSERT_EQ(reports.size(), 1);
    QFile report(folder + "/Dump/" + reports[0]);
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    EXPECT_TRUE(report.readAll().contains("signal: 11 (SIGSEGV)"));
    const QByteArray err = player.readAllStandardError();
    EXPECT_TRUE(err.contains("Sorry, Vistamo Player has crashed, please contact to us for help! \ndump file : " +
                             QFile::encodeName(folder + "/Dump/" + reports[0])))
        << err.toStdString();
}

TEST(PlayerProgram, AFolderThatCannotBeMadeEndsWithMinusOne) {
    QTemporaryDir data;
    QFile blocker(data.filePath("file"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QProcess player;
    player.setProcessEnvironment(environmentWith(data.filePath("file")));  // a data folder inside a file
    player.start(kPlayer, QStringList());
    ASSERT_TRUE(player.waitForStarted(10000));
    // The failure dialog waits for the user: answer it as one would.
    QProcess xdotool;
    bool answered = false;
    for (int k = 0; k < 100 && !answered && player.state() == QProcess::Running; ++k) {
        QThread::msleep(100);
        xdotool.start(QStringLiteral("sh"),
                      {QStringLiteral("-c"), QStringLiteral("id=$(xdotool search --onlyvisible --pid %1 | head -n1) && "
                                                           "[ -n \"$id\" ] && xdotool windowfocus --sync $id key Escape")
                                                 .arg(player.processId())});
        xdotool.waitForFinished(5000);
        answered = xdotool.exitCode() == 0;
    }
    ASSERT_TRUE(player.waitForFinished(10000));
    EXPECT_TRUE(answered);
    EXPECT_EQ(player.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(player.exitCode(), 255);  // -1
    EXPECT_FALSE(QFileInfo(data.filePath("file")).isDir());
}

// --help and --version answer on the terminal and open no window: they
// run without any display at all. An unknown "--" option is one line and
// the usage, with status 2.
TEST(PlayerProgram, HelpAndVersionAnswerOnTheTerminal) {
    using vistamo::testing::runTool;
    QTemporaryDir data;
    vistamo::testing::ToolOptions noDisplay;
    noDisplay.env = {"DISPLAY=", "WAYLAND_DISPLAY=", "XDG_DATA_HOME=" + data.path().toStdString()};
    noDisplay.timeoutMs = 10000;
    const auto help = runTool(kPlayer.toStdString(), {"--help"}, noDisplay);
    EXPECT_EQ(help.exitCode, 0) << help.err;
    EXPECT_EQ(help.out.rfind("usage: vistamo-player [FILE]\n", 0), 0u) << help.out;
    EXPECT_EQ(runTool(kPlayer.toStdString(), {"-h"}, noDisplay).out, help.out);
    const auto version = runTool(kPlayer.toStdString(), {"--version"}, noDisplay);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("vistamo-player ", 0), 0u) << version.out;
    EXPECT_EQ(std::count(version.out.begin(), version.out.end(), '\n'), 1);
    const auto unknown = runTool(kPlayer.toStdString(), {"--frobnicate"}, noDisplay);
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_EQ(unknown.err.rfind("vistamo-player: unknown option --frobnicate\nusage:", 0), 0u) << unknown.err;
    EXPECT_TRUE(unknown.out.empty());
    // Nothing was made in the user's folders.
    EXPECT_TRUE(QDir(data.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
}
