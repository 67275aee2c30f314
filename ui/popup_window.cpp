#include "ui/popup_window.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QWheelEvent>
#include <QWindowStateChangeEvent>
#include <algorithm>

#include "config/log.h"
#include "ui/key_events.h"
#include "ui/seamless_windows.h"
#include "ui/seamless_x11.h"

namespace corvane {
namespace {

// How long after the user lets go of a button the window is painted once more: the server
// has then had time to draw what the drag left behind.
constexpr int kRepaintAfterDragMilliseconds = 1200;
// What a window may measure on the screen; the server's numbers are not trusted further.
constexpr int kLargestSide = 32767;
constexpr int kTitleLength = 255;
// How long after the server's show or minimise a restore is taken for the window manager's
// late report of it rather than the user's.
constexpr int kServerShowEchoMilliseconds = 1000;

QSize WindowSize(const QRect& frame) {
    return {std::clamp(frame.width(), 1, kLargestSide), std::clamp(frame.height(), 1, kLargestSide)};
}

constexpr int kFarthestPlace = 1'000'000;

}  // namespace

QRect ServerRect(int32_t x, int32_t y, int32_t width, int32_t height) {
    return {std::clamp(x, -kFarthestPlace, kFarthestPlace), std::clamp(y, -kFarthestPlace, kFarthestPlace),
            std::clamp(width, 0, kLargestSide), std::clamp(height, 0, kLargestSide)};
}

PopupWindow::PopupWindow(const SeamlessWindow& window, SeamlessWindows& owner, SessionCommands& commands)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint),
      m_owner(owner),
      m_commands(commands),
      m_handle(window.handle),
      m_id(window.id),
      m_linkedId(window.linkedId),
      m_frame(ServerRect(window.x, window.y, window.width, window.height)) {
    DebugPrint(58, "Started new window thread %d\n", static_cast<int>(m_handle));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setObjectName(QString("popup%1").arg(m_handle));
    m_afterDrag.setSingleShot(true);
    m_afterDrag.setInterval(kRepaintAfterDragMilliseconds);
    connect(&m_afterDrag, &QTimer::timeout, this, [this] { update(); });
    ApplyTitle(window.title);
    Place();
    // Only a window that stands for an application of its own gets a task-bar entry.
    SetSkipTaskbar(*this, m_linkedId == 0);
    DebugPrint(58, "Created Window size %dx%d @ %d,%d (show: %d)\n", width(), height(), x(), y(),
               m_owner.ViewShown() ? 1 : 0);
}

void PopupWindow::ApplyTitle(const std::string& title) {
    setWindowTitle(QString("%1 %2 %3")
                       .arg(QString::fromStdString(m_owner.ServerLabel()), QString::fromStdString(title), "Corvane")
                       .left(kTitleLength));
}

void PopupWindow::Place() {
    QPoint at = m_frame.topLeft();
    const QSize size = WindowSize(m_frame);
    // The server leaves the place to the client: the middle of the primary screen.
    if (m_frame.x() == kCentredPosition || m_frame.y() == kCentredPosition) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        const QRect area = screen != nullptr ? screen->geometry() : QRect(0, 0, size.width(), size.height());
        at = QPoint(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
    }
    setGeometry(QRect(at, size));
}

void PopupWindow::Retake(const SeamlessWindow& window) {
    m_id = window.id;
    if (window.linkedId != m_linkedId) SetSkipTaskbar(*this, window.linkedId == 0);
    m_linkedId = window.linkedId;
    MoveTo(ServerRect(window.x, window.y, window.width, window.height), false);
}

void PopupWindow::MoveTo(QRect frame, bool freeze) {
    // A freeze that arrives after the button came up is from a drag already over.
    if (freeze && m_buttonHeld) m_frozen = true;
    const bool resized = frame.size() != m_frame.size();
    m_frame = frame;
    Place();
    if (!m_frozen || resized) update();
}

void PopupWindow::ShowInView(bool viewShown) {
    if (!viewShown) {
        hide();
        return;
    }
    if (!isVisible()) SetSkipTaskbar(*this, m_linkedId == 0);
    show();
    update();
}

void PopupWindow::ShowAs(PopupShow how) {
    if (!m_owner.ViewShown()) return;  // the main window shows the session meanwhile
    // Without a window manager nobody keeps a minimised window: it is taken off the screen.
    const bool managed = WindowManagerRunning();
    m_sinceServerShow.start();
    switch (how) {
        case PopupShow::Restore:
        case PopupShow::Normal:
            if (isMinimized()) m_serverRestore = true;
            if (!isVisible()) SetSkipTaskbar(*this, m_linkedId == 0);
            showNormal();
            if (how == PopupShow::Restore) {
                raise();
                if (managed) activateWindow();
            }
            break;
        case PopupShow::Minimise:
            if (managed) {
                showMinimized();
            } else {
                hide();
            }
            break;
    }
}

void PopupWindow::FrameChanged(const QRegion& frameRegion) {
    if (m_frozen || !isVisible()) return;
    if (!frameRegion.boundingRect().intersects(m_frame)) return;
    const QRegion part = frameRegion.intersected(m_frame);
    if (!part.isEmpty()) update(part.translated(-m_frame.topLeft()));
}

