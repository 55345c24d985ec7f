// Compiled by the 32-bit Windows compiler only (-fsyntax-only): the header's static assertions
// check every offset of the interface's records in the interface's own layout.
#include "kxdataset.h"

static_assert(sizeof(void*) == 4, "a 32-bit build");
static_assert(KXRESERROR_EMPTY == 0xC0000001u && KXHEADERCAPS_CREATED == 0x4800, "values");
