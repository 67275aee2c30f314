#include "ui/exit_dialog.h"

#include <QDialog>
#include <QEventLoop>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

#include "ui/help.h"
#include "ui/status_texts.h"

namespace corvane {

namespace {

constexpr int kExitTopic = 10415;
constexpr int kDisconnectTopic = 10414;

enum Choice { kCancel = 0, kExit, kDisconnect };

class ExitDialog : public QDialog {
public:
    ExitDialog(const SessionFacts& facts, QWidget* parent) : QDialog(parent) {
        setWindowTitle("Exit");
        setModal(true);

        auto* column = new QVBoxLayout(this);
        column->addWidget(new QLabel("You are about to exit the Corvane client.", this));
        auto* explanation = new QLabel(
            "Disconnecting will keep this session active on the server. Exiting will close the session.", this);
        explanation->setWordWrap(true);
        column->addWidget(explanation);

        auto* times = new QGridLayout;
        times->addWidget(new QLabel("Connected on:", this), 0, 0);
        auto* connectedOn = new QLabel(QString::fromStdString(LocalPointInTimeText(facts.connectedAt)), this);
        connectedOn->setObjectName("connectedOn");
        times->addWidget(connectedOn, 0, 1);
        times->addWidget(new QLabel("Total time connected:", this), 1, 0);
        auto* total = new QLabel(QString::fromStdString(DurationText(std::time(nullptr) - facts.connectedAt)), this);
        total->setObjectName("totalTime");
        times->addWidget(total, 1, 1);
        column->addLayout(times);

        m_exit = new QPushButton("Exit", this);
        m_exit->setObjectName("exitButton");
        m_exit->setDefault(true);
        auto* cancel = new QPushButton("Cancel", this);
        cancel->setObjectName("cancelButton");
        m_disconnect = new QPushButton("Disconnect", this);
        m_disconnect->setObjectName("disconnectButton");
        // A session the user does not own, or one the site keeps from being left running,
        // can only be ended.
        m_disconnect->setEnabled(!facts.collaborating && !facts.sharedSession && !facts.demoMode &&
                                 !facts.disconnectDisabled);
        auto* buttons = new QHBoxLayout;
        buttons->addWidget(m_exit);
        buttons->addWidget(cancel);
        buttons->addWidget(m_disconnect);
        column->addLayout(buttons);

        connect(m_exit, &QPushButton::clicked, this, [this] { done(kExit); });
        connect(m_disconnect, &QPushButton::clicked, this, [this] { done(kDisconnect); });
        connect(cancel, &QPushButton::clicked, this, [this] { done(kCancel); });
        m_exit->setFocus();
    }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_F1) {
            if (focusWidget() == m_exit) OpenHelpTopic(kExitTopic);
            if (focusWidget() == m_disconnect) OpenHelpTopic(kDisconnectTopic);
            return;
        }
        QDialog::keyPressEvent(event);
    }

private:
    QPushButton* m_exit = nullptr;
    QPushButton* m_disconnect = nullptr;
};

// Runs the request on a worker thread: it waits half a second for the server, and the
// windows should keep painting meanwhile.
void RunRequest(SessionCommands& commands, bool disconnect) {
    QEventLoop loop;
    std::thread worker([&commands, &loop, disconnect] {
        if (disconnect) {
            commands.DisconnectSession();
        } else {
            commands.ExitSession();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    // Input is held back meanwhile, so that the request cannot be given twice.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
}

}  // namespace

void RunExitDialog(QWidget* mainWindow, SessionCommands& commands, const std::function<void(bool)>& setDimmed,
                   const std::function<void(bool)>& setDialogOpen) {
    static bool running = false;
    if (running) return;
    running = true;

    setDialogOpen(true);
    setDimmed(true);

    int choice = kCancel;
    {
        ExitDialog dialog(commands.Facts(), mainWindow);
        choice = dialog.exec();
    }
    if (choice == kCancel) {
        setDimmed(false);
        setDialogOpen(false);
        if (mainWindow) mainWindow->activateWindow();
    } else {
        RunRequest(commands, choice == kDisconnect);
        // With a delayed exit the client runs on, still dimmed, until the server ends it.
        setDialogOpen(false);
    }
    running = false;
}

}  // namespace corvane
