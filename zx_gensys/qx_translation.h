// Text translation for the user interface.
#pragma once

#include "zx_gensys/qx_gensys_export.h"

// The text to show for text; context names the calling source file. No translations ship yet:
// the text itself is returned.
QXG_CAPI const wchar_t *QX_GetTranslation(const wchar_t *text, const char *context);
