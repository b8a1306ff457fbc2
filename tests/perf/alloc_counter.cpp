#include "alloc_counter.h"

#include <dlfcn.h>
#include <execinfo.h>
#include <link.h>
#include <pthread.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

// The C library's own allocator under its internal names (exported by glibc for this purpose).
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void* __libc_valloc(std::size_t size);
void* __libc_pvalloc(std::size_t size);
}

namespace {

enum class Owner { Runtime, Watched, Other };

struct Range {
    std::uintptr_t start;
    std::uintptr_t end;
    Owner owner;
};

constexpr std::size_t kMaxRanges = 256;
constexpr std::size_t kMaxWatched = 8;
constexpr std::size_t kMaxSites = 16;
constexpr int kMaxFrames = 64;

// Written only while disarmed (Watch and Arm run before the counting starts), read by the hook.
Range ranges[kMaxRanges];
std::size_t rangeCount = 0;
std::uintptr_t watchedBases[kMaxWatched];
std::size_t watchedCount = 0;

std::atomic<bool> armed{false};
std::atomic<std::uint64_t> watchedAllocations{0};
std::atomic<std::uint64_t> threadAllocations{0};
std::atomic<std::uint64_t> otherAllocations{0};
std::atomic<std::size_t> siteCount{0};
void* sites[kMaxSites];

// Initial-exec thread-locals: the general model may call malloc itself on first use in a thread.
__attribute__((tls_model("initial-exec"))) thread_local bool inHook = false;
__attribute__((tls_model("initial-exec"))) thread_local bool creatingThread = false;

bool NameHas(const char* path, const char* part) { return path != nullptr && std::strstr(path, part) != nullptr; }

bool IsRuntime(const char* path, std::uintptr_t base, std::uintptr_t ownBase) {
    if (base == ownBase) return true;
    static const char* const kRuntime[] = {"/libc.so", "/libstdc++.so", "/libgcc_s.so", "/ld-linux", "/libm.so",
                                           "/libpthread.so", "/libdl.so"};
    for (const char* part : kRuntime) {
        if (NameHas(path, part)) return true;
    }
    return false;
}

int AddObject(dl_phdr_info* info, std::size_t, void* data) {
    const auto ownBase = *static_cast<std::uintptr_t*>(data);
    Owner owner = IsRuntime(info->dlpi_name, info->dlpi_addr, ownBase) ? Owner::Runtime : Owner::Other;
    for (std::size_t i = 0; i < watchedCount; ++i) {
        if (watchedBases[i] == info->dlpi_addr) owner = Owner::Watched;
    }
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& header = info->dlpi_phdr[i];
        if (header.p_type != PT_LOAD || (header.p_flags & PF_X) == 0 || rangeCount == kMaxRanges) continue;
        const std::uintptr_t start = info->dlpi_addr + header.p_vaddr;
        ranges[rangeCount++] = Range{start, start + header.p_memsz, owner};
    }
    return 0;
}

std::uintptr_t BaseOf(const void* address) {
    Dl_info info{};
    if (dladdr(address, &info) == 0) return 0;
    return reinterpret_cast<std::uintptr_t>(info.dli_fbase);
}

// Every object loaded now, by its executable segments. Objects are compared by their load address,
// which dladdr (dli_fbase) and dl_iterate_phdr (dlpi_addr) report alike for shared objects.
void MapObjects() {
    rangeCount = 0;
    std::uintptr_t ownBase = 0;
    Dl_info own{};
    if (dladdr(reinterpret_cast<const void*>(&MapObjects), &own) != 0) {
        ownBase = reinterpret_cast<std::uintptr_t>(own.dli_fbase);
    }
    dl_iterate_phdr(AddObject, &ownBase);
}

Owner OwnerOf(void* address) {
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    for (std::size_t i = 0; i < rangeCount; ++i) {
        if (at >= ranges[i].start && at < ranges[i].end) return ranges[i].owner;
    }
    return Owner::Other;
}

void Note() {
    if (!armed.load(std::memory_order_relaxed) || inHook) return;
    inHook = true;
    if (creatingThread) {
        threadAllocations.fetch_add(1);
    } else {
        void* frames[kMaxFrames];
        const int depth = backtrace(frames, kMaxFrames);
        Owner owner = Owner::Other;
        void* site = nullptr;
        for (int i = 0; i < depth; ++i) {
            owner = OwnerOf(frames[i]);
            if (owner == Owner::Runtime) continue;
            site = frames[i];
            break;
        }
        if (owner == Owner::Watched) {
            watchedAllocations.fetch_add(1);
            const std::size_t slot = siteCount.fetch_add(1);
            if (slot < kMaxSites) sites[slot] = site;
        } else {
            otherAllocations.fetch_add(1);
        }
    }
    inHook = false;
}

