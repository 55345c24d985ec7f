/* The same header as C, for the 32-bit Windows C compiler. */
#include "kxdataset.h"

_Static_assert(sizeof(void*) == 4, "a 32-bit build");
_Static_assert(KXRESERROR_EMPTY == 0xC0000001u, "the fatal empty value");
