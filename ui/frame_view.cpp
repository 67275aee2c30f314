#include "ui/frame_view.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QCursor>
#include <QKeyEvent>
#include <QWheelEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QScrollBar>
#include <algorithm>
#include <cmath>
#include <mutex>

#include "config/log.h"
#include "ui/window_geometry.h"
#include "ui/frame_painter.h"
#include "ui/key_events.h"

namespace corvane {
namespace {

// Every third pixel of each row dark, the pattern moving one pixel a row.
const QBrush& DimmingBrush() {
    static const QBrush brush = [] {
        QImage tile(3, 3, QImage::Format_ARGB32_Premultiplied);
        tile.fill(Qt::transparent);
        for (int row = 0; row < 3; ++row) tile.setPixel(row, row, qRgb(0, 0, 0));
        return QBrush(tile);
    }();
    return brush;
}

ScrollRequest RequestForAction(Qt::Orientation orientation, int action) {
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub: return ScrollRequest::LineBack;
        case QAbstractSlider::SliderSingleStepAdd: return ScrollRequest::LineForward;
        case QAbstractSlider::SliderPageStepSub: return ScrollRequest::PageBack;
        case QAbstractSlider::SliderPageStepAdd: return ScrollRequest::PageForward;
        // The vertical bar has no ends to jump to; the horizontal one does.
        case QAbstractSlider::SliderToMinimum:
            return orientation == Qt::Horizontal ? ScrollRequest::ToStart : ScrollRequest::Other;
        case QAbstractSlider::SliderToMaximum:
            return orientation == Qt::Horizontal ? ScrollRequest::ToEnd : ScrollRequest::Other;
        default: return ScrollRequest::Other;
    }
}

}  // namespace

FrameView::FrameView(FrameBuffer& frameBuffer, QWidget* parent)
    : QAbstractScrollArea(parent), m_frameBuffer(frameBuffer) {
    setFrameShape(QFrame::NoFrame);
    setFocusPolicy(Qt::StrongFocus);
    // Keys reach the session as keys: dead keys and compose sequences are the session's.
    setAttribute(Qt::WA_InputMethodEnabled, false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAttribute(Qt::WA_NoSystemBackground);
    viewport()->setMouseTracking(true);
    for (QScrollBar* bar : {horizontalScrollBar(), verticalScrollBar()}) {
        // The view moves when the thumb is let go, not while it is dragged.
        bar->setTracking(false);
        bar->setSingleStep(1);
    }
    connect(horizontalScrollBar(), &QAbstractSlider::actionTriggered, this,
            [this](int action) { ScrollAction(Qt::Horizontal, action); });
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
            [this](int action) { ScrollAction(Qt::Vertical, action); });
    UpdateScrollBars();
}

void FrameView::SetViewScale(ViewScale scale) {
    m_scale = scale;
    UpdateScrollBars();
    viewport()->update();
}

QSize FrameView::ContentSize() const {
    const QSize session = SessionSize();
    return {static_cast<int>(std::ceil(session.width() * m_factor)),
            static_cast<int>(std::ceil(session.height() * m_factor))};
}

QSize FrameView::NaturalSize() const {
    if (m_scale != ViewScale::FitWindow) return ContentSize();
    const double factor = LogicalPerRemotePixel(ViewScale::ActualPixels, devicePixelRatioF(), SessionSize(), {});
    const QSize session = SessionSize();
    return {static_cast<int>(std::ceil(session.width() * factor)), static_cast<int>(std::ceil(session.height() * factor))};
}

QPoint FrameView::FramePlace(QPointF client) const {
    const QPointF place = (client + QPointF(ScrollPosition())) / m_factor;
    return {static_cast<int>(std::floor(place.x())), static_cast<int>(std::floor(place.y()))};
}

QPoint FrameView::FrameScroll() const { return FramePlace(QPointF(0, 0)); }

