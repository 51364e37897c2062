// Steps of the library's load and unload sequence, implemented by the families they belong to.
#pragma once

namespace qx {

// Creates the asynchronous engine's global lock; false makes the load fail.
bool StartAsyncEngine();
// Destroys the global lock.
void StopAsyncEngine();
// Fills CQxWinVersion's version record.
void ReadWindowsVersion();

} // namespace qx
