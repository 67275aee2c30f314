// The progress, statistics, exit and Session Control windows, driven as the user would.
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QtTest>
#include <atomic>
#include <cstring>
#include <functional>
#include <vector>

#include "fake_session_commands.h"
#include "ui/exit_dialog.h"
#include "ui/frame_view.h"
#include "ui/help.h"
#include "ui/progress_window.h"
#include "ui/session_control_dialog.h"
#include "ui/statistics_window.h"

using namespace corvane;

namespace {

// Runs `action` on the modal dialog once it is up.
void WhenModal(std::function<void(QWidget*)> action) {
    QTimer::singleShot(0, [action] {
        QWidget* dialog = QApplication::activeModalWidget();
        QVERIFY(dialog);
        action(dialog);
    });
}

void Click(QWidget* dialog, const char* name) {
    auto* button = dialog->findChild<QPushButton*>(name);
    QVERIFY2(button, name);
    button->click();
}

SessionTable Sessions(const std::vector<int>& sids) {
    std::vector<uint8_t> wire(sids.size() * kSessionEntrySize, 0);
    for (size_t i = 0; i < sids.size(); ++i) {
        uint8_t* e = wire.data() + i * kSessionEntrySize;
        e[3] = static_cast<uint8_t>(sids[i]);  // big-endian SID
        e[159] = 24;                           // depth
    }
    SessionTable table;
    table.Parse(wire.data(), static_cast<int>(sids.size()));
    return table;
}

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT

private slots:
    void ExitDialogDimsThePictureWithoutTouchingIt_data() {
        QTest::addColumn<int>("depth");
        QTest::newRow("8 bit") << 8;
        QTest::newRow("16 bit") << 16;
        QTest::newRow("32 bit") << 24;
        QTest::newRow("multimode") << 124;
    }
    void ExitDialogDimsThePictureWithoutTouchingIt() {
        QFETCH(int, depth);
        FrameBuffer frameBuffer;
        QVERIFY(frameBuffer.CreateWorkBitmap(13, 5, depth, true));
        const size_t size = frameBuffer.Stride() * static_cast<size_t>(frameBuffer.Height());
        for (size_t i = 0; i < size; ++i) frameBuffer.Pixels()[i] = static_cast<uint8_t>(i * 7 + 3);
        const std::vector<uint8_t> before(frameBuffer.Pixels(), frameBuffer.Pixels() + size);
        const int bpp = frameBuffer.BytesPerPixel();
        const size_t redrawn = frameBuffer.Stride() + 3 * static_cast<size_t>(bpp);  // pixel (3, 1)

        FakeCommands commands;
        std::vector<bool> dimMarks;
        std::vector<bool> openMarks;
        bool untouchedWhileOpen = false;
        WhenModal([&](QWidget* dialog) {
            untouchedWhileOpen = std::memcmp(frameBuffer.Pixels(), before.data(), size) == 0;
            // The server draws black while the dialog is open.
            std::memset(frameBuffer.Pixels() + redrawn, 0, bpp);
            Click(dialog, "cancelButton");
        });
        RunExitDialog(nullptr, commands, [&](bool dimmed) { dimMarks.push_back(dimmed); },
                      [&](bool open) { openMarks.push_back(open); });

        QVERIFY(untouchedWhileOpen);
        std::vector<uint8_t> expected = before;
        std::memset(expected.data() + redrawn, 0, bpp);
        QVERIFY(std::memcmp(frameBuffer.Pixels(), expected.data(), size) == 0);
        QCOMPARE(dimMarks, (std::vector<bool>{true, false}));
        QCOMPARE(openMarks, (std::vector<bool>{true, false}));
        QCOMPARE(commands.exits.load() + commands.disconnects.load(), 0);
    }

    void DimmedViewDarkensEveryThirdPixelAndShowsTheRest() {
        FrameBuffer frameBuffer;
        QVERIFY(frameBuffer.CreateWorkBitmap(30, 12, 24, true));
        std::memset(frameBuffer.Pixels(), 0xC0, frameBuffer.Stride() * static_cast<size_t>(frameBuffer.Height()));
        FrameView view(frameBuffer);
        view.resize(30, 12);
        view.SetDimmed(true);
        const QImage dimmed = view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        int dark = 0;
        int shown = 0;
        for (int y = 0; y < 12; ++y) {
            for (int x = 0; x < 30; ++x) {
                const QRgb p = dimmed.pixel(x, y);
                if (p == qRgb(0, 0, 0)) ++dark;
                if (p == qRgb(0xC0, 0xC0, 0xC0)) ++shown;
            }
        }
        QCOMPARE(dark, 30 * 12 / 3);
        QCOMPARE(shown, 30 * 12 * 2 / 3);
        view.SetDimmed(false);
        const QImage plain = view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
        QCOMPARE(plain.pixel(0, 0), qRgb(0xC0, 0xC0, 0xC0));
    }

