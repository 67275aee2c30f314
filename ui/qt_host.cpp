#include "ui/qt_host.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMetaObject>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <thread>

#include "config/error_box.h"
#include "config/log.h"
#include "session/display_client_app.h"
#include "ui/help.h"
#include "ui/main_window.h"
#include "ui/progress_window.h"
#include "ui/remote_cursor.h"
#include "ui/screens.h"
#include "ui/session_control_dialog.h"
#include "ui/statistics_window.h"

namespace corvane {
namespace {

// A region of many small pieces paints slower than its bounding box.
constexpr int kMostRepaintPieces = 16;
// How long the event loop outlives a quit while the session thread winds down.
constexpr int kQuitGraceMilliseconds = 3000;

}  // namespace

QtHost::QtHost() {
    qApp->installEventFilter(this);
    SetErrorBoxHandler([this](const std::string& caption, const std::string& text) { MessageBox(caption, text); });
    // Decoder threads report without waiting for a person: the box opens on its own. A
    // stream of bad frames shows one box at a time; the log has every record.
    SetPostErrorBoxHandler([this](const std::string& caption, const std::string& text) {
        PostToGui([this, caption = QString::fromStdString(caption), text = QString::fromStdString(text)] {
            if (m_postedBox) return;
            m_postedBox = new QMessageBox(QMessageBox::Warning, caption, text, QMessageBox::Ok, m_window);
            m_postedBox->setAttribute(Qt::WA_DeleteOnClose);
            m_postedBox->show();
        });
    });
}

void QtHost::Attach(StatusMailbox& mailbox, std::function<void()> shutDown) {
    m_mailbox = &mailbox;
    m_shutDown = std::move(shutDown);
}

QtHost::~QtHost() {
    SetErrorBoxHandler(nullptr);
    SetPostErrorBoxHandler(nullptr);
    qApp->removeEventFilter(this);
    delete m_statistics.data();
    delete m_progress.data();
    delete m_window.data();
}

void QtHost::RunOnGui(const std::function<void()>& work) {
    if (QThread::currentThread() == thread()) {
        work();
        return;
    }
    QMetaObject::invokeMethod(this, [&work] { work(); }, Qt::BlockingQueuedConnection);
}

void QtHost::PostToGui(std::function<void()> work) {
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void QtHost::RepaintRect(int x, int y, int width, int height) {
    std::lock_guard lock(m_repaintMutex);
    ++m_repaintsRequested;
    m_dirty += QRect(x, y, width, height);
    if (m_dirty.rectCount() > kMostRepaintPieces) m_dirty = m_dirty.boundingRect();
    // One hand-over at a time: requests that arrive before the GUI thread took the last one
    // join it, so a burst of updates never queues more than one event.
    if (m_flushPosted) return;
    m_flushPosted = true;
    m_firstWaiting = std::chrono::steady_clock::now();
    PostToGui([this] { FlushRepaints(); });
}

long QtHost::RepaintsRequested() const {
    std::lock_guard lock(m_repaintMutex);
    return m_repaintsRequested;
}

void QtHost::FlushRepaints() {
    // At most one hand-over per screen refresh: what arrives sooner waits for the next one
    // and joins it, as the request flag stays set meanwhile.
    const auto now = std::chrono::steady_clock::now();
    const auto due = m_lastFlush + RefreshInterval();
    if (now < due) {
        if (!m_flushTimerActive) {
            m_flushTimerActive = true;
            const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - now);
            QTimer::singleShot(wait, Qt::PreciseTimer, this, [this] {
                m_flushTimerActive = false;
                FlushRepaints();
            });
        }
        return;
    }
    m_lastFlush = now;
    QRegion dirty;
    {
        std::lock_guard lock(m_repaintMutex);
        dirty.swap(m_dirty);
        m_flushPosted = false;
        m_longestWait = std::max(m_longestWait, now - m_firstWaiting);
    }
    if (m_window) m_window->View()->FrameChanged(dirty);
}

std::chrono::steady_clock::duration QtHost::RefreshInterval() const {
    const QScreen* screen = m_window ? m_window->screen() : QGuiApplication::primaryScreen();
    const double hertz = screen != nullptr && screen->refreshRate() >= 1 ? screen->refreshRate() : 60.0;
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(1.0 / hertz));
}

void QtHost::SetTitle(const std::string& title) {
    // The login names the session before its window exists; the window takes the title
    // when it opens.
    PostToGui([this, text = QString::fromStdString(title)] {
        m_title = text;
        if (m_window) m_window->setWindowTitle(text);
    });
}

void QtHost::Beep(int, int) {
    PostToGui([] { QApplication::beep(); });
}

void QtHost::MessageBox(const std::string& caption, const std::string& text) {
    RunOnGui([&] {
        QMessageBox::warning(m_window ? static_cast<QWidget*>(m_window) : nullptr, QString::fromStdString(caption),
                             QString::fromStdString(text));
    });
}

bool QtHost::SessionLoginDialog(ClientSettings&) {
    // The login dialogs are not built yet: the connection file's values stand.
    DebugPrint(1, "Session Login dialog: using the connection file's values\n");
    return true;
}

