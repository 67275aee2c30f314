// The screens as the monitor model sees them, from the windowing system.
#pragma once

#include "session/monitor_layout.h"

namespace corvane {

// The screens the windowing system reports now. GUI thread; needs the application object.
[[nodiscard]] MonitorModel CurrentMonitorModel();

}  // namespace corvane
