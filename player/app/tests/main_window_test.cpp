// The main window with real playback of the generated samples (Qt Test,
// under a display): open paths, kinds, view modes, capture, the playlist.
#include <sys/stat.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QMimeData>
#include <QTableView>
#include <QUrl>
#include <QScreen>
#include <QTemporaryDir>
#include <QToolButton>
#include <QSettings>
#include <QtTest>

#include "bottom_bar.h"
#include "feedback.h"
#include "gl_view.h"
#include "main_window.h"
#include "statistics_overlay.h"
#include "playlist_model.h"
#include "playlist.h"
#include "progress_slider.h"
#include "resources.h"
#include "title_bar.h"
#include "type_bar.h"
#include "video_texture_player.h"
#include "video_type_dlg.h"
#include "custom_menu.h"

using namespace vistamo;

namespace {

const QString kSamples = QStringLiteral(VISTAMO_SAMPLES_DIR);

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    std::unique_ptr<app::MainWindow> window_;
    QStringList messages_;  // "title|message" of every dialog run

    app::MainWindow& window() { return *window_; }
    bool waitForPicture() {
        QElapsedTimer t;
        t.start();
        while (!window().frameRenderer()->frameReceived() && t.elapsed() < 10000)
            QTest::qWait(20);
        QTest::qWait(100);
        return window().frameRenderer()->frameReceived();
    }

private slots:
    void initTestCase() { ui::initResources(); }

    void init() {
        messages_.clear();
        window_ = std::make_unique<app::MainWindow>(nullptr, QStringLiteral("en_US"), dir_.filePath("VistamoPlayer.ini"),
                                                    QSize(1000, 600), dir_.filePath("VistamoPlayer.plist"));
        window().setDialogRunner([this](ui::Feedback& dialog) {
            messages_ << dialog.header()->findChild<QLabel*>()->text() + QLatin1Char('|') + dialog.message();
            return 0;
        });
        window().initPlayList();
        window().show();
        QVERIFY(QTest::qWaitForWindowExposed(&window()));
    }

    void cleanup() {
        window().close();
        window_.reset();
        QFile::remove(dir_.filePath("VistamoPlayer.plist"));
    }

    void startsWithTheDropPrompt() {
        QVERIFY(window().dropFrame()->isVisible());
        QVERIFY(window().view()->isHidden());
        QVERIFY(window().controlBar()->isHidden());
    }

