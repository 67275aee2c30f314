#include "ui/view_scale.h"

#include <QSettings>
#include <algorithm>

namespace corvane {

namespace {

constexpr const char* kSettingsKey = "View/Scale";

}  // namespace

double LogicalPerRemotePixel(ViewScale scale, double devicePixelRatio, QSize session, QSize viewport) {
    const double ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    switch (scale) {
        case ViewScale::Double: return 2.0 / ratio;
        case ViewScale::FitWindow:
            if (session.isEmpty() || viewport.isEmpty()) return 1.0 / ratio;
            return std::max(1e-3, std::min(static_cast<double>(viewport.width()) / session.width(),
                                           static_cast<double>(viewport.height()) / session.height()));
        case ViewScale::ActualPixels: break;
    }
    return 1.0 / ratio;
}

QString ViewScaleName(ViewScale scale) {
    switch (scale) {
        case ViewScale::FitWindow: return "fit-window";
        case ViewScale::Double: return "double";
        case ViewScale::ActualPixels: break;
    }
    return "actual-pixels";
}

ViewScale ViewScaleFromName(const QString& name) {
    for (ViewScale scale : {ViewScale::FitWindow, ViewScale::Double}) {
        if (name == ViewScaleName(scale)) return scale;
    }
    return ViewScale::ActualPixels;
}

ViewScale StoredViewScale() {
    return ViewScaleFromName(QSettings("Corvane", "corvane").value(kSettingsKey).toString());
}

void StoreViewScale(ViewScale scale) { QSettings("Corvane", "corvane").setValue(kSettingsKey, ViewScaleName(scale)); }

}  // namespace corvane
