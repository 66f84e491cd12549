// The media player: opens a file, decodes it on its own threads and hands
// every picture to its video renderers at the picture's time, with the
// sound played alongside.
//
// Threads of one playback (each named): "vst-demux" reads packets into one
// PacketQueue per stream; "vst-vdec" decodes video into the FrameQueue;
// "vst-adec" decodes and resamples audio into the AudioOutput; "vst-present"
// waits for each frame's time on the master clock and calls the renderers,
// dropping a frame only when it is late and a later one is already due.
// With a video or external master clock the AudioOutput schedules the
// sound against it, its device latency included, so both meet.
// Every public function is for the thread that owns the player (the GUI
// thread); signals are emitted there, except positionChanged, which the
// presentation thread emits (queued to receivers on other threads).
#pragma once

#include <QList>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QVariantHash>

#include <functional>
#include <memory>

#include "audio_output.h"
#include "av_clock.h"
#include "video_renderer.h"

namespace vistamo::media {

class Playback;
class ByteSource;

// What one playback has done since its file was opened, for the statistics
// overlay and the benchmarks.
struct PlaybackStatistics {
    QString decoder;            // "FFmpeg" (software), "CUDA", "VAAPI"; empty without video
    bool hardware = false;
    QSize size;                 // of the video stream
    double frameRate = 0;       // frames per second; 0 when unknown
    QString colour;             // the colour rule of the frames shown ("BT.709 limited")
    qint64 sourceFrames = 0;    // frames the video stream holds (its count, else duration × rate); 0 unknown
    qint64 decoded = 0;         // frames out of the decoder
    qint64 shown = 0;           // frames handed to the renderers
    qint64 dropped = 0;         // frames skipped because they were late and a later one was due
};

class AVPlayer : public QObject {
    Q_OBJECT
public:
    enum State { StoppedState = 0, PlayingState = 1, PausedState = 2 };
    Q_ENUM(State)
    enum MediaEndAction { MediaEndAction_Default = 0, MediaEndAction_KeepDisplay = 1 };

    explicit AVPlayer(QObject* parent = nullptr);
    ~AVPlayer() override;

    void setFile(const QString& path);
    QString file() const { return file_; }
    // Opens the file without playing: the duration becomes known and
    // durationChanged fires. False (with error) when it cannot be opened.
    bool load();
    bool isLoaded() const;
    // Kept for callers: play() always loads a file that is not loaded.
    void setAutoLoad(bool autoLoad) { autoLoad_ = autoLoad; }
    bool isAutoLoad() const { return autoLoad_; }

    void play();
    void play(const QString& path);
    void pause(bool paused);
    void stop();
    void seek(qint64 ms);

    bool isPlaying() const { return state_ != StoppedState; }
    bool isPaused() const { return state_ == PausedState; }
    State state() const { return state_; }
    qint64 position() const;  // ms, from the start of the medium
    qint64 duration() const { return durationMs_; }

    void setMediaEndAction(MediaEndAction action) { endAction_ = action; }
    MediaEndAction mediaEndAction() const { return endAction_; }

    // Renderers are not owned. Removing one waits for a delivery to it in
    // progress, so it may be deleted right after.
    void setRenderer(VideoRenderer* renderer);
    void addVideoRenderer(VideoRenderer* renderer);
    void removeVideoRenderer(VideoRenderer* renderer);
    void clearVideoRenderers();
    QList<VideoRenderer*> videoOutputs() const;

    AudioOutput* audio() const { return audio_; }
    AVClock* masterClock() const { return clock_; }

    // Per decoder name ("CUDA", "FFmpeg"), codec options applied when the
    // next file opens; hashes set one after another are merged.
    void setOptionsForVideoCodec(const QVariantHash& options);
    QVariantHash optionsForVideoCodec() const { return codecOptions_; }
    void setVideoDecoderPriority(const QStringList& names) { decoderPriority_ = names; }
    QStringList videoDecoderPriority() const { return decoderPriority_; }
    // The decoder in use for the current file ("CUDA", "VAAPI", "FFmpeg"),
    // empty without one.
    QString videoDecoderName() const;

    // When false, frames are presented as fast as they decode (benchmarks
    // and tests); true by default.
    void setRealTime(bool realTime) { realTime_ = realTime; }

    // Takes the medium's bytes from sources that open() makes instead of
    // the file (not seekable); an empty function goes back to files.
    void setByteSource(std::function<std::unique_ptr<ByteSource>()> open) { openBytes_ = std::move(open); }

    // The current playback's, or the last one's once it stopped (until the
    // next file opens).
    PlaybackStatistics statistics() const;

signals:
    void stateChanged(vistamo::media::AVPlayer::State state);
    void positionChanged(qint64 position);
    void durationChanged(qint64 duration);
    void error(const QString& message);
    void mediaEnded();

private:
    friend class Playback;
    void setState(State state);
    void onMediaEnd(int generation);
    void stopPlayback(bool clearRenderers);

    QString file_;
    bool autoLoad_ = true;
    State state_ = StoppedState;
    MediaEndAction endAction_ = MediaEndAction_Default;
    qint64 durationMs_ = 0;
    bool realTime_ = true;
    QVariantHash codecOptions_;
    std::function<std::unique_ptr<ByteSource>()> openBytes_;
    QStringList decoderPriority_{QStringLiteral("FFmpeg")};

    AudioOutput* audio_;
    AVClock* clock_;
    std::unique_ptr<Playback> playback_;  // the open file and its threads
    PlaybackStatistics lastStatistics_;   // of the playback that stopped last
    int generation_ = 0;                  // counts playbacks, to drop stale end notices

    // The renderer list is read by the presentation thread.
    mutable std::mutex renderersMutex_;
    QList<VideoRenderer*> renderers_;  // guarded by renderersMutex_
};

}  // namespace vistamo::media

Q_DECLARE_METATYPE(vistamo::media::AVPlayer::State)
