// Access to a reader's tree for the writer and the file functions.
#pragma once

#include "zx_gensys/core/tree.h"
#include "zx_gensys/qx_litevariant.h"

namespace gensysw {

// The whole tree of the reader (an empty root when it holds none).
const gensys::Node &TreeOf(const CQxLiteVariantR &reader);
// Gives the reader a new tree and puts it at the root.
void SetTree(CQxLiteVariantR &reader, gensys::Node &&root);

} // namespace gensysw
