// A heap allocation counter for tests, in a shared library of its own that the test program links
// first, so that its malloc, calloc, realloc, the aligned forms and every operator new take the place
// of the C and C++ libraries' own for the whole process.
//
// While armed, each allocation is put down to the code that asked for it: the call stack is walked
// from the allocation outwards, past the C library, the C++ runtime, the dynamic loader and the
// counter itself, to the first frame of any other object. When that object is one being watched (the
// driver), the allocation counts as the watched code's own, whether it called malloc or operator new
// itself or had the C library allocate for it (fopen, strdup...). When it is the host services
// library, the test program or the simulated panel, it does not count. Allocations made while the C
// library creates a thread count apart: the thread's own records are the platform's, not the caller's.
// The counting covers every thread, so a thread the watched code started is covered too.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" {

struct AllocCounts {
    std::uint64_t watched;         // the watched code's own allocations
    std::uint64_t threadCreation;  // made by the C library while it created a thread
    std::uint64_t other;           // anybody else's
};

// Watches the object (shared library or program) that holds the address.
void AllocCounterWatch(const void* addressInObject);

// Zeroes the counts and starts counting; Disarm stops it and returns the counts.
void AllocCounterArm();
AllocCounts AllocCounterDisarm();

// Where the watched code allocated, for a failure message: up to capacity sites as "object+0xOFFSET
// (symbol)" lines, written into text (always terminated). Returns the number of sites seen.
std::size_t AllocCounterSites(char* text, std::size_t capacity);

}  // extern "C"
