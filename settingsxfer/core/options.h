// TransferOptions: what the command line or a window page asks of the transfer engine.
#pragma once

#include <vector>

#include "zx_gensys/qx_string.h"

namespace sx {

struct TransferOptions {
    bool showWindow = true;           // run the windowed front end
    bool allUsers = false;            // every user (export, delete: users; import: the package's users)
    bool allElements = false;         // no element list was given: the driver fills in the whole table
    bool exportMode = true;           // command line: export, or import when false
    bool useCurrentUserFolder = true; // a one-user import goes to the current user's private folder
    bool deleteShared = false;        // DeleteSettings touches the shared root
    bool deletePrivate = false;       // DeleteSettings touches private folders
    CQxStringW userName;              // the one user
    CQxStringW outputFile;            // package to write
    CQxStringW inputFile;             // package to read
    std::vector<CQxStringW> elements; // element names in order; duplicates allowed
    std::vector<CQxStringW> users;    // filled once by EnumerateUsers
};

} // namespace sx