QRect FrameView::ViewToFrame(const QRect& view) const {
    if (m_factor == 1.0) return view.translated(ScrollPosition());
    const QPoint scroll = ScrollPosition();
    const auto down = [this](int v, int s) { return static_cast<int>(std::floor((v + s) / m_factor)); };
    const auto up = [this](int v, int s) { return static_cast<int>(std::ceil((v + s) / m_factor)); };
    return QRect(QPoint(down(view.left(), scroll.x()), down(view.top(), scroll.y())),
                 QPoint(up(view.right() + 1, scroll.x()) - 1, up(view.bottom() + 1, scroll.y()) - 1));
}

QRect FrameView::FrameToView(const QRect& frame) const {
    if (m_factor == 1.0) return frame.translated(-ScrollPosition());
    const QPoint scroll = ScrollPosition();
    const auto down = [this](int v, int s) { return static_cast<int>(std::floor(v * m_factor - s)); };
    const auto up = [this](int v, int s) { return static_cast<int>(std::ceil(v * m_factor - s)); };
    return QRect(QPoint(down(frame.left(), scroll.x()), down(frame.top(), scroll.y())),
                 QPoint(up(frame.right() + 1, scroll.x()) - 1, up(frame.bottom() + 1, scroll.y()) - 1));
}

QSize FrameView::SessionSize() const {
    const FrameGeometry geometry = m_frameBuffer.Geometry();
    return {geometry.width, geometry.sessionHeight};
}

void FrameView::SetDimmed(bool dimmed) {
    m_dimmed = dimmed;
    viewport()->update();
}

QPoint FrameView::ScrollPosition() const {
    return {horizontalScrollBar()->value(), verticalScrollBar()->value()};
}

void FrameView::FrameChanged(const QRegion& frameRegion) {
    if (m_factor == 1.0) {
        viewport()->update(frameRegion.translated(-ScrollPosition()));
        return;
    }
    QRegion view;
    for (const QRect& r : frameRegion) view += FrameToView(r);
    viewport()->update(view);
}

void FrameView::FrameResized() {
    UpdateScrollBars();
    viewport()->update();
}

void FrameView::SetFullScreenShown(bool fullScreen) {
    m_fullScreen = fullScreen;
    const Qt::ScrollBarPolicy policy = fullScreen ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded;
    setHorizontalScrollBarPolicy(policy);
    setVerticalScrollBarPolicy(policy);
    if (fullScreen) {
        horizontalScrollBar()->setValue(0);
        verticalScrollBar()->setValue(0);
    }
    UpdateScrollBars();
    viewport()->update();
}

void FrameView::UpdateScrollBars() {
    // Scaled to the window the whole session fits the view, so the scale comes from the view
    // without bars.
    m_factor = LogicalPerRemotePixel(m_scale, devicePixelRatioF(), SessionSize(), maximumViewportSize());
    const QSize session = ContentSize();
    // Decide the bars from the whole view, not from a viewport that bars shown before have
    // narrowed: a view as large as the session needs none. A bar on one axis takes room
    // from the other, which may then need its own.
    const QSize whole = maximumViewportSize();
    bool horizontal = !m_fullScreen && session.width() > whole.width();
    bool vertical = !m_fullScreen && session.height() > whole.height();
    const int barHeight = horizontalScrollBar()->sizeHint().height();
    const int barWidth = verticalScrollBar()->sizeHint().width();
    if (!m_fullScreen) {
        if (horizontal && !vertical) vertical = session.height() > whole.height() - barHeight;
        if (vertical && !horizontal) horizontal = session.width() > whole.width() - barWidth;
    }
    const QSize page(whole.width() - (vertical ? barWidth : 0), whole.height() - (horizontal ? barHeight : 0));
    QScrollBar* h = horizontalScrollBar();
    QScrollBar* v = verticalScrollBar();
    h->setPageStep(page.width());
    v->setPageStep(page.height());
    h->setRange(0, std::max(0, session.width() - page.width()));
    v->setRange(0, std::max(0, session.height() - page.height()));
    DebugPrint(56, "CASE WM_SIZE %d  %d\n", page.width(), page.height());
}

