// VistamoPlayer as a process against hostile files, each case on a fresh
// HOME under the display, answered with xdotool as a user would: special
// files named like media, calibrations that cannot drive a stitch, a still
// too large to decode and damaged playlists. Every case must end in one
// message naming the file, a window that answers a key within a second, the
// playlist's rows as they should be, and never a black view without a word.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <string>

#include "playlist_file.h"
#include "sample_calibration.h"
#include "tool_run.h"

namespace {

// Keys and clicks of this suite go to a display of its own.
::testing::Environment* const kDisplay = ::testing::AddGlobalTestEnvironment(new vistamo::testing::PrivateDisplay);

using vistamo::playlist::PlaylistEntry;

const QString kPlayer = QStringLiteral(VISTAMO_PLAYER_PATH);
const QString kSamples = QStringLiteral(VISTAMO_SAMPLES_DIR);

bool waitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (done())
            return true;
        QThread::msleep(25);
    }
    return done();
}

QString shell(const QString& command) {
    QProcess sh;
    sh.start(QStringLiteral("sh"), {QStringLiteral("-c"), command});
    if (!sh.waitForFinished(10000))
        sh.kill();
    return QString::fromLocal8Bit(sh.readAllStandardOutput()).trimmed();
}

// One player on a HOME of its own.
class Player {
public:
    Player() {
        data_ = home_.filePath(QStringLiteral("data"));
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home_.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), data_);
        env.insert(QStringLiteral("LANG"), QStringLiteral("en_US.UTF-8"));
        env.insert(QStringLiteral("LC_ALL"), QStringLiteral("en_US.UTF-8"));
        process_.setProcessEnvironment(env);
    }
    ~Player() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(5000);
        }
    }
    QString folder() const { return data_ + QStringLiteral("/VistamoPlayer"); }
    QString playlistFile() const { return folder() + QStringLiteral("/VistamoPlayer.plist"); }
    // A playlist in place before the first start.
    void preparePlaylist(const QByteArray& bytes) {
        QDir().mkpath(folder());
        QFile f(playlistFile());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    void start(const QStringList& args) {
        process_.start(kPlayer, args);
        ASSERT_TRUE(process_.waitForStarted(10000));
        ASSERT_TRUE(waitFor([this] { return !mainWindow().isEmpty(); }, 20000)) << "no window";
    }
    // stderr so far.
    const QByteArray& err() {
        err_ += process_.readAllStandardError();
        return err_;
    }
    // Waits for the message line that starts with prefix; its text, or empty.
    QString waitForMessage(const QString& prefix, int ms = 20000) {
        const QByteArray wanted = "message: " + prefix.toUtf8();
        QString found;
        waitFor([&] {
            process_.waitForReadyRead(25);
            for (const QByteArray& line : err().split('\n'))
                if (line.startsWith(wanted))
                    found = QString::fromUtf8(line.mid(9));
            return !found.isEmpty();
        }, ms);
        return found;
    }
    int messageCount() {
        return err().count("\nmessage: ") + (err().startsWith("message: ") ? 1 : 0);
    }
    // The visible top-level windows of the process of this size, as ids.
    QStringList windowsOfSize(int width, int height) const {
        return shell(QStringLiteral("for id in $(xdotool search --onlyvisible --pid %1 2>/dev/null); do "
                                    "eval $(xdotool getwindowgeometry --shell $id); "
                                    "[ \"$WIDTH\" = %2 ] && [ \"$HEIGHT\" = %3 ] && echo $id; done")
                         .arg(process_.processId())
                         .arg(width)
                         .arg(height))
            .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    // The main window: the largest visible one.
    QString mainWindow() const {
        return shell(QStringLiteral("for id in $(xdotool search --onlyvisible --pid %1 2>/dev/null); do "
                                    "eval $(xdotool getwindowgeometry --shell $id); echo $((WIDTH*HEIGHT)) $id; "
                                    "done | sort -n | tail -n1 | cut -d' ' -f2")
                         .arg(process_.processId()));
    }
    // Presses key on the message dialog; how long until it is gone (ms), or
    // -1 when it stays a second or there was none.
    int dismissMessage(const char* key = "Escape") {
        QStringList dialogs;
        waitFor([&] { return !(dialogs = windowsOfSize(400, 200)).isEmpty(); }, 5000);
        if (dialogs.isEmpty())
            return -1;
        shell(QStringLiteral("xdotool windowfocus --sync %1 key %2").arg(dialogs.first(), QLatin1String(key)));
        QElapsedTimer t;
        t.start();
        if (!waitFor([&] { return windowsOfSize(400, 200).isEmpty(); }, 1000))
            return -1;
        return int(t.elapsed());
    }
    // The share of pixels of the main window's middle that are not black.
    double litShare() const {
        const QString id = mainWindow();
        QProcess grab;
        grab.start(QStringLiteral("import"), {QStringLiteral("-window"), id, QStringLiteral("png:-")});
        if (!grab.waitForFinished(15000))
            return 0;
        const QImage shot = QImage::fromData(grab.readAllStandardOutput(), "PNG");
        if (shot.isNull())
            return 0;
        // The view: left of the 302-pixel playlist, between title and control bars.
        const QRect view(0, 40, shot.width() - 310, shot.height() - 110);
        int lit = 0, all = 0;
        for (int y = view.top(); y < view.bottom(); y += 4)
            for (int x = view.left(); x < view.right(); x += 4, ++all)
                if (qGray(shot.pixel(x, y)) > 24)
                    ++lit;
        return all ? double(lit) / all : 0;
    }
    QVector<PlaylistEntry> rows() const {
        QVector<PlaylistEntry> entries;
        vistamo::playlist::readPlaylistFile(playlistFile(), entries);
        return entries;
    }
    // Double-clicks the playlist's row (50 pixels each, under the 30-pixel
    // title bar, in the panel at the window's right).
    void doubleClickRow(int row) {
        shell(QStringLiteral("eval $(xdotool getwindowgeometry --shell %1); "
                             "xdotool mousemove $((X + WIDTH - 150)) $((Y + 30 + %2 * 50 + 25)) click --repeat 2 "
                             "--delay 80 1")
                  .arg(mainWindow())
                  .arg(row));
    }
    bool running() const { return process_.state() == QProcess::Running; }

private:
    QTemporaryDir home_;
    QString data_;
    QProcess process_;
    QByteArray err_;
};

class PlayerHostile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    QString file(const QString& name) const { return dir_.filePath(name); }
    void write(const QString& name, const QByteArray& bytes) {
        QFile f(file(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    // A copy of the two-lens clip whose container calibration is text.
    QString clipWithCalibration(const QString& name, const std::string& text) {
        const QString path = file(name);
        QProcess ffmpeg;
        ffmpeg.start(QStringLiteral("ffmpeg"),
                     {"-v", "error", "-nostdin", "-y", "-i", kSamples + "/twins.mp4", "-t", "1", "-c", "copy",
                      "-metadata", "original_format=" + QString::fromStdString(text), "-movflags",
                      "use_metadata_tags", path});
        EXPECT_TRUE(ffmpeg.waitForFinished(30000));
        EXPECT_EQ(ffmpeg.exitCode(), 0) << ffmpeg.readAllStandardError().toStdString();
        return path;
    }
    bool makeDevice(const QString& name) {
        return vistamo::testing::makeNullDevice(QFile::encodeName(file(name)).toStdString());
    }
    // The player refuses path with one message "Cannot open PATH: REASON",
    // answers Escape within a second and adds no row.
    void expectRefused(const QString& path, const QString& reason) {
        SCOPED_TRACE(path.toStdString());
        Player player;
        player.start({path});
        const QString message = player.waitForMessage(QStringLiteral("Cannot open "));
        EXPECT_EQ(message, QStringLiteral("Cannot open %1: %2").arg(path, reason));
        const int closedMs = player.dismissMessage();
        EXPECT_GE(closedMs, 0) << "the message did not close on Escape within a second";
        EXPECT_TRUE(player.running());
        EXPECT_EQ(player.messageCount(), 1) << player.err().toStdString();
        EXPECT_TRUE(player.rows().isEmpty());
    }

    // A FIFO, a folder and (as root) a device, each named like media.
    void expectSpecialFilesRefused(const char* suffix) {
        const QString fifo = QStringLiteral("fifo") + suffix, folder = QStringLiteral("folder") + suffix,
                      device = QStringLiteral("null") + suffix;
        ASSERT_EQ(mkfifo(QFile::encodeName(file(fifo)).constData(), 0600), 0);
        ASSERT_TRUE(QDir().mkdir(file(folder)));
        expectRefused(file(fifo), QStringLiteral("is a FIFO, not a regular file"));
        expectRefused(file(folder), QStringLiteral("is a directory"));
        if (makeDevice(device))
            expectRefused(file(device), QStringLiteral("is a device, not a regular file"));
        else
            ASSERT_NE(getuid(), 0u);
    }

    QTemporaryDir dir_;
};

}  // namespace

TEST_F(PlayerHostile, SpecialFilesNamedAsStillsAreRefusedAtOnce) { expectSpecialFilesRefused(".jpg"); }

TEST_F(PlayerHostile, SpecialFilesNamedAsVideosAreRefusedAtOnce) { expectSpecialFilesRefused(".mp4"); }

TEST_F(PlayerHostile, AStillTooLargeToDecodeIsRefused) {
    write(QStringLiteral("huge.jpg"), QByteArray::fromStdString(vistamo::testing::jpegSkeleton(65500, 65500)));
    expectRefused(file("huge.jpg"),
                  QStringLiteral("the picture is 65500x65500, larger than the 16384 pixels a side that can be used"));
}

// A calibration the stitch cannot use: one message, then the picture as it
// was recorded (never black), and the file keeps its row.
TEST_F(PlayerHostile, UnusableCalibrationsAreNamedAndTheFileShownAsRecorded) {
    const std::string twins = samples::kTwinsCalibText;
    // In EXIF: the still's own text with one number made "nan", in place.
    QFile still(kSamples + "/twins.jpg");
    ASSERT_TRUE(still.open(QIODevice::ReadOnly));
    QByteArray bytes = still.readAll();
    const int at = bytes.indexOf("_0.8_");
    ASSERT_GT(at, 0);
    bytes.replace(at, 5, "_nan_");
    write(QStringLiteral("nan.jpg"), bytes);
    std::string tokens5000 = "6";
    for (int k = 1; k < 5000; ++k)
        tokens5000 += "_1e30";
    const struct {
        QString path, reason;
    } cases[] = {
        {file("nan.jpg"), "number 6 (\"nan\") is not a finite number"},
        {clipWithCalibration("big.mp4", vistamo::testing::withToken(twins, 1, "1e30")), "number 2 (\"1e30\") is not a finite number"},
        {clipWithCalibration("few.mp4", "6_0_0_0"), "it has 4 numbers, its layout needs 27"},
        {clipWithCalibration("many.mp4", tokens5000), "number 2 (\"1e30\") is not a finite number"},
        {clipWithCalibration("long.mp4", vistamo::testing::withToken(twins, 25, "1" + std::string(60000, '0'))),
         "number 26 (\"100000000000000000000000\") is not a finite number"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        Player player;
        player.start({c.path});
        const QString message = player.waitForMessage(c.path);
        EXPECT_EQ(message, QStringLiteral("%1 cannot be stitched: the calibration cannot be used: %2. It is shown as it "
                                          "was recorded.")
                               .arg(c.path, c.reason));
        EXPECT_GE(player.dismissMessage("Return"), 0);
        EXPECT_TRUE(waitFor([&] { return player.litShare() > 0.05; }, 10000)) << "the view stayed black";
        EXPECT_TRUE(waitFor([&] { return player.rows().size() == 1; }, 10000));
        EXPECT_EQ(player.messageCount(), 1) << player.err().toStdString();
        // Quotes of the file's text are cut: no log line near the text's size.
        for (const QByteArray& line : player.err().split('\n'))
            EXPECT_LT(line.size(), 2000) << line.left(200).toStdString();
    }
}

TEST_F(PlayerHostile, DamagedPlaylistsAreKeptAsBakAndNamedOnce) {
    QByteArray bomb = "<?xml version=\"1.0\"?>\n<!DOCTYPE plist [\n<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">\n";
    for (char e = 'b'; e <= 'j'; ++e)
        bomb += QByteArray("<!ENTITY ") + e + " \"" + QByteArray("&") + char(e - 1) + ";" + QByteArray("&") +
                char(e - 1) + ";" + QByteArray("&") + char(e - 1) + ";" + QByteArray("&") + char(e - 1) + ";\">\n";
    bomb += "]>\n<plist><item type=\"video\"><name>&j;</name><path>/m/a.mp4</path></item></plist>\n";
    QByteArray deep = "<plist><item type=\"video\"><name>";
    for (int k = 0; k < 10000; ++k)
        deep += "<a>";
    for (int k = 0; k < 10000; ++k)
        deep += "</a>";
    deep += "</name></item></plist>";
    for (const QByteArray& damaged : {bomb, deep}) {
        Player player;
        player.preparePlaylist(damaged);
        player.start({});
        const QString message = player.waitForMessage(QStringLiteral("The play list "));
        EXPECT_EQ(message, QStringLiteral("The play list %1 could not be read. It was kept as %1.bak, and a new, empty "
                                          "play list was started.")
                               .arg(player.playlistFile()));
        EXPECT_GE(player.dismissMessage("Return"), 0);
        QFile kept(player.playlistFile() + ".bak");
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), damaged);
        EXPECT_TRUE(player.rows().isEmpty());
        EXPECT_EQ(player.messageCount(), 1);
    }
}

TEST_F(PlayerHostile, PlaylistRowsThatAreNotFilesAreRemovedWithTheirReason) {
    ASSERT_EQ(mkfifo(QFile::encodeName(file("fifo.jpg")).constData(), 0600), 0);
    ASSERT_TRUE(QDir().mkdir(file("folder.mp4")));
    const bool device = makeDevice(QStringLiteral("null.mp4"));
    ASSERT_TRUE(device || getuid() != 0);
    QVector<PlaylistEntry> rows = {{true, "fifo", file("fifo.jpg"), "jpg", 0},
                                   {false, "folder", file("folder.mp4"), "00:00:03", 0}};
    if (device)
        rows.push_back({false, "null", file("null.mp4"), "00:00:03", 0});
    rows.push_back({true, "twins", kSamples + "/twins.jpg", "jpg", 2});
    Player player;
    player.preparePlaylist(vistamo::playlist::playlistDocument(rows));
    player.start({});
    const QStringList reasons = {"is a FIFO, not a regular file", "is a directory", "is a device, not a regular file"};
    for (int k = 0; k + 1 < rows.size(); ++k) {
        SCOPED_TRACE(rows[k].path.toStdString());
        // The bad row is always the first now: the ones before it went.
        player.doubleClickRow(0);
        EXPECT_EQ(player.waitForMessage(QStringLiteral("Cannot open ")),
                  QStringLiteral("Cannot open %1: %2. It will be removed from the play list.").arg(rows[k].path, reasons[k]));
        EXPECT_GE(player.dismissMessage(), 0);
        EXPECT_TRUE(waitFor([&] { return player.rows().size() == rows.size() - k - 1; }, 3000));
    }
    const QVector<PlaylistEntry> left = player.rows();
    ASSERT_EQ(left.size(), 1);
    EXPECT_EQ(left[0].path, kSamples + "/twins.jpg");
    // The good row still plays.
    player.doubleClickRow(0);
    EXPECT_TRUE(waitFor([&] { return player.litShare() > 0.05; }, 10000));
    EXPECT_EQ(player.messageCount(), int(rows.size()) - 1);
}
