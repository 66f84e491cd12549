// The control bar and its click-to-position sliders, real widgets under a display.
#include <QAction>
#include <QLabel>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

#include "bottom_bar.h"
#include "custom_menu.h"
#include "progress_slider.h"
#include "resources.h"

using namespace vistamo::app;

class ControlsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { vistamo::ui::initResources(); }

    void aGrooveClickJumpsThereOnce() {
        ProgressSlider slider;
        slider.setOrientation(Qt::Horizontal);
        slider.setRange(0, 1000);
        slider.resize(400, 30);
        slider.show();
        QVERIFY(QTest::qWaitForWindowExposed(&slider));
        QVERIFY(!slider.hasTracking());
        QSignalSpy changed(&slider, &QSlider::valueChanged);
        QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(300, 15));
        QCOMPARE(changed.count(), 1);
        const int expected = slider.valueAt(QPoint(300, 15));
        QCOMPARE(slider.value(), expected);
        QVERIFY2(expected > 650 && expected < 850, qPrintable(QString::number(expected)));
        // Before the handle: back to near the start, again once.
        QTest::mouseClick(&slider, Qt::LeftButton, {}, QPoint(20, 15));
        QCOMPARE(changed.count(), 2);
        QVERIFY(slider.value() < 60);
    }

    void barActionsAndSignals() {
        QWidget window;
        BottomBar bar(&window);
        QCOMPARE(bar.positionLabel()->text(), QStringLiteral("00:00:00"));
        QCOMPARE(bar.lengthLabel()->text(), QStringLiteral("00:00:00"));
        // The four modes, a separator and the lens-matching switch.
        QCOMPARE(bar.viewMenu()->actions().size(), 6);
        QCOMPARE(bar.viewMenu()->size(), QSize(140, 210));
        QVERIFY(bar.panoAction()->isChecked());
        // The switch is no view mode: it leaves the mode as it is.
        QVERIFY(bar.matchLensesAction()->isCheckable() && bar.matchLensesAction()->isChecked());
        bar.matchLensesAction()->trigger();
        QVERIFY(!bar.matchLensesAction()->isChecked() && bar.panoAction()->isChecked());
        QSignalSpy fisheye(&bar, &BottomBar::FisheyeActionTriggered), source(&bar, &BottomBar::OriginalActionTriggered),
            pano(&bar, &BottomBar::PanoActionTriggered), capture(&bar, &BottomBar::Capture);
        bar.fisheyeAction()->trigger();
        QVERIFY(bar.fisheyeAction()->isChecked() && !bar.panoAction()->isChecked());
        bar.sourceAction()->trigger();
        QVERIFY(bar.sourceAction()->isChecked() && !bar.fisheyeAction()->isChecked());
        bar.triggerPano();
        QVERIFY(bar.panoAction()->isChecked());
        bar.captureButton()->click();
        QCOMPARE(fisheye.count(), 1);
        QCOMPARE(source.count(), 1);
        QCOMPARE(pano.count(), 1);
        QCOMPARE(capture.count(), 1);
        QCOMPARE(bar.volumeSlider()->pageStep(), 10);
        QVERIFY(!bar.progressSlider()->hasTracking() && !bar.volumeSlider()->hasTracking());
        QVERIFY(qAbs(bar.windowOpacity() - 0.75) < 0.01);  // kept in 8 bits
    }
};

QTEST_MAIN(ControlsTest)
#include "controls_test.moc"