bool QtHost::EnterPasswordDialog(ClientSettings&) {
    DebugPrint(1, "Enter Password dialog: using the connection file's values\n");
    return true;
}

bool QtHost::ProjectIdentificationDialog(ClientSettings&) {
    DebugPrint(1, "Project Identification dialog: using the connection file's values\n");
    return true;
}

int QtHost::SessionControlDialog(const SessionTable& sessions) {
    int chosen = 2;
    RunOnGui([&] { chosen = RunSessionControlDialog(sessions, m_progress); });
    return chosen;
}

MonitorModel QtHost::Monitors() {
    MonitorModel model;
    RunOnGui([&model] { model = CurrentMonitorModel(); });
    return model;
}

void QtHost::SettingsRead(const ClientSettings& settings) {
    ProgressOptions options;
    options.noShowServer = settings.noShowServer != 0;
    options.viaSsl = settings.protocolType == 1;
    options.viaProxy = settings.useProxy != 0;
    options.clientVersion = kVersionText;
    options.showOldLogo = settings.showOldLogo == 1;
    PostToGui([this, options, installPath = settings.installPath] {
        SetHelpInstallPath(installPath);
        if (m_progress || m_mailbox == nullptr) return;
        m_progress = new ProgressWindow(*m_mailbox, options);
        connect(m_progress, &ProgressWindow::exitRequested, this, [this] { m_shutDown(); });
        m_progress->ShowCentred();
    });
}

void QtHost::ShowProgress(bool shown) {
    PostToGui([this, shown] {
        if (!m_progress) return;
        if (shown) {
            m_progress->ShowCentred();
        } else {
            m_progress->hide();
        }
    });
}

void QtHost::ShowFatalError() {
    PostToGui([this] {
        if (m_progress) m_progress->OfferExit();
    });
}

void QtHost::ShowSessionEndNotice(const std::string& title, const std::string& line) {
    PostToGui([this, title = QString::fromStdString(title), line = QString::fromStdString(line)] {
        if (m_progress) m_progress->ShowSessionEndNotice(title, line);
    });
}

void QtHost::Minimise() {
    PostToGui([this] {
        if (m_window) m_window->showMinimized();
        if (m_statistics) m_statistics->hide();
    });
}

void QtHost::PauseForUser(int milliseconds) {
    // The windows keep answering: this runs on the session thread.
    if (QThread::currentThread() != thread()) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void QtHost::SessionStarted(FrameBuffer& frameBuffer, SessionCommands& commands) {
    RunOnGui([&] {
        m_window = new MainWindow(frameBuffer, commands);
        if (!m_title.isEmpty()) m_window->setWindowTitle(m_title);
        m_statistics = new StatisticsWindow(commands);
        m_window->ShowForSession();
    });
}

void QtHost::SetRemoteCursor(const CursorImage& image, int reverseCursorColor) {
    PostToGui([this, image, reverseCursorColor] {
        if (m_window) m_window->View()->viewport()->setCursor(CursorFromImage(image, reverseCursorColor));
    });
}

int QtHost::EventLoop() {
    std::unique_lock lock(m_quitMutex);
    m_quitSignal.wait(lock, [this] { return m_exitCode.has_value(); });
    return *m_exitCode;
}

void QtHost::Quit(int exitCode) {
    {
        std::lock_guard lock(m_quitMutex);
        if (!m_exitCode) m_exitCode = exitCode;
    }
    m_quitSignal.notify_all();
    // The user sees the client end at once, even while the session thread still winds down.
    PostToGui([this] {
        if (m_window) {
            m_window->AllowClose();
            m_window->hide();
        }
        if (m_statistics) m_statistics->hide();
        if (m_progress) m_progress->hide();
        // A session thread blocked in a connection attempt must not keep the client alive.
        QTimer::singleShot(kQuitGraceMilliseconds, qApp, [] { QCoreApplication::exit(0); });
    });
}

void QtHost::SessionThreadEnded() {
    if (m_window) {
        std::lock_guard lock(m_repaintMutex);
        DebugPrint(1, "Window: %ld paints for %ld repaint requests; longest wait for a repaint %lld ms\n",
                   m_window->View()->Paints(), m_repaintsRequested,
                   static_cast<long long>(
                       std::chrono::duration_cast<std::chrono::milliseconds>(m_longestWait).count()));
        m_window->AllowClose();
    }
    delete m_statistics.data();
    delete m_progress.data();
    delete m_window.data();
}

bool QtHost::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (event->type() == QEvent::KeyPress && enter && (key->modifiers() & Qt::AltModifier) && m_window &&
            m_window->isActiveWindow()) {
            m_swallowAltEnterRelease = true;
            m_window->ToggleFullScreen();
            return true;
        }
        if (event->type() == QEvent::KeyRelease && enter && m_swallowAltEnterRelease) {
            m_swallowAltEnterRelease = false;
            return true;
        }
        if (event->type() == QEvent::KeyPress && key->key() == Qt::Key_F12 &&
            (key->modifiers() & Qt::ShiftModifier) && m_statistics) {
            m_statistics->ShowStatistics();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace corvane
