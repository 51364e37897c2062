// Conversion between system file times (UTC) and local broken-down times.
#pragma once

#include <windows.h>
#include <time.h>

namespace qx {

// File time -> local time record: tm_isdst = -1, tm_yday from the month table. False when a
// system conversion fails.
bool FileTimeToTm(const FILETIME &fileTime, struct tm *out);
// Local time record -> file time; tm_wday, tm_yday and tm_isdst are not read.
bool TmToFileTime(const struct tm &in, FILETIME *out);

} // namespace qx
