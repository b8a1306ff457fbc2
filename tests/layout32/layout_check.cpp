// Compiled with -m32: the records keep the 32-bit host's offsets (the header's static_asserts) and the
// instance record fits the announced block there too.
#include "host/instance.h"
#include "kesmzn.h"

static_assert(sizeof(void*) == 4, "this check is compiled for a 32-bit target");
