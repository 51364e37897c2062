// The settings package on disk: the tree file of zx_gensys read and written an element at a time.
// A package is untrusted input: names are held only up to a length that can name anything of ours,
// counts and lengths are checked against the bytes left, and nothing is held for a whole package.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "zx_gensys/qx_treefile.h"

namespace sx {

// Names a package may use for its levels; longer names cannot name a user or an element of ours.
const size_t kMaxPackageName = 256;

// A package being read: the file (others may read it, nobody may change it meanwhile) and its reader.
class PackageFile {
public:
    PackageFile() : m_reader(m_file) {}
    // Opens and checks the whole file: its checksum and every rule of the format. false with the
    // reason in *why. progress (may be empty) is told the bytes checked and may stop the check.
    bool Open(const std::wstring &path, std::wstring *why,
              const std::function<bool(uint64_t)> &progress = {});
    gensys::TreeReader &Reader() { return m_reader; }
    gensysw::FileSource &Source() { return m_file; }
    uint64_t Size() const { return m_file.Size(); }

    // The first child level of the level entry with that name (the rule a package's reader follows
    // everywhere), or false.
    bool FindLevel(const gensys::Entry &level, const wchar_t *name, gensys::Entry *found);
    // The first child of any kind with that name.
    bool FindChild(const gensys::Entry &level, const wchar_t *name, gensys::Entry *found);
    // Calls visit for each child of the level in order; a false answer stops the walk.
    bool ForEachChild(const gensys::Entry &level, int depth,
                      const std::function<bool(const gensys::Entry &)> &visit);
    // The package's "Settings" level.
    bool Settings(gensys::Entry *settings);
    // The offset after a node and its children.
    bool End(const gensys::Entry &entry, int depth, uint64_t *after);

private:
    gensysw::FileSource m_file;
    gensys::TreeReader m_reader;
};

// Which groups of elements a package holds, shared and per user: what the Import page shows.
struct PackageSummary {
    unsigned sharedElements = 0; // bit i: element i of the table
    struct User {
        std::wstring name;
        unsigned elements = 0;
    };
    std::vector<User> users;   // at most kMaxListedUsers, in package order
    size_t usersNotListed = 0; // beyond that
};
const size_t kMaxListedUsers = 10000;
// Checks the package and reads its summary; false with the reason in *why.
bool SummarizePackage(const std::wstring &path, PackageSummary *summary, std::wstring *why,
                      const std::function<bool(uint64_t)> &progress = {});

} // namespace sx
