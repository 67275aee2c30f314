#include "ui/qt_host.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMetaObject>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <future>

#include "config/error_box.h"
#include "config/host_list.h"
#include "config/log.h"
#include "session/display_client_app.h"
#include "ui/help.h"
#include "ui/main_window.h"
#include "ui/password_dialog.h"
#include "ui/project_id_dialog.h"
#include "ui/session_login_dialog.h"
#include "ui/progress_window.h"
#include "ui/remote_cursor.h"
#include "ui/screens.h"
#include "ui/popup_window.h"
#include "ui/seamless_platform.h"
#include "ui/session_control_dialog.h"
#include "ui/statistics_window.h"

namespace corvane {
namespace {

// How long the event loop outlives a quit while the session thread winds down.
constexpr int kQuitGraceMilliseconds = 3000;
// How long a hot key's title stays (or a full-screen view stays framed to show it).
constexpr int kTitleFlashMilliseconds = 1000;

// The suffix the title carries while the session logs in again.
constexpr const char* kReconnectingSuffix = "  [Reconnecting...]";
constexpr const char* kKeyboardGrabSuffix = "  [Keyboard grabbed: Shift+F11 releases]";

int64_t SteadyTicks() { return std::chrono::steady_clock::now().time_since_epoch().count(); }

}  // namespace

QtHost::QtHost() {
    qApp->installEventFilter(this);
    // The GUI thread shows a box and waits for its answer in the box's own loop.
    SetThreadMayWaitForPerson(true);
    // A thread that may wait for a person (the session thread) waits on the answer, not on
    // the GUI thread's event loop; quitting ends the wait.
    SetErrorBoxHandler([this](const std::string& caption, const std::string& text) {
        if (QThread::currentThread() == thread()) {
            QMessageBox::warning(m_window, QString::fromStdString(caption), QString::fromStdString(text));
            return;
        }
        auto answered = std::make_shared<std::promise<void>>();
        std::future<void> answer = answered->get_future();
        PostToGui([this, caption = QString::fromStdString(caption), text = QString::fromStdString(text), answered] {
            ShowBox(caption, text, answered);
        });
        std::unique_lock lock(m_quitMutex);
        while (!m_exitCode && answer.wait_for(std::chrono::seconds(0)) != std::future_status::ready) {
            m_quitSignal.wait_for(lock, std::chrono::milliseconds(20));
        }
    });
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
    if (m_frameBuffer != nullptr) m_frameBuffer->SetDamageListener(nullptr);
    qApp->removeEventFilter(this);
    delete m_statistics.data();
    delete m_progress.data();
    delete m_window.data();
    delete m_seamless.data();
}

void QtHost::OnGui(std::function<void()> work) {
    if (QThread::currentThread() == thread()) {
        work();
        return;
    }
    PostToGui(std::move(work));
}

void QtHost::ShowBox(const QString& caption, const QString& text, std::shared_ptr<std::promise<void>> answered) {
    auto* box = new QMessageBox(QMessageBox::Warning, caption, text, QMessageBox::Ok, m_window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [answered] { answered->set_value(); });
    box->open();
}

void QtHost::PostToGui(std::function<void()> work) {
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
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
    const int64_t signalled = m_signalledAt.exchange(0);
    if (signalled != 0) {
        m_longestWait = std::max(m_longestWait, now.time_since_epoch() - std::chrono::steady_clock::duration(signalled));
    }
    if (m_frameBuffer == nullptr) return;
    m_frameBuffer->TakeDamage(m_damage);
    QRegion dirty;
    for (const DamageRect& r : m_damage) dirty += QRect(r.x, r.y, r.width, r.height);
    if (m_window && !dirty.isEmpty()) m_window->View()->FrameChanged(dirty);
    if (m_seamless && !dirty.isEmpty()) m_seamless->FrameChanged(dirty);
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
        ShowTitle();
    });
}

void QtHost::ShowTitle() {
    if (!m_window) return;
    QString title = m_title;
    if (m_window->KeyboardGrabbed()) title += kKeyboardGrabSuffix;
    if (m_reconnecting) title += kReconnectingSuffix;
    m_window->setWindowTitle(title);
}

void QtHost::ShowReconnecting(bool reconnecting) {
    PostToGui([this, reconnecting] {
        m_reconnecting = reconnecting;
        ShowTitle();
    });
}

void QtHost::Bell(int frequencyHz, int) {
    // Frequency 0 is the silent bell that stands in for a frame that could not be decoded.
    if (frequencyHz == 0) return;
    ErrorBeep();
}

void QtHost::ErrorBeep() {
    m_beeps.fetch_add(1, std::memory_order_relaxed);
    PostToGui([] { QApplication::beep(); });
}

