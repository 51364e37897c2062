// Settings trees: CQxLiteVariantW writes one, CQxLiteVariantR reads one (and loads and saves
// files). A tree is a root level of named levels and named values.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "zx_gensys/qx_gensys_export.h"
#include "zx_gensys/qx_string.h"

class CQxLiteVariantR;

// Deepest nesting of a settings tree: the root is at depth 1, and no node sits deeper.
const int kQxMaxTreeDepth = 128;

class QXG_API CQxLiteVariantW {
public:
    CQxLiteVariantW();
    ~CQxLiteVariantW();
    CQxLiteVariantW(const CQxLiteVariantW &) = delete;
    CQxLiteVariantW &operator=(const CQxLiteVariantW &) = delete;

    // Every call that adds a node refuses (-1, nothing added) a node deeper than the readers take:
    // the root is at depth 1 and no node may sit deeper than 128.

    // Opens a named child level of the current level; 0, or -1 (null name, nesting too deep).
    int LevelBegin(const wchar_t *name);
    // The depth of the current level (the root: 1).
    int GetDepth() const;
    // Closes the current level; -1 at the root.
    int LevelEnd();
    int Set(bool value, const wchar_t *name);
    int Set(const wchar_t *text, const wchar_t *name);
    int SetInt(int32_t value, const wchar_t *name);
    int SetUnsigned(uint32_t value, const wchar_t *name);
    int SetInt64(int64_t value, const wchar_t *name);
    int SetUInt64(uint64_t value, const wchar_t *name);
    int SetDouble(double value, const wchar_t *name);
    int SetBinary(const void *data, size_t size, uint32_t tag, const wchar_t *name);
    // Copies the whole tree of reader (the children of its root) into the current level; -1 and
    // nothing copied when they would sit too deep.
    int Append(const CQxLiteVariantR &reader);
    // Closes any open levels and hands the tree to reader (positioned at the root). The writer
    // starts a new empty tree.
    int Finalize(CQxLiteVariantR &reader);

private:
    struct Impl;
    Impl *m_impl;
};

class QXG_API CQxLiteVariantR {
public:
    CQxLiteVariantR();
    CQxLiteVariantR(const CQxLiteVariantR &other); // shares the tree, copies the position
    CQxLiteVariantR &operator=(const CQxLiteVariantR &other);
    ~CQxLiteVariantR();

    // Loads a tree file (textForm: the XML text form instead of the binary format). 0 when the
    // file is a settings tree; otherwise -1 and the reader holds an empty tree.
    int LoadFromFile(const wchar_t *path, bool textForm);
    // Writes the tree. The target is replaced atomically: a temporary file in the same folder is
    // written and flushed, then moved over the target, so an interrupted save leaves the old file.
    // overwrite false refuses an existing target. A tree that LoadFromFile would refuse (deeper
    // than 128, a file above 1 GiB) is not written. 0 or -1.
    int SaveToFile(const wchar_t *path, bool overwrite, bool textForm) const;
    // The depth of the whole tree: 1 for an empty root, 2 for a root with values, and so on.
    int GetDepth() const;

    // Back to the root.
    void Reset();
    // Enters the first child level of that name in the current level; 0, or -1 (nothing changes).
    // index (may be null) receives the child's position.
    int LevelBegin(const wchar_t *name, int *index);
    // Back to the parent level; -1 at the root.
    int LevelEnd();
    // The bool value of that name, or the default when there is none.
    bool Get(const wchar_t *name, bool defaultValue) const;
    // The text value of that name, or the default when there is none.
    CQxStringW Get(const wchar_t *name, const wchar_t *defaultValue) const;
    // A child (level or value) of that name exists in the current level.
    bool IsValueSet(const wchar_t *name) const;

    // Iteration over the children of the current level, from the first one on entering it.
    bool IsNextValue() const;
    // Copies the current child's name, cut to size - 1 characters and terminated; -1 when
    // there is no current child.
    int GetCurrentName(wchar_t *buffer, int size) const;
    // Enters the current child when it is a level; 0 or -1. index as for LevelBegin.
    int CurrentLevelBegin(int *index);
    void NextValue();

    // Gives target a tree whose root holds the children of the current level.
    int ExtractCurrent(CQxLiteVariantR &target) const;

    // For tools and tests: the children of the current level.
    int GetChildCount() const;

private:
    friend struct CQxLiteVariantAccess; // the library's own access to the tree
    struct Impl;
    Impl *m_impl;
};
