// The playlist file and panel with real widgets (Qt Test, under a display).
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QItemSelectionModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <signal.h>
#include <sys/stat.h>
#include <sys/resource.h>

#include "playlist.h"
#include "playlist_file.h"
#include "playlist_model.h"
#include "resources.h"

using namespace vistamo::playlist;

class PlaylistTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QStringList messages_;

    QString file(const QString& name) const { return dir_.filePath(name); }
    // A panel on a file of its own whose messages are recorded, not shown.
    std::unique_ptr<PlayList> panel(const QString& name) {
        auto list = std::make_unique<PlayList>();
        list->setMessageRunner([this](const QString& text) { messages_ << text; });
        list->SetListFile(file(name));
        return list;
    }
    // What the view shows in a cell, for a role.
    static QVariant cell(const PlayList& list, int row, int column, int role = Qt::DisplayRole) {
        return list.model()->index(row, column).data(role);
    }
    static QColor colourOf(const PlayList& list, int row, int column) {
        return cell(list, row, column, Qt::ForegroundRole).value<QBrush>().color();
    }
    static void doubleClick(PlayList& list, int row, int column) {
        emit list.table()->doubleClicked(list.model()->index(row, column));
    }
    static QByteArray read(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static void write(const QString& path, const QByteArray& bytes) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }

