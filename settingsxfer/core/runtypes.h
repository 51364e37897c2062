// The general library's run types that settingsxfer declares.
#pragma once

namespace sx {

// Registers the six run types ("RQx_wcharPtr", "RQxUchar8", "RQxUint16", "RQxCOLORREF", "RQxInt16",
// "RQxRECT"); the program does this before its main function runs.
void RegisterRunTypes();

} // namespace sx
