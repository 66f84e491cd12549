// The chrome and the small dialogs with real widgets (Qt Test, under a display).
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include "about.h"
#include "custom_menu.h"
#include "feedback.h"
#include "frameless_widget.h"
#include "mask_frame.h"
#include "resources.h"
#include "title_bar.h"
#include "type_bar.h"
#include "video_type_dlg.h"

using namespace vistamo::ui;

namespace {

// Runs action once the event loop (of a dialog's exec) is running.
void soon(std::function<void()> action, int ms = 150) { QTimer::singleShot(ms, action); }

// A window with the main window's two slots that the title bar calls.
class Host : public QWidget {
    Q_OBJECT
public:
    int fullscreens = 0;
    QWidget* masked = nullptr;
public slots:
    void setFullscreen() { ++fullscreens; }
    void showMask(QWidget* dialog) { masked = dialog; }
};

}  // namespace

class UiTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { initResources(); }

    void artworkIsThere() {
        for (const char* name : {":/images/play.png", ":/images/close_highlight.png", ":/images/exporting/exporting14.png",
                                 ":/images/Orvex.png", ":/images/twin-2hover.png", ":/images/window_icon.png"})
            QVERIFY2(!QPixmap(QString::fromLatin1(name)).isNull(), name);
        QVERIFY(!QIcon(QStringLiteral(":/images/app_icon.ico")).isNull());
    }

    void feedbackAnswers_data() {
        QTest::addColumn<bool>("modal");
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("result");
        for (bool modal : {true, false}) {
            const char* preset = modal ? "modal" : "non-modal";
            QTest::newRow(qPrintable(QString("%1 left").arg(preset))) << modal << "left" << 1;
            QTest::newRow(qPrintable(QString("%1 right").arg(preset))) << modal << "right" << 0;
            QTest::newRow(qPrintable(QString("%1 escape").arg(preset))) << modal << "escape" << 0;
        }
        QTest::newRow("non-modal click outside") << false << "outside" << 0;
    }
    void feedbackAnswers() {
        QFETCH(bool, modal);
        QFETCH(QString, how);
        QWidget window;
        window.resize(600, 400);
        window.show();
        Feedback dialog(&window);
        modal ? dialog.makeModal() : dialog.makeNonModal();
        dialog.setMessage(QStringLiteral("Export failed!"));
        QCOMPARE(dialog.header()->label()->text(), QStringLiteral("Vistamo Player"));
        soon([&] {
            if (how == "left") dialog.leftButton()->click();
            else if (how == "right") dialog.rightButton()->click();
            else if (how == "escape") QTest::keyClick(&dialog, Qt::Key_Escape);
            else QTest::mouseClick(&dialog, Qt::LeftButton, {}, QPoint(-50, -50));
        });
        QTEST(dialog.exec(), "result");
        if (how == "outside" && dialog.isVisible())
            QFAIL("a click outside did not close the popup");
    }

    void hiddenButtonsAndHeaderDrag() {
        Feedback dialog;
        dialog.makeNonModal();
        dialog.setFixedSize(400, 200);
        dialog.hideLeftButton();
        dialog.hideRightButton();
        dialog.move(200, 200);
        soon([&] {
            QVERIFY(!dialog.leftButton()->isVisible() && !dialog.rightButton()->isVisible());
            QCOMPARE(dialog.header()->geometry(), QRect(0, 0, 400, 44));
            const QPoint before = dialog.pos();
            QTest::mousePress(dialog.header(), Qt::LeftButton, {}, QPoint(50, 20));
            QMouseEvent move(QEvent::MouseMove, QPoint(90, 50), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(dialog.header(), &move);
            QTest::mouseRelease(dialog.header(), Qt::LeftButton, {}, QPoint(90, 50));
            QCOMPARE(dialog.pos(), before + QPoint(40, 30));
            dialog.reject();
        });
        QCOMPARE(dialog.exec(), 0);
    }

    void maskFollowsItsDialog_data() {
        QTest::addColumn<bool>("modal");
        QTest::newRow("modal") << true;
        QTest::newRow("non-modal") << false;
    }
    void maskFollowsItsDialog() {
        QFETCH(bool, modal);
        QWidget window;
        window.resize(500, 300);
        window.show();
        MaskFrame mask(&window);
        mask.setMainWindow(&window);
        Feedback dialog(&window);
        modal ? dialog.makeModal() : dialog.makeNonModal();
        // What the main window's showMask does: place, watch, show.
        mask.setGeometry(window.geometry());
        mask.watch(&dialog);
        mask.show();
        bool darkWhileRunning = false;
        soon([&] {
            darkWhileRunning = mask.isVisible();
            dialog.accept();
        });
        dialog.exec();
        QVERIFY(darkWhileRunning);
        QTRY_VERIFY(!mask.isVisible());
        QCOMPARE(mask.watched(), nullptr);
    }

    void menuDrawsCheckedYellowAndHoveredBlack() {
        CustomMenu menu;
        QAction* pano = menu.addAction(QStringLiteral("Equirectangular"));
        QAction* fish = menu.addAction(QStringLiteral("Fisheye"));
        menu.addAction(QStringLiteral("Little planet"));
        pano->setCheckable(true);
        pano->setChecked(true);
        menu.popup(QPoint(100, 100));
        QVERIFY(QTest::qWaitForWindowExposed(&menu));
        menu.setActiveAction(fish);
        const QImage shot = menu.grab().toImage();
        auto hasColour = [&shot](QRect r, auto test) {
            for (int y = r.top(); y <= r.bottom(); ++y)
                for (int x = r.left(); x <= r.right(); ++x)
                    if (test(QColor(shot.pixel(x, y))))
                        return true;
            return false;
        };
        const QRect checked = menu.actionGeometry(pano), hovered = menu.actionGeometry(fish);
        QVERIFY(hasColour(checked, [](QColor c) { return c.red() > 200 && c.green() > 180 && c.blue() < 80; }));
        QCOMPARE(QColor(shot.pixel(hovered.left() + 2, hovered.top() + 2)), QColor(0, 0, 0));
        QCOMPARE(QColor(shot.pixel(checked.left() + 2, checked.top() + 2)), QColor(25, 25, 25));
        menu.close();
    }

    void framelessEdgesResizeInSteps() {
        FramelessWidget window;
        window.resize(800, 500);
        window.setMinimumResizeSize(QSize(800, 500));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto hover = [&window](QPoint p) {
            QMouseEvent move(QEvent::MouseMove, p, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QApplication::sendEvent(&window, &move);
        };
        auto drag = [&window](QPoint from, QPoint to) {
            QTest::mousePress(&window, Qt::LeftButton, {}, from);
            QMouseEvent move(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(&window, &move);
            QTest::mouseRelease(&window, Qt::LeftButton, {}, to);
        };
        hover(QPoint(797, 200));
        QCOMPARE(window.cursor().shape(), Qt::SizeHorCursor);
        QVERIFY(window.resizesRight() && !window.resizesBottom());
        drag(QPoint(797, 200), QPoint(807, 200));
        QCOMPARE(window.width(), 800);  // a 10-pixel drag is below the step
        drag(QPoint(797, 200), QPoint(822, 200));
        QCOMPARE(window.width(), 825);
        hover(QPoint(400, window.height() - 2));
        QCOMPARE(window.cursor().shape(), Qt::SizeVerCursor);
        hover(QPoint(window.width() - 3, window.height() - 2));
        QCOMPARE(window.cursor().shape(), Qt::SizeFDiagCursor);
        drag(QPoint(window.width() - 3, window.height() - 2), QPoint(window.width() - 203, window.height() - 202));
        QCOMPARE(window.size(), QSize(800, 500));  // never below the minimum
        hover(QPoint(400, 200));
        QCOMPARE(window.cursor().shape(), Qt::ArrowCursor);
    }

    void titleBarDragsDoubleClicksAndMinimises() {
        Host host;
        host.resize(900, 500);
        host.move(100, 100);
        TitleBar bar(&host);
        bar.resize(900, 30);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        const QPoint before = host.pos();
        QTest::mousePress(&bar, Qt::LeftButton, {}, QPoint(300, 10));
        QMouseEvent move(QEvent::MouseMove, QPoint(340, 30), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&bar, &move);
        QTest::mouseRelease(&bar, Qt::LeftButton, {}, QPoint(340, 30));
        QCOMPARE(host.pos(), before + QPoint(40, 20));
        QTest::mouseDClick(&bar, Qt::LeftButton, {}, QPoint(300, 10));
        QCOMPARE(host.fullscreens, 1);
        QCOMPARE(bar.menu()->actions().size(), 2);
        QCOMPARE(bar.menu()->size(), QSize(120, 125));
        QCOMPARE(bar.height(), 30);
        const QToolButton* menuButton = bar.menuButton();
        QCOMPARE(bar.menuPosition(), QPoint(host.x() + menuButton->x() + 30 - 120, host.y() + 30));
        QCOMPARE(menuButton->x() + menuButton->width(), 900 - 90);  // left of minimise, maximise, close
        bar.findChild<QToolButton*>(QStringLiteral("minimize_btn_"))->click();
        QTRY_VERIFY(host.isMinimized() || host.windowState() & Qt::WindowMinimized);
        // About: centred over the window, over its mask.
        host.showNormal();
        bar.menu()->actions().at(1)->trigger();
        QCOMPARE(host.masked, bar.aboutDialog());
        QTRY_VERIFY(bar.aboutDialog()->isVisible());
        bar.aboutDialog()->close();
        QCOMPARE(helpDocumentPath(QStringLiteral("/opt/v"), QStringLiteral("zh_CN")), QStringLiteral("/opt/v/vistamo_help_cn.pdf"));
        QCOMPARE(helpDocumentPath(QStringLiteral("/opt/v"), QStringLiteral("de_DE")), QStringLiteral("/opt/v/vistamo_help_en.pdf"));
    }

    void typeDialogAndAbout() {
        VideoTypeDlg types;
        QCOMPARE(types.size(), QSize(540, 320));
        QCOMPARE(types.header()->label()->text(), QStringLiteral("Please choose file type"));
        QVERIFY(types.twinsButton() && types.sphereButton() && types.standardButton());
        About about;
        QCOMPARE(about.size(), QSize(500, 360));
        QCOMPARE(about.versionLabel()->text(), QStringLiteral("Vistamo Player (V1.0.1.7)"));
    }
};

QTEST_MAIN(UiTest)
#include "ui_test.moc"
