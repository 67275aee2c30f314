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

// Dims the picture by blacking out every third pixel, and puts it back. Only pixels that
// still hold the dimming value are put back: the server keeps drawing while the dialog is
// open, and what it drew meanwhile is newer than the saved copy.
class PictureDimmer {
public:
    explicit PictureDimmer(FrameBuffer& frameBuffer) : m_frameBuffer(frameBuffer) {
        std::lock_guard lock(m_frameBuffer.Mutex());
        if (!m_frameBuffer.Valid() || m_frameBuffer.BytesPerPixel() == 0) return;
        m_pixels = m_frameBuffer.Pixels();
        m_width = m_frameBuffer.Width();
        m_height = m_frameBuffer.Height();
        m_stride = m_frameBuffer.Stride();
        m_bytesPerPixel = m_frameBuffer.BytesPerPixel();
        m_copy.assign(m_pixels, m_pixels + m_stride * static_cast<size_t>(m_height));
        // Palette index 1 in colour-table sessions, black in the others.
        std::memset(m_dim, 0, sizeof m_dim);
        if (m_bytesPerPixel == 1) m_dim[0] = 1;
        ForEachDimmedPixel([this](size_t offset) { std::memcpy(m_pixels + offset, m_dim, m_bytesPerPixel); });
    }

    void Restore() {
        std::lock_guard lock(m_frameBuffer.Mutex());
        if (m_copy.empty() || !SameBuffer()) return;  // re-created meanwhile: nothing of ours is left
        ForEachDimmedPixel([this](size_t offset) {
            if (std::memcmp(m_pixels + offset, m_dim, m_bytesPerPixel) == 0) {
                std::memcpy(m_pixels + offset, m_copy.data() + offset, m_bytesPerPixel);
            }
        });
        m_copy.clear();
    }

private:
    // Pixels 0, 3, 6, ... counted along the rows in memory order.
    template <typename Action>
    void ForEachDimmedPixel(Action action) const {
        const size_t count = static_cast<size_t>(m_width) * static_cast<size_t>(m_height);
        for (size_t i = 0; i < count; i += 3) {
            const size_t row = i / static_cast<size_t>(m_width);
            const size_t column = i % static_cast<size_t>(m_width);
            action(row * m_stride + column * static_cast<size_t>(m_bytesPerPixel));
        }
    }

    bool SameBuffer() const {
        return m_frameBuffer.Pixels() == m_pixels && m_frameBuffer.Width() == m_width &&
               m_frameBuffer.Height() == m_height && m_frameBuffer.Stride() == m_stride &&
               m_frameBuffer.BytesPerPixel() == m_bytesPerPixel;
    }

    FrameBuffer& m_frameBuffer;
    uint8_t* m_pixels = nullptr;
    int m_width = 0;
    int m_height = 0;
    size_t m_stride = 0;
    int m_bytesPerPixel = 0;
    uint8_t m_dim[4];
    std::vector<uint8_t> m_copy;
};

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

void RunExitDialog(QWidget* mainWindow, FrameBuffer& frameBuffer, SessionCommands& commands,
                   const std::function<void()>& repaintAll, const std::function<void(bool)>& setDialogOpen) {
    static bool running = false;
    if (running) return;
    running = true;

    setDialogOpen(true);
    PictureDimmer dimmer(frameBuffer);
    repaintAll();

    int choice = kCancel;
    {
        ExitDialog dialog(commands.Facts(), mainWindow);
        choice = dialog.exec();
    }
    if (choice == kCancel) {
        dimmer.Restore();
        repaintAll();
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