template <typename Dialog, typename Make>
std::future<LoginForm> QtHost::AskLogin(Make make) {
    auto answered = std::make_shared<std::promise<LoginForm>>();
    std::future<LoginForm> answer = answered->get_future();
    PostToGui([this, answered, make = std::move(make)]() mutable {
        Dialog* dialog = make();
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        m_loginDialog = dialog;
        connect(dialog, &QDialog::finished, this, [this, dialog, answered] {
            const LoginForm form = dialog->Form();
            // Connect clears the error the refused attempt left on the progress window.
            if (form.confirmed && m_mailbox != nullptr) m_mailbox->Post(kStatusClearError, "");
            answered->set_value(form);
        });
        dialog->open();
        dialog->raise();
        dialog->activateWindow();
    });
    return answer;
}

std::future<LoginForm> QtHost::SessionLoginDialog(LoginForm form) {
    return AskLogin<LoginDialog>([this, settings = std::move(form.settings)] {
        const bool fromConnectionFile = !settings.connectionFilePath.empty();
        return new LoginDialog(settings, CurrentMonitorModel(), ReadHostList(settings, fromConnectionFile),
                               m_loginMemory, m_progress);
    });
}

std::future<LoginForm> QtHost::EnterPasswordDialog(LoginForm form) {
    return AskLogin<PasswordDialog>([this, settings = std::move(form.settings)] {
        return new PasswordDialog(settings, m_loginMemory, m_progress);
    });
}

std::future<LoginForm> QtHost::ProjectIdentificationDialog(LoginForm form) {
    return AskLogin<ProjectIdDialog>([this, settings = std::move(form.settings)] {
        return new ProjectIdDialog(settings, m_progress);
    });
}

std::future<int> QtHost::SessionControlDialog(SessionTable sessions) {
    auto chosen = std::make_shared<std::promise<int>>();
    std::future<int> answer = chosen->get_future();
    OnGui([this, chosen, sessions = std::move(sessions)] { chosen->set_value(RunSessionControlDialog(sessions, m_progress)); });
    return answer;
}

std::future<MonitorModel> QtHost::Monitors() {
    auto model = std::make_shared<std::promise<MonitorModel>>();
    std::future<MonitorModel> answer = model->get_future();
    OnGui([model] { model->set_value(CurrentMonitorModel()); });
    return answer;
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
        if (m_seamless) m_seamless->MinimiseAll();
        if (m_statistics) m_statistics->hide();
    });
}

void QtHost::PauseForUser(int milliseconds) {
    // The windows keep answering: this runs on the session or receive thread, and quitting
    // ends the pause.
    if (QThread::currentThread() == thread()) return;
    std::unique_lock lock(m_quitMutex);
    m_quitSignal.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return m_exitCode.has_value(); });
}

void QtHost::SessionStarted(FrameBuffer& frameBuffer, SessionCommands& commands) {
    m_frameBuffer = &frameBuffer;
    const bool seamless = commands.Facts().seamless;
    if (const std::string note = SeamlessPlatformNote(); seamless && !note.empty()) DebugPrint(1, "%s\n", note.c_str());
    if (const std::string warning = SeamlessPlatformWarning(seamless, QGuiApplication::platformName().toStdString());
        !warning.empty()) {
        PostErrorBox("Seamless windows", warning);
    }
    // One hand-over at a time: damage that arrives before the GUI thread took the region
    // joins it, so a burst of updates never queues more than one event.
    frameBuffer.SetDamageListener([this] {
        m_damageSignals.fetch_add(1, std::memory_order_relaxed);
        m_signalledAt.store(SteadyTicks());
        PostToGui([this] { FlushRepaints(); });
    });
    OnGui([this, &frameBuffer, &commands] {
        // Before the window: losing activation asks for the server's clipboard before the
        // window releases the keys held.
        m_clipboard = new ClipboardBridge(commands, this);
        m_window = new MainWindow(frameBuffer, commands);
        connect(m_window, &MainWindow::KeyboardGrabChanged, this, [this] { ShowTitle(); });
        connect(m_window->View(), &FrameView::rectangleCopied, this, [&commands] { commands.RectangleCopied(); });
        m_seamless = new SeamlessWindows(frameBuffer, commands, this);
        // In seamless mode the pop-ups are the session's view; the main window stays hidden
        // until the user switches to it.
        m_seamless->SetViewShown(commands.Facts().seamless);
        m_window->SetSeamlessViewHandler([this](bool shown) {
            if (m_seamless) m_seamless->SetViewShown(shown);
        });
        ShowTitle();
        m_statistics = new StatisticsWindow(commands);
        if (m_progress) m_progress->SessionShown();
        m_window->ShowForSession();
    });
}

void QtHost::CreatePopup(const SeamlessWindow& window) {
    PostToGui([this, window] {
        if (m_seamless) m_seamless->Create(window);
    });
}

void QtHost::RetakePopup(const SeamlessWindow& window) {
    PostToGui([this, window] {
        if (m_seamless) m_seamless->Retake(window);
    });
}

void QtHost::MovePopup(uint32_t handle, int32_t x, int32_t y, int32_t width, int32_t height, bool freeze) {
    PostToGui([this, handle, frame = ServerRect(x, y, width, height), freeze] {
        if (m_seamless) m_seamless->Move(handle, frame, freeze);
    });
}

void QtHost::ShowPopup(uint32_t handle, PopupShow how) {
    PostToGui([this, handle, how] {
        if (m_seamless) m_seamless->Show(handle, how);
    });
}

