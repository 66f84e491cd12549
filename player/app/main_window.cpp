#include "main_window.h"
#include "statistics_overlay.h"

#include <QBuffer>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <string>

#include "atomic_output.h"
#include "bottom_bar.h"
#include "custom_menu.h"
#include "export_controller.h"
#include "export_dialog.h"
#include "feedback.h"
#include "gl_view.h"
#include "log_text.h"
#include "mask_frame.h"
#include "media_rules.h"
#include "playlist.h"
#include "progress_slider.h"
#include "startup.h"
#include "title_bar.h"
#include "type_bar.h"
#include "ui_main_window.h"
#include "video_output.h"
#include "video_texture_player.h"
#include "video_type_dlg.h"

namespace vistamo::app {
namespace {

const QString kTitle = QStringLiteral("Vistamo Player");

void setButtonImages(QToolButton* button, const QString& normal, const QString& hover) {
    button->setStyleSheet(QStringLiteral("QToolButton{border:none; image:url(%1);} QToolButton:hover{image:url(%2);}")
                              .arg(normal, hover));
}

}  // namespace

MainWindow::MainWindow(QWidget* parent, const QString& locale, const QString& settingsPath, const QSize& size,
                       const QString& playlistPath)
    : FramelessWidget(parent), form_(new Ui::MainWindow), initialSize_(size), locale_(locale),
      settingsPath_(settingsPath) {
    form_->setupUi(this);
    setUpdatesEnabled(true);
    form_->centralWidget->setMouseTracking(true);
    setWindowTitle(kTitle);
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    setMinimumSize(size);
    setMinimumResizeSize(size);
    resize(size);

    titleBar_ = new ui::TitleBar(this);
    titleBar_->setGeometry(0, 0, width(), 30);
    titleBar_->setLocaleSource([this] { return locale_; });
    typeDialog_ = new ui::VideoTypeDlg(this);
    typeDialog_->hide();
    bar_ = new BottomBar(this);
    bar_->move(4, height() - 60);
    bar_->resize(width() - 308, 60);
    bar_->progressSlider()->setEnabled(false);
    bar_->hide();
    playList()->SetMainWindow(this);
    playList()->SetListFile(playlistPath);
    playListButton_ = new QPushButton(QStringLiteral(">>"), this);
    playListButton_->setCursor(Qt::ArrowCursor);
    playListButton_->setStyleSheet(
        QStringLiteral("QPushButton{ background-color:#191919; color:#ffffff; border:none; text_align:center;}"));
    playListButton_->setFixedSize(20, 60);
    playListButton_->show();

    // Connections. Buttons, menu entries and keys run the window's commands
    // (bindCommands); the controls that carry a value or a file connect
    // straight to their slots.
    bindCommands();
    commands_.bind(bar_->playButton(), &QToolButton::clicked, QStringLiteral("play or pause"));
    commands_.bind(bar_->fullscreenButton(), &QToolButton::clicked, QStringLiteral("full screen"));
    commands_.bind(bar_->volumeButton(), &QToolButton::clicked, QStringLiteral("mute"));
    commands_.bind(bar_->modeButton(), &QToolButton::clicked, QStringLiteral("view menu"));
    commands_.bind(bar_->exportButton(), &QToolButton::clicked, QStringLiteral("export"));
    commands_.bind(bar_, &BottomBar::Capture, QStringLiteral("capture"));
    commands_.bind(bar_, &BottomBar::PanoActionTriggered, QStringLiteral("panorama"));
    commands_.bind(bar_, &BottomBar::FisheyeActionTriggered, QStringLiteral("fisheye"));
    commands_.bind(bar_, &BottomBar::LittlePlanetActionTriggered, QStringLiteral("little planet"));
    commands_.bind(bar_, &BottomBar::OriginalActionTriggered, QStringLiteral("show source"));
    commands_.bind(bar_->matchLensesAction(), &QAction::triggered, QStringLiteral("match lenses"));
    commands_.bind(titleBar_->maximizeButton(), &QToolButton::clicked, QStringLiteral("maximise"));
    commands_.bind(titleBar_->menuButton(), &QToolButton::clicked, QStringLiteral("menu"));
    commands_.bind(titleBar_->closeButton(), &QToolButton::clicked, QStringLiteral("close"));
    commands_.bind(playListButton_, &QPushButton::clicked, QStringLiteral("play list"));
    commands_.bind(playList(), &playlist::PlayList::AddBtnClicked, QStringLiteral("add files"));
    // The language switch; its label is the other language's name.
    QAction* languageAction = new QAction(QCoreApplication::translate("title_bar", "中文"), titleBar_);
    titleBar_->menu()->addAction(languageAction);
    commands_.bind(languageAction, &QAction::triggered, QStringLiteral("language"));
    // "Media type…": the dialog becomes reachable for the current file.
    QAction* typeAction = new QAction(tr("Media type…"), this);
    titleBar_->menu()->addAction(typeAction);
    commands_.bind(typeAction, &QAction::triggered, QStringLiteral("media type"));
    connect(bar_->progressSlider(), &QSlider::valueChanged, this, &MainWindow::videoProgressSliderMoved);
    connect(bar_->volumeSlider(), &QSlider::valueChanged, this, &MainWindow::setVolume);
    connect(titleBar_, &ui::TitleBar::signaltoUI, this, &MainWindow::moveMaximize, Qt::QueuedConnection);
    connect(typeDialog_->standardButton(), &QPushButton::clicked, this, &MainWindow::choseStandard, Qt::DirectConnection);
    connect(typeDialog_->sphereButton(), &QPushButton::clicked, this, &MainWindow::choseSphere, Qt::DirectConnection);
    connect(typeDialog_->twinsButton(), &QPushButton::clicked, this, &MainWindow::choseTwins, Qt::DirectConnection);
    connect(playList(), &playlist::PlayList::AddFiles, this, &MainWindow::OnAddFilesToPlayList);
    connect(playList(), &playlist::PlayList::StartPlay, this, &MainWindow::OnPlayListDoubleClicked);
    connect(playList(), &playlist::PlayList::ExportSelected, this,
            [this](const QStringList& files) { exporter_->beginBatch(files); });
    connect(playList(), &playlist::PlayList::StopPlay, this, &MainWindow::OnDeleteCurrentPlay);

    form_->chose_drop_label_->setText(tr("Please drop your file"));

    // The player and its renderers.
    view()->setMainWindow(this);
    {
        const bool match = QSettings(settingsPath_, QSettings::IniFormat).value(QStringLiteral("/matchLenses"), true).toBool();
        view()->setMatchLenses(match);
        bar_->matchLensesAction()->setChecked(match);
    }
    view()->hide();
    setAcceptDrops(true);
    frameRenderer_ = new render::VideoTexturePlayer;
    frameRenderer_->setView(view());
    player_ = new media::AVPlayer(this);
    player_->setRenderer(frameRenderer_);
    player_->setAutoLoad(true);
    player_->setMediaEndAction(media::AVPlayer::MediaEndAction_KeepDisplay);
    player_->setOptionsForVideoCodec({{QStringLiteral("CUDA"),
                                       QVariantHash{{QStringLiteral("surfaces"), 20},
                                                    {QStringLiteral("copyMode"), QStringLiteral("DirectCopy")},
                                                    {QStringLiteral("deinterlace"), QStringLiteral("Adaptive")},
                                                    {QStringLiteral("flags"), QStringLiteral("CUVID")}}}});
    // No "skip_frame": a player decodes every frame, and drops only those
    // that are late when their time comes.
    player_->setOptionsForVideoCodec({{QStringLiteral("FFmpeg"),
                                       QVariantHash{{QStringLiteral("vismv"), QStringLiteral("pf")}}}});
    player_->setVideoDecoderPriority({QStringLiteral("CUDA"), QStringLiteral("FFmpeg")});
    statistics_ = new StatisticsOverlay(player_, view());
    statistics_->setView(view());
    statistics_->move(12, 12);
    player_->masterClock()->setClockAuto(false);
    player_->masterClock()->setClockType(media::AVClock::VideoClock);
    videoOutput_ = new media::VideoOutput;
    QWidget* source = videoOutput_->widget();
    source->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    source->setCursor(Qt::ArrowCursor);
    source->installEventFilter(this);
    form_->layout_->addWidget(source, 1, 1);
    source->hide();
    videoOutput_->forcePreferredPixelFormat(false);
    connect(player_, &media::AVPlayer::positionChanged, this, &MainWindow::videoProgressed);
    connect(player_, &media::AVPlayer::error, this, &MainWindow::OnPlayerError);
    probePlayer_ = new media::AVPlayer(this);
    probePlayer_->setAutoLoad(true);
    connect(probePlayer_, &media::AVPlayer::durationChanged, this, &MainWindow::OnDurationChanged,
            Qt::QueuedConnection);
    player_->audio()->setBackends({QStringLiteral("XAudio2"), QStringLiteral("DirectSound")});

    runDialog_ = [this](ui::Feedback& dialog) {
        showMask(&dialog);
        return dialog.exec();
    };
    // The window's parts; they run dialogs as the window does, so that a
    // runner set later (by a test) applies to them too.
    opener_ = new FileOpener(view(), [this](const QString& text, const QString& titleLine) { tell(text, titleLine); });
    opener_->setProbe(probePlayer_, [this](const QString& path, bool isImage, qint64 duration, bool current) {
        playList()->AddMedia(path, isImage, duration, current);
    });
    playback_ = new PlaybackController(
        player_, bar_,
        {[this] { return view()->viewMode() == render::Original || frameRenderer_->frameReceived(); },
         [this](const QString& text) { tell(text); }},
        this);
    exporter_ = new ExportController(*this, bar_->exportButton());
    updater_ = new UpdateChecker(this, [this](ui::Feedback& dialog) { return runDialog_(dialog); });
    updater_->setParent(this);
#ifdef VISTAMO_UPDATE_HOST
    if (QStringLiteral(VISTAMO_UPDATE_HOST) != QString())
        updater_->setUrl(QStringLiteral("http://" VISTAMO_UPDATE_HOST "/install/KestraSoftVersion.txt"));
#endif
    askSavePath_ = [this](const QString& proposal) {
        return QFileDialog::getSaveFileName(this, tr("Please select the folder to save the result"), proposal,
                                            QStringLiteral("Images(*.jpg);"));
    };
    placeControls();
}

MainWindow::~MainWindow() {
    player_->clearVideoRenderers();
    player_->stop();
    delete frameRenderer_;
    delete videoOutput_;
    delete opener_;
    delete form_;
}

render::GLView* MainWindow::view() const { return form_->screen_; }
playlist::PlayList* MainWindow::playList() const { return form_->play_list_frame_; }
QWidget* MainWindow::sourceWidget() const { return videoOutput_->widget(); }
QWidget* MainWindow::dropFrame() const { return form_->drop_frame_; }

void MainWindow::initPlayList() {
    // What the list has to say at start (a damaged file kept as .bak) is
    // said once the window is up, not before it.
    QStringList notices;
    playList()->setMessageRunner([&notices](const QString& text) { notices << text; });
    if (!playList()->LoadList())
        playList()->CreateList();
    playList()->setMessageRunner([this](const QString& text) { tell(text); });
    for (const QString& text : notices)
        QTimer::singleShot(0, this, [this, text] { tell(text); });
    if (playList()->IsEmpty())
        playListButton_->click();
}

void MainWindow::tell(const QString& text, const QString& titleLine) {
    // Every message also reaches the log, cut as any quote of a file's data.
    qWarning().noquote() << "message:" << QString::fromStdString(text::forLog(text.toStdString(), 1000));
    ui::Feedback dialog(this);
    dialog.setFixedSize(400, 200);
    dialog.makeMessage();
    dialog.setMessage(text);
    dialog.setTitleLine(titleLine);
    runDialog_(dialog);
}

void MainWindow::tell(const QString& text) { tell(text, kTitle); }

bool MainWindow::checkFormat(const QString& path, const QString& titleLine) {
    bool image = false;
    if (!opener_->admit(path, titleLine, &image))
        return false;
    isImage_ = image;
    return true;
}

void MainWindow::OnDurationChanged(qint64 duration) { opener_->durationArrived(duration); }

void MainWindow::openMediaFile(const QString& path) {
    if (path.isEmpty())
        return;
    if (checkFormat(path, path))
        openChecked(path, true);
}

void MainWindow::openChecked(const QString& path, bool kindFromMetadata) {
    titleBar_->pathLabel()->setText(path);
    titleBar_->pathLabel()->setToolTip(path);
    if (kindFromMetadata)
        opener_->takeKindFromMetadata(path);
    opener_->probe(path, isImage_, true);
    currentFile_ = path;
    startPlay(path);
}

void MainWindow::stopPlayer() { playback_->stop(); }

void MainWindow::showDropPrompt(bool shown) {
    form_->drop_frame_->setVisible(shown);
    if (!shown && view()->isHidden() && view()->viewMode() != render::Original) {
        view()->show();
        setAcceptDrops(true);
    }
}

void MainWindow::startPlay(const QString& path) {
    if (path.isEmpty())
        return;
    if (player_->isPlaying()) {
        stopPlayer();
        bar_->triggerPano();
    }
    if (bar_->isHidden())
        bar_->show();
    opener_->settleKind(path, kTitle);
    bar_->exportButton()->setVisible(view()->kind() != render::Standard);
    showDropPrompt(false);
    view()->prepareFile(path);
    qDebug().noquote() << "File path: " << QString::fromStdString(text::forLog(path.toStdString()));
    playedFile_ = path;
    frameRenderer_->clearFrameReceived();
    playback_->play(path, isImage_);
    playList()->SetModel(currentFile_, view()->kind());
}

void MainWindow::OnPlayerError(const QString& message) {
    // A damaged or vanished file: say so; the window stays as it is.
    tell(message);
}

// -- Playback controls.

void MainWindow::videoProgressed(qint64 position) { playback_->progressed(position); }
void MainWindow::videoLengthChanged(qint64 length) { playback_->lengthChanged(length); }
void MainWindow::videoProgressSliderMoved(int position) { playback_->sliderMoved(position); }
void MainWindow::playerStateChanged(media::AVPlayer::State state) { playback_->stateChanged(state); }
void MainWindow::playBtnClicked() { playback_->playOrPause(); }

void MainWindow::restyleFullscreenButton() {
    if (fullscreen_)
        setButtonImages(bar_->fullscreenButton(), QStringLiteral(":/images/exit_fullscreen.png"),
                        QStringLiteral(":/images/exit_fullscreen_highlight.png"));
    else
        setButtonImages(bar_->fullscreenButton(), QStringLiteral(":/images/fullscreen.png"),
                        QStringLiteral(":/images/fullscreen_highlight.png"));
}

void MainWindow::setFullscreen() {
    fullscreen_ = !fullscreen_;
    if (fullscreen_) {
        geometryBeforeFullscreen_ = geometry();
        setMinimumSize(0, 0);
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        showFullScreen();
        // Without a window manager the state alone changes nothing.
        if (QScreen* s = screen())
            setGeometry(s->geometry());
    } else {
        showNormal();
        setGeometry(geometryBeforeFullscreen_);
        setMinimumSize(initialSize_);
    }
    restyleFullscreenButton();
    placeControls();
}

void MainWindow::setMaximize() {
    maximized_ = !maximized_;
    if (maximized_) {
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        showMaximized();
        setButtonImages(titleBar_->maximizeButton(), QStringLiteral(":/images/restore.png"),
                        QStringLiteral(":/images/restore_highlight.png"));
    } else {
        showNormal();
        setButtonImages(titleBar_->maximizeButton(), QStringLiteral(":/images/maximize.png"),
                        QStringLiteral(":/images/maximize_highlight.png"));
    }
    placeControls();
}

void MainWindow::moveMaximize() {}

void MainWindow::setVolume(int value) { playback_->setVolume(value); }
void MainWindow::onVolumeBtnClicked() { playback_->toggleMute(); }

void MainWindow::ShowMenu() {
    titleBar_->menu()->move(titleBar_->menuPosition());
    titleBar_->menu()->show();
}

void MainWindow::ShowViewMenu() {
    const QWidget* button = bar_->modeButton();
    ui::CustomMenu* menu = bar_->viewMenu();
    const QPoint at = button->mapToGlobal(QPoint(button->width() / 2 - menu->width() / 2, -menu->height() - 4));
    menu->move(at);
    menu->show();
}

void MainWindow::choseStandard() {
    view()->setKind(render::Standard);
    typeDialog_->accept();
    startPlay(playedFile_);
}

void MainWindow::choseSphere() {
    view()->setKind(render::Sphere);
    typeDialog_->accept();
    startPlay(playedFile_);
}

void MainWindow::choseTwins() {
    view()->setKind(render::Twins);
    typeDialog_->accept();
    startPlay(playedFile_);
}

void MainWindow::lanchFile() {
    view()->setKind(render::Standard);
    const QString chosen = QFileDialog::getOpenFileName(this, tr("Browse"), QDir::currentPath(),
                                                        QStringLiteral("Videos&&Images(*.mp4 *.mov *.flv *.jpg);"));
    if (chosen.isEmpty())
        return;
    const QString path = QDir::toNativeSeparators(chosen);
    QDir::setCurrent(QFileInfo(path).absolutePath());
    if (checkFormat(path, kTitle))
        openChecked(path, false);
}

void MainWindow::showMask(QWidget* dialog) {
    if (!mask_) {
        mask_ = new ui::MaskFrame(this);
        mask_->setMainWindow(this);
        mask_->installEventFilter(this);
    }
    mask_->resize(size());
    mask_->move(pos());
    mask_->watch(dialog);
    mask_->show();
}

void MainWindow::showOpenGLError() {
    tell(tr("The opengl version supported by your graphics card is too low, Vistamo Player cannot work "
            "normally. Please update your graphics card driver."));
    player_->stop();
}

bool MainWindow::isPlayerPaused() const { return player_->isPaused(); }
bool MainWindow::isPlayerStopped() const { return !player_->isPlaying(); }

// -- The playlist.

void MainWindow::OnPlayListBtnClicked() {
    playListShown_ = !playListShown_;
    playList()->setVisible(playListShown_);
    placeControls();
}

void MainWindow::OnAddFileToListBtnClicked() {
    const QStringList chosen = QFileDialog::getOpenFileNames(this, tr("Browse"), QDir::currentPath(),
                                                             QStringLiteral("Videos&&Images(*.mp4 *.mov *.flv *.jpg);"));
    if (chosen.isEmpty())
        return;
    QDir::setCurrent(QFileInfo(chosen.first()).absolutePath());
    OnAddFilesToPlayList(chosen);
}

void MainWindow::OnAddFilesToPlayList(QStringList files) {
    QStringList refused;  // "PATH: REASON" of files of our suffixes that cannot be opened
    for (const QString& file : files) {
        const QString path = QDir::toNativeSeparators(file);
        bool image = false, supported = false;
        const QString problem = FileOpener::problemOf(path, &supported, &image);
        if (!problem.isEmpty())
            refused << path + QStringLiteral(": ") + problem;
        if (!supported || !problem.isEmpty())
            continue;  // other files dropped with them (a folder's notes) are passed over
        // One file at a time, in order; a file whose duration never comes is
        // added without one.
        opener_->probeAndWait(path, image);
    }
    if (refused.size() == 1)
        tell(tr("Cannot add %1").arg(refused.first()));
    else if (refused.size() > 1)
        tell(tr("Cannot add %1, and %n more file(s).", nullptr, refused.size() - 1).arg(refused.first()));
}

void MainWindow::OnPlayListDoubleClicked(QString filePath, int modelType) {
    if (filePath.isEmpty())
        return;
    // A row whose file can no longer be opened goes, after its message: it
    // would fail the same way at the next double click.
    if (!checkFormat(filePath, kTitle)) {
        playList()->RemoveRowByPath(filePath);
        return;
    }
    if (player_->isPlaying()) {
        stopPlayer();
        bar_->triggerPano();
    }
    currentFile_ = filePath;
    showDropPrompt(false);
    if (modelType == render::Standard || modelType == render::Sphere || modelType == render::Twins)
        view()->setKind(modelType);
    else if (modelType == -1)
        opener_->takeKindFromMetadata(filePath);
    titleBar_->pathLabel()->setText(filePath);
    titleBar_->pathLabel()->setToolTip(filePath);
    startPlay(filePath);
}

void MainWindow::OnDeleteCurrentPlay() {
    player_->setMediaEndAction(media::AVPlayer::MediaEndAction_Default);
    player_->stop();
    bar_->lengthLabel()->setText(QStringLiteral("00:00:00"));
    bar_->hide();
    titleBar_->pathLabel()->clear();
    titleBar_->pathLabel()->setToolTip(QString());
    player_->setMediaEndAction(media::AVPlayer::MediaEndAction_KeepDisplay);
}

// -- View modes.

void MainWindow::switchView(int mode) {
    if (view()->viewMode() == mode)
        return;
    if (mode != render::Original) {
        sourceWidget()->hide();
        view()->show();
        player_->removeVideoRenderer(videoOutput_);
        player_->setRenderer(frameRenderer_);
        if (isImage_) {
            player_->stop();
            frameRenderer_->clearFrameReceived();
            player_->play();
        }
        view()->setViewMode(mode);
        return;
    }
    sourceWidget()->show();
    view()->hide();
    player_->removeVideoRenderer(frameRenderer_);
    player_->setRenderer(videoOutput_);
    if (isImage_)
        player_->stop();
    player_->play();
    view()->setViewMode(render::Original);
}

void MainWindow::OnPanoViewClicked() { switchView(render::Pano); }
void MainWindow::OnFisheyeViewClicked() { switchView(render::Fisheye); }
void MainWindow::OnLittlePlanetViewClicked() { switchView(render::LittlePlanet); }
void MainWindow::OnOriginalViewClicked() { switchView(render::Original); }

// -- Export.

QStringList MainWindow::buildConverterArgs(int exportType) { return exporter_->converterArgs(exportType); }
void MainWindow::OnExportBtnClicked() { exporter_->begin(); }
void MainWindow::OnExportFinished(bool isSuccess) { exporter_->end(isSuccess); }
void MainWindow::setExportTools(const QString& converter, const QString& exiftool) {
    exporter_->setTools(converter, exiftool);
}
void MainWindow::setExportFolder(const QString& folder) { exporter_->setUserFolder(folder); }
void MainWindow::setExportDialogRunner(std::function<int(exporting::ExportDialog&)> runner) {
    exporter_->setDialogRunner(std::move(runner));
}
exporting::ExportDialog* MainWindow::exportDialog() const { return exporter_->dialog(); }
exporting::BatchExportDialog* MainWindow::batchExportDialog() const { return exporter_->batchDialog(); }

// -- Update and language.

void MainWindow::setUpdateUrl(const QUrl& url) { updater_->setUrl(url.toString()); }
void MainWindow::setUrlOpener(std::function<void(const QUrl&)> opener) { updater_->setUrlOpener(std::move(opener)); }
void MainWindow::checkForUpdate() { updater_->check(); }
void MainWindow::OnSoftwareUpdate(QNetworkReply* reply) { updater_->answered(reply); }

void MainWindow::OnSwitchLanguage() {
    ui::Feedback dialog(this);
    dialog.setFixedSize(400, 200);
    dialog.makeQuestion(tr("Please restart Vistamo Player before the language change can take effect."), kTitle,
                        tr("OK"), tr("Cancel"));
    if (runDialog_(dialog) != QDialog::Accepted)
        return;
    const QString next = locale_ == QLatin1String("zh_CN") ? QStringLiteral("en_US") : QStringLiteral("zh_CN");
    QSettings::Status status;
    {
        QSettings settings(settingsPath_, QSettings::IniFormat);
        settings.setValue(QStringLiteral("/locale"), next);
        settings.sync();
        status = settings.status();
    }
    if (status != QSettings::NoError || !QFileInfo(settingsPath_).isWritable()) {
        // The switch would not survive the restart: say so and stay.
        tell(tr("The language setting cannot be saved in %1. Please check that you have the required access "
                "rights.")
                 .arg(QDir::toNativeSeparators(settingsPath_)));
        return;
    }
    locale_ = next;
    close();
}

// -- Lens matching.

void MainWindow::setMatchLenses(bool match) {
    view()->setMatchLenses(match);
    bar_->matchLensesAction()->setChecked(match);
    // Kept for the next start; a settings file that cannot be written
    // loses only that.
    QSettings settings(settingsPath_, QSettings::IniFormat);
    settings.setValue(QStringLiteral("/matchLenses"), match);
}

// -- Capture.

void MainWindow::OnCapture() {
    const QString answer = askSavePath_(captureProposal(currentFile_));
    if (answer.isEmpty())
        return;
    const QString portable = QDir::fromNativeSeparators(answer);
    QDir::setCurrent(portable.left(portable.lastIndexOf(QLatin1Char('/')) + 1));
    // Encoded in memory and written whole: a full disk keeps an earlier file,
    // and the file being played, a device or a FIFO is never written.
    const QImage shot = view()->grabFramebuffer();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    std::string reason;
    if (!buffer.open(QIODevice::WriteOnly) || !shot.save(&buffer, "JPG", -1) ||
        !files::writeFileAtomically(QFile::encodeName(answer).toStdString(), bytes.constData(), size_t(bytes.size()),
                                    {QFile::encodeName(currentFile_).toStdString()}, reason))
        tell(tr("Save failed!"));
}

// -- Window events.

void MainWindow::OnCloseBtnClicked() {
    if (exporter_->running() || exporter_->batchRunning()) {
        ui::Feedback dialog(this);
        dialog.setFixedSize(400, 200);
        dialog.setLeftButtonText(tr("Close"));
        dialog.setRightButtonText(QStringLiteral("Cancel"));
        dialog.makeModal();
        dialog.setMessage(tr("Exporting now, closing Vistamo Player will stop the export."));
        dialog.setTitleLine(kTitle);
        if (runDialog_(dialog) != QDialog::Accepted)
            return;  // the export runs on
        exporter_->cancel();
    }
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    playList()->SaveList();
    if (player_->isPlaying()) {
        player_->setMediaEndAction(media::AVPlayer::MediaEndAction_Default);
        player_->stop();
    }
    player_->clearVideoRenderers();
    form_->layout_->removeWidget(sourceWidget());
    bar_->hide();
    event->accept();
}

bool MainWindow::eventFilter(QObject* object, QEvent* event) {
    if (object == sourceWidget() && event->type() == QEvent::MouseButtonDblClick) {
        setFullscreen();
        return true;
    }
    if (event->type() == QEvent::DragEnter) {
        auto* drag = static_cast<QDragEnterEvent*>(event);
        if (drag->mimeData()->hasUrls())
            drag->acceptProposedAction();
        return true;
    }
    if (event->type() == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        const QList<QUrl> urls = drop->mimeData()->urls();
        if (urls.isEmpty())
            return true;
        // Opened where it was dropped; the kind is left as it was.
        const QString path = QDir::toNativeSeparators(urls.first().toLocalFile());
        if (checkFormat(path, kTitle))
            openChecked(path, false);
        return true;
    }
    return FramelessWidget::eventFilter(object, event);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls() && event->mimeData()->urls().size() == 1)
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty())
        return;
    if (player_->isPlaying()) {
        stopPlayer();
        bar_->triggerPano();
    }
    const QString path = QDir::toNativeSeparators(urls.first().toLocalFile());
    if (checkFormat(path, kTitle))
        openChecked(path, true);
}

