#include "av_player.h"

#include <QFileInfo>
#include <QMetaObject>

#include <pthread.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cmath>
#include <thread>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

#include "frame_queue.h"
#include "media_source.h"
#include "packet_queue.h"

namespace vistamo::media {
namespace {

using queue::Wait;
using namespace std::chrono_literals;

// Demuxing stops reading while the queues hold this much: about two
// seconds of video at typical rates, bounded in memory.
constexpr size_t kVideoPacketsAhead = 64;
constexpr size_t kAudioPacketsAhead = 128;
constexpr size_t kQueueBytesLimit = 64u << 20;
// The longest single wait of any playback thread: stop() is seen within it.
constexpr auto kWaitStep = 50ms;
// How long the first picture of a run may take to reach the screen before
// the clock runs on without it.
constexpr auto kFirstPictureWait = 1000ms;

void nameThisThread(const char* name) { pthread_setname_np(pthread_self(), name); }

struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

}  // namespace

// One open file and the threads that play it. Created and destroyed by the
// player on its own thread; the members marked so are shared with the
// playback threads.
class Playback {
public:
    Playback(AVPlayer* player, std::unique_ptr<MediaSource> source, int generation)
        : player_(player), source_(std::move(source)), generation_(generation) {}
    ~Playback() { stop(); }

    MediaSource& source() { return *source_; }
    bool openDecoders(const QStringList& priority, const QVariantHash& options, QString* error);
    void start(bool realTime);
    void stop();
    void setPaused(bool paused);
    void seek(double seconds);
    qint64 positionMs() const { return positionMs_.load(); }
    QString videoDecoderName() const { return video_ ? video_->name() : QString(); }
    PlaybackStatistics statistics() const;

private:
    void demuxLoop();
    void videoDecodeLoop();
    void audioDecodeLoop();
    void presentLoop();
    bool queuesFull() const;
    // Audio packets are decoded while sound plays, or for the position of a
    // file without video; otherwise they are dropped at the demuxer.
    bool queuesAudio() const { return audio_ && (audioAlive_ || !video_); }
    bool waitUntilDue(double due, int serial);
    // Whether the frame of pts, being late, should give way to the next
    // queued frame, which is already due too.
    bool superseded(double pts, int serial) const;
    // Seconds before its time at which a frame is handed over: the slowest
    // renderer's measured way to the screen.
    double presentationLead() const;
    qint64 framesOnScreen() const;
    // Waits, within kFirstPictureWait, until ready() holds; false on a
    // timeout, pause, seek or stop.
    template <typename Ready>
    bool waitUntil(Ready ready, int serial);
    void deliver(const VideoFrame& frame);
    void notifyEnd();
    double timestampOf(const AVFrame* frame, const AVStream* stream) const;

    AVPlayer* player_;
    std::unique_ptr<MediaSource> source_;  // demux thread after start
    std::unique_ptr<StreamDecoder> video_;  // video decode thread after start
    std::unique_ptr<StreamDecoder> audio_;  // audio decode thread after start
    const int generation_;
    bool started_ = false;   // owner thread
    bool scheduled_ = false; // owner thread: the sound follows the master clock

    PacketQueue videoPackets_;
    PacketQueue audioPackets_;
    FrameQueue frames_{4};

    std::atomic<bool> abort_{false};
    std::atomic<bool> realTime_{true};
    std::atomic<bool> paused_{false};
    // The serial whose first frame is shown although paused (a seek while
    // paused), or −1. Only a frame of that serial takes the step.
    std::atomic<int> stepSerial_{-1};
    std::atomic<bool> audioAlive_{false};
    std::atomic<qint64> positionMs_{0};
    std::atomic<double> presentFrom_{-1};   // drop frames before this pts (seek); −1: none
    std::atomic<double> audioFrom_{-1};
    std::atomic<bool> endNotified_{false};
    std::atomic<qint64> decoded_{0}, shown_{0}, dropped_{0};

