// The one mapping of system error numbers to the kinds that file functions report.
#pragma once

#include <windows.h>

namespace qx {

enum class ErrorKind { Missing, Denied, Sharing, Exists, OtherDevice, Other };

ErrorKind ClassifyError(DWORD error);
inline ErrorKind LastErrorKind() {
    return ClassifyError(GetLastError());
}

} // namespace qx
