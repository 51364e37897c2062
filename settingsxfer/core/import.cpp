// ImportSettings: a package back into the store. The package is checked whole, every element is
// prepared beside its place, and only then do the elements take their places.
#include "settingsxfer/core/transfer.h"

#include <new>

#include <windows.h>

#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "settingsxfer/core/guard.h"
#include "settingsxfer/core/outcome.h"
#include "settingsxfer/core/package.h"
#include "settingsxfer/core/store.h"
#include "zx_gensys/qx_filereplace.h"
#include "zx_gensys/qx_registryxml.h"
#include "zx_winsys/zx_winsys.h"

namespace sx {

namespace {

const size_t kBlock = size_t(1) << 20;

std::wstring Wide(const gensys::Text &text) {
    return std::wstring(text.begin(), text.end());
}

std::wstring Wide(const char *text) {
    return std::wstring(text, text + strlen(text));
}

void PutU32(unsigned char *p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// Each registry item an import does not write is one failure of the transfer.
class RegistryRefusals : public IQxRegistryReport {
public:
    explicit RegistryRefusals(Outcome &outcome) : m_outcome(outcome) {}
    void Refused(const wchar_t *key, const wchar_t *name, const char *reason) override {
        m_outcome.Failed(__LINE__, L"Import: registry item", std::wstring(key) + L"\\" + name, Wide(reason));
    }

private:
    Outcome &m_outcome;
};

class Importer {
public:
    Importer(const TransferOptions &options, Outcome &outcome, PackageFile &package, const CQxStringW &root)
        : m_options(options), m_outcome(outcome), m_package(package), m_root(root), m_block(kBlock) {
        m_progress.bytesTotal = package.Size();
        for (const CQxStringW &element : options.elements)
            if (IsPlainName(element.GetString())) m_wanted.insert(element.GetString());
    }

    // Prepares the elements of a level (the shared one when user is empty); false when stopped.
    bool Level(const gensys::Entry &level, int depth, const std::wstring &user) {
        const CQxStringW folder = user.empty() ? m_root : PrivateFolder(m_root, user.c_str());
        if (GetFileAttributesW(folder.GetString()) == INVALID_FILE_ATTRIBUTES &&
            QX_CreateDirectory((folder + L"\\").GetString(), 1, 0) == QX_OK)
            m_createdFolders.push_back(folder.GetString());
        // What killed transfers left in the folder goes first (this transfer's own files come later).
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        QX_RemoveStaleTemporaries(folder.GetString(), nullptr, &now);
        std::set<std::wstring> done; // a name's first node counts, as a package's reader finds it
        bool going = true;
        m_package.ForEachChild(level, depth, [&](const gensys::Entry &node) {
            if (m_outcome.Cancelled(__LINE__)) return going = false;
            if (node.kind != gensys::NodeKind::Level || !node.nameHeld) return true;
            const std::wstring element = Wide(node.name);
            if (!m_wanted.count(element) || !done.insert(element).second) return true;
            if (element == L"Registry" && !user.empty())
                Registry(node, depth + 1, user);
            else
                File(node, depth + 1, folder, element);
            m_progress.bytes = node.start;
            m_outcome.Progress(m_progress);
            return true;
        });
        return going;
    }

    // Moves every prepared element into its place, then writes the registry branches.
    void Commit() {
        m_progress.finishing = true;
        m_outcome.Progress(m_progress);
        for (std::unique_ptr<gensysw::ReplacingFile> &file : m_staged)
            if (!file->Commit())
                m_outcome.Failed(__LINE__, L"Import: cannot write", file->Target(),
                                 SystemText(GetLastError()));
        RegistryRefusals refusals(m_outcome);
        for (const Branch &branch : m_branches) {
            gensysw::FileUnits text(m_package.Source(), branch.offset, branch.units);
            const char *why = "";
            const CQxStringW key = UserRegistryKey(branch.user.c_str());
            const int refused = QX_XmlToRegistry(text, key.GetString(), &refusals, &why);
            if (refused < 0)
                m_outcome.Failed(__LINE__, L"Import: registry branch",
                                 L"HKEY_LOCAL_MACHINE\\" + std::wstring(key.GetString()), Wide(why));
        }
    }

    // After a Cancel: nothing prepared takes a place; folders made for it go again when empty.
    void Drop() {
        m_staged.clear();
        for (auto folder = m_createdFolders.rbegin(); folder != m_createdFolders.rend(); ++folder)
            RemoveDirectoryW(folder->c_str());
    }

private:
    struct Branch {
        std::wstring user;
        uint64_t offset;
        uint32_t units;
    };

    void Registry(const gensys::Entry &node, int depth, const std::wstring &user) {
        gensys::Entry content, text;
        const std::wstring key =
            L"HKEY_LOCAL_MACHINE\\" + std::wstring(UserRegistryKey(user.c_str()).GetString());
        if (!m_package.FindLevel(node, L"content", &content) ||
            !m_package.FindChild(content, L"Platform.INI", &text) || text.kind != gensys::NodeKind::Text) {
            m_outcome.Failed(__LINE__, L"Import: registry branch", key,
                             L"the package's registry node holds no text");
            return;
        }
        (void)depth;
        m_branches.push_back({user, text.dataOffset, text.dataLength});
    }

    // The element written to a temporary file beside its place, in the form the package carries.
    void File(const gensys::Entry &node, int depth, const CQxStringW &folder, const std::wstring &element) {
        gensys::Entry useText, content;
        const bool textForm = m_package.FindChild(node, L"useXMLstring", &useText) &&
                              useText.kind == gensys::NodeKind::Bool && useText.boolean;
        const bool hasContent = m_package.FindChild(node, L"content", &content);
        const std::wstring target =
            ElementPath(folder, element.c_str(), textForm ? L".xml" : L".bin").GetString();
        if (textForm && (!hasContent || content.kind != gensys::NodeKind::Text)) {
            m_outcome.Failed(__LINE__, L"Import: element", target, L"its text form holds no text");
            return;
        }
        if (!textForm && hasContent && content.kind != gensys::NodeKind::Level) {
            m_outcome.Failed(__LINE__, L"Import: element", target, L"its tree form holds no tree");
            return;
        }
        auto file = std::make_unique<gensysw::ReplacingFile>();
        if (!file->Create(target.c_str())) {
            m_outcome.Failed(__LINE__, L"Import: cannot write", target, SystemText(GetLastError()));
            return;
        }
        bool ok = true;
        if (textForm) {
            ok = Copy(*file, 0, content.dataOffset, 2 * uint64_t(content.dataLength), nullptr);
        } else {
            // Without "content" the element holds an empty tree.
            uint64_t after = 0;
            if (hasContent) ok = m_package.End(content, depth + 1, &after);
            const uint64_t children = hasContent ? after - content.end : 0;
            unsigned char head[gensys::kHeaderSize + 9] = {'Q', 'X', 'T', 'R', 1, 0, 0, 0};
            head[gensys::kHeaderSize] = static_cast<unsigned char>(gensys::NodeKind::Level);
            PutU32(head + gensys::kHeaderSize + 5, hasContent ? content.count : 0);
            uint32_t crc = gensys::Crc32(head + gensys::kHeaderSize, 9);
            ok = ok && children <= gensys::kMaxFileSize &&
                 Copy(*file, sizeof head, content.end, children, &crc);
            PutU32(head + 8, static_cast<uint32_t>(9 + children));
            PutU32(head + 12, crc);
            ok = ok && file->WriteAt(0, head, sizeof head);
        }
        if (!ok || !file->Close()) {
            const DWORD error = GetLastError();
            m_outcome.Failed(__LINE__, L"Import: cannot write", target,
                             *m_package.Reader().Reason() ? Wide(m_package.Reader().Reason())
                                                          : SystemText(error));
            return;
        }
        m_staged.push_back(std::move(file));
    }

    // Copies size bytes of the package at from into the file at to, in blocks; *crc (may be null)
    // goes on over them.
    bool Copy(gensysw::ReplacingFile &file, uint64_t to, uint64_t from, uint64_t size, uint32_t *crc) {
        for (uint64_t done = 0; done < size;) {
            const size_t n = static_cast<size_t>(size - done < kBlock ? size - done : kBlock);
            if (!m_package.Reader().Raw(from + done, m_block.data(), n) ||
                !file.WriteAt(to + done, m_block.data(), n))
                return false;
            if (crc) *crc = gensys::Crc32Update(*crc, m_block.data(), n);
            done += n;
        }
        return true;
    }

    const TransferOptions &m_options;
    Outcome &m_outcome;
    PackageFile &m_package;
    const CQxStringW m_root;
    std::vector<unsigned char> m_block;
    std::set<std::wstring> m_wanted;
    std::vector<std::unique_ptr<gensysw::ReplacingFile>> m_staged; // closed, waiting for Commit
    std::vector<Branch> m_branches;
    std::vector<std::wstring> m_createdFolders;
    TransferProgress m_progress;
};

bool IsUserName(const gensys::Entry &node) {
    if (!node.nameHeld) return false;
    for (char16_t c : node.name)
        if (c == 0) return false;
    return IsPlainName(Wide(node.name).c_str());
}

std::wstring Shown(const gensys::Entry &node) {
    if (!node.nameHeld) return L"(a name of " + std::to_wstring(node.nameLength) + L" characters)";
    std::wstring name;
    for (char16_t c : node.name)
        name += c >= 0x20 ? static_cast<wchar_t>(c) : L'?';
    return L"\"" + name + L"\"";
}

} // namespace

namespace {

int RunImportSettings(const TransferOptions &options, TransferReport *report, TransferControl *control) {
    Outcome outcome("settingsxfer/import", report, control);
    const CQxStringW root = SharedRoot(true);
    const DWORD rootAttributes = root.IsEmpty() ? 0 : GetFileAttributesW(root.GetString());
    if (root.IsEmpty() ||
        (rootAttributes != INVALID_FILE_ATTRIBUTES && !(rootAttributes & FILE_ATTRIBUTE_DIRECTORY)))
        return outcome.Refuse(__LINE__, L"Import refused", L"there is no settings store folder");
    StoreLock lock(root);
    if (!lock.Held()) return kStoreBusy;
    for (const CQxStringW &element : options.elements)
        if (!IsPlainName(element.GetString()))
            outcome.Failed(__LINE__, L"Import: element", element.GetString(),
                           L"the name is no plain file name");

    PackageFile package;
    std::wstring why;
    TransferProgress checking;
    checking.bytesTotal = 0;
    if (!package.Open(options.inputFile.GetString(), &why, [&](uint64_t done) {
            checking.bytes = done;
            checking.bytesTotal = done > checking.bytesTotal ? done : checking.bytesTotal;
            outcome.Progress(checking);
            return !outcome.Cancelled(__LINE__);
        })) {
        if (outcome.Cancelled(__LINE__)) return kTransferCancelled;
        return outcome.Refuse(__LINE__, L"Import refused",
                              options.inputFile.GetString() + std::wstring(L": ") + why);
    }
    Importer importer(options, outcome, package, root);
    gensys::Entry settings, shared, users;
    package.Settings(&settings);
    bool going = true;
    if (package.FindLevel(settings, L"shared", &shared)) going = importer.Level(shared, 3, L"");
    if (going && package.FindLevel(settings, L"private", &users)) {
        if (options.allUsers) {
            package.ForEachChild(users, 3, [&](const gensys::Entry &user) {
                if (user.kind != gensys::NodeKind::Level) return true;
                // A name that is no plain folder name (an empty one would even name the shared root)
                // is refused; the other users still import.
                if (!IsUserName(user)) {
                    outcome.Failed(__LINE__, L"Import: user", Shown(user),
                                   L"the name is no plain folder name");
                    return true;
                }
                return going = importer.Level(user, 4, Wide(user.name));
            });
        } else {
            const CQxStringW current = CurrentUserName();
            gensys::Entry node;
            bool found =
                !options.userName.IsEmpty() && package.FindLevel(users, options.userName.GetString(), &node);
            found = found || package.FindLevel(users, current.GetString(), &node);
            // Without a user name the settings go to the current user, never to the shared root.
            const bool toCurrent = options.useCurrentUserFolder || options.userName.IsEmpty();
            const std::wstring target = (toCurrent ? current : options.userName).GetString();
            if (!found)
                outcome.Failed(__LINE__, L"Import: user",
                               options.userName.IsEmpty() ? current.GetString()
                                                          : options.userName.GetString(),
                               L"the package holds no private settings of this user");
            else if (!IsPlainName(target.c_str()))
                outcome.Failed(__LINE__, L"Import: user", target, L"the name is no plain folder name");
            else
                going = importer.Level(node, 4, target);
        }
    } else if (going && !options.allUsers) {
        outcome.Failed(__LINE__, L"Import: user", options.userName.GetString(),
                       L"the package holds no private settings");
    }
    if (!going || outcome.Cancelled(__LINE__)) {
        importer.Drop();
        return kTransferCancelled;
    }
    importer.Commit();
    return outcome.Result();
}

} // namespace

int ImportSettings(const TransferOptions &options, TransferReport *report, TransferControl *control) {
    // Memory is bounded by the work, never by what a package claims; should it still run out, the
    // transfer is refused with that reason (what it prepared goes with the objects that held it).
    try {
        return RunImportSettings(options, report, control);
    } catch (const std::bad_alloc &) {
        return Outcome("settingsxfer/import", report, nullptr)
            .Refuse(__LINE__, L"Transfer stopped", L"not enough memory");
    }
}

} // namespace sx
