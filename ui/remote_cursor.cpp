#include "ui/remote_cursor.h"

#include <QImage>
#include <QPixmap>

namespace corvane {

Qt::CursorShape ShapeForStandardCursor(StandardCursor cursor) {
    switch (cursor) {
        case StandardCursor::Arrow: return Qt::ArrowCursor;
        case StandardCursor::IBeam: return Qt::IBeamCursor;
        case StandardCursor::Wait: return Qt::WaitCursor;
        case StandardCursor::Cross: return Qt::CrossCursor;
        case StandardCursor::UpArrow: return Qt::UpArrowCursor;
        case StandardCursor::SizeAll: return Qt::SizeAllCursor;
        case StandardCursor::SizeNwse: return Qt::SizeFDiagCursor;
        case StandardCursor::SizeNesw: return Qt::SizeBDiagCursor;
        case StandardCursor::SizeWe: return Qt::SizeHorCursor;
        case StandardCursor::SizeNs: return Qt::SizeVerCursor;
        case StandardCursor::Forbidden: return Qt::ForbiddenCursor;
        case StandardCursor::Hand: return Qt::PointingHandCursor;
        case StandardCursor::AppStarting: return Qt::BusyCursor;
        case StandardCursor::Help: return Qt::WhatsThisCursor;
    }
    return Qt::ArrowCursor;
}

QCursor CursorFromImage(const CursorImage& image, int reverseCursorColor) {
    if (image.kind == CursorImage::Kind::Standard) return QCursor(ShapeForStandardCursor(image.standard));
    const std::vector<uint32_t>& pixels = image.Pixels(reverseCursorColor);
    if (image.width <= 0 || image.height <= 0 ||
        pixels.size() != static_cast<size_t>(image.width) * static_cast<size_t>(image.height)) {
        return QCursor(Qt::ArrowCursor);
    }
    // The words are 0xAARRGGBB with straight alpha: QImage's ARGB32 as it stands. The copy
    // detaches the pixmap from the vector, which the caller may drop.
    QImage picture(reinterpret_cast<const uchar*>(pixels.data()), image.width, image.height,
                   image.width * 4, QImage::Format_ARGB32);
    return QCursor(QPixmap::fromImage(picture.copy()), image.hotX, image.hotY);
}

}  // namespace corvane