    // Seek requests reach the demux thread under demuxMutex_. It reads
    // without the lock (a read may block until stop() interrupts it) and
    // queues a packet only if no seek came in meanwhile, so no packet read
    // before a seek carries the new serial.
    std::mutex demuxMutex_;
    std::condition_variable demuxWake_;
    bool seekPending_ = false;  // guarded by demuxMutex_
    double seekTarget_ = 0;     // guarded by demuxMutex_
    int seekGeneration_ = 0;    // guarded by demuxMutex_: counts seek requests
    bool endOfFile_ = false;    // demux thread only

    std::mutex presentMutex_;   // for presentWake_ only
    std::condition_variable presentWake_;

    mutable std::mutex colourMutex_;
    QString colour_;            // guarded by colourMutex_: the rule of the frame shown last

    std::thread demuxThread_, videoThread_, audioThread_, presentThread_;
};

bool Playback::openDecoders(const QStringList& priority, const QVariantHash& options, QString* error) {
    if (AVStream* v = source_->videoStream()) {
        video_ = StreamDecoder::open(v, priority, options, error);
        if (!video_)
            return false;
    }
    if (AVStream* a = source_->audioStream()) {
        QString ignored;
        audio_ = StreamDecoder::open(a, {}, {}, &ignored);  // a file plays on without its sound
    }
    return video_ || audio_;
}

void Playback::start(bool realTime) {
    realTime_ = realTime;
    AVClock* clock = player_->masterClock();
    AudioOutput* out = player_->audio();
    if (audio_ && realTime) {
        const AVCodecContext* c = audio_->context();
        audioAlive_ = out->open(c->sample_rate, c->ch_layout.nb_channels);
    }
    clock->setPaused(false);
    clock->reset(0);
    if (video_)
        clock->invalidate();  // the first frame starts it
    if (audioAlive_) {
        clock->setAudioPosition([out] { return out->playedPts(); });
        // With a video master the sound is scheduled against the picture.
        scheduled_ = video_ && !clock->followsAudio();
        out->setScheduleClock(scheduled_ ? clock : nullptr);
    }
    started_ = true;
    demuxThread_ = std::thread([this] { demuxLoop(); });
    if (video_) {
        videoThread_ = std::thread([this] { videoDecodeLoop(); });
        presentThread_ = std::thread([this] { presentLoop(); });
    }
    if (audio_)
        audioThread_ = std::thread([this] { audioDecodeLoop(); });
}

void Playback::stop() {
    if (!started_)
        return;
    abort_ = true;
    source_->abort();  // a read blocked in the demuxer returns now
    videoPackets_.abort();
    audioPackets_.abort();
    frames_.abort();
    {
        std::lock_guard<std::mutex> lock(demuxMutex_);
        demuxWake_.notify_all();
    }
    {
        std::lock_guard<std::mutex> lock(presentMutex_);
        presentWake_.notify_all();
    }
    player_->audio()->wakeWriters();
    for (std::thread* t : {&demuxThread_, &videoThread_, &audioThread_, &presentThread_})
        if (t->joinable())
            t->join();
    player_->masterClock()->setAudioPosition(nullptr);
    if (scheduled_)
        player_->audio()->setScheduleClock(nullptr);
    if (audioAlive_)
        player_->audio()->close();
    started_ = false;
}

void Playback::setPaused(bool paused) {
    paused_ = paused;
    player_->masterClock()->setPaused(paused);
    if (audioAlive_)
        player_->audio()->setPaused(paused);
    std::lock_guard<std::mutex> lock(presentMutex_);
    presentWake_.notify_all();
}

void Playback::seek(double seconds) {
    {
        std::lock_guard<std::mutex> lock(demuxMutex_);
        seekPending_ = true;
        seekTarget_ = std::max(0.0, seconds);
        ++seekGeneration_;
        // Flushing here, under the demux lock, guarantees that no packet
        // read before the seek carries the new serial.
        videoPackets_.flush();
        audioPackets_.flush();
        presentFrom_ = seekTarget_;
        audioFrom_ = seekTarget_;
        stepSerial_ = paused_ ? videoPackets_.serial() : -1;
        endNotified_ = false;
        demuxWake_.notify_all();
    }
    frames_.clear();
    if (video_)
        player_->masterClock()->invalidate();  // until the first frame at the target
    if (audioAlive_)
        player_->audio()->flush();
    std::lock_guard<std::mutex> lock(presentMutex_);
    presentWake_.notify_all();
}

bool Playback::queuesFull() const {
    if (videoPackets_.bytes() + audioPackets_.bytes() > kQueueBytesLimit)
        return true;
    const bool videoFull = !video_ || videoPackets_.count() >= kVideoPacketsAhead;
    const bool audioFull = !queuesAudio() || audioPackets_.count() >= kAudioPacketsAhead;
    return videoFull && audioFull;
}

void Playback::demuxLoop() {
    nameThisThread("vst-demux");
    AVFormatContext* format = source_->format();
    int readErrors = 0;
    while (!abort_) {
        bool seekNow = false;
        double target = 0;
        int generation = 0;
        {
            std::unique_lock<std::mutex> lock(demuxMutex_);
            if (seekPending_) {
                seekPending_ = false;
                seekNow = true;
                target = seekTarget_;
            } else if (endOfFile_ || queuesFull()) {
                demuxWake_.wait_for(lock, endOfFile_ ? 100ms : 5ms);
                continue;
            }
            generation = seekGeneration_;
        }
        if (seekNow) {
            const int64_t ts = int64_t((target + source_->startTime()) * AV_TIME_BASE);
            avformat_seek_file(format, -1, INT64_MIN, ts, ts, 0);
            endOfFile_ = false;
            readErrors = 0;
            continue;
        }
        PacketPtr packet(av_packet_alloc());
        const int rc = av_read_frame(format, packet.get());
        std::lock_guard<std::mutex> lock(demuxMutex_);
        if (abort_ || generation != seekGeneration_)
            continue;  // read before a seek: its place is gone
        if (rc < 0) {
            if (rc == AVERROR(EAGAIN))
                continue;
            // The end, or a read error that repeats (a truncated or damaged
            // file): whatever was read plays out.
            if (rc != AVERROR_EOF && rc != AVERROR_EXIT && ++readErrors < 8)
                continue;
            if (video_) videoPackets_.pushEnd(0ms);
            if (audio_) audioPackets_.pushEnd(0ms);
            endOfFile_ = true;
            continue;
        }
        readErrors = 0;
        if (packet->stream_index == source_->videoIndex() && video_)
            videoPackets_.push(std::move(packet), 0ms);
        else if (packet->stream_index == source_->audioIndex() && queuesAudio())
            audioPackets_.push(std::move(packet), 0ms);
    }
}

double Playback::timestampOf(const AVFrame* frame, const AVStream* stream) const {
    int64_t ts = frame->best_effort_timestamp;
    if (ts == AV_NOPTS_VALUE)
        ts = frame->pts;
    if (ts == AV_NOPTS_VALUE)
        return 0;
    return double(ts) * av_q2d(stream->time_base) - source_->startTime();
}

void Playback::videoDecodeLoop() {
    nameThisThread("vst-vdec");
    AVCodecContext* context = video_->context();
    const AVStream* stream = source_->videoStream();
    const bool jpeg = stream->codecpar->codec_id == AV_CODEC_ID_MJPEG;
    FramePtr decoded(av_frame_alloc()), software(av_frame_alloc());
    int serial = -1;
    // Queues the entry (a frame, or the end when frame is null), waiting
    // for room; false when the playback stops. An entry of a serial that
    // a seek has left behind is dropped.
    auto hand = [&](VideoFrame* frame) {
        DecodedFrame decodedFrame{frame ? *frame : VideoFrame(), serial};
        for (;;) {
            // The end marker is a frame without a picture.
            const Wait w = frames_.push(decodedFrame, kWaitStep);
            if (w == Wait::Ok)
                return true;
            if (w == Wait::Aborted || abort_)
                return false;
            if (videoPackets_.serial() != serial)
                return true;
        }
    };
    while (!abort_) {
        PacketQueue::Entry entry;
        const Wait w = videoPackets_.pop(entry, kWaitStep);
        if (w == Wait::Aborted)
            return;
        if (w == Wait::TimedOut)
            continue;
        if (entry.serial != serial) {
            if (serial != -1)
                avcodec_flush_buffers(context);
            serial = entry.serial;
        }
        AVPacket* packet = entry.end ? nullptr : entry.item.get();
        if (avcodec_send_packet(context, packet) < 0 && packet)
            continue;  // a damaged packet: skip it
        for (;;) {
            const int rc = avcodec_receive_frame(context, decoded.get());
            if (rc < 0)
                break;
            ++decoded_;
            av_frame_unref(software.get());
            if (!video_->toSoftware(decoded.get(), software.get()))
                continue;
            // Handed on in the decoder's own format: renderers that need
            // another get it converted at delivery.
            VideoFrame frame(software.get(), timestampOf(decoded.get(), stream), jpeg);
            av_frame_unref(decoded.get());
            if (frame.isValid() && !hand(&frame))
                return;
        }
        if (entry.end) {
            // Drained: mark the end and make the decoder usable after a seek.
            if (!hand(nullptr))
                return;
            avcodec_flush_buffers(context);
        }
    }
}

void Playback::audioDecodeLoop() {
    nameThisThread("vst-adec");
    AVCodecContext* context = audio_->context();
    const AVStream* stream = source_->audioStream();
    AudioOutput* out = player_->audio();
    FramePtr decoded(av_frame_alloc());
    SwrContext* swr = nullptr;
    std::vector<int16_t> pcm;
    int serial = -1;
    while (!abort_) {
        PacketQueue::Entry entry;
        const Wait w = audioPackets_.pop(entry, kWaitStep);
        if (w == Wait::Aborted)
            break;
        if (w == Wait::TimedOut)
            continue;
        if (entry.serial != serial) {
            if (serial != -1)
                avcodec_flush_buffers(context);
            serial = entry.serial;
        }
        if (entry.end) {
            avcodec_flush_buffers(context);
            if (!video_)
                notifyEnd();
            continue;
        }
        if (avcodec_send_packet(context, entry.item.get()) < 0)
            continue;
        while (avcodec_receive_frame(context, decoded.get()) >= 0) {
            const double pts = timestampOf(decoded.get(), stream);
            const double length = double(decoded->nb_samples) / std::max(decoded->sample_rate, 1);
            if (!video_)
                positionMs_ = qint64(pts * 1000);
            const double from = audioFrom_.load();
            if (from >= 0) {
                if (pts + length < from) {
                    av_frame_unref(decoded.get());
                    continue;
                }
                audioFrom_ = -1;
            }
            if (!audioAlive_) {
                av_frame_unref(decoded.get());
                continue;
            }
            AVChannelLayout outLayout;
            av_channel_layout_default(&outLayout, out->channels());
            if (!swr) {
                if (swr_alloc_set_opts2(&swr, &outLayout, AV_SAMPLE_FMT_S16, out->sampleRate(),
                                        &decoded->ch_layout, AVSampleFormat(decoded->format),
                                        decoded->sample_rate, 0, nullptr) < 0 ||
                    swr_init(swr) < 0) {
                    audioAlive_ = false;
                    continue;
                }
            }
            const int maxOut = swr_get_out_samples(swr, decoded->nb_samples);
            pcm.resize(size_t(std::max(maxOut, 0)) * size_t(out->channels()));
            uint8_t* planes[1] = {reinterpret_cast<uint8_t*>(pcm.data())};
            const int n = swr_convert(swr, planes, maxOut, const_cast<const uint8_t**>(decoded->extended_data),
                                      decoded->nb_samples);
            av_frame_unref(decoded.get());
            if (n > 0 && !out->write(pcm.data(), n, pts + length, abort_)) {
                if (abort_)
                    break;
                audioAlive_ = false;  // the device stopped: play on silently
            }
        }
    }
    swr_free(&swr);
}

bool Playback::waitUntilDue(double due, int serial) {
    std::unique_lock<std::mutex> lock(presentMutex_);
    for (;;) {
        if (abort_ || videoPackets_.serial() != serial)
            return false;
        if (stepSerial_ == serial)
            return true;
        if (paused_) {
            presentWake_.wait_for(lock, 100ms);
            continue;
        }
        if (!realTime_)
            return true;
        const double delay = due - player_->masterClock()->value();
        if (delay <= 0)
            return true;
        presentWake_.wait_for(lock, std::chrono::microseconds(int64_t(std::min(delay, 0.05) * 1e6)));
    }
}

bool Playback::superseded(double pts, int serial) const {
    if (!realTime_ || stepSerial_ == serial || paused_)
        return false;
    double next = -1;
    frames_.peekItem([&](const DecodedFrame& f) {
        if (f.serial == serial && f.frame.isValid())
            next = f.frame.timestamp();
    });
    if (next < 0)
        return false;  // nothing newer to show instead
    const double now = player_->masterClock()->value() + presentationLead();
    return next > pts && next <= now;
}

qint64 Playback::framesOnScreen() const {
    std::lock_guard<std::mutex> lock(player_->renderersMutex_);
    qint64 count = -1;
    for (const VideoRenderer* renderer : player_->renderers_)
        count = std::max(count, renderer->framesOnScreen());
    return count;
}

template <typename Ready>
bool Playback::waitUntil(Ready ready, int serial) {
    const auto until = std::chrono::steady_clock::now() + kFirstPictureWait;
    // Ready is asked outside the presentation lock: it may take the renderers'.
    while (!ready()) {
        std::unique_lock<std::mutex> lock(presentMutex_);
        if (abort_ || paused_ || videoPackets_.serial() != serial || std::chrono::steady_clock::now() >= until)
            return false;
        presentWake_.wait_for(lock, 5ms);
    }
    return true;
}

double Playback::presentationLead() const {
    std::lock_guard<std::mutex> lock(player_->renderersMutex_);
    double lead = 0;
    for (const VideoRenderer* renderer : player_->renderers_)
        lead = std::max(lead, renderer->presentationDelay());
    return std::min(lead, 0.5);
}

void Playback::deliver(const VideoFrame& frame) {
    std::lock_guard<std::mutex> lock(player_->renderersMutex_);
    VideoFrame converted;
    for (VideoRenderer* renderer : player_->renderers_) {
        const VideoFormat::PixelFormat wanted = renderer->preferredPixelFormat();
        if (renderer->isPreferredPixelFormatForced() && !renderer->takesAsIs(frame)) {
            if (converted.format() != wanted)
                converted = frame.to(wanted);
            if (converted.isValid())
                renderer->receiveFrame(converted);
        } else {
            renderer->receiveFrame(frame);
        }
    }
}

void Playback::notifyEnd() {
    if (endNotified_.exchange(true))
        return;
    AVPlayer* player = player_;
    const int generation = generation_;
    QMetaObject::invokeMethod(player, [player, generation] { player->onMediaEnd(generation); },
                              Qt::QueuedConnection);
}

void Playback::presentLoop() {
    nameThisThread("vst-present");
    AVClock* clock = player_->masterClock();
    bool clockStarted = false;
    while (!abort_) {
        FrameQueue::Entry entry;
        if (frames_.pop(entry, kWaitStep) != Wait::Ok)
            continue;
        const VideoFrame& frame = entry.item.frame;
        const int serial = entry.item.serial;
        if (serial != videoPackets_.serial())
            continue;  // decoded before a seek
        if (!frame.isValid()) {
            // The end. A still stays on show until the caller pauses or stops it.
            if (!source_->isStill())
                notifyEnd();
            continue;
        }
        const double pts = frame.timestamp();
        const double from = presentFrom_.load();
        if (from >= 0) {
            // Decode forward from the key frame; show the first frame at or
            // after the target (a millisecond of slack for rounding).
            if (pts < from - 0.001)
                continue;
            presentFrom_ = -1;
            clockStarted = false;
        }
        const double lead = presentationLead();
        const double audioLead = scheduled_ ? player_->audio()->latency() : 0;
        const bool first = !clockStarted;
        if (first) {
            // The clock reads pts when this frame is on the screen and its
            // sound is heard: it starts behind by the longer of the two ways.
            clock->reset(pts - std::max(lead, audioLead));
            clockStarted = true;
        }
        if (!waitUntilDue(pts - lead, serial))
            continue;
        if (superseded(pts, serial)) {
            ++dropped_;
            continue;
        }
        {
            // Told before the frame is handed over, so that whoever sees it knows its rule.
            const QString colour = QString::fromStdString(colour::describe(frame.colourRule()));
            std::lock_guard<std::mutex> lock(colourMutex_);
            if (colour != colour_)
                colour_ = colour;
        }
        const qint64 onScreenBefore = framesOnScreen();
        deliver(frame);
        if (first && realTime_ && !paused_ && onScreenBefore >= 0) {
            // The first picture of a run can take far longer to appear than
            // the measured lead (a new window, a new texture), and a sound
            // device just opened longer to start: the clock starts again
            // once both are there, so the frames after it and the sound
            // keep their time.
            const bool shown = waitUntil([&] { return framesOnScreen() > onScreenBefore; }, serial);
            AudioOutput* audio = player_->audio();
            if (scheduled_)
                waitUntil([audio] { return audio->isPulling(); }, serial);
            if (shown)
                clock->reset(pts - (scheduled_ ? audio->latency() : 0));
        }
        ++shown_;
        int stepped = serial;
        stepSerial_.compare_exchange_strong(stepped, -1);
        positionMs_ = qint64(std::llround(pts * 1000));
        emit player_->positionChanged(positionMs_.load());
    }
}

PlaybackStatistics Playback::statistics() const {
    PlaybackStatistics s;
    if (const AVStream* v = source_->videoStream()) {
        s.decoder = videoDecoderName();
        s.hardware = video_ && video_->isHardware();
        s.size = QSize(v->codecpar->width, v->codecpar->height);
        const AVRational rate = v->avg_frame_rate.num > 0 ? v->avg_frame_rate : v->r_frame_rate;
        s.frameRate = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 0;
        s.sourceFrames = v->nb_frames > 0 ? v->nb_frames : qint64(std::llround(source_->duration() * s.frameRate));
    }
    {
        std::lock_guard<std::mutex> lock(colourMutex_);
        s.colour = colour_;
    }
    s.decoded = decoded_.load();
    s.shown = shown_.load();
    s.dropped = dropped_.load();
    return s;
}

AVPlayer::AVPlayer(QObject* parent)
    : QObject(parent), audio_(new AudioOutput(this)), clock_(new AVClock(this)) {
    qRegisterMetaType<vistamo::media::AVPlayer::State>("vistamo::media::AVPlayer::State");
}

AVPlayer::~AVPlayer() {
    playback_.reset();  // joins the threads before the renderers may go
}

void AVPlayer::setFile(const QString& path) {
    if (path == file_)
        return;
    if (isPlaying())
        stop();
    playback_.reset();
    file_ = path;
}

bool AVPlayer::isLoaded() const { return bool(playback_); }

bool AVPlayer::load() {
    if (isPlaying())
        stopPlayback(false);
    playback_.reset();
    lastStatistics_ = PlaybackStatistics();
    if (file_.isEmpty() && !openBytes_) {
        emit error(QStringLiteral("No file to open"));
        return false;
    }
    QString reason;
    std::unique_ptr<MediaSource> source;
    if (openBytes_) {
        std::unique_ptr<ByteSource> bytes = openBytes_();
        if (bytes)
            source = MediaSource::open(std::move(bytes), &reason);
        else
            reason = QStringLiteral("no bytes to read");
    } else {
        source = MediaSource::open(file_, &reason);
    }
    auto playback = source ? std::make_unique<Playback>(this, std::move(source), ++generation_) : nullptr;
    if (playback && !playback->openDecoders(decoderPriority_, codecOptions_, &reason))
        playback.reset();
    if (!playback) {
        setState(StoppedState);
        emit error(QStringLiteral("Cannot open %1: %2").arg(QFileInfo(file_).fileName(), reason));
        return false;
    }
    playback_ = std::move(playback);
    durationMs_ = qint64(std::llround(playback_->source().duration() * 1000));
    emit durationChanged(durationMs_);
    return true;
}

void AVPlayer::play() {
    if (state_ == PausedState) {
        pause(false);
        return;
    }
    if (state_ == PlayingState)
        return;
    if (!playback_ && !load())
        return;
    playback_->start(realTime_);
    setState(PlayingState);
}

void AVPlayer::play(const QString& path) {
    setFile(path);
    if (isPlaying())
        stop();
    play();
}

void AVPlayer::pause(bool paused) {
    if (state_ == StoppedState || !playback_)
        return;
    playback_->setPaused(paused);
    setState(paused ? PausedState : PlayingState);
}

void AVPlayer::stop() { stopPlayback(endAction_ == MediaEndAction_Default); }

void AVPlayer::stopPlayback(bool clearRenderers) {
    // The next play() opens the file again from its start.
    if (playback_)
        lastStatistics_ = playback_->statistics();
    playback_.reset();
    if (clearRenderers) {
        std::lock_guard<std::mutex> lock(renderersMutex_);
        for (VideoRenderer* r : renderers_)
            r->receiveFrame(VideoFrame());
    }
    setState(StoppedState);
}

void AVPlayer::seek(qint64 ms) {
    if (state_ == StoppedState || !playback_)
        return;
    playback_->seek(double(std::max<qint64>(ms, 0)) / 1000.0);
}

qint64 AVPlayer::position() const { return playback_ ? playback_->positionMs() : 0; }

QString AVPlayer::videoDecoderName() const { return playback_ ? playback_->videoDecoderName() : QString(); }

PlaybackStatistics AVPlayer::statistics() const { return playback_ ? playback_->statistics() : lastStatistics_; }

void AVPlayer::onMediaEnd(int generation) {
    if (generation != generation_ || state_ == StoppedState)
        return;  // a notice from a playback that has been replaced
    emit mediaEnded();
    stopPlayback(endAction_ == MediaEndAction_Default);
}

void AVPlayer::setState(State state) {
    if (state == state_)
        return;
    state_ = state;
    emit stateChanged(state);
}

void AVPlayer::setRenderer(VideoRenderer* renderer) {
    std::lock_guard<std::mutex> lock(renderersMutex_);
    renderers_.clear();
    if (renderer)
        renderers_.append(renderer);
}

void AVPlayer::addVideoRenderer(VideoRenderer* renderer) {
    std::lock_guard<std::mutex> lock(renderersMutex_);
    if (renderer && !renderers_.contains(renderer))
        renderers_.append(renderer);
}

void AVPlayer::removeVideoRenderer(VideoRenderer* renderer) {
    std::lock_guard<std::mutex> lock(renderersMutex_);
    renderers_.removeAll(renderer);
}

void AVPlayer::clearVideoRenderers() {
    std::lock_guard<std::mutex> lock(renderersMutex_);
    renderers_.clear();
}

QList<VideoRenderer*> AVPlayer::videoOutputs() const {
    std::lock_guard<std::mutex> lock(renderersMutex_);
    return renderers_;
}

void AVPlayer::setOptionsForVideoCodec(const QVariantHash& options) {
    for (auto it = options.begin(); it != options.end(); ++it)
        codecOptions_.insert(it.key(), it.value());
}

}  // namespace vistamo::media
