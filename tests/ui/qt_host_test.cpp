// The Qt host as the session core drives it: titles that come before the window, repaint
// requests from other threads gathered into few paints, and the quit hand-shake.
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

    void RepaintBurstFromAnotherThreadCostsFewPaints() {
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

        std::thread receive([&host] {
            for (int i = 0; i < 1000; ++i) host.RepaintRect(i % 300, i % 180, 20, 20);
        });
        receive.join();
        QTRY_COMPARE(host.RepaintsRequested(), 1000L);
        // The whole burst waits for at most a couple of screen refreshes.
        QTest::qWait(100);
        const long paints = host.Window()->View()->Paints() - paintsBefore;
        QVERIFY2(paints >= 1 && paints <= 3, qPrintable(QString("%1 paints").arg(paints)));
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
