// vistamo-helpgen: typesets a help document (a small HTML text of ours) as
// an A4 PDF, written whole.
//
//   vistamo-helpgen INPUT.html OUTPUT.pdf
#include <QFile>
#include <QGuiApplication>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTextDocument>

#include <cstdio>

int main(int argc, char** argv) {
    // No display is needed to write a PDF.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: vistamo-helpgen INPUT.html OUTPUT.pdf\n");
        return 2;
    }
    QFile input(QString::fromLocal8Bit(argv[1]));
    if (!input.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "vistamo-helpgen: cannot read %s\n", argv[1]);
        return 1;
    }
    QTextDocument document;
    document.setDefaultFont(QFont(QStringLiteral("Noto Sans CJK SC"), 11));
    document.setDefaultStyleSheet(QStringLiteral("h1 { color: #181818; } h2 { color: #5a4a00; } td, th { padding: 4px; }"));
    document.setHtml(QString::fromUtf8(input.readAll()));
    QSaveFile output(QString::fromLocal8Bit(argv[2]));
    if (!output.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "vistamo-helpgen: cannot write %s\n", argv[2]);
        return 1;
    }
    {
        QPdfWriter pdf(&output);
        pdf.setPageSize(QPageSize(QPageSize::A4));
        pdf.setPageMargins(QMarginsF(20, 20, 20, 20), QPageLayout::Millimeter);
        pdf.setTitle(QStringLiteral("Vistamo Player"));
        pdf.setCreator(QStringLiteral("vistamo-helpgen"));
        document.print(&pdf);
    }
    if (!output.commit()) {
        std::fprintf(stderr, "vistamo-helpgen: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
