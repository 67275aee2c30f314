// The view of the frame buffer inside the main window: paints the invalid area straight from
// the buffer, scrolls when the window is smaller than the session, and runs the rubber band
// of "Copy Rectangle...".
#pragma once

#include <QAbstractScrollArea>
#include <QCursor>
#include <QList>
#include <QPoint>
#include <QRegion>
#include <QRgb>
#include <atomic>
#include <functional>
#include <optional>

#include "display/frame_buffer.h"
#include "input/keyboard_translator.h"
#include "input/pointer_translator.h"
#include "ui/frame_painter.h"
#include "ui/view_scale.h"

namespace corvane {

class FrameView : public QAbstractScrollArea {
    Q_OBJECT

public:
    FrameView(FrameBuffer& frameBuffer, QWidget* parent = nullptr);

    // These frame-buffer areas changed: repaint what of them is in view.
    void FrameChanged(const QRegion& frameRegion);
    // The geometry of the frame buffer changed (a new work bitmap).
    void FrameResized();

    // While dimmed (the exit dialog is open) the picture is painted with every third pixel
    // dark; the frame buffer itself is never written.
    void SetDimmed(bool dimmed);
    [[nodiscard]] bool Dimmed() const { return m_dimmed; }

    // Where the keys of the session go (the window's session commands).
    void SetKeyHandler(std::function<void(const KeyInput&)> handler) { m_keyHandler = std::move(handler); }
    // Where the pointer events go, and where a server-made move is reported.
    void SetPointerHandlers(std::function<void(const PointerInput&)> pointer, std::function<void(int, int)> warped) {
        m_pointerHandler = std::move(pointer);
        m_warpHandler = std::move(warped);
    }
    // The server moves the pointer to this frame-buffer place.
    void WarpPointer(int frameX, int frameY);

    // Full screen shows no scroll bars and starts at the top-left corner.
    void SetFullScreenShown(bool fullScreen);

    // Outline every painted area (the site's DebugDrawingRect).
    void SetDebugDrawingRect(bool on) { m_debugDrawingRect = on; }

    // "Copy Rectangle...": the next drag of the left button marks an area that goes to the
    // clipboard as a picture; pointer events meanwhile stay local. The viewport shows a cross
    // until the drag ends, then the server's cursor again (the latest one, should the server
    // have changed its shape meanwhile).
    void StartRectangleCopy();
    [[nodiscard]] bool CopyActive() const { return m_copyActive; }
    // Set once a rectangle went to the clipboard.
    [[nodiscard]] bool RectangleCopied() const { return m_rectCopied; }

    // How the picture is scaled (ActualPixels: one remote pixel per device pixel).
    void SetViewScale(ViewScale scale);
    [[nodiscard]] ViewScale Scale() const { return m_scale; }
    // The session's size in the view's own (logical) pixels at the scale; what the window
    // needs to show all of it.
    [[nodiscard]] QSize ContentSize() const;
    // The size the window wants for the view: the content at the scale, or when scaled to
    // the window, the content at one remote pixel per device pixel.
    [[nodiscard]] QSize NaturalSize() const;

    [[nodiscard]] QSize SessionSize() const;
    [[nodiscard]] QPoint ScrollPosition() const;
    [[nodiscard]] long Paints() const { return m_paints.load(std::memory_order_relaxed); }
    // For tests: from now on, keep the union of the frame-buffer areas painted.
    void RecordPaintedArea(bool on) { m_recordPainted = on; }
    [[nodiscard]] const QRegion& PaintedArea() const { return m_painted; }

signals:
    void rectangleCopied();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    // Every key goes to the session: no shortcut or menu mnemonic takes it first, and Tab
    // does not move the focus.
    bool event(QEvent* event) override;
    bool focusNextPrevChild(bool) override { return false; }

private:
    void UpdateScrollBars();
    void ScrollAction(Qt::Orientation orientation, int action);
    void CopyRectangle(QRect area);
    void SendPointer(PointerKind kind, const QMouseEvent& event);
    void ForwardKey(QKeyEvent& event);
    void FillPlaces(PointerInput& input, QPointF client, QPoint screen) const;
    // A place of the viewport as the frame-buffer pixel under it, and the scroll position in
    // frame-buffer pixels.
    [[nodiscard]] QPoint FramePlace(QPointF client) const;
    [[nodiscard]] QPoint FrameScroll() const;
    // The frame-buffer pixels under an area of the viewport, and the viewport pixels that
    // show an area of the frame buffer (both rounded outwards).
    [[nodiscard]] QRect ViewToFrame(const QRect& view) const;
    [[nodiscard]] QRect FrameToView(const QRect& frame) const;
    void RememberCursor();
    void SetCopyCursor();
    void RestoreCursor();

    FrameBuffer& m_frameBuffer;
    FramePainter m_painter;
    ViewScale m_scale = ViewScale::ActualPixels;
    double m_factor = 1.0;  // logical pixels per frame-buffer pixel; set with the scroll bars
    std::function<void(const KeyInput&)> m_keyHandler;
    std::function<void(const PointerInput&)> m_pointerHandler;
    std::function<void(int, int)> m_warpHandler;
    bool m_fullScreen = false;
    bool m_dimmed = false;
    bool m_debugDrawingRect = false;
    bool m_copyActive = false;
    bool m_copyDragging = false;
    bool m_rectCopied = false;
    QPoint m_anchor;
    QPoint m_current;
    // The cursor the viewport had before the copy started; none when it had no cursor of its own.
    std::optional<QCursor> m_cursorAfterCopy;
    bool m_settingCopyCursor = false;
    std::atomic<long> m_paints{0};
    bool m_recordPainted = false;
    QRegion m_painted;  // frame-buffer coordinates
};

}  // namespace corvane
