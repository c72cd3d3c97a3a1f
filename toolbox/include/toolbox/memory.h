// Memory Manager: blocks (Ptr) and relocatable blocks (Handle) that know
// their own size, with the last failure kept for MemError.
#pragma once

#include "toolbox/types.h"

Ptr NewPtr(Size size);
Ptr NewPtrClear(Size size);
void DisposePtr(Ptr p);
Size GetPtrSize(Ptr p);
// A block never moves: growing beyond what was first allocated fails with
// memFullErr and leaves the block as it was; shrinking always succeeds.
void SetPtrSize(Ptr p, Size newSize);

Handle NewHandle(Size size);
Handle NewHandleClear(Size size);
void DisposeHandle(Handle h);
Size GetHandleSize(Handle h);
// Resizes, moving the data if needed; new bytes are zero.
void SetHandleSize(Handle h, Size newSize);
void HLock(Handle h);
void HUnlock(Handle h);
void HLockHi(Handle h);
void MoveHHi(Handle h);
SInt8 HGetState(Handle h);
void HSetState(Handle h, SInt8 state);
void HNoPurge(Handle h);
void HPurge(Handle h);
OSErr PtrToHand(const void* src, Handle* dst, Size size);
OSErr HandToHand(Handle* h);
OSErr PtrAndHand(const void* src, Handle h, Size size);
void BlockMove(const void* src, void* dst, Size size);
void BlockMoveData(const void* src, void* dst, Size size);
void BlockZero(void* dst, Size size);

// Master pointers are not a limited resource here: nothing to do.
void MoreMasters();

OSErr MemError();
// For the toolbox's own managers: sets what MemError reports.
void TBSetMemError(OSErr err);
// True when h was made by NewHandle and not yet disposed.
bool TBIsHandle(Handle h);
