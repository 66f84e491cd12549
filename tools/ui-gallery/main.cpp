// ui-gallery: shows each dialog and the playlist panel under a display and
// writes a PNG of each into a folder, so that they can be looked at.
//
//   ui-gallery OUT_DIR [TRANSLATION.qm]
//
// With a translation file the pictures show its language.
#include <QApplication>
#include <QDir>
#include <QItemSelectionModel>
#include <QTableView>
#include <QLabel>
#include <QSlider>
#include <QTableWidget>
#include <QTimer>
#include <QTranslator>

#include <cstdio>

#include "about.h"
#include "batch_export_dialog.h"
#include "bottom_bar.h"
#include "custom_menu.h"
#include "export_dialog.h"
#include "export_plan.h"
#include "feedback.h"
#include "playlist.h"
#include "playlist_model.h"
#include "resources.h"
#include "title_bar.h"
#include "video_type_dlg.h"

using namespace vistamo;

namespace {

bool save(QWidget& widget, const QDir& out, const char* name) {
    widget.show();
    for (int k = 0; k < 10; ++k)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    const bool ok = widget.grab().save(out.filePath(QString::fromLatin1(name)));
    if (!ok)
        std::fprintf(stderr, "ui-gallery: cannot write %s\n", name);
    widget.hide();
    return ok;
}

// The export dialog as it opens for a file of this width.
bool saveExportDialog(exporting::ExportType type, const QString& file, int width, const QDir& out, const char* name) {
    exporting::ExportDialog dialog(nullptr);
    dialog.setExportType(type);
    dialog.setPaths(file, file);
    dialog.setArgs(exporting::buildConverterArgs(type, file, width, QStringLiteral("6_1")));
    return save(dialog, out, name);
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: ui-gallery OUT_DIR [TRANSLATION.qm]\n");
        return 2;
    }
    QTranslator translator;
    if (argc == 3) {
        if (!translator.load(QString::fromLocal8Bit(argv[2]))) {
            std::fprintf(stderr, "ui-gallery: cannot load %s\n", argv[2]);
            return 1;
        }
        QCoreApplication::installTranslator(&translator);
    }
    ui::initResources();
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());
    bool ok = true;

    ui::Feedback question;
    question.makeModal();
    question.setFixedSize(400, 200);
    question.setMessage(QStringLiteral("An export is running. Do you want to stop it and close the player?"));
    ok &= save(question, out, "feedback-question.png");

    ui::Feedback notice;
    notice.makeModal();
    notice.setFixedSize(400, 200);
    notice.hideLeftButton();
    notice.hideRightButton();
    notice.setMessage(QStringLiteral("文件已不存在，将从播放列表中移除。This file does not exist any more."));
    ok &= save(notice, out, "feedback-chinese.png");

    ui::VideoTypeDlg types;
    ok &= save(types, out, "video-type.png");

    ui::About about;
    about.setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    ok &= save(about, out, "about.png");

    QWidget host;
    host.resize(900, 30);
    ui::TitleBar bar(&host);
    bar.resize(900, 30);
    bar.pathLabel()->setText(QStringLiteral("/home/user/Videos/全景 clip.mp4"));
    ok &= save(host, out, "title-bar.png");

    ui::CustomMenu menu;
    // The bar's own texts, so that a translation shows here too.
    auto barText = [](const char* text) { return QCoreApplication::translate("vistamo::app::BottomBar", text); };
    QAction* pano = menu.addAction(barText("Equirectangular"));
    pano->setCheckable(true);
    pano->setChecked(true);
    menu.addAction(barText("Fisheye"));
    menu.addAction(barText("Little planet"));
    menu.addAction(barText("Show source"));
    menu.setFixedSize(140, 180);
    ok &= save(menu, out, "menu.png");

    playlist::PlayList list;
    list.resize(302, 420);
    list.AddMedia(QStringLiteral("/home/user/Videos/beach walk.mp4"), false, 3725000, false);
    list.AddMedia(QStringLiteral("/home/user/Pictures/summit.JPG"), true, 0, false);
    list.AddMedia(QStringLiteral("/home/user/Videos/雪山.mov"), false, 95000, true);
    list.AddMedia(QStringLiteral("/home/user/Videos/garden.flv"), false, 12000, false);
    // Two rows selected: "Export selected…" is offered.
    list.table()->selectRow(0);
    list.table()->selectionModel()->select(list.model()->index(3, 1),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
    ok &= save(list, out, "playlist.png");
    QWidget window;
    app::BottomBar controls(&window);
    controls.setWindowFlags(Qt::Widget);
    controls.resize(900, 56);
    controls.lengthLabel()->setText(QStringLiteral("01:02:05"));
    controls.positionLabel()->setText(QStringLiteral("00:12:40"));
    ok &= save(controls, out, "bottom-bar.png");
    ok &= saveExportDialog(exporting::TwinsVideo, QStringLiteral("/home/user/Videos/beach walk.mp4"), 3840, out,
                           "export-video.png");
    ok &= saveExportDialog(exporting::TwinsImage, QStringLiteral("/home/user/Pictures/summit.jpg"), 5760, out,
                           "export-still.png");
    exporting::BatchExportDialog batch({QStringLiteral("/home/user/Videos/beach walk.mp4"),
                                        QStringLiteral("/home/user/Videos/garden.flv")},
                                       nullptr);
    ok &= save(batch, out, "export-batch.png");
    return ok ? 0 : 1;
}
