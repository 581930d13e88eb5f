// Which standard icon a static control of another process shows.
#pragma once

#include "ui.h"

#include <windows.h>

namespace e2e {

// None when the control holds no icon or is hidden; otherwise the standard
// icon whose opaque pixels the control shows on the screen (waiting a moment
// for it to be painted), or Unknown.
IconKind classifyIcon(HWND iconControl);

}  // namespace e2e
