#include "main_window.h"
#include "statistics_overlay.h"

#include <QBuffer>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
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
#include "export_dialog.h"
#include "feedback.h"
#include "gl_view.h"
#include "lensmeta/lensmeta.h"
#include "log_text.h"
#include "mask_frame.h"
#include "media_rules.h"
#include "playlist.h"
#include "progress_slider.h"
#include "startup.h"
#include "version_file.h"
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
    exportTimer_ = new QTimer(this);
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
    bar_->volumeSlider()->setRange(0, 100);
    bar_->volumeSlider()->setValue(int(volume_ / 0.04));
    bar_->volumeSlider()->setToolTip(QString::number(volume_ / 0.04, 'g', 6));
    bar_->hide();
    playList()->SetMainWindow(this);
    playList()->SetListFile(playlistPath);
    playListButton_ = new QPushButton(QStringLiteral(">>"), this);
    playListButton_->setCursor(Qt::ArrowCursor);
    playListButton_->setStyleSheet(
        QStringLiteral("QPushButton{ background-color:#191919; color:#ffffff; border:none; text_align:center;}"));
    playListButton_->setFixedSize(20, 60);
    playListButton_->show();

    // Connections (the table of slots).
    connect(bar_->progressSlider(), &QSlider::valueChanged, this, &MainWindow::videoProgressSliderMoved);
    connect(bar_->playButton(), &QToolButton::clicked, this, &MainWindow::playBtnClicked);
    connect(bar_->fullscreenButton(), &QToolButton::clicked, this, &MainWindow::setFullscreen);
    connect(titleBar_->maximizeButton(), &QToolButton::clicked, this, &MainWindow::setMaximize);
    connect(titleBar_, &ui::TitleBar::signaltoUI, this, &MainWindow::moveMaximize, Qt::QueuedConnection);
    connect(bar_->volumeSlider(), &QSlider::valueChanged, this, &MainWindow::setVolume);
    connect(titleBar_->menuButton(), &QToolButton::clicked, this, &MainWindow::ShowMenu);
    connect(bar_->modeButton(), &QToolButton::clicked, this, &MainWindow::ShowViewMenu);
    connect(bar_->volumeButton(), &QToolButton::clicked, this, &MainWindow::onVolumeBtnClicked);
    connect(typeDialog_->standardButton(), &QPushButton::clicked, this, &MainWindow::choseStandard, Qt::DirectConnection);
    connect(typeDialog_->sphereButton(), &QPushButton::clicked, this, &MainWindow::choseSphere, Qt::DirectConnection);
    connect(typeDialog_->twinsButton(), &QPushButton::clicked, this, &MainWindow::choseTwins, Qt::DirectConnection);
    connect(titleBar_->closeButton(), &QToolButton::clicked, this, &MainWindow::OnCloseBtnClicked);
    connect(playListButton_, &QPushButton::clicked, this, &MainWindow::OnPlayListBtnClicked);
    connect(playList(), &playlist::PlayList::AddBtnClicked, this, &MainWindow::OnAddFileToListBtnClicked);
    connect(playList(), &playlist::PlayList::AddFiles, this, &MainWindow::OnAddFilesToPlayList);
    connect(playList(), &playlist::PlayList::StartPlay, this, &MainWindow::OnPlayListDoubleClicked);
    connect(playList(), &playlist::PlayList::StopPlay, this, &MainWindow::OnDeleteCurrentPlay);
    connect(bar_, &BottomBar::PanoActionTriggered, this, &MainWindow::OnPanoViewClicked);
    connect(bar_, &BottomBar::FisheyeActionTriggered, this, &MainWindow::OnFisheyeViewClicked);
    connect(bar_, &BottomBar::LittlePlanetActionTriggered, this, &MainWindow::OnLittlePlanetViewClicked);
    connect(bar_, &BottomBar::OriginalActionTriggered, this, &MainWindow::OnOriginalViewClicked);
    connect(bar_->exportButton(), &QToolButton::clicked, this, &MainWindow::OnExportBtnClicked);
    connect(exportTimer_, &QTimer::timeout, this, &MainWindow::OnExportTimerOut);
    connect(bar_, &BottomBar::Capture, this, &MainWindow::OnCapture);
    // The language switch; its label is the other language's name.
    QAction* languageAction = new QAction(QCoreApplication::translate("title_bar", "中文"), titleBar_);
    titleBar_->menu()->addAction(languageAction);
    connect(languageAction, &QAction::triggered, this, &MainWindow::OnSwitchLanguage);
    // "Media type…": the dialog becomes reachable for the current file.
    QAction* typeAction = new QAction(tr("Media type…"), this);
    titleBar_->menu()->addAction(typeAction);
    connect(typeAction, &QAction::triggered, this, [this] {
        if (currentFile_.isEmpty())
            return;
        showMask(typeDialog_);
        typeDialog_->exec();
    });

    form_->chose_drop_label_->setText(tr("Please drop your file"));
    exportTimer_->setSingleShot(false);
    exportTimer_->setInterval(100);

    // The player and its renderers.
    view()->setMainWindow(this);
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
    runExportDialog_ = [](exporting::ExportDialog& dialog) { return dialog.exec(); };
    openUrl_ = [](const QUrl& url) { QDesktopServices::openUrl(url); };
