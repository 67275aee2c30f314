// How many logical pixels one remote pixel takes at each scale, and the stored names.
#include <QtTest>

#include "ui/view_scale.h"

using namespace corvane;

class ViewScaleTest : public QObject {
    Q_OBJECT

private slots:
    void LogicalPixelsPerRemotePixel_data() {
        QTest::addColumn<int>("scale");
        QTest::addColumn<double>("ratio");
        QTest::addColumn<QSize>("viewport");
        QTest::addColumn<double>("expected");
        const auto row = [](const char* name, ViewScale scale, double ratio, QSize viewport, double expected) {
            QTest::newRow(name) << static_cast<int>(scale) << ratio << viewport << expected;
        };
        row("actual at 1", ViewScale::ActualPixels, 1.0, {}, 1.0);
        row("actual at 2: one device pixel", ViewScale::ActualPixels, 2.0, {}, 0.5);
        row("actual at 1.5", ViewScale::ActualPixels, 1.5, {}, 1.0 / 1.5);
        row("double at 2: two device pixels", ViewScale::Double, 2.0, {}, 1.0);
        row("double at 1", ViewScale::Double, 1.0, {}, 2.0);
        row("no ratio taken as 1", ViewScale::Double, 0.0, {}, 2.0);
        row("fit: the narrower side decides", ViewScale::FitWindow, 2.0, {480, 600}, 1.5);
        row("fit: height decides", ViewScale::FitWindow, 1.0, {640, 120}, 0.5);
        row("fit: no viewport yet", ViewScale::FitWindow, 2.0, {}, 0.5);
    }

    void LogicalPixelsPerRemotePixel() {
        QFETCH(int, scale);
        QFETCH(double, ratio);
        QFETCH(QSize, viewport);
        QFETCH(double, expected);
        QCOMPARE(LogicalPerRemotePixel(static_cast<ViewScale>(scale), ratio, QSize(320, 240), viewport), expected);
    }

    void NamesRoundTripAndUnknownIsActualPixels() {
        for (ViewScale scale : {ViewScale::ActualPixels, ViewScale::FitWindow, ViewScale::Double}) {
            QCOMPARE(ViewScaleFromName(ViewScaleName(scale)), scale);
        }
        QCOMPARE(ViewScaleFromName("huge"), ViewScale::ActualPixels);
        QCOMPARE(ViewScaleFromName(""), ViewScale::ActualPixels);
    }
};

QTEST_GUILESS_MAIN(ViewScaleTest)
#include "view_scale_test.moc"
