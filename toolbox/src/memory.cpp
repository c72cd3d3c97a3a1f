// Memory Manager: pointers and handles that carry their size, and the last
// error for MemError.
#include "toolbox/memory.h"

#include <cstdlib>
#include <new>

namespace {

OSErr gMemErr = noErr;

// Each block carries its capacity and current size in front of the bytes the
// caller sees, aligned for any type.
struct alignas(std::max_align_t) PtrHeader {
  Size capacity;
  Size size;
  UInt32 magic;
};
constexpr UInt32 kPtrMagic = 0x50545221;  // "PTR!"

PtrHeader* headerOf(Ptr p) { return reinterpret_cast<PtrHeader*>(p) - 1; }

Ptr allocBlock(Size size, bool clear) {
  if (size < 0) {
    gMemErr = paramErr;
    return nullptr;
  }
  void* raw = clear ? std::calloc(1, sizeof(PtrHeader) + size + 1)
                    : std::malloc(sizeof(PtrHeader) + size + 1);
  if (!raw) {
    gMemErr = memFullErr;
    return nullptr;
  }
  auto* h = static_cast<PtrHeader*>(raw);
  h->capacity = size;
  h->size = size;
  h->magic = kPtrMagic;
  gMemErr = noErr;
  return reinterpret_cast<Ptr>(h + 1);
}

// A handle points at this record; its first member is the master pointer.
struct HandleRec {
  char* data;
  Size size;
  SInt8 state;
  UInt32 magic;
};
constexpr UInt32 kHandleMagic = 0x484e444c;  // "HNDL"

HandleRec* recOf(Handle h) { return reinterpret_cast<HandleRec*>(h); }

}  // namespace

void MoreMasters() {}

OSErr MemError() { return gMemErr; }
void TBSetMemError(OSErr err) { gMemErr = err; }

Ptr NewPtr(Size size) { return allocBlock(size, false); }
Ptr NewPtrClear(Size size) { return allocBlock(size, true); }

void DisposePtr(Ptr p) {
  gMemErr = noErr;
  if (!p) return;
  PtrHeader* h = headerOf(p);
  h->magic = 0;
  std::free(h);
}

Size GetPtrSize(Ptr p) {
  if (!p) {
    gMemErr = nilHandleErr;
    return 0;
  }
  gMemErr = noErr;
  return headerOf(p)->size;
}

void SetPtrSize(Ptr p, Size newSize) {
  if (!p || newSize < 0) {
    gMemErr = p ? paramErr : nilHandleErr;
    return;
  }
  PtrHeader* h = headerOf(p);
  if (newSize > h->capacity) {
    gMemErr = memFullErr;
    return;
  }
  if (newSize > h->size) std::memset(p + h->size, 0, static_cast<std::size_t>(newSize - h->size));
  h->size = newSize;
  gMemErr = noErr;
}

static Handle newHandle(Size size, bool clear) {
  if (size < 0) {
    gMemErr = paramErr;
    return nullptr;
  }
  auto* rec = new (std::nothrow) HandleRec{nullptr, 0, 0, kHandleMagic};
  if (!rec) {
    gMemErr = memFullErr;
    return nullptr;
  }
  // One spare byte so a text handle can always be NUL-terminated by readers.
  rec->data = static_cast<char*>(clear ? std::calloc(1, size + 1) : std::malloc(size + 1));
  if (!rec->data) {
    delete rec;
    gMemErr = memFullErr;
    return nullptr;
  }
  rec->data[size] = 0;
  rec->size = size;
  gMemErr = noErr;
  return &rec->data;
}

Handle NewHandle(Size size) { return newHandle(size, false); }
Handle NewHandleClear(Size size) { return newHandle(size, true); }

bool TBIsHandle(Handle h) { return h && recOf(h)->magic == kHandleMagic; }

void DisposeHandle(Handle h) {
  gMemErr = noErr;
  if (!h) return;
  HandleRec* rec = recOf(h);
  rec->magic = 0;
  std::free(rec->data);
  delete rec;
}

Size GetHandleSize(Handle h) {
  if (!h) {
    gMemErr = nilHandleErr;
    return 0;
  }
  gMemErr = noErr;
  return recOf(h)->size;
}

void SetHandleSize(Handle h, Size newSize) {
  if (!h || newSize < 0) {
    gMemErr = h ? paramErr : nilHandleErr;
    return;
  }
  HandleRec* rec = recOf(h);
  char* grown = static_cast<char*>(std::realloc(rec->data, newSize + 1));
  if (!grown) {
    gMemErr = memFullErr;
    return;
  }
  if (newSize > rec->size) std::memset(grown + rec->size, 0, static_cast<std::size_t>(newSize - rec->size));
  grown[newSize] = 0;
  rec->data = grown;
  rec->size = newSize;
  gMemErr = noErr;
}

void HLock(Handle h) {
  if (h) recOf(h)->state |= 0x80;
}
void HUnlock(Handle h) {
  if (h) recOf(h)->state &= ~0x80;
}
void HLockHi(Handle h) { HLock(h); }
void MoveHHi(Handle) {}
SInt8 HGetState(Handle h) { return h ? recOf(h)->state : 0; }
void HSetState(Handle h, SInt8 state) {
  if (h) recOf(h)->state = state;
}
void HNoPurge(Handle) {}
void HPurge(Handle) {}

OSErr PtrToHand(const void* src, Handle* dst, Size size) {
  *dst = NewHandle(size);
  if (!*dst) return gMemErr;
  if (size) std::memcpy(**dst, src, static_cast<std::size_t>(size));
  return noErr;
}

OSErr HandToHand(Handle* h) {
  if (!h || !*h) return nilHandleErr;
  Handle src = *h;
  Handle copy = NewHandle(GetHandleSize(src));
  if (!copy) return gMemErr;
  std::memcpy(*copy, *src, static_cast<std::size_t>(GetHandleSize(src)));
  *h = copy;
  return noErr;
}

OSErr PtrAndHand(const void* src, Handle h, Size size) {
  if (!h) return nilHandleErr;
  Size old = GetHandleSize(h);
  SetHandleSize(h, old + size);
  if (gMemErr) return gMemErr;
  if (size) std::memcpy(*h + old, src, static_cast<std::size_t>(size));
  return noErr;
}

void BlockMove(const void* src, void* dst, Size size) {
  if (size > 0) std::memmove(dst, src, static_cast<std::size_t>(size));
}
void BlockMoveData(const void* src, void* dst, Size size) { BlockMove(src, dst, size); }
void BlockZero(void* dst, Size size) {
  if (size > 0) std::memset(dst, 0, static_cast<std::size_t>(size));
}
