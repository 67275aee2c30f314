// The one routine that puts frame-buffer pixels on a surface: the main view, Copy Rectangle
// and the seamless pop-ups all paint through it.
//
// User-interface thread. It takes the frame-buffer lock for the time of the drawing only,
// wraps the buffer in a QImage as it stands (Indexed8 with the colour table, RGB555, RGB32;
// no conversion, no copy) and flips a bottom-up buffer. Nothing else in the user interface
// touches the pixel memory.
#pragma once

#include <QList>
#include <QPoint>
#include <QRect>
#include <QRegion>
#include <QRgb>

#include "display/frame_buffer.h"

class QPainter;

namespace corvane {

class FramePainter {
public:
    // Draws the parts of `source` (screen coordinates) that lie on the session at their place
    // moved by `offset`; the parts of `source` beyond the session, or everything when there
    // is no buffer, are painted black.
    void Paint(QPainter& painter, const FrameBuffer& frameBuffer, const QRegion& source, QPoint offset);

private:
    QList<QRgb> m_colourTable;  // reused by every paint of a depth-8 session
};

}  // namespace corvane
