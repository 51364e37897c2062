// The transfer engine: export to a package, import from it, delete from the store. The engine
// shows no messages; one transfer of a store runs at a time.
#pragma once

#include "settingsxfer/core/options.h"
#include "zx_gensys/qx_litevariant.h"

namespace sx {

// Results of the engine, which are also the command line's exit codes.
const int kTransferFailed = -9;  // the package cannot be read or written, or no store folder
const int kTransferPartly = -10; // done, except for elements that could not be written or deleted
const int kStoreBusy = -11;      // another transfer of the same store held it for kStoreWaitMs

// What a transfer could not do: each such element is also traced with its path and the reason.
struct TransferReport {
    int failedElements = 0;
};

// Writes the package outputFile. -9 only when the package cannot be written; elements that are
// missing or unreadable are simply absent from it.
int ExportSettings(const TransferOptions &options, TransferReport *report = nullptr);
// Writes a package (packageReader, or inputFile) into the store. -9 when the package cannot be
// loaded or is no settings package. An element that cannot be written (a full disk, a read-only
// or locked file, a folder in its place) does not stop the others: -10 at the end. User names
// from the package that are no plain folder names are skipped.
int ImportSettings(const TransferOptions &options, TransferReport *report = nullptr);
// Removes elements from the shared root and from private folders. -9 when a folder's deletion
// reports failure, -10 when elements that are there could not be removed.
int DeleteSettings(const TransferOptions &options, TransferReport *report = nullptr);

// Steps, for the pages and tests. The failures of an element step are added to *failed.
int ExportElement(CQxLiteVariantW &writer, const CQxStringW &element, const CQxStringW &folder);
int ImportElements(const TransferOptions &options, CQxLiteVariantR &reader, const CQxStringW &user,
                   int *failed = nullptr);
int ImportElementFile(CQxLiteVariantR &reader, const CQxStringW &base);
int DeleteElements(const std::vector<CQxStringW> &elements, const CQxStringW &folder, const CQxStringW *user,
                   int *failed = nullptr);

} // namespace sx
