// MainWindow: the player's only top-level window. It owns the media player
// and the probe player, the panorama view and its frame renderer, the plain
// video output of "Show source", the control bar, the title bar, the
// playlist and the dialogs, and every way of opening a file ends here. Its
// work is done by parts of one job each: FileOpener (whether and how a file
// opens), PlaybackController (the control bar's playback), ExportController
// (the export button), UpdateChecker (the update check) and CommandTable
// (the keys); the window's slots forward to them. Everything runs on the
// GUI thread; the players reach it through queued signals.
#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QSize>
#include <QStringList>
#include <QUrl>

#include <functional>

#include "av_player.h"
#include "command_table.h"
#include "file_opener.h"
#include "frameless_widget.h"
#include "playback_controller.h"
#include "update_checker.h"
#include "view_host.h"

namespace Ui {
class MainWindow;
}
class QNetworkReply;
class QPushButton;

namespace vistamo::media {
class VideoOutput;
}

namespace vistamo::exporting {
class BatchExportDialog;
class ExportDialog;
}

namespace vistamo::render {
class GLView;
class VideoTexturePlayer;
}
namespace vistamo::playlist {
class PlayList;
}
namespace vistamo::ui {
class Feedback;
class MaskFrame;
class TitleBar;
class VideoTypeDlg;
}

namespace vistamo::app {

class BottomBar;
class ExportController;
class StatisticsOverlay;

class MainWindow : public ui::FramelessWidget, public render::ViewHost {
    Q_OBJECT
public:
    MainWindow(QWidget* parent, const QString& locale, const QString& settingsPath, const QSize& size,
               const QString& playlistPath);
    ~MainWindow() override;

    void openMediaFile(const QString& path);
    void startPlay(const QString& path);
    void initPlayList();
    // render::ViewHost
    void showOpenGLError() override;
    bool isPlayerPaused() const override;
    bool isPlayerStopped() const override;

    // For tests and tools.
    render::GLView* view() const;
    render::VideoTexturePlayer* frameRenderer() const { return frameRenderer_; }
    media::AVPlayer* player() const { return player_; }
    BottomBar* controlBar() const { return bar_; }
    StatisticsOverlay* statisticsOverlay() const { return statistics_; }
    playlist::PlayList* playList() const;
    ui::TitleBar* titleBar() const { return titleBar_; }
    QWidget* sourceWidget() const;
    QWidget* dropFrame() const;
    const QString& currentFile() const { return currentFile_; }
    // The file the player plays (kept apart from currentFile for a back end
    // that plays a private copy).
    const QString& playedFile() const { return playedFile_; }
    bool isImage() const { return isImage_; }
    // One message for the user to acknowledge (OK, Enter or Escape); it
    // also goes to the log.
    void tell(const QString& text, const QString& titleLine);
    void tell(const QString& text);
    // Runs a dialog as the window runs them all (over the mask, or answered
    // by a test).
    int runDialog(ui::Feedback& dialog) { return runDialog_(dialog); }
    // How dialogs are run: the default shows them over the mask and execs
    // them; tests answer them.
    void setDialogRunner(std::function<int(ui::Feedback&)> runner) { runDialog_ = std::move(runner); }
    // How the capture asks where to save (the default: a save-file dialog).
    void setSavePathAsker(std::function<QString(const QString& proposal)> asker) { askSavePath_ = std::move(asker); }
    // The export's tools (empty: the dialog's defaults beside the program)
    // and its user folder for temporaries; how the export dialog itself is
    // run once prepared (the default execs it; tests fill it and click).
    void setExportTools(const QString& converter, const QString& exiftool);
    void setExportFolder(const QString& folder);
    void setExportDialogRunner(std::function<int(exporting::ExportDialog&)> runner);
    exporting::ExportDialog* exportDialog() const;
    // Lens matching of two-lens files, in the view and the exports: the
    // view menu's "Match lenses" and the L key; kept in the settings file.
    void setMatchLenses(bool match);
    // The playlist's batch export while its dialog is open (or its run goes on).
    exporting::BatchExportDialog* batchExportDialog() const;