    void kindsFromTheFiles_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("image");
        QTest::newRow("twins video") << "twins.mp4" << 2 << false;
        QTest::newRow("twins still") << "twins.jpg" << 2 << true;
        QTest::newRow("sphere still") << "sphere.jpg" << 1 << true;
        QTest::newRow("standard video") << "standard.mp4" << 0 << false;
    }
    void kindsFromTheFiles() {
        QFETCH(QString, file);
        const QString path = kSamples + QLatin1Char('/') + file;
        window().openMediaFile(path);
        QVERIFY(waitForPicture());
        QTEST(window().view()->kind(), "kind");
        QTEST(window().isImage(), "image");
        QVERIFY(window().dropFrame()->isHidden());
        QVERIFY(window().view()->isVisible());
        QVERIFY(window().controlBar()->isVisible());
        QCOMPARE(window().titleBar()->pathLabel()->text(), path);
        QCOMPARE(window().controlBar()->exportButton()->isVisibleTo(window().controlBar()), window().view()->kind() != 0);
        // The probe adds the row with its kind.
        QTRY_COMPARE_WITH_TIMEOUT(window().playList()->FindRow(path), 0, 5000);
        QTEST(window().playList()->entryAt(0).model, "kind");
        QVERIFY(messages_.isEmpty());
    }

    void positionAndLengthFollowThePlayback() {
        window().openMediaFile(kSamples + "/twins.mp4");
        QVERIFY(waitForPicture());
        QTRY_COMPARE_WITH_TIMEOUT(window().controlBar()->lengthLabel()->text(), QStringLiteral("00:00:03"), 3000);
        QTRY_COMPARE_WITH_TIMEOUT(window().controlBar()->positionLabel()->text(), QStringLiteral("00:00:01"), 3000);
        QVERIFY(window().controlBar()->progressSlider()->sliderPosition() >= 1000);
    }

    // Key I shows what the playback does: the decoder, the source, its
    // colour rule and the frame counts, refreshed while it plays.
    void theStatisticsOverlayCountsThePlayback() {
        window().openMediaFile(kSamples + "/twins.mp4");
        QVERIFY(waitForPicture());
        QTest::keyClick(&window(), Qt::Key_I);
        QLabel* overlay = window().statisticsOverlay();
        QVERIFY(overlay->isVisible());
        const QString first = overlay->text();
        QVERIFY2(first.contains("Decoder: FFmpeg (software)"), qPrintable(first));
        QVERIFY2(first.contains("Source: 960×480 at 30.00 fps"), qPrintable(first));
        QTRY_VERIFY_WITH_TIMEOUT(overlay->text() != first && overlay->text().contains("Colour: BT.709 limited") &&
                                     overlay->text().contains(" paints/s"), 3000);
        QTest::keyClick(&window(), Qt::Key_I);
        QVERIFY(overlay->isHidden());
    }

    void theWatchdogGivesUpWithOneMessage() {
        // A renderer that never hands a frame to the view.
        window().frameRenderer()->setView(nullptr);
        window().openMediaFile(kSamples + "/twins.mp4");
        QTRY_COMPARE_WITH_TIMEOUT(messages_.size(), 1, 15000);
        QCOMPARE(messages_[0], QStringLiteral("Vistamo Player|No picture could be shown from this file."));
        QTRY_VERIFY_WITH_TIMEOUT(!window().player()->isPlaying(), 3000);
        QTest::qWait(1500);
        QCOMPARE(messages_.size(), 1);  // no restart after giving up
        window().frameRenderer()->setView(window().view());
    }

    void aGrooveClickSeeksAndMaximiseToggles() {
        window().openMediaFile(kSamples + "/twins.mp4");
        QVERIFY(waitForPicture());
        window().player()->pause(true);
        app::ProgressSlider* bar = window().controlBar()->progressSlider();
        QTRY_VERIFY(bar->maximum() > 2900);
        const QPoint at(bar->width() * 3 / 4, bar->height() / 2);
        const int target = bar->valueAt(at);
        QTest::mouseClick(bar, Qt::LeftButton, {}, at);
        QTRY_VERIFY_WITH_TIMEOUT(std::abs(window().player()->position() - target) < 100, 3000);
        QTRY_COMPARE(window().controlBar()->positionLabel()->text(), QStringLiteral("00:00:0%1").arg(target / 1000));
        window().titleBar()->maximizeButton()->click();
        QTRY_VERIFY(window().isMaximized() || window().windowState() & Qt::WindowMaximized);
        window().titleBar()->maximizeButton()->click();
        QTRY_VERIFY(!(window().windowState() & Qt::WindowMaximized));
    }

    void dropsAndPlaylistStartsOpenFiles() {
        auto mime = [](const QStringList& files) {
            auto* data = new QMimeData;
            QList<QUrl> urls;
            for (const QString& f : files)
                urls << QUrl::fromLocalFile(f);
            data->setUrls(urls);
            return data;
        };
        // Two files at once are refused at drag enter.
        std::unique_ptr<QMimeData> two(mime({kSamples + "/twins.mp4", kSamples + "/standard.mp4"}));
        QDragEnterEvent enterTwo(QPoint(50, 50), Qt::CopyAction, two.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window(), &enterTwo);
        QVERIFY(!enterTwo.isAccepted());
        // One file dropped on the window opens with its kind.
        std::unique_ptr<QMimeData> one(mime({kSamples + "/twins.jpg"}));
        QDragEnterEvent enterOne(QPoint(50, 50), Qt::CopyAction, one.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window(), &enterOne);
        QVERIFY(enterOne.isAccepted());
        QDropEvent drop(QPointF(50, 50), Qt::CopyAction, one.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&window(), &drop);
        QVERIFY(waitForPicture());
        QCOMPARE(window().currentFile(), kSamples + "/twins.jpg");
        QCOMPARE(window().view()->kind(), 2);
        // On the source view: opened there, the kind left as it was.
        window().controlBar()->sourceAction()->trigger();
        QTRY_VERIFY(window().sourceWidget()->isVisible());
        std::unique_ptr<QMimeData> other(mime({kSamples + "/standard.jpg"}));
        QDragEnterEvent enterSource(QPoint(20, 20), Qt::CopyAction, other.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window().sourceWidget(), &enterSource);
        QDropEvent onSource(QPointF(20, 20), Qt::CopyAction, other.get(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window().sourceWidget(), &onSource);
        QCOMPARE(window().currentFile(), kSamples + "/standard.jpg");
        // A playlist double click starts its row with the recorded kind.
        window().controlBar()->panoAction()->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(window().playList()->FindRow(kSamples + "/twins.jpg") >= 0, true, 5000);
        const int row = window().playList()->FindRow(kSamples + "/twins.jpg");
        window().frameRenderer()->clearFrameReceived();
        emit window().playList()->table()->doubleClicked(window().playList()->model()->index(row, 1));
        QVERIFY(waitForPicture());
        QCOMPARE(window().currentFile(), kSamples + "/twins.jpg");
        QCOMPARE(window().view()->kind(), 2);
        QVERIFY(messages_.isEmpty());
    }

    void playPauseAndTheMediaTypeDialog() {
        window().openMediaFile(kSamples + "/standard.mp4");
        QVERIFY(waitForPicture());
        QCOMPARE(window().view()->kind(), 0);
        window().controlBar()->playButton()->click();
        QTRY_VERIFY(window().player()->isPaused());
        window().controlBar()->playButton()->click();
        QTRY_VERIFY(!window().player()->isPaused());
        // "Media type…" in the title bar's menu: the choice is used at once
        // and remembered in the playlist.
        QAction* type = window().titleBar()->menu()->actions().last();
        QCOMPARE(type->text(), QStringLiteral("Media type…"));
        QTimer::singleShot(300, [this] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* dialog = qobject_cast<ui::VideoTypeDlg*>(w); dialog && dialog->isVisible())
                    dialog->twinsButton()->click();
        });
        type->trigger();
        QCOMPARE(window().view()->kind(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(window().playList()->FindRow(kSamples + "/standard.mp4") >= 0, true, 5000);
        QTRY_COMPARE(window().playList()->entryAt(window().playList()->FindRow(kSamples + "/standard.mp4")).model, 2);
    }

    void unsupportedAndVanishedFilesAreNamed() {
        QFile::copy(kSamples + "/scene.png", dir_.filePath("photo.jpg"));
        for (const QString& path : {dir_.filePath("clip.Mp4"), dir_.filePath("photo.jpe"), dir_.filePath("photo.jpg")})
            window().openMediaFile(path);
        QCOMPARE(messages_.size(), 3);
        QCOMPARE(messages_[0], dir_.filePath("clip.Mp4") + "|File format not supported!(.mp4, .mov, .flv, .jpeg)");
        QVERIFY(window().dropFrame()->isVisible());
        // A supported name that is gone: one message, the window stays usable.
        messages_.clear();
        window().openMediaFile(dir_.filePath("gone.mp4"));
        QTRY_COMPARE_WITH_TIMEOUT(messages_.size(), 1, 5000);
        QVERIFY(messages_[0].contains("gone.mp4"));
        window().openMediaFile(kSamples + "/twins.mp4");
        QVERIFY(waitForPicture());
        // The vanished file got no row, and its probe took no other file's duration.
        QTRY_COMPARE_WITH_TIMEOUT(window().playList()->FindRow(kSamples + "/twins.mp4"), 0, 5000);
        QCOMPARE(window().playList()->rowCount(), 1);
        QCOMPARE(window().playList()->entryAt(0).extip, QStringLiteral("00:00:03"));
    }

    // Special files dropped on the window or on the playlist: refused by
    // their type before anything opens them, with the reason, and the
    // window is left as it was.
    void droppedSpecialFilesAreRefusedByTheirType() {
        QVERIFY(mkfifo(QFile::encodeName(dir_.filePath("drop.jpg")).constData(), 0600) == 0);
        QVERIFY(mkfifo(QFile::encodeName(dir_.filePath("drop.mp4")).constData(), 0600) == 0);
        QVERIFY(QDir().mkpath(dir_.filePath("album.jpg")));
        for (const QString& name : {QStringLiteral("drop.jpg"), QStringLiteral("drop.mp4"), QStringLiteral("album.jpg")}) {
            messages_.clear();
            QMimeData mime;
            mime.setUrls({QUrl::fromLocalFile(dir_.filePath(name))});
            QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&window(), &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
            QElapsedTimer took;
            took.start();
            QApplication::sendEvent(&window(), &drop);
            QVERIFY(took.elapsed() < 1000);
            QCOMPARE(messages_.size(), 1);
            QVERIFY2(messages_[0].startsWith("Vistamo Player|Cannot open " + dir_.filePath(name) + ": is a"),
                     qPrintable(messages_[0]));
            QVERIFY(window().dropFrame()->isVisible());
            QVERIFY(window().currentFile().isEmpty());
        }
        // On the playlist: one message for all of them, and no rows.
        messages_.clear();
        emit window().playList()->AddFiles({dir_.filePath("drop.jpg"), dir_.filePath("drop.mp4"),
                                            dir_.filePath("album.jpg"), dir_.filePath("notes.txt")});
        QCOMPARE(messages_, QStringList{"Vistamo Player|Cannot add " + dir_.filePath("drop.jpg") +
                                        ": is a FIFO, not a regular file, and 2 more file(s)."});
        QCOMPARE(window().playList()->rowCount(), 0);
    }

    // A two-lens still whose calibration cannot be used: said once, and the
    // picture shown as recorded rather than a black stitch.
    void anUnusableCalibrationFallsBackToTheRecordedPicture() {
        QFile still(kSamples + "/twins.jpg");
        QVERIFY(still.open(QIODevice::ReadOnly));
        QByteArray bytes = still.readAll();
        bytes.replace(bytes.indexOf("_0.8_"), 5, "_nan_");
        QFile bad(dir_.filePath("nan.jpg"));
        QVERIFY(bad.open(QIODevice::WriteOnly) && bad.write(bytes) == bytes.size());
        bad.close();
        window().openMediaFile(dir_.filePath("nan.jpg"));
        QCOMPARE(messages_.size(), 1);
        QVERIFY2(messages_[0].contains("nan.jpg cannot be stitched: the calibration cannot be used"), qPrintable(messages_[0]));
        QCOMPARE(window().view()->kind(), 0);
        QVERIFY(waitForPicture());
        const QImage shown = window().view()->grabFramebuffer();
        int lit = 0;
        for (int y = 0; y < shown.height(); y += 8)
            for (int x = 0; x < shown.width(); x += 8)
                lit += qGray(shown.pixel(x, y)) > 24;
        QVERIFY(lit > (shown.width() / 8) * (shown.height() / 8) / 4);
    }

    // What the screen shows, not what a grab renders: after full screen the
    // picture fills the grown view, with no paint asked for (a still).
    void fullScreenIsPaintedWhole() {
        window().openMediaFile(kSamples + "/twins.jpg");
        QVERIFY(waitForPicture());
        window().setFullscreen();
        // The first dark corner on the screen, or empty when all are lit.
        const auto darkCorner = [this] {
            const QRect area(window().view()->mapTo(&window(), QPoint(0, 0)), window().view()->size());
            const QImage shown = window().screen()->grabWindow(window().winId()).toImage().copy(area);
            const int w = shown.width(), h = shown.height();
            for (const QRect& corner : {QRect(w * 3 / 4, 0, w / 4, h / 4), QRect(w * 3 / 4, h * 3 / 4, w / 4, h / 4),
                                        QRect(0, 0, w / 4, h / 4)}) {
                const QImage part = shown.copy(corner);
                int lit = 0;
                for (int y = 0; y < part.height(); y += 4)
                    for (int x = 0; x < part.width(); x += 4)
                        lit += qGray(part.pixel(x, y)) > 24;
                if (lit <= (part.width() / 4) * (part.height() / 4) / 2)
                    return QStringLiteral("a dark corner at %1,%2 of %3x%4").arg(corner.x()).arg(corner.y()).arg(w).arg(h);
            }
            return QString();
        };
        QTRY_VERIFY_WITH_TIMEOUT(window().view()->width() > 1000, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(darkCorner(), QString(), 5000);
        // A capture is the picture the screen shows, the right way up.
        const QRect area(window().view()->mapTo(&window(), QPoint(0, 0)), window().view()->size());
        const QImage screen =
            window().screen()->grabWindow(window().winId()).toImage().copy(area).convertToFormat(QImage::Format_RGB32);
        const QImage grabbed = window().view()->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(grabbed.size(), screen.size());
        double difference = 0;
        int samples = 0;
        // (the top three quarters: the control bar may lie over the bottom)
        for (int y = 0; y < screen.height() * 3 / 4; y += 7)
            for (int x = 0; x < screen.width(); x += 7, ++samples)
                difference += std::abs(qGray(screen.pixel(x, y)) - qGray(grabbed.pixel(x, y)));
        QVERIFY2(difference / samples < 4, qPrintable(QString::number(difference / samples)));
        window().setFullscreen();
    }

    void viewModesAndShowSource() {
        window().openMediaFile(kSamples + "/twins.jpg");
        QVERIFY(waitForPicture());
        window().controlBar()->fisheyeAction()->trigger();
        QCOMPARE(window().view()->viewMode(), 1);
        window().controlBar()->sourceAction()->trigger();
        QCOMPARE(window().view()->viewMode(), 3);
        QTRY_VERIFY(window().sourceWidget()->isVisible());
        QVERIFY(window().view()->isHidden());
        // Back from the source: the still decodes into the view again.
        window().controlBar()->panoAction()->trigger();
        QCOMPARE(window().view()->viewMode(), 0);
        QVERIFY(window().view()->isVisible());
        QVERIFY(waitForPicture());
        // Full screen and back, from the keyboard.
        const QRect before = window().geometry();
        QTest::keyClick(&window(), Qt::Key_F);
        QTRY_COMPARE(window().geometry(), window().screen()->geometry());
        QTest::keyClick(&window(), Qt::Key_Escape);
        QTRY_COMPARE(window().geometry(), before);
        // The keyboard: 3 is the little planet.
        QTest::keyClick(&window(), Qt::Key_3);
        QCOMPARE(window().view()->viewMode(), 2);
    }

    // "Match lenses": on by default; the menu entry and the L key switch it,
    // the view and the export follow, and the next start remembers it.
    void matchLensesIsOneSwitchForViewAndExport() {
        QAction* match = window().controlBar()->matchLensesAction();
        QVERIFY(match->isChecked());
        QVERIFY(window().view()->matchLenses());
        window().openMediaFile(kSamples + "/twins.jpg");
        QVERIFY(waitForPicture());
        QVERIFY(!window().buildConverterArgs(4).contains("--no-match"));
        match->trigger();
        QVERIFY(!window().view()->matchLenses());
        QVERIFY(!match->isChecked());
        QVERIFY(window().view()->lensGains() == lens::LensGains());
        QCOMPARE(window().buildConverterArgs(4).value(8), QStringLiteral("--no-match"));
        QTest::keyClick(&window(), Qt::Key_L);
        QVERIFY(window().view()->matchLenses());
        QVERIFY(match->isChecked());
        // Back on for a still: matched at once, without a next frame.
        const lens::LensGains again = window().view()->lensGains();
        QVERIFY(again.a[0] > 0.9f && again.a[0] < 1.1f);
        QTest::keyClick(&window(), Qt::Key_L);
        QVERIFY(!window().view()->matchLenses());
        // A new window reads the switch back.
        window().close();
        window_ = std::make_unique<app::MainWindow>(nullptr, QStringLiteral("en_US"), dir_.filePath("VistamoPlayer.ini"),
                                                    QSize(1000, 600), dir_.filePath("VistamoPlayer.plist"));
        window().initPlayList();
        QVERIFY(!window().view()->matchLenses());
        QVERIFY(!window().controlBar()->matchLensesAction()->isChecked());
        window().setMatchLenses(true);
        QVERIFY(QSettings(dir_.filePath("VistamoPlayer.ini"), QSettings::IniFormat).value("/matchLenses").toBool());
    }

    void captureWritesTheViewOrSaysItFailed() {
        window().openMediaFile(kSamples + "/twins.jpg");
        QVERIFY(waitForPicture());
        QString proposed;
        const QString target = dir_.filePath("shot.JPG");
        window().setSavePathAsker([&](const QString& proposal) {
            proposed = proposal;
            return target;
        });
        QMetaObject::invokeMethod(window().controlBar(), "Capture");
        QCOMPARE(proposed, kSamples + "/twins_capture.JPG");
        QImageReader reader(target);
        QCOMPARE(reader.format(), QByteArray("jpeg"));
        QCOMPARE(reader.size(), window().view()->size() * window().view()->devicePixelRatio());
        window().setSavePathAsker([&](const QString&) { return dir_.filePath("no/such/folder/shot.jpg"); });
        QMetaObject::invokeMethod(window().controlBar(), "Capture");
        QCOMPARE(messages_, QStringList{"Vistamo Player|Save failed!"});
        // Never over the file being shown, nor a FIFO.
        const QByteArray still = [] {
            QFile f(kSamples + "/twins.jpg");
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        window().setSavePathAsker([](const QString&) { return kSamples + "/twins.jpg"; });
        QMetaObject::invokeMethod(window().controlBar(), "Capture");
        QVERIFY(mkfifo(QFile::encodeName(dir_.filePath("fifo.jpg")).constData(), 0600) == 0);
        window().setSavePathAsker([&](const QString&) { return dir_.filePath("fifo.jpg"); });
        QMetaObject::invokeMethod(window().controlBar(), "Capture");
        QCOMPARE(messages_.size(), 3);
        QFile again(kSamples + "/twins.jpg");
        QVERIFY(again.open(QIODevice::ReadOnly));
        QCOMPARE(again.readAll(), still);
        QVERIFY(QFileInfo(dir_.filePath("fifo.jpg")).isFile() == false);
    }

    void addedFilesArriveInOrderAndCloseSavesThem() {
        const QStringList files = {kSamples + "/standard.mp4", dir_.filePath("bad.Mp4"), kSamples + "/sphere.jpg"};
        emit window().playList()->AddFiles(files);
        QCOMPARE(window().playList()->rowCount(), 2);
        QCOMPARE(window().playList()->entryAt(0).path, files[0]);
        QCOMPARE(window().playList()->entryAt(1).path, files[2]);
        QCOMPARE(window().playList()->entryAt(0).extip, QStringLiteral("00:00:03"));
        QVERIFY(messages_.isEmpty());
        window().close();
        QFile saved(dir_.filePath("VistamoPlayer.plist"));
        QVERIFY(saved.open(QIODevice::ReadOnly));
        const QByteArray text = saved.readAll();
        QVERIFY(text.contains("standard.mp4") && text.contains("sphere.jpg"));
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
