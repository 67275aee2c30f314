// How the session's picture is scaled into the view. On a screen of more than one device
// pixel per logical pixel the picture is crisp only at one remote pixel per device pixel, so
// that is the default; the user may instead scale it to the window (smooth) or double it.
// The choice is kept in the user's settings.
#pragma once

#include <QSize>
#include <QString>

namespace corvane {

enum class ViewScale { ActualPixels, FitWindow, Double };

// Logical pixels per remote pixel for the scale on a screen of `devicePixelRatio`; for
// FitWindow, the largest that shows the whole `session` in `viewport` (never 0).
[[nodiscard]] double LogicalPerRemotePixel(ViewScale scale, double devicePixelRatio, QSize session, QSize viewport);

// The user's choice, read from and kept in the user's settings.
[[nodiscard]] ViewScale StoredViewScale();
void StoreViewScale(ViewScale scale);

// The settings' word for a scale, and back (ActualPixels for a word it does not know).
[[nodiscard]] QString ViewScaleName(ViewScale scale);
[[nodiscard]] ViewScale ViewScaleFromName(const QString& name);

}  // namespace corvane
