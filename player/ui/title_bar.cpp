#include "title_bar.h"

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QLocale>
#include <QMouseEvent>
#include <QUrl>

#include "about.h"
#include "custom_menu.h"
#include "ui_title_bar.h"

namespace vistamo::ui {

QString helpDocumentPath(const QString& folder, const QString& locale) {
    const QString name = locale == QLatin1String("zh_CN") ? QStringLiteral("vistamo_help_cn.pdf")
                                                          : QStringLiteral("vistamo_help_en.pdf");
    return QDir::fromNativeSeparators(folder + QDir::separator() + name);
}

TitleBar::TitleBar(QWidget* mainWindow)
    : QWidget(mainWindow), form_(new Ui::title_bar), mainWindow_(mainWindow) {
    form_->setupUi(this);  // also connects on_minimize_btn__clicked by name
    setAttribute(Qt::WA_StyledBackground, true);
    setFixedHeight(30);
    menu_ = new CustomMenu(this);
    menu_->setFixedSize(120, 125);
    helpAction_ = new QAction(tr("Help"), this);
    aboutAction_ = new QAction(tr("About"), this);
    menu_->addAction(helpAction_);
    menu_->addAction(aboutAction_);
    connect(helpAction_, &QAction::triggered, this, &TitleBar::openHelp);
    connect(aboutAction_, &QAction::triggered, this, &TitleBar::showAbout);
    about_ = new About(mainWindow);
    about_->hide();
    localeSource_ = [] { return QLocale().name(); };
}

TitleBar::~TitleBar() { delete form_; }

QLabel* TitleBar::pathLabel() const { return form_->file_path_label_; }
QToolButton* TitleBar::menuButton() const { return form_->help_btn_; }
QToolButton* TitleBar::maximizeButton() const { return form_->maximize_btn_; }
QToolButton* TitleBar::closeButton() const { return form_->close_btn_; }

QPoint TitleBar::menuPosition() const {
    const QWidget* button = form_->help_btn_;
    const QPoint origin = mainWindow_ ? mainWindow_->pos() : QPoint();
    return {origin.x() + button->x() + button->width() - menu_->width(), origin.y() + height()};
}

void TitleBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return;
    dragging_ = true;
    pressPoint_ = event->pos();
}

void TitleBar::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        dragging_ = false;
}

void TitleBar::mouseMoveEvent(QMouseEvent* event) {
    if (dragging_ && (event->buttons() & Qt::LeftButton) && mainWindow_)
        mainWindow_->move(mainWindow_->pos() + event->pos() - pressPoint_);
}

void TitleBar::mouseDoubleClickEvent(QMouseEvent*) {
    if (mainWindow_)
        QMetaObject::invokeMethod(mainWindow_, "setFullscreen");
}

void TitleBar::enterEvent(QEvent*) { setCursor(Qt::ArrowCursor); }

void TitleBar::paintEvent(QPaintEvent*) {}

void TitleBar::on_minimize_btn__clicked() {
    if (mainWindow_)
        mainWindow_->showMinimized();
}

void TitleBar::openHelp() {
    const QString path = helpDocumentPath(QCoreApplication::applicationDirPath(), localeSource_());
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

void TitleBar::showAbout() {
    if (mainWindow_) {
        about_->move(mainWindow_->x() + (mainWindow_->width() - about_->width()) / 2,
                     mainWindow_->y() + (mainWindow_->height() - about_->height()) / 2);
        QMetaObject::invokeMethod(mainWindow_, "showMask", Q_ARG(QWidget*, about_));
    }
    about_->show();
}

}  // namespace vistamo::ui
