/* Compiled as C with -m32: the binding header is C and its 32-bit offsets hold there too. */
#include "kesmzn.h"
#include "zubpro.h"

_Static_assert(sizeof(void*) == 4, "this check is compiled for a 32-bit target");