using CreateFunction = int (*)(pthread_t*, const pthread_attr_t*, void* (*)(void*), void*);

// The first backtrace loads the unwinder (which allocates): done once here, before any counting.
__attribute__((constructor)) void WarmUp() {
    inHook = true;
    void* frames[4];
    backtrace(frames, 4);
    inHook = false;
}

}  // namespace

extern "C" {

void AllocCounterWatch(const void* addressInObject) {
    const std::uintptr_t base = BaseOf(addressInObject);
    for (std::size_t i = 0; i < watchedCount; ++i) {
        if (watchedBases[i] == base) return;
    }
    if (base != 0 && watchedCount < kMaxWatched) watchedBases[watchedCount++] = base;
}

void AllocCounterArm() {
    MapObjects();
    watchedAllocations = 0;
    threadAllocations = 0;
    otherAllocations = 0;
    siteCount = 0;
    armed.store(true);
}

AllocCounts AllocCounterDisarm() {
    armed.store(false);
    return AllocCounts{watchedAllocations.load(), threadAllocations.load(), otherAllocations.load()};
}

std::size_t AllocCounterSites(char* text, std::size_t capacity) {
    if (capacity == 0) return siteCount.load();
    text[0] = '\0';
    std::size_t used = 0;
    const std::size_t seen = siteCount.load();
    for (std::size_t i = 0; i < seen && i < kMaxSites; ++i) {
        Dl_info info{};
        dladdr(sites[i], &info);
        const auto offset = reinterpret_cast<std::uintptr_t>(sites[i]) - reinterpret_cast<std::uintptr_t>(info.dli_fbase);
        const int n = std::snprintf(text + used, capacity - used, "%s+0x%zx (%s)\n", info.dli_fname ? info.dli_fname : "?",
                                    static_cast<std::size_t>(offset), info.dli_sname ? info.dli_sname : "?");
        if (n < 0 || static_cast<std::size_t>(n) >= capacity - used) break;
        used += static_cast<std::size_t>(n);
    }
    return seen;
}

// ---- The allocator's entry points ------------------------------------------------------------------

void* malloc(std::size_t size) {
    Note();
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) {
    Note();
    return __libc_calloc(count, size);
}

void* realloc(void* pointer, std::size_t size) {
    Note();
    return __libc_realloc(pointer, size);
}

void* memalign(std::size_t alignment, std::size_t size) {
    Note();
    return __libc_memalign(alignment, size);
}

void* aligned_alloc(std::size_t alignment, std::size_t size) {
    Note();
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** pointer, std::size_t alignment, std::size_t size) {
    Note();
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return 22;  // EINVAL
    void* memory = __libc_memalign(alignment, size);
    if (memory == nullptr) return 12;  // ENOMEM
    *pointer = memory;
    return 0;
}

void* valloc(std::size_t size) {
    Note();
    return __libc_valloc(size);
}

void* pvalloc(std::size_t size) {
    Note();
    return __libc_pvalloc(size);
}

// The thread's stack and records are the C library's business: counted apart.
int pthread_create(pthread_t* thread, const pthread_attr_t* attributes, void* (*start)(void*), void* argument) {
    static const auto real = reinterpret_cast<CreateFunction>(dlsym(RTLD_NEXT, "pthread_create"));
    const bool outer = !creatingThread;
    creatingThread = true;
    const int result = real(thread, attributes, start, argument);
    if (outer) creatingThread = false;
    return result;
}

}  // extern "C"

// ---- operator new, every form: counted once here, then taken from the C library directly ----------

namespace {

void* NewBlock(std::size_t size) {
    Note();
    void* memory = __libc_malloc(size == 0 ? 1 : size);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}

void* NewAligned(std::size_t size, std::align_val_t alignment) {
    Note();
    void* memory = __libc_memalign(static_cast<std::size_t>(alignment), size == 0 ? 1 : size);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}

}  // namespace

void* operator new(std::size_t size) { return NewBlock(size); }
void* operator new[](std::size_t size) { return NewBlock(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    Note();
    return __libc_malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    Note();
    return __libc_malloc(size == 0 ? 1 : size);
}
void* operator new(std::size_t size, std::align_val_t alignment) { return NewAligned(size, alignment); }
void* operator new[](std::size_t size, std::align_val_t alignment) { return NewAligned(size, alignment); }