#ifdef VISTAMO_UPDATE_HOST
    if (QStringLiteral(VISTAMO_UPDATE_HOST) != QString())
        updateUrl_ = QStringLiteral("http://" VISTAMO_UPDATE_HOST "/install/KestraSoftVersion.txt");
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
    const bool supported = isSupportedMediaFile(path, &image);
    // The type and the still's frame are settled before anything opens the
    // file: a FIFO named ".jpg" must not hold the window.
    const QString problem = image || supported ? mediaFileProblem(path, image) : QString();
    if (!problem.isEmpty()) {
        tell(tr("Cannot open %1: %2").arg(QDir::toNativeSeparators(path), problem), titleLine);
        return false;
    }
    if (!supported) {
        tell(tr("File format not supported!") + QStringLiteral("(.mp4, .mov, .flv, .jpeg)"), titleLine);
        return false;
    }
    isImage_ = image;
    return true;
}

QString MainWindow::calibrationTextOf(const QString& path) const {
    ImageData data;
    std::string local = QFile::encodeName(QDir::fromNativeSeparators(path)).toStdString();
    GetLensmeta(data, local);
    return QString::fromStdString(data.calibText);
}

void MainWindow::setKindFromMetadata(const QString& path) {
    view()->setKind(kindFromCalibration(calibrationTextOf(path)));
}

void MainWindow::fallBackFromUnusableCalibration(const QString& path) {
    if (view()->kind() == render::Standard)
        return;
    const QString problem = calibrationProblem(calibrationTextOf(path));
    if (problem.isEmpty())
        return;
    view()->setKind(render::Standard);
    tell(tr("%1 cannot be stitched: %2. It is shown as it was recorded.")
             .arg(QDir::toNativeSeparators(path), problem));
}

void MainWindow::probe(const ProbeEntry& entry) {
    probeQueue_.push_back(entry);
    if (probePlayer_->file() == entry.path) {
        OnDurationChanged(probePlayer_->duration());
        return;
    }
    probePlayer_->setFile(entry.path);
    if (!probePlayer_->load()) {
        // No duration will come: the entry must not take the next file's.
        probeQueue_.removeLast();
        probeDone_ = true;
    }
}

void MainWindow::OnDurationChanged(qint64 duration) {
    if (probeQueue_.isEmpty())
        return;
    const ProbeEntry entry = probeQueue_.takeFirst();
    playList()->AddMedia(entry.path, entry.isImage, duration, entry.current);
    probeDone_ = true;
}

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
        setKindFromMetadata(path);
    probe({path, isImage_, true});
    currentFile_ = path;
    startPlay(path);
}

void MainWindow::stopPlayer() {
    player_->setMediaEndAction(media::AVPlayer::MediaEndAction_Default);
    player_->stop();
    bar_->progressSlider()->setSliderPosition(0);
    player_->setMediaEndAction(media::AVPlayer::MediaEndAction_KeepDisplay);
}

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
    const QList<QWidget*> videoOnly = {bar_->playButton(), bar_->progressSlider(), bar_->volumeButton(),
                                       bar_->volumeSlider(), bar_->positionLabel(), bar_->lengthLabel()};
    disconnect(player_, &media::AVPlayer::durationChanged, this, &MainWindow::videoLengthChanged);
    disconnect(player_, &media::AVPlayer::stateChanged, this, &MainWindow::playerStateChanged);
    if (isImage_) {
        bar_->positionLabel()->setText(QStringLiteral("00:00:00"));
        bar_->lengthLabel()->setText(QStringLiteral("00:00:00"));
        bar_->progressSlider()->setRange(0, 0);
        bar_->progressSlider()->setValue(0);
        for (QWidget* w : videoOnly)
            w->hide();
    } else {
        connect(player_, &media::AVPlayer::durationChanged, this, &MainWindow::videoLengthChanged);
        connect(player_, &media::AVPlayer::stateChanged, this, &MainWindow::playerStateChanged);
        for (QWidget* w : videoOnly)
            w->show();
    }
    fallBackFromUnusableCalibration(path);
    bar_->exportButton()->setVisible(view()->kind() != render::Standard);
    showDropPrompt(false);
    view()->prepareFile(path);
    qDebug().noquote() << "File path: " << QString::fromStdString(text::forLog(path.toStdString()));
    playedFile_ = path;
    watchdogRestarts_ = 0;
    frameRenderer_->clearFrameReceived();
    player_->play(path);
    playList()->SetModel(currentFile_, view()->kind());
}

