/*
 * A stand-in for a driver: a plug-in library that logs through the host's err(). Built twice: linked to
 * libzubpro (its err reference then carries the ZUBPRO_1 version), and, as a control, without it (the
 * linker then binds the reference to the C library's err(3)).
 */
#include "zubpro.h"

__attribute__((visibility("default"))) void zubpro_test_plugin_log(int level, const char* text) {
    err(level, "%s", text);
}
