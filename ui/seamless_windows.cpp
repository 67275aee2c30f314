#include "ui/seamless_windows.h"

#include <QGuiApplication>
#include <QWindow>
#include <algorithm>

#include "config/log.h"
#include "ui/popup_window.h"

namespace corvane {

SeamlessWindows::SeamlessWindows(FrameBuffer& frameBuffer, SessionCommands& commands, QObject* parent)
    : QObject(parent), m_frameBuffer(frameBuffer), m_commands(commands), m_facts(commands.Facts()) {
    m_clientActive = QGuiApplication::applicationState() == Qt::ApplicationActive;
    // The toolkit counts all of a program's windows as one: focus moving from one pop-up to
    // another, or to the main window, leaves the application active.
    connect(qApp, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
        const bool active = state == Qt::ApplicationActive;
        if (active == m_clientActive) return;
        m_clientActive = active;
        emit clientActivationChanged(active);
    });
    connect(qApp, &QGuiApplication::focusWindowChanged, this, [this](QWindow* focus) {
        bool ours = false;
        for (const auto& [handle, popup] : m_popups) ours = ours || popup->windowHandle() == focus;
        if (!ours) m_popupsTogether = false;
    });
}

SeamlessWindows::~SeamlessWindows() {
    for (auto& [handle, popup] : m_popups) {
        popup->AllowClose();
        delete popup;
    }
}

void SeamlessWindows::Create(const SeamlessWindow& window) {
    if (m_popups.count(window.handle) != 0) return;
    auto* popup = new PopupWindow(window, *this, m_commands);
    if (m_cursor) popup->setCursor(*m_cursor);
    m_popups[window.handle] = popup;
    m_activation.push_back(window.handle);
    if (m_viewShown) popup->ShowInView(true);
}

void SeamlessWindows::Retake(const SeamlessWindow& window) {
    if (PopupWindow* popup = Popup(window.handle)) popup->Retake(window);
}

void SeamlessWindows::Move(uint32_t handle, QRect frame, bool freeze) {
    if (PopupWindow* popup = Popup(handle)) popup->MoveTo(frame, freeze);
}

void SeamlessWindows::Show(uint32_t handle, PopupShow how) {
    if (PopupWindow* popup = Popup(handle)) popup->ShowAs(how);
}

void SeamlessWindows::Destroy(uint32_t handle) {
    const auto found = m_popups.find(handle);
    if (found == m_popups.end()) return;
    PopupWindow* popup = found->second;
    m_popups.erase(found);
    std::erase(m_activation, handle);
    // Never called from the pop-up's own events (the request is posted), so it can go at once.
    delete popup;
}

void SeamlessWindows::FrameChanged(const QRegion& frameRegion) {
    for (auto& [handle, popup] : m_popups) popup->FrameChanged(frameRegion);
}

void SeamlessWindows::SetViewShown(bool shown) {
    m_viewShown = shown;
    for (uint32_t handle : m_activation) m_popups.at(handle)->ShowInView(shown);
}

void SeamlessWindows::MinimiseAll() {
    for (auto& [handle, popup] : m_popups) popup->ShowAs(PopupShow::Minimise);
}

void SeamlessWindows::HideAll() {
    for (auto& [handle, popup] : m_popups) popup->hide();
}

void SeamlessWindows::SetRemoteCursor(const QCursor& cursor) {
    m_cursor = cursor;
    for (auto& [handle, popup] : m_popups) popup->setCursor(cursor);
}

void SeamlessWindows::WarpPointer(int x, int y) {
    QCursor::setPos(x, y);
    m_commands.PointerWarped(x, y);
}

void SeamlessWindows::Activated(PopupWindow& active) {
    // The others come up in the order they were last used, then the active one over them:
    // the client's pop-ups stay together, directly behind the one the user works in.
    std::erase(m_activation, active.Handle());
    m_activation.push_back(active.Handle());
    if (!m_popupsTogether) {
        for (uint32_t handle : m_activation) {
            PopupWindow* popup = m_popups.at(handle);
            if (popup != &active && popup->isVisible() && !popup->isMinimized()) popup->raise();
        }
        m_popupsTogether = true;
    }
    active.raise();
}

PopupWindow* SeamlessWindows::Popup(uint32_t handle) const {
    const auto found = m_popups.find(handle);
    return found == m_popups.end() ? nullptr : found->second;
}

PopupWindow* SeamlessWindows::PopupById(uint32_t id) const {
    for (const auto& [handle, popup] : m_popups) {
        if (popup->Id() == id) return popup;
    }
    return nullptr;
}

bool SeamlessWindows::Owns(const QWidget* window) const {
    for (const auto& [handle, popup] : m_popups) {
        if (popup == window) return true;
    }
    return false;
}

long SeamlessWindows::Paints() const {
    long paints = 0;
    for (const auto& [handle, popup] : m_popups) paints += popup->Paints();
    return paints;
}

}  // namespace corvane
