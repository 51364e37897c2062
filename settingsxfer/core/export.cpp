// ExportSettings: the shared root and private folders into one package, an element at a time.
#include "settingsxfer/core/transfer.h"

#include <new>

#include <cstring>
#include <vector>

#include "settingsxfer/core/guard.h"
#include "settingsxfer/core/outcome.h"
#include "settingsxfer/core/store.h"
#include "zx_gensys/qx_filereplace.h"
#include "zx_gensys/qx_registryxml.h"
#include "zx_gensys/qx_treefile.h"
#include "zx_winsys/zx_winsys.h"

namespace sx {

namespace {

const size_t kBlock = size_t(1) << 20;

gensys::Text Units(const wchar_t *text) {
    return gensys::Text(reinterpret_cast<const char16_t *>(text));
}

std::wstring Wide(const char *text) {
    return std::wstring(text, text + strlen(text));
}

// Passes the registry's XML text on into the package's text node.
class TextInto : public gensys::UnitSink {
public:
    explicit TextInto(gensys::TreeWriter &writer) : m_writer(writer) {}
    bool Put(const char16_t *units, size_t count) override { return m_writer.TextUnits(units, count); }

private:
    gensys::TreeWriter &m_writer;
};

class Exporter {
public:
    Exporter(const TransferOptions &options, Outcome &outcome, gensys::TreeWriter &writer)
        : m_options(options), m_outcome(outcome), m_writer(writer), m_block(kBlock) {}

    // false when the transfer was stopped.
    bool Element(const CQxStringW &element, const CQxStringW &folder) {
        if (m_outcome.Cancelled(__LINE__)) return false;
        Count();
        const std::wstring label = std::wstring(folder.GetString()) + L"\\" + element.GetString();
        if (!IsPlainName(element.GetString())) {
            m_outcome.Failed(__LINE__, L"Export: element", label, L"the name is no plain file name");
        } else if (!folder.IsEmpty()) {
            const CQxStringW tree = ElementPath(folder, element, L".bin");
            if (GetFileAttributesW(tree.GetString()) != INVALID_FILE_ATTRIBUTES)
                TreeElement(element, tree);
            else
                TextElement(element, ElementPath(folder, element, L".xml"));
        }
        return true;
    }

    bool Registry(const CQxStringW &user) {
        if (m_outcome.Cancelled(__LINE__)) return false;
        Count();
        const gensys::TreeWriter::Mark mark = m_writer.Save();
        TextInto sink(m_writer);
        const char *why = "";
        const bool begun = m_writer.BeginLevel(Units(L"Registry")) &&
                           m_writer.BeginLevel(Units(L"content")) &&
                           m_writer.BeginText(Units(L"Platform.INI"));
        const int read = begun ? QX_RegistryToXml(UserRegistryKey(user).GetString(), sink, &why) : -1;
        if (read == 0 && m_writer.EndText() && m_writer.EndLevel() && m_writer.EndLevel()) return true;
        m_writer.Restore(mark);
        // A branch that is missing or empty leaves no node.
        if (read != 1)
            m_outcome.Failed(__LINE__, L"Export: registry branch",
                             L"HKEY_LOCAL_MACHINE\\" + std::wstring(UserRegistryKey(user).GetString()),
                             *m_writer.Reason() ? Wide(m_writer.Reason()) : Wide(why));
        return true;
    }