void MainWindow::placeControls() {
    if (!titleBar_ || !bar_ || !playListButton_)
        return;
    titleBar_->setGeometry(0, 0, width(), 30);
    const int buttonY = titleBar_->height() + (height() - titleBar_->height() - playListButton_->height()) / 2;
    if (playListShown_) {
        playListButton_->move(width() - playListButton_->width() - 304, buttonY);
        playListButton_->setText(QStringLiteral(">>"));
        bar_->resize(width() - 308, 56);
    } else {
        playListButton_->move(width() - playListButton_->width() - 4, buttonY);
        playListButton_->setText(QStringLiteral("<<"));
        bar_->resize(width() - 8, 56);
    }
    playListButton_->raise();
    bar_->move(x() + 4, y() + height() - 60);
}

void MainWindow::resizeEvent(QResizeEvent* event) {
    FramelessWidget::resizeEvent(event);
    placeControls();
}

void MainWindow::moveEvent(QMoveEvent* event) {
    FramelessWidget::moveEvent(event);
    if (bar_)
        bar_->move(x() + 4, y() + height() - 60);
}

void MainWindow::bindCommands() {
    const qint64 step = 5000;
    auto camera = [this](double yaw, double pitch, int zoom) { view()->setCamera(yaw, pitch, zoom); };
    commands_.add(QStringLiteral("play or pause"), {Qt::Key_Space}, [this] { playBtnClicked(); });
    commands_.add(QStringLiteral("back 5 s"), {Qt::Key_Left},
                  [this, step] { player_->seek(std::max<qint64>(0, player_->position() - step)); });
    commands_.add(QStringLiteral("on 5 s"), {Qt::Key_Right}, [this, step] { player_->seek(player_->position() + step); });
    commands_.add(QStringLiteral("louder"), {Qt::Key_Up},
                  [this] { bar_->volumeSlider()->setValue(bar_->volumeSlider()->value() + 5); });
    commands_.add(QStringLiteral("quieter"), {Qt::Key_Down},
                  [this] { bar_->volumeSlider()->setValue(bar_->volumeSlider()->value() - 5); });
    commands_.add(QStringLiteral("mute"), {Qt::Key_M}, [this] { onVolumeBtnClicked(); });
    commands_.add(QStringLiteral("statistics"), {Qt::Key_I}, [this] { statistics_->toggle(); });
    commands_.add(QStringLiteral("full screen"), {Qt::Key_F}, [this] { setFullscreen(); });
    commands_.add(QStringLiteral("leave full screen"), {Qt::Key_Escape}, [this] {
        if (fullscreen_)
            setFullscreen();
    });
    // A view chosen by key is checked in the menu as a click there would.
    auto viewCommand = [this](const QString& name, int key, QAction* action, void (MainWindow::*show)()) {
        commands_.add(name, {key}, [this, action, show] {
            action->setChecked(true);
            (this->*show)();
        });
    };
    viewCommand(QStringLiteral("panorama"), Qt::Key_1, bar_->panoAction(), &MainWindow::OnPanoViewClicked);
    viewCommand(QStringLiteral("fisheye"), Qt::Key_2, bar_->fisheyeAction(), &MainWindow::OnFisheyeViewClicked);
    viewCommand(QStringLiteral("little planet"), Qt::Key_3, bar_->littlePlanetAction(),
                &MainWindow::OnLittlePlanetViewClicked);
    viewCommand(QStringLiteral("show source"), Qt::Key_4, bar_->sourceAction(), &MainWindow::OnOriginalViewClicked);
    // Commands of the buttons and menus only.
    commands_.add(QStringLiteral("view menu"), {}, [this] { ShowViewMenu(); });
    commands_.add(QStringLiteral("match lenses"), {Qt::Key_L}, [this] { setMatchLenses(!view()->matchLenses()); });
    commands_.add(QStringLiteral("export"), {}, [this] { OnExportBtnClicked(); });
    commands_.add(QStringLiteral("capture"), {}, [this] { OnCapture(); });
    commands_.add(QStringLiteral("maximise"), {}, [this] { setMaximize(); });
    commands_.add(QStringLiteral("menu"), {}, [this] { ShowMenu(); });
    commands_.add(QStringLiteral("close"), {}, [this] { OnCloseBtnClicked(); });
    commands_.add(QStringLiteral("play list"), {}, [this] { OnPlayListBtnClicked(); });
    commands_.add(QStringLiteral("add files"), {}, [this] { OnAddFileToListBtnClicked(); });
    commands_.add(QStringLiteral("language"), {}, [this] { OnSwitchLanguage(); });
    commands_.add(QStringLiteral("media type"), {}, [this] {
        if (currentFile_.isEmpty())
            return;
        showMask(typeDialog_);
        typeDialog_->exec();
    });
    commands_.add(QStringLiteral("turn left"), {Qt::Key_A},
                  [this, camera] { camera(view()->yaw() + 10, view()->pitch(), view()->zoomLevel()); });
    commands_.add(QStringLiteral("turn right"), {Qt::Key_D},
                  [this, camera] { camera(view()->yaw() - 10, view()->pitch(), view()->zoomLevel()); });
    commands_.add(QStringLiteral("look up"), {Qt::Key_W},
                  [this, camera] { camera(view()->yaw(), std::min(85.0, view()->pitch() + 10), view()->zoomLevel()); });
    commands_.add(QStringLiteral("look down"), {Qt::Key_S},
                  [this, camera] { camera(view()->yaw(), std::max(-85.0, view()->pitch() - 10), view()->zoomLevel()); });
    commands_.add(QStringLiteral("zoom in"), {Qt::Key_Plus, Qt::Key_Equal},
                  [this, camera] { camera(view()->yaw(), view()->pitch(), view()->zoomLevel() - 1); });
    commands_.add(QStringLiteral("zoom out"), {Qt::Key_Minus},
                  [this, camera] { camera(view()->yaw(), view()->pitch(), view()->zoomLevel() + 1); });
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    if (!commands_.run(event->key())) {
        FramelessWidget::keyPressEvent(event);
        return;
    }
    event->accept();
}

}  // namespace vistamo::app
