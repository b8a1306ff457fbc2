#include "alloc_probe.h"

#include <pthread.h>

#include <cstdio>
#include <cstdlib>

#include "zubpro.h"

namespace {

// Kept where the compiler cannot see them unused, so no allocation is optimised away.
void* volatile sink = nullptr;

void* AllocatingBody(void*) {
    sink = std::malloc(32);
    std::free(sink);
    return nullptr;
}

void* QuietBody(void*) { return nullptr; }

void RunThread(void* (*body)(void*)) {
    pthread_t thread;
    if (pthread_create(&thread, nullptr, body, nullptr) == 0) pthread_join(thread, nullptr);
}

}  // namespace

extern "C" {

void ProbeNothing() {}

void ProbeMalloc() {
    sink = std::malloc(64);
    std::free(sink);
}

void ProbeNew() {
    int* value = new int(7);
    sink = value;
    delete value;
}

void ProbeStdio() {
    if (FILE* file = std::fopen("/dev/null", "r"); file != nullptr) std::fclose(file);
}

void ProbeThreadMalloc() { RunThread(AllocatingBody); }

void ProbeHostLog() { err(32, "alloc probe: a line the host services format on the heap"); }

void ProbeThreadOnly() { RunThread(QuietBody); }

}  // extern "C"
