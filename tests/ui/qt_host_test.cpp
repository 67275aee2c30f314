// The Qt host as the session core drives it: titles that come before the window, repaint
// from other threads gathered into few paints that miss nothing, and the quit hand-shake.
#include <QApplication>
#include <QtTest>
#include <thread>
#include <vector>

#include "fake_session_commands.h"
#include "ui/qt_host.h"

using namespace corvane;

class QtHostTest : public QObject {
    Q_OBJECT

private slots:
    void TitleSetDuringLoginReachesTheWindow() {
        StatusMailbox mailbox;
        QtHost host;
        host.Attach(mailbox, [] {});
        host.SetTitle(" Demo session  SID:101");
        QCoreApplication::processEvents();
        FrameBuffer buffer;
        QVERIFY(buffer.CreateWorkBitmap(320, 200, 24, true));
        FakeCommands commands;
        host.SessionStarted(buffer, commands);
        QVERIFY(host.Window() != nullptr);
        QCOMPARE(host.Window()->windowTitle(), QString(" Demo session  SID:101"));
    }

    void DamageBurstFromAnotherThreadCostsFewPaintsAndPaintsEveryArea() {
        StatusMailbox mailbox;
        QtHost host;
        host.Attach(mailbox, [] {});
        FrameBuffer buffer;
        QVERIFY(buffer.CreateWorkBitmap(320, 200, 24, true));
        FakeCommands commands;
        host.SessionStarted(buffer, commands);
        QVERIFY(QTest::qWaitForWindowExposed(host.Window()));
        QCoreApplication::processEvents();
        const long paintsBefore = host.Window()->View()->Paints();
        host.Window()->View()->RecordPaintedArea(true);

        // Damage keeps arriving while a hand-over is pending: none of it may be lost.
        QRegion damaged;
        std::vector<QRect> rects;
        for (int i = 0; i < 1000; ++i) {
            rects.emplace_back((i * 37) % 300, (i * 53) % 180, 20, 20);
            damaged += rects.back();
        }
        std::thread receive([&buffer, &rects] {
            for (const QRect& r : rects) buffer.AddDamage(r.x(), r.y(), r.width(), r.height());
        });
        receive.join();
        // The whole burst waits for at most a couple of screen refreshes.
        QTRY_VERIFY(host.Window()->View()->PaintedArea().intersected(damaged) == damaged);
        QTest::qWait(100);
        const long paints = host.Window()->View()->Paints() - paintsBefore;
        QVERIFY2(paints >= 1 && paints <= 3, qPrintable(QString("%1 paints").arg(paints)));
    }

    void TheTitleSaysWhileTheSessionReconnects() {
        StatusMailbox mailbox;
        QtHost host;
        host.Attach(mailbox, [] {});
        FrameBuffer buffer;
        QVERIFY(buffer.CreateWorkBitmap(64, 48, 24, true));
        FakeCommands commands;
        host.SessionStarted(buffer, commands);
        host.SetTitle(" Demo  SID:7");
        host.ShowReconnecting(true);
        QTRY_VERIFY(host.Window()->windowTitle().contains("Reconnecting"));
        QVERIFY(host.Window()->windowTitle().startsWith(" Demo  SID:7"));
        host.ShowReconnecting(false);
        QTRY_COMPARE(host.Window()->windowTitle(), QString(" Demo  SID:7"));
    }

    void TheSilentBellSoundsNothingAndTheOthersSound() {
        QtHost host;
        // The bell that stands in for a picture that could not be decoded has frequency 0.
        host.Bell(0, 1000);
        QCOMPARE(host.BeepsSounded(), 0L);
        host.Bell(440, 1000);
        host.ErrorBeep();
        QCOMPARE(host.BeepsSounded(), 2L);
    }

    void QuitEndsTheSessionThreadsWait() {
        StatusMailbox mailbox;
        QtHost host;
        host.Attach(mailbox, [] {});
        int code = -1;
        std::thread session([&] { code = host.EventLoop(); });
        host.Quit(7);
        session.join();
        QCOMPARE(code, 7);
    }
};

QTEST_MAIN(QtHostTest)
#include "qt_host_test.moc"
