// The users with private settings.
#pragma once

#include <vector>

#include "zx_gensys/qx_string.h"

namespace sx {

// The private folders of the shared root that belong to a normal account known to the logon
// server (or to this machine), in folder-scan order. Names compare without regard to case.
std::vector<CQxStringW> EnumerateUsers();

// The normal accounts of the logon server (or of this machine), as the system lists them.
std::vector<CQxStringW> NormalAccounts();

// The same scan against a given list of account names (the part that needs no network calls).
std::vector<CQxStringW> UsersWithFolders(const CQxStringW &root, const std::vector<CQxStringW> &accounts);

} // namespace sx