    void Count() {
        ++m_progress.itemsDone;
        m_progress.bytes = m_writer.Size();
        m_outcome.Progress(m_progress);
    }
    TransferProgress m_progress;

private:
    // The ".bin" form: its root's children are copied as they are into the element's "content"
    // level, after its structure was checked; its checksum is checked as the bytes pass.
    void TreeElement(const CQxStringW &element, const CQxStringW &path) {
        gensysw::FileSource file;
        if (!file.Open(path.GetString())) {
            m_outcome.Failed(__LINE__, L"Export: cannot read", path.GetString(), SystemText(GetLastError()));
            return;
        }
        gensys::TreeReader reader(file);
        gensys::Entry root;
        int depth = 0;
        if (!reader.Open(file.Size()) || !reader.CheckStructure(&depth) ||
            !reader.Read(reader.Root(), &root, 0)) {
            m_outcome.Failed(__LINE__, L"Export: element", path.GetString(),
                             L"the file is no settings tree: " + Wide(reader.Reason()));
            return;
        }
        // Its values land two levels (element, content) below the current one: a tree that would
        // then sit deeper than any tree can is left out, so that the package loads.
        if (m_writer.Depth() + 1 + depth > gensys::kMaxDepth) {
            m_outcome.Failed(__LINE__, L"Export: element", path.GetString(),
                             L"its tree is nested too deep for a package");
            return;
        }
        if (!Fits(reader.End() - root.end, path)) return;
        const gensys::TreeWriter::Mark mark = m_writer.Save();
        bool ok = m_writer.BeginLevel(Units(element.GetString())) && m_writer.BeginLevel(Units(L"content"));
        uint32_t crc = 0;
        // The root's head counts for the file's checksum, not for the package.
        for (uint64_t at = reader.Root(); ok && at < root.end;) {
            const size_t n = static_cast<size_t>(root.end - at < kBlock ? root.end - at : kBlock);
            ok = reader.Raw(at, m_block.data(), n);
            crc = gensys::Crc32Update(crc, m_block.data(), n);
            at += n;
        }
        for (uint64_t at = root.end; ok && at < reader.End();) {
            const size_t n = static_cast<size_t>(reader.End() - at < kBlock ? reader.End() - at : kBlock);
            ok = reader.Raw(at, m_block.data(), n);
            const uint32_t piece = gensys::Crc32(m_block.data(), n);
            crc = gensys::Crc32Combine(crc, piece, n);
            ok = ok && m_writer.RawBytes(m_block.data(), n, piece);
            at += n;
        }
        const bool intact = crc == reader.HeaderCrc();
        ok = ok && intact && m_writer.AddNodes(root.count) && m_writer.EndLevel() && m_writer.EndLevel();
        if (ok) return;
        const std::wstring reason = !*reader.Reason() && !*m_writer.Reason() && !intact
                                        ? L"the file's checksum does not match"
                                        : Wide(*m_writer.Reason() ? m_writer.Reason() : reader.Reason());
        m_writer.Restore(mark);
        m_outcome.Failed(__LINE__, L"Export: element", path.GetString(), reason);
    }

    // The ".xml" form: the file's bytes as UTF-16 units up to the first zero unit, an odd last byte
    // dropped.
    void TextElement(const CQxStringW &element, const CQxStringW &path) {
        gensysw::FileSource file;
        if (!file.Open(path.GetString())) {
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
                m_outcome.Failed(__LINE__, L"Export: cannot read", path.GetString(), SystemText(error));
            return; // absent: no node
        }
        if (!Fits(file.Size(), path)) return;
        const gensys::TreeWriter::Mark mark = m_writer.Save();
        gensys::Node useText;
        useText.kind = gensys::NodeKind::Bool;
        useText.name = Units(L"useXMLstring");
        useText.boolean = true;
        bool ok = m_writer.BeginLevel(Units(element.GetString())) && m_writer.Value(useText) &&
                  m_writer.BeginText(Units(L"content"));
        const uint64_t units = file.Size() / 2;
        bool ended = false;
        char16_t *text = reinterpret_cast<char16_t *>(m_block.data());
        for (uint64_t at = 0; ok && !ended && at < units;) {
            const size_t n = static_cast<size_t>(units - at < kBlock / 2 ? units - at : kBlock / 2);
            ok = file.ReadAt(2 * at, text, 2 * n) == 2 * n;
            size_t keep = 0;
            while (keep < n && text[keep] != 0)
                ++keep;
            ended = keep < n;
            ok = ok && m_writer.TextUnits(text, keep);
            at += n;
        }
        ok = ok && m_writer.EndText() && m_writer.EndLevel();
        if (ok) return;
        const std::wstring reason = *m_writer.Reason() ? Wide(m_writer.Reason()) : L"the file cannot be read";
        m_writer.Restore(mark);
        m_outcome.Failed(__LINE__, L"Export: element", path.GetString(), reason);
    }

    // An element that would take the package past what a package may hold is left out before any
    // of it is read.
    bool Fits(uint64_t bytes, const CQxStringW &path) {
        if (m_writer.Size() + bytes + 256 <= gensys::kMaxFileSize) return true;
        m_outcome.Failed(__LINE__, L"Export: element", path.GetString(),
                         L"the package would be larger than 1 GiB");
        return false;
    }