void QtHost::DestroyPopup(uint32_t handle) {
    PostToGui([this, handle] {
        if (m_seamless) m_seamless->Destroy(handle);
    });
}

void QtHost::SetRemoteCursor(const CursorImage& image, int reverseCursorColor) {
    PostToGui([this, image, reverseCursorColor] {
        m_remoteCursor = image;
        const QCursor cursor = CursorFromImage(image, reverseCursorColor);
        if (m_window) m_window->View()->viewport()->setCursor(cursor);
        if (m_seamless) m_seamless->SetRemoteCursor(cursor);
    });
}

void QtHost::ShowHotKeyTitle(const std::string& title, bool flash, const std::string& titleAfter) {
    m_title = QString::fromStdString(title);
    ShowTitle();
    // A full-screen view has no title to read: the framed window shows it for a second.
    const bool leaveFullScreen = flash && m_window && m_window->FullScreenShown();
    if (leaveFullScreen) m_window->ToggleFullScreen();
    if (!leaveFullScreen && titleAfter.empty()) return;
    QTimer::singleShot(kTitleFlashMilliseconds, this, [this, leaveFullScreen, after = QString::fromStdString(titleAfter)] {
        if (!after.isEmpty()) {
            m_title = after;
            ShowTitle();
        }
        if (leaveFullScreen && m_window && !m_window->FullScreenShown()) m_window->ToggleFullScreen();
    });
}

void QtHost::OpenExitDialog() {
    // Not inside the key event that asked for it: the dialog runs an event loop of its own.
    QTimer::singleShot(0, this, [this] {
        if (m_window) m_window->OpenExitDialog();
    });
}

void QtHost::OpenFunctionDialog(bool collaborator) {
    QTimer::singleShot(0, this, [this, collaborator] {
        if (m_window) m_window->ShowFunctionDialog(collaborator);
    });
}

void QtHost::ShowStatistics() {
    QTimer::singleShot(0, this, [this] {
        if (m_statistics) m_statistics->ShowStatistics();
    });
}

void QtHost::ToggleKeyboardGrab() {
    if (m_window) m_window->SetKeyboardGrab(!m_window->KeyboardGrabWanted());
}

void QtHost::SetCursorColouring(int reverseCursorColor) {
    if (!m_remoteCursor) return;
    const QCursor cursor = CursorFromImage(*m_remoteCursor, reverseCursorColor);
    if (m_window) m_window->View()->viewport()->setCursor(cursor);
    if (m_seamless) m_seamless->SetRemoteCursor(cursor);
}

void QtHost::MovePointer(int frameX, int frameY) {
    PostToGui([this, frameX, frameY] {
        if (m_seamless && m_seamless->ViewShown()) {
            m_seamless->WarpPointer(frameX, frameY);
        } else if (m_window) {
            m_window->View()->WarpPointer(frameX, frameY);
        }
    });
}

void QtHost::PutServerText(std::string text) {
    PostToGui([this, text = std::move(text)] {
        if (m_clipboard) m_clipboard->PutServerText(text);
    });
}

void QtHost::PutServerMetafile(std::vector<uint8_t> bits) {
    PostToGui([this, bits = std::move(bits)] {
        if (m_clipboard) m_clipboard->PutServerMetafile(bits);
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
        if (m_loginDialog) m_loginDialog->hide();
        if (m_seamless) m_seamless->HideAll();
        // A session thread blocked in a connection attempt must not keep the client alive.
        QTimer::singleShot(kQuitGraceMilliseconds, qApp, [] { QCoreApplication::exit(0); });
    });
}

void QtHost::SessionThreadEnded() {
    if (m_window) {
        DebugPrint(1, "Window: %ld paints for %ld damage signals; longest wait for a repaint %lld ms\n",
                   m_window->View()->Paints(), m_damageSignals.load(),
                   static_cast<long long>(
                       std::chrono::duration_cast<std::chrono::milliseconds>(m_longestWait).count()));
        m_window->AllowClose();
    }
    if (m_seamless) {
        DebugPrint(1, "Pop-ups: %d open, %ld paints\n", m_seamless->Count(), m_seamless->Paints());
    }
    delete m_loginDialog.data();
    delete m_seamless.data();
    delete m_statistics.data();
    delete m_progress.data();
    delete m_window.data();
    delete m_clipboard.data();
}

bool QtHost::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        // The key is for the main window when it goes to one of its widgets; whether the
        // toolkit counts the window active depends on a window manager being there.
        auto* target = qobject_cast<QWidget*>(watched);
        const bool forMainWindow = m_window && target != nullptr &&
                                   (target->window() == m_window || (m_seamless && m_seamless->Owns(target->window())));
        if (event->type() == QEvent::KeyPress && enter && (key->modifiers() & Qt::AltModifier) && forMainWindow) {
            m_swallowAltEnterRelease = true;
            m_window->ToggleFullScreen();
            return true;
        }
        if (event->type() == QEvent::KeyRelease && enter && m_swallowAltEnterRelease) {
            m_swallowAltEnterRelease = false;
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace corvane
