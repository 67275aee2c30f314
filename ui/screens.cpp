#include "ui/screens.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>

namespace corvane {

MonitorModel CurrentMonitorModel() {
    MonitorModel model;
    const QList<QScreen*> screens = QGuiApplication::screens();
    QScreen* primary = QGuiApplication::primaryScreen();
    if (primary == nullptr || screens.isEmpty()) return model;
    const QRect all = primary->virtualGeometry();
    model.count = static_cast<int>(screens.size());
    model.virtualWidth = all.width();
    model.virtualHeight = all.height();
    model.colourDepth = primary->depth();
    return model;
}

}  // namespace corvane