void MainWindow::OnPlayerError(const QString& message) {
    // A damaged or vanished file: say so; the window stays as it is.
    tell(message);
}

// -- Playback controls.

void MainWindow::videoProgressed(qint64 position) {
    const bool pictureSeen = view()->viewMode() == render::Original || frameRenderer_->frameReceived();
    if (isImage_) {
        if (pictureSeen) {
            player_->pause(true);
            return;
        }
    } else if (pictureSeen || position < 600) {
        bar_->positionLabel()->setText(formatTime(position));
        if (!bar_->progressSlider()->isSliderDown())
            bar_->progressSlider()->setSliderPosition(int(position));
        return;
    }
    // No picture reached the view: restart, a few times, then say so.
    if (++watchdogRestarts_ > kWatchdogRestarts) {
        stopPlayer();
        tell(tr("No picture could be shown from this file."));
        return;
    }
    player_->stop();
    player_->play();
}

void MainWindow::videoLengthChanged(qint64 length) {
    if (length <= 0)
        return;
    length_ = length;
    bar_->lengthLabel()->setText(formatTime(length));
    disconnect(bar_->progressSlider(), &QSlider::valueChanged, this, &MainWindow::videoProgressSliderMoved);
    bar_->progressSlider()->setRange(0, int(length));
    connect(bar_->progressSlider(), &QSlider::valueChanged, this, &MainWindow::videoProgressSliderMoved);
}

void MainWindow::videoProgressSliderMoved(int position) {
    if (position == 0 && !bar_->progressSlider()->isSliderDown()) {
        player_->stop();
        player_->play();
    }
    player_->seek(position);
}

void MainWindow::playerStateChanged(media::AVPlayer::State state) {
    if (state == media::AVPlayer::StoppedState) {
        restylePlayButton(false);
        emit player_->positionChanged(0);
        player_->audio()->setVolume(0);
    } else if (state == media::AVPlayer::PlayingState) {
        restylePlayButton(true);
        volume_ = bar_->volumeSlider()->value() * 0.04;
        player_->audio()->setVolume(muted_ ? 0 : volume_);
        bar_->progressSlider()->setEnabled(true);
    } else {
        restylePlayButton(false);
    }
}

void MainWindow::restylePlayButton(bool playing) {
    if (playing)
        setButtonImages(bar_->playButton(), QStringLiteral(":/images/pause.png"), QStringLiteral(":/images/pause_highlight.png"));
    else
        setButtonImages(bar_->playButton(), QStringLiteral(":/images/play.png"), QStringLiteral(":/images/play_highlight.png"));
}

void MainWindow::restyleFullscreenButton() {
    if (fullscreen_)
        setButtonImages(bar_->fullscreenButton(), QStringLiteral(":/images/exit_fullscreen.png"),
                        QStringLiteral(":/images/exit_fullscreen_highlight.png"));
    else
        setButtonImages(bar_->fullscreenButton(), QStringLiteral(":/images/fullscreen.png"),
                        QStringLiteral(":/images/fullscreen_highlight.png"));
}

