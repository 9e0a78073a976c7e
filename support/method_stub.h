// Plain callbacks that call a method: the system calls a stub with its usual arguments, and
// the stub calls the method with the object as an extra first argument.
#pragma once

namespace support {

// A stub that, called as a stdcall function of N arguments, calls method as a stdcall
// function of N + 1 arguments, object first: it pops the return address, pushes object,
// pushes the return address back and jumps to method. The stub lives in executable memory of
// its own until FreeMethodStub or ReleaseMethodStubs; null when no such memory can be had.
void* MakeMethodStub(void* object, const void* method);

// Gives a stub's memory back for reuse.
void FreeMethodStub(void* stub);

// Releases the memory of every stub (at shutdown: no stub may be called afterwards).
void ReleaseMethodStubs();

}  // namespace support