    void ExitDialogButtons_data() {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("disconnectEnabled");
        QTest::newRow("own session") << "" << true;
        QTest::newRow("demonstration") << "demo" << false;
        QTest::newRow("joined by number") << "collaborating" << false;
        QTest::newRow("shared") << "shared" << false;
        QTest::newRow("site forbids") << "disabled" << false;
    }
    void ExitDialogButtons() {
        QFETCH(QString, kind);
        QFETCH(bool, disconnectEnabled);
        FakeCommands commands;
        commands.facts.demoMode = kind == "demo";
        commands.facts.collaborating = kind == "collaborating";
        commands.facts.sharedSession = kind == "shared";
        commands.facts.disconnectDisabled = kind == "disabled";
        FrameBuffer frameBuffer;
        QVERIFY(frameBuffer.CreateWorkBitmap(8, 8, 8, true));

        bool enabled = false;
        WhenModal([&](QWidget* dialog) {
            auto* disconnect = dialog->findChild<QPushButton*>("disconnectButton");
            QVERIFY(disconnect);
            enabled = disconnect->isEnabled();
            Click(dialog, enabled ? "disconnectButton" : "exitButton");
        });
        RunExitDialog(nullptr, commands, [](bool) {}, [](bool) {});
        QCOMPARE(enabled, disconnectEnabled);
        QCOMPARE(commands.disconnects.load(), disconnectEnabled ? 1 : 0);
        QCOMPARE(commands.exits.load(), disconnectEnabled ? 0 : 1);
    }

    void ProgressWindowAppliesPostsWithinATick() {
        StatusMailbox mailbox;
        ProgressOptions options;
        options.clientVersion = "9.0.0";
        ProgressWindow window(mailbox, options);
        window.ShowCentred();
        QVERIFY(window.Button()->isHidden());

        mailbox.Post(kStatusConnecting, "host.example");
        QTRY_COMPARE_WITH_TIMEOUT(window.LineText(kLineConnecting), QString("Connecting to:  host.example"), 250);
        mailbox.Post(kStatusError, "Retrying", true);
        QTRY_COMPARE_WITH_TIMEOUT(window.LineText(kLineError), QString("Retrying"), 250);
        QVERIFY(window.Button()->isHidden());
        mailbox.Post(kStatusAuthentication, "Authenticating: Complete");
        QTRY_COMPARE_WITH_TIMEOUT(window.windowTitle(), QString("Corvane Connection"), 250);
        mailbox.PostError("Error: refused");
        QTRY_VERIFY_WITH_TIMEOUT(!window.Button()->isHidden(), 250);
        QCOMPARE(window.Button()->text(), QString("Cancel"));
        // An error the client ends on offers Exit.
        window.OfferExit();
        QCOMPARE(window.Button()->text(), QString("Exit"));

        QSignalSpy exits(&window, &ProgressWindow::exitRequested);
        window.Button()->click();
        QCOMPARE(exits.count(), 1);
    }

    void ProgressWindowSessionEndNotice() {
        StatusMailbox mailbox;
        ProgressWindow window(mailbox, ProgressOptions{});
        mailbox.Post(kStatusConnecting, "host.example");
        window.TakeStatus();
        QSignalSpy exits(&window, &ProgressWindow::exitRequested);

        // Before the session is shown the window is all the user has: closing it (or Escape)
        // ends the client, also while a silent server holds the login.
        window.ShowCentred();
        window.close();
        QCOMPARE(exits.count(), 1);
        window.ShowCentred();
        QTest::keyClick(&window, Qt::Key_Escape);
        QCOMPARE(exits.count(), 2);

        // Once the session is shown, and before a notice, the close box only closes the window.
        window.SessionShown();
        window.ShowCentred();
        window.close();
        QCOMPARE(exits.count(), 2);

        window.ShowSessionEndNotice("Connection closed", "Session closed by server.");
        QVERIFY(window.isVisible());
        QCOMPARE(window.windowTitle(), QString("Connection closed"));
        QCOMPARE(window.LineText(kLineConnecting), QString());
        QCOMPARE(window.LineText(kLineLoggingOn), QString("Session closed by server."));
        QCOMPARE(window.Button()->text(), QString("Exit"));
        QVERIFY(!window.Button()->isHidden());
        window.close();
        QCOMPARE(exits.count(), 3);
    }