void MainWindow::playBtnClicked() {
    if (!player_->isPlaying()) {
        player_->play(playedFile_);
        return;
    }
    player_->pause(!player_->isPaused());
    restylePlayButton(!player_->isPaused());
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

void MainWindow::setVolume(int value) {
    volume_ = value * 0.04;
    bar_->volumeSlider()->setToolTip(QString::number(volume_ / 0.04, 'g', 6));
    if (!muted_)
        player_->audio()->setVolume(volume_);
}

void MainWindow::onVolumeBtnClicked() {
    muted_ = !muted_;
    player_->audio()->setVolume(muted_ ? 0 : volume_);
    setButtonImages(bar_->volumeButton(), muted_ ? QStringLiteral(":/images/mute.png") : QStringLiteral(":/images/volume.png"),
                    muted_ ? QStringLiteral(":/images/mute.png") : QStringLiteral(":/images/volume.png"));
}

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
        bool image = false;
        const bool supported = isSupportedMediaFile(path, &image);
        const QString problem = image || supported ? mediaFileProblem(path, image) : QString();
        if (!problem.isEmpty())
            refused << path + QStringLiteral(": ") + problem;
        if (!supported || !problem.isEmpty())
            continue;  // other files dropped with them (a folder's notes) are passed over
        probeDone_ = false;
        probe({path, image, false});
        // One file at a time, in order; a file whose duration never comes is
        // added without one.
        QElapsedTimer waited;
        waited.start();
        while (!probeDone_ && waited.elapsed() < kProbeWaitMs)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (!probeDone_)
            OnDurationChanged(0);
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
        setKindFromMetadata(filePath);
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

QStringList MainWindow::buildConverterArgs(int exportType) {
    const auto type = exporting::ExportType(exportType);
    QString calibration;
    if (type != exporting::StandardCopy) {
        PanoData data;
        std::string local = QDir::fromNativeSeparators(playedFile_).toLocal8Bit().toStdString();
        if (GetPanoParam(data, local) && !data.photos.empty())
            calibration = QString::fromStdString(data.photos.front().calibText);
        const bool twins = type == exporting::TwinsVideo || type == exporting::TwinsImage;
        if (twins && calibration.isEmpty())
            return {};
    }
    int width = view()->pictureSize().width();
    if (width <= 0)
        width = 1920;  // no picture yet: the common panorama width
    converterArgs_ = exporting::buildConverterArgs(type, playedFile_, width, calibration);
    return converterArgs_;
}

void MainWindow::OnExportBtnClicked() {
    if (exportDialog_ && !exportDialog_->finished()) {
        // An export runs: show its dialog again.
        showMask(exportDialog_);
        exportDialog_->show();
        return;
    }
    delete exportDialog_;
    exportDialog_ = new exporting::ExportDialog(this);
    connect(exportDialog_, &exporting::ExportDialog::ExportFinished, this, &MainWindow::OnExportFinished,
            Qt::QueuedConnection);
    if (!converterProgram_.isEmpty())
        exportDialog_->setConverterProgram(converterProgram_);
    if (!exiftoolProgram_.isEmpty())
        exportDialog_->setExiftoolProgram(exiftoolProgram_);
    exportDialog_->setUserFolder(exportFolder_.isEmpty() ? userFolderPath() : exportFolder_);
    exportDialog_->setDialogRunner(runDialog_);
    const auto type = exporting::exportTypeFor(view()->kind(), isImage_);
    exportDialog_->setExportType(type);
    exportDialog_->setPaths(currentFile_, playedFile_);
    showMask(exportDialog_);
    const QStringList args = buildConverterArgs(type);
    if (args.isEmpty()) {
        OnExportFinished(false);
        return;
    }
    exportDialog_->setArgs(args);
    if (runExportDialog_(*exportDialog_) == QDialog::Accepted) {
        exportTimer_->start();
        exportDialog_->startConvert();
    }
}

void MainWindow::OnExportTimerOut() {
    if (!exportDialog_)
        return;
    QToolButton* button = bar_->exportButton();
    button->setToolTip(QFileInfo(currentFile_).fileName() + QStringLiteral(" ") + tr("is exporting"));
    button->setStyleSheet(
        QStringLiteral("QToolButton{ border-image: url(:/images/exporting/exporting%1.png); background: #000000;}")
            .arg(exportFrame_));
    exportFrame_ = exportFrame_ % 14 + 1;
}

void MainWindow::OnExportFinished(bool isSuccess) {
    exportTimer_->stop();
    QToolButton* button = bar_->exportButton();
    button->setStyleSheet(QStringLiteral("QToolButton{ border-image: url(:images/export.png); background: #000000;} "
                                         "\nQToolButton::hover{ border-image:url(:images/export_hover.png)}"));
    button->setToolTip(tr("Export"));
    if (!isSuccess)
        tell(tr("Export failed!"));
    // The file is already in place (or nothing was moved): the dialog goes.
    if (exportDialog_ && exportDialog_->finished()) {
        exportDialog_->deleteLater();
        exportDialog_ = nullptr;
    }
}

// -- Update and language.

void MainWindow::setUpdateUrl(const QUrl& url) { updateUrl_ = url.toString(); }

void MainWindow::checkForUpdate() {
    if (updateUrl_.isEmpty())
        return;  // no update address in this build: nothing is sent
    if (!network_) {
        network_ = new QNetworkAccessManager(this);
        connect(network_, &QNetworkAccessManager::finished, this, &MainWindow::OnSoftwareUpdate);
    }
    QNetworkRequest request(QUrl(updateUrl_, QUrl::TolerantMode));
    request.setTransferTimeout(15000);
    QNetworkReply* reply = network_->get(request);
    // A version file is a few lines: a longer answer is no version file.
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kVersionFileLimit)
            reply->abort();
    });
}

