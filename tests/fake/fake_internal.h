// What the fake's own files share with each other and nobody else.
#pragma once

#include "fake_platform.h"

// Releases every block of the fake heap and forgets the heap.
void ResetFakeHeap();

// Drops the command line and sets the default one.
void ResetFakeCommandLine();

// Forgets every open clean-up frame.
void ResetFakeFrames();

// RaiseFakeFault with the record's flags given (RaiseException passes its own).
void DispatchFakeFault(const FakeFault &fault, DWORD flags);
