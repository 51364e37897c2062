// Snapshot, baseline and restore of the user's locale settings.
#include "zx_winsys/tests/text/locale.h"

namespace {

// The items the tests change, with the baseline: the settings of a plain English-speaking user.
// The pictures come last: setting them makes the system derive order, separators and clock.
const std::pair<LCTYPE, const wchar_t *> kBaseline[] = {
    {LOCALE_SDECIMAL, L"."},      {LOCALE_STHOUSAND, L","},          {LOCALE_INEGNUMBER, L"1"},
    {LOCALE_ILZERO, L"1"},        {LOCALE_SSHORTDATE, L"M/d/yyyy"}, {LOCALE_STIMEFORMAT, L"h:mm:ss tt"},
};

} // namespace

LocaleSettings::LocaleSettings() {
    for (const auto &item : kBaseline)
        m_saved.emplace_back(item.first, Get(item.first));
    for (const auto &item : kBaseline)
        Set(item.first, item.second);
}

LocaleSettings::~LocaleSettings() {
    for (const auto &item : m_saved)
        Set(item.first, item.second);
}

bool LocaleSettings::Set(LCTYPE item, const std::wstring &value) {
    return SetLocaleInfoW(LOCALE_USER_DEFAULT, item, value.c_str()) != FALSE;
}

std::wstring LocaleSettings::Get(LCTYPE item) {
    wchar_t text[256] = L"";
    GetLocaleInfoW(LOCALE_USER_DEFAULT, item, text, 256);
    return text;
}