    // The update check: asks the version file at the update address (the
    // build's, empty by default: then nothing is sent) and offers a newer
    // version's download in the browser.
    void checkForUpdate();
    void setUpdateUrl(const QUrl& url);
    // How an address is opened (the default: the desktop's browser).
    void setUrlOpener(std::function<void(const QUrl&)> opener);
    // This build's version number: a file's number must exceed it.
    static constexpr int kVersionNumber = UpdateChecker::kVersionNumber;

    // The converter's argument list for this export (empty when the file's
    // two-lens calibration cannot be read).
    QStringList buildConverterArgs(int exportType);

    // The watchdog restarts a playback that shows no picture this often,
    // then gives up with a message.
    static constexpr int kWatchdogRestarts = PlaybackController::kWatchdogRestarts;
    // The longest wait for a file's duration when adding files.
    static constexpr int kProbeWaitMs = FileOpener::kProbeWaitMs;

public slots:
    void videoProgressed(qint64 position);
    void videoLengthChanged(qint64 length);
    void videoProgressSliderMoved(int position);
    void playerStateChanged(vistamo::media::AVPlayer::State state);
    void playBtnClicked();
    void setFullscreen() override;
    void setMaximize();
    void moveMaximize();
    void setVolume(int value);
    void ShowMenu();
    void ShowViewMenu();
    void onVolumeBtnClicked();
    void choseStandard();
    void choseSphere();
    void choseTwins();
    void lanchFile();
    void showMask(QWidget* dialog);

private slots:
    void OnCloseBtnClicked();
    void OnSoftwareUpdate(QNetworkReply* reply);
    void OnSwitchLanguage();
    void OnPlayListBtnClicked();
    void OnDurationChanged(qint64 duration);
    void OnAddFileToListBtnClicked();
    void OnAddFilesToPlayList(QStringList files);
    void OnPlayListDoubleClicked(QString filePath, int modelType);
    void OnDeleteCurrentPlay();
    void OnPanoViewClicked();
    void OnFisheyeViewClicked();
    void OnLittlePlanetViewClicked();
    void OnOriginalViewClicked();
    void OnExportBtnClicked();
    void OnExportFinished(bool isSuccess);
    void OnCapture();
    void OnPlayerError(const QString& message);

protected:
    bool eventFilter(QObject* object, QEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // A file that passed the format check: the title bar, the kind (when
    // asked), the probe, and playing it.
    void openChecked(const QString& path, bool kindFromMetadata);
    void stopPlayer();
    void switchView(int mode);
    // Whether path may be opened (FileOpener::admit); sets isImage_.
    bool checkFormat(const QString& path, const QString& titleLine);
    void bindCommands();
    void restyleFullscreenButton();
    void placeControls();
    void showDropPrompt(bool shown);

    Ui::MainWindow* form_;
    QSize initialSize_;
    QString locale_;
    QString settingsPath_;
    bool fullscreen_ = false;
    QRect geometryBeforeFullscreen_;
    bool maximized_ = false;
    QString currentFile_;
    QString playedFile_;  // kept apart from currentFile_ for a back end that plays a private copy
    bool isImage_ = false;
    media::AVPlayer* player_ = nullptr;
    PlaybackController* playback_ = nullptr;
    ExportController* exporter_ = nullptr;
    UpdateChecker* updater_ = nullptr;
    FileOpener* opener_ = nullptr;
    CommandTable commands_;
    StatisticsOverlay* statistics_ = nullptr;  // a child of the view
    media::VideoOutput* videoOutput_ = nullptr;
    render::VideoTexturePlayer* frameRenderer_ = nullptr;
    ui::VideoTypeDlg* typeDialog_ = nullptr;
    BottomBar* bar_ = nullptr;
    ui::TitleBar* titleBar_ = nullptr;
    media::AVPlayer* probePlayer_ = nullptr;
    QPushButton* playListButton_ = nullptr;
    bool playListShown_ = true;
    ui::MaskFrame* mask_ = nullptr;
    std::function<int(ui::Feedback&)> runDialog_;
    std::function<QString(const QString&)> askSavePath_;
};

}  // namespace vistamo::app
