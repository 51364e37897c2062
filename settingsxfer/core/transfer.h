// The transfer engine: export to a package, import from it, delete from the store. The engine
// shows no messages; results are 0 or -9.
#pragma once

#include "settingsxfer/core/options.h"
#include "zx_gensys/qx_litevariant.h"

namespace sx {

const int kTransferFailed = -9;

// Writes the package outputFile. -9 only when the package cannot be written; elements that are
// missing or unreadable are simply absent from it.
int ExportSettings(const TransferOptions &options);
// Writes a package (packageReader, or inputFile) into the store. -9 when the package cannot be
// loaded or is no settings package; everything after that is best effort. User names from the
// package that are no plain folder names are skipped.
int ImportSettings(const TransferOptions &options);
// Removes elements from the shared root and from private folders. -9 when a folder's deletion
// reports failure.
int DeleteSettings(const TransferOptions &options);

// Steps, for the pages and tests.
int ExportElement(CQxLiteVariantW &writer, const CQxStringW &element, const CQxStringW &folder);
int ImportElements(const TransferOptions &options, CQxLiteVariantR &reader, const CQxStringW &user);
int ImportElementFile(CQxLiteVariantR &reader, const CQxStringW &base);
int DeleteElements(const std::vector<CQxStringW> &elements, const CQxStringW &folder, const CQxStringW *user);

} // namespace sx
