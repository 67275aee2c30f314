#include "ui/frame_painter.h"

#include <QImage>
#include <QPainter>
#include <QTransform>
#include <mutex>

namespace corvane {

namespace {

QImage::Format FormatForBytesPerPixel(int bytesPerPixel) {
    switch (bytesPerPixel) {
        case 1: return QImage::Format_Indexed8;
        case 2: return QImage::Format_RGB555;
        default: return QImage::Format_RGB32;
    }
}

}  // namespace

void FramePainter::Paint(QPainter& painter, const FrameBuffer& frameBuffer, const QRegion& source, QPoint offset) {
    const QPainter::CompositionMode mode = painter.compositionMode();
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    QRegion outside = source;
    {
        std::lock_guard lock(frameBuffer.Mutex());
        if (frameBuffer.Valid()) {
            const int height = frameBuffer.Height();
            // Wrapped as writable memory only so that setting the colour table does not copy
            // the pixels (an image over read-only memory detaches); nothing writes them.
            QImage image(const_cast<uchar*>(frameBuffer.Pixels()), frameBuffer.Width(), height,
                         static_cast<qsizetype>(frameBuffer.Stride()), FormatForBytesPerPixel(frameBuffer.BytesPerPixel()));
            if (image.format() == QImage::Format_Indexed8) {
                m_colourTable.resize(256);
                const auto& entries = frameBuffer.ColourEntries();
                for (int i = 0; i < 256; ++i) m_colourTable[i] = 0xFF000000u | entries[i];
                image.setColorTable(m_colourTable);
            }
            const QImage* shown = &image;
            const QRect session(0, 0, frameBuffer.Width(), frameBuffer.SessionHeight());
            for (const QRect& part : source) {
                const QRect r = part.intersected(session);
                if (r.isEmpty()) continue;
                if (frameBuffer.TopDown()) {
                    painter.drawImage(r.topLeft() + offset, *shown, r);
                } else {
                    // Row k of a bottom-up buffer holds screen line height - 1 - k.
                    const QRect rows(r.x(), height - r.y() - r.height(), r.width(), r.height());
                    painter.save();
                    painter.setTransform(QTransform(1, 0, 0, -1, offset.x(), height + offset.y()), true);
                    painter.drawImage(rows.topLeft(), *shown, rows);
                    painter.restore();
                }
            }
            outside = source.subtracted(session);
        }
    }
    // Whatever lies beyond the session (a full-screen area larger than it) is black.
    for (const QRect& r : outside) painter.fillRect(r.translated(offset), Qt::black);
    painter.setCompositionMode(mode);
}

}  // namespace corvane