    void StatisticsWindowShowsTheSession() {
        FakeCommands commands;
        commands.facts.user = "demo";
        commands.facts.demoMode = true;
        commands.facts.serverVersionNumber = 150;
        commands.serverTime = 1'000'000'000;
        commands.rates = RateSummary{true, 2'000'000.0, 1'048'576.0, 3'145'728.0, 0};
        StatisticsWindow window(commands);
        QVERIFY(window.isHidden());
        auto text = [&](const char* name) { return window.findChild<QLabel*>(name)->text(); };

        QCOMPARE(text("user"), QString("\"demo\""));
        QCOMPARE(text("serverTime"), QString("Unavailable"));
        QCOMPARE(text("minimum"), QString("1.00M"));
        QCOMPARE(text("maximum"), QString("3.00M"));
        QCOMPARE(text("average"), QString("1.91M"));
        window.findChild<QRadioButton*>("kilobytes")->click();
        QCOMPARE(text("average"), QString("1953.12K"));

        window.findChild<QPushButton*>("reset")->click();
        QCOMPARE(commands.resets.load(), 1);
        QCOMPARE(text("minimum"), QString("0"));
        QCOMPARE(text("maximum"), QString("0"));
    }

    void SessionControlCountdownResumesTheLastSessionOnce() {
        ResetSessionControlCountdown();
        const SessionTable sessions = Sessions({17, 23, 31});
        const SessionControlTiming quick{std::chrono::milliseconds(5), std::chrono::milliseconds(5)};
        QStringList shown;
        QTimer watcher;
        connect(&watcher, &QTimer::timeout, [&] {
            if (QWidget* dialog = QApplication::activeModalWidget()) {
                const QString now = dialog->findChild<QLabel*>("countdown")->text();
                if (!now.isEmpty() && (shown.isEmpty() || shown.last() != now)) shown << now;
            }
        });
        watcher.start(1);
        QCOMPARE(RunSessionControlDialog(sessions, nullptr, 99, quick), 31);
        watcher.stop();
        QCOMPARE(shown.last(), QString("0"));

        // The countdown is spent: the next dialog waits for the user, who asks for a new
        // session with a double click.
        bool stillOpen = false;
        QTimer::singleShot(100, [&] {
            QWidget* dialog = QApplication::activeModalWidget();
            QVERIFY(dialog);
            stillOpen = true;
            auto* list = dialog->findChild<QListWidget*>("sessions");
            QCOMPARE(list->count(), 4);
            QCOMPARE(list->currentRow(), 2);
            emit list->itemDoubleClicked(list->item(3));
        });
        QCOMPARE(RunSessionControlDialog(sessions, nullptr, 99, quick), int(kNewSessionId));
        QVERIFY(stillOpen);
    }

    void SessionControlCloseKeepsTheChoice() {
        const SessionTable sessions = Sessions({17});
        WhenModal([](QWidget* dialog) { dialog->close(); });
        QCOMPARE(RunSessionControlDialog(sessions, nullptr, 99), 99);

        WhenModal([](QWidget* dialog) { Click(dialog, "select"); });
        QCOMPARE(RunSessionControlDialog(sessions, nullptr, 99), 17);
    }

    void HelpTopicsHaveTheirPages_data() {
        QTest::addColumn<int>("topic");
        for (int topic : {2350, 10400, 10413, 10414, 10415, 10416, 10424, 10429, 10432, 10433, 10435}) {
            QTest::newRow(QByteArray::number(topic).constData()) << topic;
        }
    }
    void HelpTopicsHaveTheirPages() {
        QFETCH(int, topic);
        const QString directory = HelpDirectory();
        QVERIFY(!directory.isEmpty());
        const QUrl url = HelpTopicUrl(topic, directory);
        QCOMPARE(url.fragment(), QString::number(topic));
        QFile page(url.toLocalFile());
        QVERIFY2(page.open(QIODevice::ReadOnly), qPrintable(url.toLocalFile()));
        QVERIFY(page.readAll().contains(QString("id=\"%1\"").arg(topic).toUtf8()));
    }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
