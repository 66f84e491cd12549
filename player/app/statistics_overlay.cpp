#include "statistics_overlay.h"

#include <QCoreApplication>

#include "gl_view.h"

namespace vistamo::app {

namespace {
QString tr(const char* text) { return QCoreApplication::translate("StatisticsOverlay", text); }
}  // namespace

QStringList formatStatistics(const media::PlaybackStatistics& stats, const ViewRates& view) {
    QStringList lines;
    if (stats.decoder.isEmpty()) {
        lines << tr("Decoder: none");
    } else {
        lines << tr("Decoder: %1 (%2)").arg(stats.decoder, stats.hardware ? tr("hardware") : tr("software"));
    }
    if (stats.size.isValid()) {
        const QString size = QStringLiteral("%1×%2").arg(stats.size.width()).arg(stats.size.height());
        lines << (stats.frameRate > 0 ? tr("Source: %1 at %2 fps").arg(size, QString::number(stats.frameRate, 'f', 2))
                                      : tr("Source: %1").arg(size));
    }
    if (!stats.colour.isEmpty())
        lines << tr("Colour: %1").arg(stats.colour);
    const QString of = stats.sourceFrames > 0 ? QString::number(stats.sourceFrames) : QStringLiteral("?");
    lines << tr("Frames: decoded %1, shown %2, dropped %3 of %4")
                 .arg(stats.decoded)
                 .arg(stats.shown)
                 .arg(stats.dropped)
                 .arg(of);
    lines << tr("View: %1 paints/s, %2 new frames/s")
                 .arg(QString::number(view.paintsPerSecond, 'f', 1), QString::number(view.framesPerSecond, 'f', 1));
    return lines;
}

StatisticsOverlay::StatisticsOverlay(media::AVPlayer* player, QWidget* parent) : QLabel(parent), player_(player) {
    setObjectName(QStringLiteral("statisticsOverlay"));
    // The picture is a native window: the overlay must be one too, above
    // it, and opaque (the window system mixes no alpha between them).
    setAttribute(Qt::WA_NativeWindow);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setStyleSheet(QStringLiteral("QLabel { background: rgb(20, 20, 20); color: white; padding: 8px; "
                                 "font-family: monospace; }"));
    setTextFormat(Qt::PlainText);
    hide();
    timer_.setInterval(500);
    connect(&timer_, &QTimer::timeout, this, &StatisticsOverlay::refresh);
}

void StatisticsOverlay::toggle() {
    if (!isHidden()) {
        timer_.stop();
        hide();
        return;
    }
    lastPaints_ = lastFrames_ = -1;
    refresh();
    show();
    raise();
    timer_.start();
}

void StatisticsOverlay::refresh() {
    ViewRates rates;
    if (view_) {
        const render::GLView::PaintCounts counts = view_->paintCounts();
        const double seconds = since_.isValid() ? double(since_.elapsed()) / 1000.0 : 0;
        if (lastPaints_ >= 0 && seconds > 0) {
            rates.paintsPerSecond = double(counts.paints - lastPaints_) / seconds;
            rates.framesPerSecond = double(counts.newFrames - lastFrames_) / seconds;
        }
        lastPaints_ = counts.paints;
        lastFrames_ = counts.newFrames;
    }
    since_.restart();
    setText(formatStatistics(player_->statistics(), rates).join(QLatin1Char('\n')));
    adjustSize();
}

}  // namespace vistamo::app