void PopupWindow::paintEvent(QPaintEvent* event) {
    DebugPrint(58, "Processing WM_PAINT for %p\n", static_cast<const void*>(this));
    // While the user drags the window on the server it keeps the picture it has.
    if (m_frozen) return;
    ++m_paints;
    DebugPrint(58, "hWnd %p  PAINTING: %d x %d  @  %d, %d, %ld\n", static_cast<const void*>(this), m_frame.width(),
               m_frame.height(), m_frame.x(), m_frame.y(), m_paints);
    QPainter painter(this);
    m_owner.Painter().Paint(painter, m_owner.Frame(), event->region().translated(m_frame.topLeft()),
                            -m_frame.topLeft());
    if (m_owner.DebugDrawingRect()) {
        const int right = width() - 1;
        const int bottom = height() - 1;
        painter.setPen(QColor(255, 0, 255));
        painter.drawLine(0, 0, right, bottom);
        painter.drawLine(right, bottom, right, 0);
        painter.drawLine(right, 0, 0, bottom);
        painter.drawLine(0, bottom, 0, 0);
    }
}

void PopupWindow::closeEvent(QCloseEvent* event) {
    if (m_closeAllowed) {
        event->accept();
        return;
    }
    // The window goes when the server destroys it; one that links to nothing cannot be closed.
    event->ignore();
    if (m_linkedId != 0) m_commands.SeamlessCloseRequested(m_handle);
}

void PopupWindow::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
        m_owner.Activated(*this);
    } else if (event->type() == QEvent::WindowStateChange) {
        const auto* change = static_cast<QWindowStateChangeEvent*>(event);
        if ((change->oldState() & Qt::WindowMinimized) && !(windowState() & Qt::WindowMinimized)) {
            // The user brought it back (from the task bar): the server maps it again.
            const bool echo = m_sinceServerShow.isValid() && m_sinceServerShow.elapsed() < kServerShowEchoMilliseconds;
            if (!std::exchange(m_serverRestore, false) && !echo) m_commands.SeamlessRestored(m_handle);
            update();
        }
    }
    QWidget::changeEvent(event);
}

bool PopupWindow::event(QEvent* event) {
    // Every key goes to the session: no shortcut takes it first.
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

void PopupWindow::keyPressEvent(QKeyEvent* event) {
    if (const std::optional<KeyInput> input = KeyInputFromEvent(*event)) m_commands.KeyEvent(*input);
    event->accept();
}

void PopupWindow::keyReleaseEvent(QKeyEvent* event) {
    if (const std::optional<KeyInput> input = KeyInputFromEvent(*event)) m_commands.KeyEvent(*input);
    event->accept();
}

void PopupWindow::SendPointer(PointerKind kind, const QMouseEvent& event) {
    PointerInput input;
    input.kind = kind;
    switch (event.button()) {
        case Qt::LeftButton: input.button = 1; break;
        case Qt::MiddleButton: input.button = 2; break;
        case Qt::RightButton: input.button = 3; break;
        default:
            if (kind != PointerKind::Move) return;  // buttons the server has no number for
            break;
    }
    const QPoint client = event.position().toPoint();
    const QPoint screen = event.globalPosition().toPoint();
    input.clientX = client.x();
    input.clientY = client.y();
    input.screenX = screen.x();
    input.screenY = screen.y();
    input.frameIsScreen = true;
    m_commands.PointerEvent(input);
}

void PopupWindow::mousePressEvent(QMouseEvent* event) {
    if (!m_buttonHeld) {
        m_buttonHeld = true;
        m_commands.SeamlessButtonHeld(m_handle, true);
    }
    SendPointer(PointerKind::Press, *event);
}

void PopupWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second click of a double click is a click like the first.
    mousePressEvent(event);
}

void PopupWindow::mouseReleaseEvent(QMouseEvent* event) {
    SendPointer(PointerKind::Release, *event);
    if (event->buttons() == Qt::NoButton) ButtonsReleased();
}

void PopupWindow::ButtonsReleased() {
    if (!m_buttonHeld) return;
    m_buttonHeld = false;
    m_commands.SeamlessButtonHeld(m_handle, false);
    if (m_frozen) {
        m_frozen = false;
        update();
    }
    m_afterDrag.start();
}

void PopupWindow::mouseMoveEvent(QMouseEvent* event) { SendPointer(PointerKind::Move, *event); }

void PopupWindow::wheelEvent(QWheelEvent* event) {
    event->accept();
    PointerInput input;
    input.kind = PointerKind::Wheel;
    input.wheelDelta = event->angleDelta().y();
    const QPoint client = event->position().toPoint();
    const QPoint screen = event->globalPosition().toPoint();
    input.clientX = client.x();
    input.clientY = client.y();
    input.screenX = screen.x();
    input.screenY = screen.y();
    input.frameIsScreen = true;
    m_commands.PointerEvent(input);
}

}  // namespace corvane
