// The statistics window beside the main window, as the client creates it (a window of its own,
// no parent), on a desktop of two screens of different sizes.
#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

#include "fake_session_commands.h"
#include "ui/main_window.h"
#include "ui/statistics_window.h"

using namespace corvane;

class StatisticsWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QCOMPARE(QGuiApplication::screens().size(), 2); }

    void CentresOnTheMainWindowsScreen_data() {
        QTest::addColumn<int>("screenIndex");
        QTest::newRow("main window on the first screen") << 0;
        QTest::newRow("main window on the second screen") << 1;
    }
    void CentresOnTheMainWindowsScreen() {
        QFETCH(int, screenIndex);
        QScreen* screen = QGuiApplication::screens().at(screenIndex);
        FrameBuffer buffer;
        QVERIFY(buffer.CreateWorkBitmap(200, 150, 24, true));
        FakeCommands commands;
        MainWindow main(buffer, commands);
        main.move(screen->geometry().topLeft() + QPoint(30, 30));
        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QCOMPARE(main.screen(), screen);

        StatisticsWindow statistics(commands);
        statistics.ShowStatistics();
        QVERIFY(QTest::qWaitForWindowExposed(&statistics));
        QCOMPARE(statistics.screen(), screen);
        const QRect area = screen->availableGeometry();
        const QRect frame = statistics.frameGeometry();
        QVERIFY2(area.contains(frame), qPrintable(QString("%1,%2 %3x%4")
                                                      .arg(frame.x())
                                                      .arg(frame.y())
                                                      .arg(frame.width())
                                                      .arg(frame.height())));
        // Centred, give or take the frame the window manager adds once the window is up.
        const QPoint offCentre = frame.center() - area.center();
        QVERIFY2(qAbs(offCentre.x()) <= 4 && qAbs(offCentre.y()) <= 4,
                 qPrintable(QString("%1,%2 off centre").arg(offCentre.x()).arg(offCentre.y())));
    }

    void HidingGivesTheKeyboardBackToTheMainWindow_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("OK") << "ok";
        QTest::newRow("close box") << "close";
        QTest::newRow("Escape") << "escape";
    }
    void HidingGivesTheKeyboardBackToTheMainWindow() {
        QFETCH(QString, how);
        FrameBuffer buffer;
        QVERIFY(buffer.CreateWorkBitmap(200, 150, 24, true));
        FakeCommands commands;
        MainWindow main(buffer, commands);
        main.ShowForSession();
        QVERIFY(QTest::qWaitForWindowActive(&main));
        QVERIFY(main.View()->hasFocus());

        StatisticsWindow statistics(commands);
        statistics.ShowStatistics();
        QVERIFY(QTest::qWaitForWindowActive(&statistics));
        if (how == "ok") {
            statistics.findChild<QPushButton*>("ok")->click();
        } else if (how == "close") {
            statistics.close();
        } else {
            QTest::keyClick(&statistics, Qt::Key_Escape);
        }
        QVERIFY(statistics.isHidden());
        QTRY_COMPARE(QApplication::activeWindow(), &main);
        QVERIFY(main.View()->hasFocus());

        // It can be shown again, and takes the keyboard again.
        statistics.ShowStatistics();
        QVERIFY(QTest::qWaitForWindowActive(&statistics));
    }
};

int main(int argc, char** argv) {
    // Two screens side by side: 800 x 600, then 1280 x 1024.
    QTemporaryDir directory;
    const QString config = directory.filePath("screens.json");
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)) return 1;
    file.write(R"({"screens": [
        {"name": "left", "x": 0, "y": 0, "width": 800, "height": 600},
        {"name": "right", "x": 800, "y": 0, "width": 1280, "height": 1024}]})");
    file.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + config.toLocal8Bit());
    QApplication app(argc, argv);
    StatisticsWindowTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "statistics_window_test.moc"
