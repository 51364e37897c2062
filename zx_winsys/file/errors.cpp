// Classification of system error numbers for the file functions.
#include "zx_winsys/internal/errors.h"

namespace qx {

ErrorKind ClassifyError(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return ErrorKind::Missing;
    case ERROR_ACCESS_DENIED:
        return ErrorKind::Denied;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return ErrorKind::Sharing;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return ErrorKind::Exists;
    case ERROR_NOT_SAME_DEVICE:
        return ErrorKind::OtherDevice;
    default:
        return ErrorKind::Other;
    }
}

} // namespace qx