void FrameView::ScrollAction(Qt::Orientation orientation, int action) {
    QScrollBar* bar = orientation == Qt::Horizontal ? horizontalScrollBar() : verticalScrollBar();
    const ScrollRequest request = RequestForAction(orientation, action);
    if (request == ScrollRequest::Other) {
        // Dragging the thumb moves the view on release; other actions stay put.
        if (action != QAbstractSlider::SliderMove) bar->setSliderPosition(bar->value());
        return;
    }
    const int extent = orientation == Qt::Horizontal ? ContentSize().width() : ContentSize().height();
    bar->setSliderPosition(NextScrollPosition(request, bar->value(), bar->pageStep(), extent, 0));
}

void FrameView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
}

void FrameView::scrollContentsBy(int, int) { viewport()->update(); }

void FrameView::paintEvent(QPaintEvent* event) {
    m_paints.fetch_add(1, std::memory_order_relaxed);
    QPainter painter(viewport());
    const QPoint scroll = ScrollPosition();
    const QRegion& region = event->region();
    if (m_factor == 1.0) {
        if (m_recordPainted) m_painted += region.translated(scroll);
        m_painter.Paint(painter, m_frameBuffer, region.translated(scroll), -scroll);
    } else {
        QRegion frameRegion;
        for (const QRect& r : region) frameRegion += ViewToFrame(r);
        if (m_recordPainted) m_painted += frameRegion;
        painter.save();
        painter.translate(-scroll);
        painter.scale(m_factor, m_factor);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, m_scale == ViewScale::FitWindow);
        m_painter.Paint(painter, m_frameBuffer, frameRegion, QPoint(0, 0));
        painter.restore();
    }
    if (m_dimmed) {
        // The session is on hold: every third pixel dark, over what the server draws meanwhile.
        for (const QRect& r : region) painter.fillRect(r, DimmingBrush());
    }
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (m_copyDragging) {
        painter.setPen(QPen(Qt::black, 1));
        painter.drawRect(QRect(m_anchor, m_current).normalized());
    }
    if (m_debugDrawingRect) {
        painter.setPen(QPen(QColor(255, 0, 255), 3, Qt::DashLine));
        for (const QRect& r : region) painter.drawRect(r.adjusted(1, 1, -2, -2));
    }
}

bool FrameView::event(QEvent* event) {
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    return QAbstractScrollArea::event(event);
}

void FrameView::keyPressEvent(QKeyEvent* event) { ForwardKey(*event); }

void FrameView::keyReleaseEvent(QKeyEvent* event) { ForwardKey(*event); }

void FrameView::ForwardKey(QKeyEvent& event) {
    if (const std::optional<KeyInput> input = KeyInputFromEvent(event); input && m_keyHandler) m_keyHandler(*input);
    event.accept();
}

void FrameView::StartRectangleCopy() {
    if (!m_copyActive) RememberCursor();
    m_copyActive = true;
    m_copyDragging = false;
    SetCopyCursor();
}

void FrameView::RememberCursor() {
    m_cursorAfterCopy.reset();
    if (viewport()->testAttribute(Qt::WA_SetCursor)) m_cursorAfterCopy = viewport()->cursor();
}

void FrameView::SetCopyCursor() {
    m_settingCopyCursor = true;
    viewport()->setCursor(Qt::CrossCursor);
    m_settingCopyCursor = false;
}

void FrameView::RestoreCursor() {
    if (m_cursorAfterCopy) {
        viewport()->setCursor(*m_cursorAfterCopy);
    } else {
        viewport()->unsetCursor();
    }
    m_cursorAfterCopy.reset();
}

