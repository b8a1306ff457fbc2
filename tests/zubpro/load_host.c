/*
 * A host that loads libzubpro and a plug-in with dlopen(RTLD_LOCAL), in either order, and has the
 * plug-in log once per level given:
 *
 *   zubpro_load_host zubpro-first|plugin-first LIBZUBPRO PLUGIN LEVEL...
 *
 * Built twice: linked to nothing but the C library, and (ZUBPRO_LINKED_HOST) linked to libzubpro and
 * logging a line of its own first. Prints "ok" when it gets to the end: were the plug-in's err bound to
 * the C library's err(3), the process would print and exit with the level as status before that.
 */
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef ZUBPRO_LINKED_HOST
#include "zubpro.h"
#endif

typedef void (*PluginLog)(int level, const char* text);

static void* Load(const char* path) {
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == NULL) {
        printf("dlopen %s: %s\n", path, dlerror());
        exit(1);
    }
    return handle;
}

int main(int argc, char** argv) {
    if (argc < 4) {
        printf("usage: %s zubpro-first|plugin-first LIBZUBPRO PLUGIN LEVEL...\n", argv[0]);
        return 2;
    }
#ifdef ZUBPRO_LINKED_HOST
    err(ZUB_LEVEL_EVENT, "host line");
#endif
    void* plugin = NULL;
    if (strcmp(argv[1], "plugin-first") == 0) {
        plugin = Load(argv[3]);
        Load(argv[2]);
    } else {
        Load(argv[2]);
        plugin = Load(argv[3]);
    }
    /* dlsym gives an object pointer; ISO C has no cast from it to a function pointer. */
    void* symbol = dlsym(plugin, "zubpro_test_plugin_log");
    if (symbol == NULL) {
        printf("no zubpro_test_plugin_log in %s\n", argv[3]);
        return 1;
    }
    PluginLog pluginLog;
    memcpy(&pluginLog, &symbol, sizeof pluginLog);
    for (int i = 4; i < argc; i++) {
        char text[64];
        const int level = atoi(argv[i]);
        snprintf(text, sizeof text, "plug-in line at level %d", level);
        pluginLog(level, text);
    }
    printf("ok\n");
    return 0;
}
