// Reading a settings package an element at a time.
#include "settingsxfer/core/package.h"

#include <cstring>

#include "settingsxfer/core/elements.h"

namespace sx {

namespace {

std::wstring Wide(const char *text) {
    return std::wstring(text, text + strlen(text));
}

bool NameIs(const gensys::Entry &e, const wchar_t *name) {
    if (!e.nameHeld) return false;
    const size_t n = wcslen(name);
    if (e.name.size() != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (e.name[i] != static_cast<char16_t>(name[i])) return false;
    return true;
}

} // namespace

bool PackageFile::Open(const std::wstring &path, std::wstring *why,
                       const std::function<bool(uint64_t)> &progress) {
    if (!m_file.Open(path.c_str())) {
        wchar_t text[512] = L"";
        const DWORD error = GetLastError();
        if (!FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                            text, 511, nullptr))
            swprintf(text, 512, L"error %lu", error);
        std::wstring reason = text;
        while (!reason.empty() && (reason.back() == L'\n' || reason.back() == L'\r' || reason.back() == L' '))
            reason.pop_back();
        *why = L"the package cannot be opened: " + reason;
        return false;
    }
    m_reader.SetProgress(progress);
    const bool ok = m_reader.Validate(m_file.Size());
    m_reader.SetProgress({});
    if (!ok) {
        *why = L"the package is refused: " + Wide(m_reader.Reason());
        return false;
    }
    gensys::Entry settings;
    if (!Settings(&settings)) {
        *why = L"the package is refused: it holds no \"Settings\" level";
        return false;
    }
    return true;
}

bool PackageFile::End(const gensys::Entry &entry, int depth, uint64_t *after) {
    if (entry.kind != gensys::NodeKind::Level) {
        *after = entry.end;
        return true;
    }
    return m_reader.Skip(entry.start, depth, after);
}

bool PackageFile::ForEachChild(const gensys::Entry &level, int depth,
                               const std::function<bool(const gensys::Entry &)> &visit) {
    if (level.kind != gensys::NodeKind::Level) return true;
    uint64_t at = level.end;
    for (uint32_t i = 0; i < level.count; ++i) {
        gensys::Entry child;
        if (!m_reader.Read(at, &child, kMaxPackageName)) return false;
        if (!visit(child)) return true;
        if (!End(child, depth + 1, &at)) return false;
    }
    return true;
}

bool PackageFile::FindChild(const gensys::Entry &level, const wchar_t *name, gensys::Entry *found) {
    bool hit = false;
    ForEachChild(level, 1, [&](const gensys::Entry &child) {
        if (!NameIs(child, name)) return true;
        *found = child;
        hit = true;
        return false;
    });
    return hit;
}

bool PackageFile::FindLevel(const gensys::Entry &level, const wchar_t *name, gensys::Entry *found) {
    bool hit = false;
    ForEachChild(level, 1, [&](const gensys::Entry &child) {
        if (child.kind != gensys::NodeKind::Level || !NameIs(child, name)) return true;
        *found = child;
        hit = true;
        return false;
    });
    return hit;
}

bool PackageFile::Settings(gensys::Entry *settings) {
    gensys::Entry root;
    return m_reader.Read(m_reader.Root(), &root, 0) && FindLevel(root, L"Settings", settings);
}

bool SummarizePackage(const std::wstring &path, PackageSummary *summary, std::wstring *why,
                      const std::function<bool(uint64_t)> &progress) {
    PackageFile package;
    if (!package.Open(path, why, progress)) return false;
    *summary = PackageSummary();
    // The elements of a level, as bits of the element table.
    const auto elementsOf = [&](const gensys::Entry &level) {
        unsigned bits = 0;
        package.ForEachChild(level, 4, [&](const gensys::Entry &child) {
            for (int i = 0; i < kElementCount; ++i)
                if (NameIs(child, kElements[i].name)) bits |= 1u << i;
            return true;
        });
        return bits;
    };
    gensys::Entry settings, shared, users;
    package.Settings(&settings);
    if (package.FindLevel(settings, L"shared", &shared)) summary->sharedElements = elementsOf(shared);
    if (package.FindLevel(settings, L"private", &users)) {
        package.ForEachChild(users, 3, [&](const gensys::Entry &user) {
            if (user.kind != gensys::NodeKind::Level) return true;
            if (summary->users.size() >= kMaxListedUsers || !user.nameHeld) {
                ++summary->usersNotListed;
                return true;
            }
            summary->users.push_back({std::wstring(user.name.begin(), user.name.end()), elementsOf(user)});
            return true;
        });
    }
    return true;
}

} // namespace sx