    const TransferOptions &m_options;
    Outcome &m_outcome;
    gensys::TreeWriter &m_writer;
    std::vector<unsigned char> m_block;
};

// True when path lies in folder or below it (spellings resolved as far as the system resolves them).
bool Inside(const std::wstring &path, const std::wstring &folder) {
    const auto full = [](const std::wstring &p) {
        wchar_t buffer[MAX_PATH * 2];
        DWORD n = GetFullPathNameW(p.c_str(), MAX_PATH * 2, buffer, nullptr);
        std::wstring out = n > 0 && n < MAX_PATH * 2 ? buffer : p;
        n = GetLongPathNameW(out.c_str(), buffer, MAX_PATH * 2);
        if (n > 0 && n < MAX_PATH * 2) out = buffer;
        while (!out.empty() && (out.back() == L'\\' || out.back() == L'/'))
            out.pop_back();
        return out;
    };
    std::wstring inner = full(path);
    const std::wstring outer = full(folder);
    // The package itself may not exist yet: its folder is resolved, its name kept.
    const size_t cut = inner.find_last_of(L"\\/");
    if (cut != std::wstring::npos) inner = full(inner.substr(0, cut)) + inner.substr(cut);
    return inner.size() > outer.size() &&
           CompareStringOrdinal(inner.c_str(), static_cast<int>(outer.size()), outer.c_str(),
                                static_cast<int>(outer.size()), TRUE) == CSTR_EQUAL &&
           (inner[outer.size()] == L'\\' || inner[outer.size()] == L'/');
}

} // namespace

namespace {

int RunExportSettings(const TransferOptions &options, TransferReport *report, TransferControl *control) {
    Outcome outcome("settingsxfer/export", report, control);
    const CQxStringW root = SharedRoot(true);
    const std::wstring output = options.outputFile.GetString();
    const DWORD rootAttributes = root.IsEmpty() ? 0 : GetFileAttributesW(root.GetString());
    if (root.IsEmpty() ||
        (rootAttributes != INVALID_FILE_ATTRIBUTES && !(rootAttributes & FILE_ATTRIBUTE_DIRECTORY)))
        return outcome.Refuse(__LINE__, L"Export refused", L"there is no settings store folder");
    if (output.empty()) return outcome.Refuse(__LINE__, L"Export refused", L"no package file was named");
    if (Inside(output, root.GetString()))
        return outcome.Refuse(__LINE__, L"Export refused",
                              L"the package " + output + L" would be written inside the settings store");
    StoreLock lock(root);
    if (!lock.Held()) return kStoreBusy;
    const std::vector<CQxStringW> users =
        options.allUsers ? options.users : std::vector<CQxStringW>{options.userName};

    // Temporary files of this package that killed exports left beside it go first.
    wchar_t full[MAX_PATH];
    wchar_t *name = nullptr;
    const DWORD length = GetFullPathNameW(output.c_str(), MAX_PATH, full, &name);
    if (length > 0 && length < MAX_PATH && name && name > full) {
        name[-1] = L'\0';
        QX_RemoveStaleTemporaries(full, name, &lock.Start());
    }
    gensysw::ReplacingFile file;
    if (!file.Create(output.c_str()))
        return outcome.Refuse(__LINE__, L"Export refused",
                              L"the package " + output + L" cannot be written: " +
                                  SystemText(GetLastError()));
    gensys::TreeWriter writer(file);
    Exporter exporter(options, outcome, writer);
    exporter.m_progress.itemsTotal = static_cast<int>(options.elements.size() * (1 + users.size()));
    bool going =
        writer.Begin() && writer.BeginLevel(Units(L"Settings")) && writer.BeginLevel(Units(L"shared"));
    for (size_t i = 0; going && i < options.elements.size(); ++i)
        going = exporter.Element(options.elements[i], root);
    going = going && writer.EndLevel() && writer.BeginLevel(Units(L"private"));
    for (const CQxStringW &user : users) {
        if (!going) break;
        // A name that is no plain folder name has no private folder to read.
        const bool plain = IsPlainName(user.GetString());
        if (!plain)
            outcome.Failed(__LINE__, L"Export: user", user.GetString(), L"the name is no plain folder name");
        if (!writer.BeginLevel(gensys::Text(reinterpret_cast<const char16_t *>(user.GetString()),
                                            static_cast<size_t>(user.GetLength())))) {
            outcome.Failed(__LINE__, L"Export: user", user.GetString(), Wide(writer.Reason()));
            continue;
        }
        const CQxStringW folder = plain ? PrivateFolder(root, user) : CQxStringW();
        for (size_t i = 0; going && i < options.elements.size(); ++i) {
            const CQxStringW &element = options.elements[i];
            if (element != L"Registry")
                going = exporter.Element(element, folder);
            else if (plain)
                going = exporter.Registry(user);
            else
                exporter.Count();
        }
        going = going && writer.EndLevel();
    }
    if (outcome.Cancelled(__LINE__)) return kTransferCancelled;
    uint64_t size = 0;
    if (!going || !writer.EndLevel() || !writer.Finish(&size))
        return outcome.Refuse(__LINE__, L"Export failed",
                              L"the package " + output + L" cannot be written: " + Wide(writer.Reason()));
    if (!file.Commit())
        return outcome.Refuse(__LINE__, L"Export failed",
                              L"the package " + output + L" cannot be written: " +
                                  SystemText(GetLastError()));
    return outcome.Result();
}

} // namespace

int ExportSettings(const TransferOptions &options, TransferReport *report, TransferControl *control) {
    // Memory is bounded by the work, never by what a package claims; should it still run out, the
    // transfer is refused with that reason (what it prepared goes with the objects that held it).
    try {
        return RunExportSettings(options, report, control);
    } catch (const std::bad_alloc &) {
        return Outcome("settingsxfer/export", report, nullptr)
            .Refuse(__LINE__, L"Transfer stopped", L"not enough memory");
    }
}

} // namespace sx
