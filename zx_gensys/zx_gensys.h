// zx_gensys: strings, variants, settings trees, serializers, object factory and translation.
#pragma once

#include "zx_gensys/qx_filereplace.h"
#include "zx_gensys/qx_gensys_export.h"
#include "zx_gensys/qx_litevariant.h"
#include "zx_gensys/qx_rtti.h"
#include "zx_gensys/qx_string.h"
#include "zx_gensys/qx_translation.h"
#include "zx_gensys/qx_variant.h"