bool FrameView::viewportEvent(QEvent* event) {
    // The server's shape set on the viewport during a copy is the one to show afterwards;
    // until then the cross stays.
    if (event->type() == QEvent::CursorChange && m_copyActive && !m_settingCopyCursor) {
        RememberCursor();
        SetCopyCursor();
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void FrameView::mousePressEvent(QMouseEvent* event) {
    if (m_copyActive && event->button() == Qt::LeftButton) {
        m_anchor = m_current = event->position().toPoint();
        m_copyDragging = true;
        return;
    }
    if (!m_copyActive) SendPointer(PointerKind::Press, *event);
}

void FrameView::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second click of a double click is a click like the first.
    mousePressEvent(event);
}

void FrameView::mouseMoveEvent(QMouseEvent* event) {
    if (m_copyActive && m_copyDragging) {
        const QRect before = QRect(m_anchor, m_current).normalized().adjusted(-1, -1, 1, 1);
        m_current = event->position().toPoint();
        viewport()->update(before.united(QRect(m_anchor, m_current).normalized().adjusted(-1, -1, 1, 1)));
        return;
    }
    if (!m_copyActive) SendPointer(PointerKind::Move, *event);
}

void FrameView::mouseReleaseEvent(QMouseEvent* event) {
    if (m_copyActive && m_copyDragging && event->button() == Qt::LeftButton) {
        m_current = event->position().toPoint();
        m_copyActive = false;
        m_copyDragging = false;
        RestoreCursor();
        // The band itself is not part of the picture: it starts one pixel inside.
        const QRect band = QRect(m_anchor, m_current).normalized();
        CopyRectangle(QRect(band.topLeft() + QPoint(1, 1), band.bottomRight()));
        viewport()->update();
        return;
    }
    if (!m_copyActive) SendPointer(PointerKind::Release, *event);
}

void FrameView::wheelEvent(QWheelEvent* event) {
    event->accept();
    if (m_copyActive || !m_pointerHandler) return;
    PointerInput input;
    input.kind = PointerKind::Wheel;
    input.wheelDelta = event->angleDelta().y();
    FillPlaces(input, event->position(), event->globalPosition().toPoint());
    m_pointerHandler(input);
}

void FrameView::SendPointer(PointerKind kind, const QMouseEvent& event) {
    if (!m_pointerHandler) return;
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
    FillPlaces(input, event.position(), event.globalPosition().toPoint());
    m_pointerHandler(input);
}

void FrameView::FillPlaces(PointerInput& input, QPointF client, QPoint screen) const {
    // In frame-buffer pixels: the place under the pointer less the scroll position.
    const QPoint scroll = FrameScroll();
    const QPoint place = FramePlace(client);
    input.clientX = place.x() - scroll.x();
    input.clientY = place.y() - scroll.y();
    input.screenX = screen.x();
    input.screenY = screen.y();
    input.scrollX = scroll.x();
    input.scrollY = scroll.y();
}

void FrameView::WarpPointer(int frameX, int frameY) {
    // The pointer moves in logical pixels; the echo to ignore is at the frame-buffer pixel
    // that place shows, which at some scales is a neighbour of the one asked for.
    const QPoint view(static_cast<int>(std::floor((frameX + 0.5) * m_factor)) - ScrollPosition().x(),
                      static_cast<int>(std::floor((frameY + 0.5) * m_factor)) - ScrollPosition().y());
    QCursor::setPos(viewport()->mapToGlobal(view));
    const QPoint place = FramePlace(QPointF(view)) - FrameScroll();
    if (m_warpHandler) m_warpHandler(place.x(), place.y());
}

void FrameView::CopyRectangle(QRect area) {
    const QRect source = ViewToFrame(area).intersected(QRect(QPoint(0, 0), SessionSize()));
    if (source.isEmpty()) return;
    QImage part(source.size(), QImage::Format_RGB32);
    {
        QPainter painter(&part);
        m_painter.Paint(painter, m_frameBuffer, QRegion(source), -source.topLeft());
    }
    QGuiApplication::clipboard()->setImage(part);
    m_rectCopied = true;
    emit rectangleCopied();
}

}  // namespace corvane