void MainWindow::OnSoftwareUpdate(QNetworkReply* reply) {
    reply->deleteLater();
    if (reply->error() != QNetworkReply::NoError)
        return;
    UpdateOffer offer;
    if (!parseVersionFile(reply->read(kVersionFileLimit + 1), offer))
        return;
    qDebug() << "lastest version:" << offer.number << offer.address;
    if (offer.number <= kVersionNumber)
        return;
    ui::Feedback dialog(this);
    dialog.setFixedSize(400, 250);
    dialog.setLeftButtonText(QStringLiteral("OK"));
    dialog.setRightButtonText(QStringLiteral("Cancel"));
    dialog.makeModal();
    dialog.setMessage(tr("A software update is available. Proceed to download the update?"));
    dialog.setTitleLine(QStringLiteral("Orvex"));
    if (runDialog_(dialog) == 1)
        openUrl_(offer.address);
}

void MainWindow::OnSwitchLanguage() {
    ui::Feedback dialog(this);
    dialog.setFixedSize(400, 200);
    dialog.setLeftButtonText(tr("OK"));
    dialog.setRightButtonText(tr("Cancel"));
    dialog.makeModal();
    dialog.setMessage(tr("Please restart Vistamo Player before the language change can take effect."));
    dialog.setTitleLine(kTitle);
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
    if (exportDialog_ && !exportDialog_->finished()) {
        ui::Feedback dialog(this);
        dialog.setFixedSize(400, 200);
        dialog.setLeftButtonText(tr("Close"));
        dialog.setRightButtonText(QStringLiteral("Cancel"));
        dialog.makeModal();
        dialog.setMessage(tr("Exporting now, closing Vistamo Player will stop the export."));
        dialog.setTitleLine(kTitle);
        if (runDialog_(dialog) != QDialog::Accepted)
            return;  // the export runs on
        exportDialog_->cancelExport();
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

void MainWindow::keyPressEvent(QKeyEvent* event) {
    const qint64 step = 5000;
    switch (event->key()) {
    case Qt::Key_Space: playBtnClicked(); break;
    case Qt::Key_Left: player_->seek(std::max<qint64>(0, player_->position() - step)); break;
    case Qt::Key_Right: player_->seek(player_->position() + step); break;
    case Qt::Key_Up: bar_->volumeSlider()->setValue(bar_->volumeSlider()->value() + 5); break;
    case Qt::Key_Down: bar_->volumeSlider()->setValue(bar_->volumeSlider()->value() - 5); break;
    case Qt::Key_M: onVolumeBtnClicked(); break;
    case Qt::Key_I: statistics_->toggle(); break;
    case Qt::Key_F: setFullscreen(); break;
    case Qt::Key_Escape:
        if (fullscreen_)
            setFullscreen();
        break;
    case Qt::Key_1: bar_->panoAction()->trigger(); break;
    case Qt::Key_2: bar_->fisheyeAction()->trigger(); break;
    case Qt::Key_3: bar_->littlePlanetAction()->trigger(); break;
    case Qt::Key_4: bar_->sourceAction()->trigger(); break;
    case Qt::Key_A: view()->setCamera(view()->yaw() + 10, view()->pitch(), view()->zoomLevel()); break;
    case Qt::Key_D: view()->setCamera(view()->yaw() - 10, view()->pitch(), view()->zoomLevel()); break;
    case Qt::Key_W: view()->setCamera(view()->yaw(), std::min(85.0, view()->pitch() + 10), view()->zoomLevel()); break;
    case Qt::Key_S: view()->setCamera(view()->yaw(), std::max(-85.0, view()->pitch() - 10), view()->zoomLevel()); break;
    case Qt::Key_Plus: case Qt::Key_Equal: view()->setCamera(view()->yaw(), view()->pitch(), view()->zoomLevel() - 1); break;
    case Qt::Key_Minus: view()->setCamera(view()->yaw(), view()->pitch(), view()->zoomLevel() + 1); break;
    default: FramelessWidget::keyPressEvent(event); return;
    }
    event->accept();
}

}  // namespace vistamo::app
