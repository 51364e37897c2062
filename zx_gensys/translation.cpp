// Text translation: no catalogues ship yet, so every text stands as it is.
#include "zx_gensys/qx_translation.h"

const wchar_t *QX_GetTranslation(const wchar_t *text, const char * /*context*/) {
    return text;
}
