// Compiled with -m32: every record header must hold its host offsets and sizes on ILP32.
#include "kwconst.h"
#include "kwdbt.h"
#include "kwrecords.h"
#include "kwshr.h"
#include "kwtdx.h"
#include "kwuser.h"

static_assert(sizeof(void*) == 4, "this check is meant for an ILP32 build");
static_assert(KW_WIDENED_BYTES == 0, "pointers are not widened on ILP32");
