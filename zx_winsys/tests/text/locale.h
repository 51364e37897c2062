// The user's locale settings of the test prefix: a snapshot on entry, a known baseline, and the
// snapshot back on exit. A crashed run leaves its changes in the prefix, so every user of this
// sets the baseline first. Tests that use it hold the ctest resource lock "locale".
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

class LocaleSettings {
public:
    LocaleSettings();
    ~LocaleSettings();
    LocaleSettings(const LocaleSettings &) = delete;
    LocaleSettings &operator=(const LocaleSettings &) = delete;

    // Sets one item of the user-default locale; false when the system refuses it.
    static bool Set(LCTYPE item, const std::wstring &value);
    static std::wstring Get(LCTYPE item);

private:
    std::vector<std::pair<LCTYPE, std::wstring>> m_saved;
};