private slots:
    void initTestCase() {
        vistamo::ui::initResources();
        QVERIFY(dir_.isValid());
    }
    void init() { messages_.clear(); }

    void fileRoundTrip() {
        QVector<PlaylistEntry> rows;
        rows.push_back({false, QStringLiteral("clip"), QStringLiteral("D:\\Videos\\clip.mp4"), QStringLiteral("00:01:23"), 2});
        rows.push_back({true, QStringLiteral("café 全景"), QStringLiteral("/home/u/with blanks/café 全景.JPG"),
                        QStringLiteral("JPG"), -1});
        rows.push_back({false, QStringLiteral("a&b<c>"), QStringLiteral("/m/\"q\" 'a'&b.mp4"), QStringLiteral("01:02:05"), 0});
        for (int k = 0; k < 1000; ++k)
            rows.push_back({k % 2 == 0, QStringLiteral("row %1").arg(k), QStringLiteral("/media/row %1.mp4").arg(k),
                            QStringLiteral("00:00:%1").arg(k % 60, 2, 10, QLatin1Char('0')), k % 3 - 1});
        QVERIFY(writePlaylistFile(file("round.plist"), rows));
        QVector<PlaylistEntry> back;
        QCOMPARE(readPlaylistFile(file("round.plist"), back), ReadResult::Ok);
        QCOMPARE(back.size(), rows.size());
        for (int k = 0; k < rows.size(); ++k) {
            QCOMPARE(back[k].isImage, rows[k].isImage);
            QCOMPARE(back[k].name, rows[k].name);
            QCOMPARE(back[k].path, rows[k].path);
            QCOMPARE(back[k].extip, rows[k].extip);
            QCOMPARE(back[k].model, rows[k].model);
        }
        // The layout: declaration, root, items with type and four children in order.
        const QByteArray one = playlistDocument({rows[0]});
        QVERIFY(one.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist>\n    <item type=\"video\">\n"
                               "        <name>clip</name>\n        <path>D:\\Videos\\clip.mp4</path>\n"
                               "        <extip>00:01:23</extip>\n        <model>2</model>\n    </item>\n</plist>"));
        QVERIFY(playlistDocument({}).contains("<plist/>"));
    }

    void tolerantReading_data() {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<bool>("isImage");
        QTest::addColumn<int>("model");
        QTest::addColumn<QString>("path");
        QTest::newRow("video") << QByteArray("<plist><item type=\"video\"><path>p</path><model>2</model></item></plist>")
                               << true << false << 2 << "p";
        QTest::newRow("Video is a still") << QByteArray("<plist><item type=\"Video\"><model>1</model></item></plist>")
                                          << true << true << 1 << "";
        QTest::newRow("no type") << QByteArray("<plist><item><model>-1</model></item></plist>") << true << true << -1 << "";
        QTest::newRow("no model is 0") << QByteArray("<plist><item type=\"video\"/></plist>") << true << false << 0 << "";
        QTest::newRow("model not a number") << QByteArray("<plist><item><model>two</model></item></plist>")
                                            << true << true << 0 << "";
        QTest::newRow("wrong root") << QByteArray("<list><item/></list>") << false << false << 0 << "";
        QTest::newRow("not xml") << QByteArray("<plist><item>") << false << false << 0 << "";
        QByteArray deep = "<plist><item><name>";
        for (int k = 0; k < 10000; ++k)
            deep += "<a>";
        for (int k = 0; k < 10000; ++k)
            deep += "</a>";
        QTest::newRow("10 000 deep") << deep + "</name></item></plist>" << false << false << 0 << "";
        QByteArray bomb = "<!DOCTYPE plist [<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">";
        for (char e = 'b'; e <= 'j'; ++e)
            bomb += QByteArray("<!ENTITY ") + e + " \"" + QByteArray(10, '&').replace("&", QByteArray("&") + char(e - 1) + ";") + "\">";
        QTest::newRow("entity bomb") << bomb + "]><plist><item><name>&j;</name></item></plist>" << false << false << 0 << "";
        QTest::newRow("first child wins, text of children kept")
            << QByteArray("<plist><item><path>p<b>q</b></path><path>x</path></item></plist>") << true << true << 0 << "pq";
        QTest::newRow("junk after the root") << QByteArray("<plist/><plist/>") << false << false << 0 << "";
    }
    void tolerantReading() {
        QFETCH(QByteArray, xml);
        QFETCH(bool, ok);
        QVector<PlaylistEntry> rows;
        QCOMPARE(parsePlaylist(xml, rows), ok);
        if (!ok)
            return;
        QCOMPARE(rows.size(), 1);
        QTEST(rows[0].isImage, "isImage");
        QTEST(rows[0].model, "model");
        QTEST(rows[0].path, "path");
    }

    void listPathTest() {
        PlayList list;
        list.SetListFile(file("a.PLIST"));
        QCOMPARE(list.listFile(), file("a.PLIST"));
        list.SetListFile(file("b.xml"));
        QCOMPARE(list.listFile(), file("a.PLIST"));
        PlayList none;
        none.SetListFile(file("c.xml"));
        QVERIFY(!none.LoadList() && !none.CreateList() && !none.SaveList());
    }

    void firstStartAndDamagedFiles() {
        auto list = panel("first.plist");
        QVERIFY(!list->LoadList());
        QVERIFY(messages_.isEmpty());
        QVERIFY(list->CreateList());
        QVERIFY(read(file("first.plist")).contains("<plist/>"));
        QVERIFY(list->IsEmpty());

        // A damaged playlist is kept as .bak (replacing an older one).
        write(file("damaged.plist"), "<plist><item><name>lost?</name>");
        write(file("damaged.plist.bak"), "older");
        auto damaged = panel("damaged.plist");
        QVERIFY(!damaged->LoadList());
        QVERIFY(messages_.isEmpty());
        QVERIFY(damaged->CreateList());
        QCOMPARE(read(file("damaged.plist.bak")), QByteArray("<plist><item><name>lost?</name>"));
        // Said once, with where the old list went.
        QCOMPARE(messages_, QStringList{"The play list " + file("damaged.plist") + " could not be read. It was kept as " +
                                        file("damaged.plist.bak") + ", and a new, empty play list was started."});
        QVERIFY(read(file("damaged.plist")).contains("<plist/>"));
    }

    void aFailedSaveKeepsThePreviousFile() {
        auto list = panel("kept.plist");
        list->AddMedia(QStringLiteral("/m/one.mp4"), false, 1000, true);
        const QByteArray before = read(file("kept.plist"));
        QVERIFY(before.contains("one.mp4"));
        for (int k = 0; k < 200; ++k)
            list->AddMedia(QStringLiteral("/m/more %1.mp4").arg(k), false, 1000, false);
        // A disk that takes only a few bytes: every write fails.
        write(file("kept.plist"), before);
        signal(SIGXFSZ, SIG_IGN);
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        const rlimit tiny{512, old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &tiny);
        const bool saved = list->SaveList();
        setrlimit(RLIMIT_FSIZE, &old);
        QVERIFY(!saved);
        QCOMPARE(messages_.size(), 1);
        QCOMPARE(read(file("kept.plist")), before);
        QCOMPARE(QDir(dir_.path()).entryList({QStringLiteral("kept*")}, QDir::Files | QDir::Hidden).size(), 1);
    }

    void rowsReachTheFileAsTheyChange() {
        auto list = panel("live.plist");
        QVERIFY(list->CreateList());
        list->AddMedia(QStringLiteral("/m/a.mp4"), false, 3725000, true);
        QVERIFY(read(file("live.plist")).contains("<extip>01:02:05</extip>"));
        list->SetModel(QStringLiteral("/m/a.mp4"), 2);
        QVERIFY(read(file("live.plist")).contains("<model>2</model>"));
        list->RemoveRowByPath(QStringLiteral("/m/a.mp4"));
        QVERIFY(!read(file("live.plist")).contains("a.mp4"));
        // Loading writes nothing back.
        auto again = panel("live.plist");
        QVERIFY(again->LoadList());
    }

    void rowsKindsAndHighlight() {
        auto list = panel("rows.plist");
        list->SetModel(QStringLiteral("/m/photo.JPG"), 2);  // before the row exists
        list->AddMedia(QStringLiteral("/m/photo.JPG"), true, 0, false);
        list->AddMedia(QStringLiteral("/m/clip.mp4"), false, 3725000, true);
        list->AddMedia(QStringLiteral("/m/clip.mp4"), false, 3725000, true);  // no second row
        QCOMPARE(list->rowCount(), 2);
        const PlaylistEntry& photo = list->entryAt(0);
        QCOMPARE(photo.name, QStringLiteral("photo"));
        QCOMPARE(photo.extip, QStringLiteral("JPG"));
        QCOMPARE(cell(*list, 0, 2).toString(), QStringLiteral("jpg"));
        QCOMPARE(photo.model, 2);
        QCOMPARE(cell(*list, 1, 2).toString(), QStringLiteral("01:02:05"));
        QCOMPARE(list->currentRow(), 1);
        QCOMPARE(colourOf(*list, 1, 1), QColor(255, 232, 7));
        QCOMPARE(colourOf(*list, 0, 1), QColor(255, 255, 255));
        QVERIFY(!cell(*list, 1, 0, Qt::DecorationRole).value<QIcon>().isNull());
        QVERIFY(cell(*list, 0, 0, Qt::DecorationRole).isNull());
        QVERIFY(list->SaveList());
        QVERIFY(read(file("rows.plist")).contains("<model>2</model>"));
    }

    void deletingSelectedRowsStopsPlaybackOnce() {
        auto list = panel("delete.plist");
        for (int k = 0; k < 5; ++k)
            list->AddMedia(QStringLiteral("/m/%1.mp4").arg(k), false, 1000, k == 2);
        QSignalSpy stop(list.get(), &PlayList::StopPlay);
        for (int row : {1, 2, 4})
            list->table()->selectionModel()->select(list->model()->index(row, 1),
                                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
        list->removeButton()->click();
        QCOMPARE(stop.count(), 1);
        QCOMPARE(list->currentRow(), -1);
        QCOMPARE(list->rowCount(), 2);
        QCOMPARE(list->entryAt(0).path, QStringLiteral("/m/0.mp4"));
        QCOMPARE(list->entryAt(1).path, QStringLiteral("/m/3.mp4"));
    }

    void doubleClickPlaysOrRemovesAMissingFile() {
        auto list = panel("double.plist");
        const QString present = file("present.mp4");
        write(present, "x");
        list->AddMedia(present, false, 1000, false);
        list->AddMedia(file("gone.mp4"), false, 1000, false);
        QSignalSpy start(list.get(), &PlayList::StartPlay);
        doubleClick(*list, 0, 1);
        QCOMPARE(start.count(), 1);
        QCOMPARE(start.at(0).at(0).toString(), present);
        doubleClick(*list, 1, 2);
        QCOMPARE(start.count(), 1);
        QCOMPARE(messages_, QStringList{"This file does not exist any more, it will be removed from the play list."});
        QCOMPARE(list->rowCount(), 1);
        QCOMPARE(list->FindRow(present), 0);
        // A row that now names a FIFO or a folder goes too, with its reason,
        // and nothing opens it.
        QVERIFY(mkfifo(QFile::encodeName(file("fifo.jpg")).constData(), 0600) == 0);
        QVERIFY(QDir().mkpath(file("folder.mp4")));
        list->AddMedia(file("fifo.jpg"), true, 0, false);
        list->AddMedia(file("folder.mp4"), false, 1000, false);
        messages_.clear();
        doubleClick(*list, 1, 1);
        doubleClick(*list, 1, 1);
        QCOMPARE(start.count(), 1);
        QCOMPARE(messages_, (QStringList{"Cannot open " + file("fifo.jpg") +
                                             ": is a FIFO, not a regular file. It will be removed from the play list.",
                                         "Cannot open " + file("folder.mp4") +
                                             ": is a directory. It will be removed from the play list."}));
        QCOMPARE(list->rowCount(), 1);
        QVERIFY(!read(file("double.plist")).contains("fifo.jpg"));
    }

    // A list of 100 000 rows: loaded, shown and saved whole, the table
    // asking only for the rows it draws.
    void aHundredThousandRows() {
        QVector<PlaylistEntry> rows;
        for (int k = 0; k < 100000; ++k)
            rows.push_back({k % 2 == 0, QStringLiteral("row %1").arg(k), QStringLiteral("/media/row %1.mp4").arg(k),
                            QStringLiteral("00:00:01"), 2});
        QVERIFY(writePlaylistFile(file("large.plist"), rows));
        auto list = panel("large.plist");
        QVERIFY(list->LoadList());
        QCOMPARE(list->rowCount(), 100000);
        list->show();
        QVERIFY(QTest::qWaitForWindowExposed(list.get()));
        QCOMPARE(list->FindRow(QStringLiteral("/media/row 99999.mp4")), 99999);
        list->AddMedia(QStringLiteral("/media/new.mp4"), false, 1000, true);
        QCOMPARE(list->currentRow(), 100000);
        QVector<PlaylistEntry> back;
        QCOMPARE(readPlaylistFile(file("large.plist"), back), ReadResult::Ok);
        QCOMPARE(back.size(), 100001);
        QCOMPARE(back.last().path, QStringLiteral("/media/new.mp4"));
    }

    void dropsAreOfferedInOrder() {
        auto list = panel("drop.plist");
        list->show();
        QMimeData mime;
        QList<QUrl> urls;
        for (const char* name : {"/m/d.mp4", "/m/a.mp4", "/m/c b.jpg", "/m/b.flv"})
            urls << QUrl::fromLocalFile(QString::fromLatin1(name));
        mime.setUrls(urls);
        QSignalSpy offered(list.get(), &PlayList::AddFiles);
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(list.get(), &drop);
        QCOMPARE(offered.count(), 1);
        QCOMPARE(offered.at(0).at(0).toStringList(),
                 (QStringList{"/m/d.mp4", "/m/a.mp4", "/m/c b.jpg", "/m/b.flv"}));
    }
};

QTEST_MAIN(PlaylistTest)
#include "playlist_test.moc"
