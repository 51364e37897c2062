// The settings store: the shared root, private folders, element files, a user's registry branch
// and the backup folder. Folders come from zx_winsys's storage functions.
#pragma once

#include <vector>

#include "zx_gensys/qx_string.h"

namespace sx {

// Sets the platform's storage folder; every path below is composed from it.
void UsePlatformStorage();
// The shared root. Export, import and the user scan pass shared = true, delete passes false
// (the same folder, since no storage user is ever set).
CQxStringW SharedRoot(bool shared = true);
// root + "\\" + user
CQxStringW PrivateFolder(const CQxStringW &root, const CQxStringW &user);
// folder + "\\" + element + extension (".bin" or ".xml")
CQxStringW ElementPath(const CQxStringW &folder, const CQxStringW &element, const wchar_t *extension);
// An element is present when either form exists; the ".bin" form wins over the ".xml" form.
enum class ElementForm { None, Tree, Text };
ElementForm FindElement(const CQxStringW &folder, const CQxStringW &element);
// The registry branch of a user, under HKEY_LOCAL_MACHINE.
CQxStringW UserRegistryKey(const CQxStringW &user);
// The Platform key that holds every user's branch.
extern const wchar_t kPlatformRegistryKey[];
// The folder the windows offer for package files (the storage folder is set back afterwards).
CQxStringW BackupFolder();
// The logged-on user's name.
CQxStringW CurrentUserName();
// Account and folder names compare without regard to case, as Windows names do.
bool SameName(const wchar_t *a, const wchar_t *b);
// True for a name that can only name an item inside its folder: not empty, not "." or "..", no
// separator, drive colon or other character Windows refuses in file names, no trailing dot or
// space, no device name (CON, NUL, COM1, ...). User and element names must be plain to be used
// as folder, file or registry key names.
bool IsPlainName(const wchar_t *name);

} // namespace sx
