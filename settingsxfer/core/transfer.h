// The transfer engine: export to a package, import from it, delete from the store. The engine
// shows no messages; one transfer of a store runs at a time. Packages are read and written an
// element at a time: memory does not grow with the package, the store or what a package claims.
#pragma once

#include <string>

#include "settingsxfer/core/options.h"

namespace sx {

// Results of the engine, which are also the command line's exit codes.
const int kTransferFailed = -9;     // refused before anything was changed: the reason is traced
const int kTransferPartly = -10;    // done, except for items that were refused or failed (each traced)
const int kStoreBusy = -11;         // another transfer of the same store held it for kStoreWaitMs
const int kTransferCancelled = -12; // stopped by the window's Cancel: the store and any package as before

// How far a transfer is, for a window.
struct TransferProgress {
    int itemsDone = 0;
    int itemsTotal = 0;
    unsigned long long bytes = 0;      // package bytes written or read
    unsigned long long bytesTotal = 0; // the package's size, when reading one
    bool finishing = false;            // an import writes what it prepared: Cancel no longer applies
};

// Given by a window: asked between elements whether to stop, and told how far the transfer is.
// Both are called on the thread that runs the transfer.
class TransferControl {
public:
    virtual ~TransferControl() = default;
    virtual bool Cancelled() = 0;
    virtual void Progress(const TransferProgress &progress) = 0;
};

// What a transfer could not do. Every item counted here is also traced with its path and reason.
struct TransferReport {
    int failedElements = 0; // elements, users, registry branches and values not transferred
    std::wstring refusal;   // why the transfer was refused (-9), as traced
};

// Writes the package outputFile (through a temporary file: an existing package stays until the new
// one is complete). -9 when no package can be written at all (no store folder, an output file inside
// the store, a file that cannot be made); -10 when elements could not be added.
int ExportSettings(const TransferOptions &options, TransferReport *report = nullptr,
                   TransferControl *control = nullptr);
// Writes a package (inputFile) into the store. The whole package is checked first (its checksum and
// structure): -9 leaves the store untouched. Then every element is written to a temporary file beside
// its place, and only when all are prepared do they take their places, followed by the registry
// branches. Anything refused (a user name that is no plain folder name, an element of the wrong form,
// a registry value that does not fit its type) or not written gives -10.
int ImportSettings(const TransferOptions &options, TransferReport *report = nullptr,
                   TransferControl *control = nullptr);
// Removes elements from the shared root and from private folders; a user's "Registry" is the user's
// "Platform.INI" branch, and nothing beside it. -9 when a folder's deletion is refused, -10 when
// elements that are there could not be removed.
int DeleteSettings(const TransferOptions &options, TransferReport *report = nullptr,
                   TransferControl *control = nullptr);

} // namespace sx
