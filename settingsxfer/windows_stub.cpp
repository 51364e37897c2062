// The windowed front end (placeholder until the windows are built).
#include "settingsxfer/core/driver.h"

namespace sx {

int RunWindows(HINSTANCE, int, TransferOptions &) {
    return 0;
}

} // namespace sx
