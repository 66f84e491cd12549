// vistamo-artgen: renders the player's artwork from its SVG sources.
//
//   vistamo-artgen MANIFEST SOURCE_DIR OUT_DIR
//
// Each manifest line "OUTPUT SOURCE COLOUR SCALE [angle=DEG] [back=#RGB]"
// renders SOURCE (with @COLOR@, @ANGLE@ and @BACK@ replaced) at SCALE times
// its own size into OUT_DIR/OUTPUT (PNG, or ICO by the name), and the tool
// writes OUT_DIR/images.qrc listing every output under "images/".
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSaveFile>
#include <QSvgRenderer>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: vistamo-artgen MANIFEST SOURCE_DIR OUT_DIR\n");
        return 2;
    }
    // Rendering needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QString manifestPath = QString::fromLocal8Bit(argv[1]);
    const QDir sources(QString::fromLocal8Bit(argv[2]));
    const QDir out(QString::fromLocal8Bit(argv[3]));
    QFile manifest(manifestPath);
    if (!manifest.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "vistamo-artgen: cannot read %s\n", argv[1]);
        return 1;
    }
    QStringList outputs;
    int lineNumber = 0;
    while (!manifest.atEnd()) {
        const QString line = QString::fromUtf8(manifest.readLine()).trimmed();
        ++lineNumber;
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QStringList f = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (f.size() < 4) {
            std::fprintf(stderr, "vistamo-artgen: %s:%d: too few fields\n", argv[1], lineNumber);
            return 1;
        }
        QFile source(sources.filePath(f[1]));
        if (!source.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "vistamo-artgen: cannot read %s\n", qPrintable(source.fileName()));
            return 1;
        }
        QString svg = QString::fromUtf8(source.readAll());
        if (f[2] != QLatin1String("-"))
            svg.replace(QLatin1String("@COLOR@"), f[2]);
        QString angle = QStringLiteral("0"), back = QStringLiteral("#212121");
        for (int k = 4; k < f.size(); ++k) {
            if (f[k].startsWith(QLatin1String("angle="))) angle = f[k].mid(6);
            if (f[k].startsWith(QLatin1String("back="))) back = f[k].mid(5);
        }
        svg.replace(QLatin1String("@ANGLE@"), angle).replace(QLatin1String("@BACK@"), back);
        QSvgRenderer renderer(svg.toUtf8());
        if (!renderer.isValid()) {
            std::fprintf(stderr, "vistamo-artgen: %s is not valid SVG\n", qPrintable(f[1]));
            return 1;
        }
        const QSize size = renderer.defaultSize() * f[3].toDouble();
        QImage image(size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        painter.end();
        const QString target = out.filePath(f[0]);
        QDir().mkpath(QFileInfo(target).absolutePath());
        QSaveFile file(target);
        const QByteArray format = f[0].endsWith(QLatin1String(".ico")) ? "ICO" : "PNG";
        if (!file.open(QIODevice::WriteOnly) || !image.save(&file, format.constData()) || !file.commit()) {
            std::fprintf(stderr, "vistamo-artgen: cannot write %s\n", qPrintable(target));
            return 1;
        }
        outputs << f[0];
    }
    QSaveFile qrc(out.filePath(QStringLiteral("images.qrc")));
    if (!qrc.open(QIODevice::WriteOnly | QIODevice::Text)) {
        std::fprintf(stderr, "vistamo-artgen: cannot write images.qrc\n");
        return 1;
    }
    QTextStream text(&qrc);
    text << "<!DOCTYPE RCC><RCC version=\"1.0\">\n<qresource prefix=\"/\">\n";
    for (const QString& name : outputs)
        text << "    <file alias=\"images/" << name << "\">" << name << "</file>\n";
    text << "</qresource>\n</RCC>\n";
    text.flush();
    return qrc.commit() ? 0 : 1;
}
