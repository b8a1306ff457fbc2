// The control plug-in for the allocation counter: code in a shared library of its own, watched as the
// driver is, that allocates in each of the ways the counter must catch, or only through the host
// services (which must not count), or not at all.
#pragma once

extern "C" {
void ProbeNothing();
void ProbeMalloc();
void ProbeNew();
void ProbeStdio();         // fopen: the C library allocates on the caller's behalf
void ProbeThreadMalloc();  // a thread it starts allocates, as a listener thread would
void ProbeHostLog();       // only the host services' logger allocates
void ProbeThreadOnly();    // starts a thread that allocates nothing
}
