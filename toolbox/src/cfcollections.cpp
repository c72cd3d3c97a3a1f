// Core Foundation arrays, dictionaries and Booleans.
#include "toolbox/cfcollections.h"

#include <set>
#include <utility>
#include <vector>

#include "cf_internal.h"

// Every object starts with its magic, as the strings do, so that the string
// module's check of the first word never takes one for a string.
struct OpaqueCFArray {
  UInt32 magic;
  int refs;
  bool isMutable;
  CFIndex capacity;
  std::vector<CFTypeRef> items;
};

struct OpaqueCFDictionary {
  UInt32 magic;
  int refs;
  std::vector<std::pair<CFTypeRef, CFTypeRef>> entries;
};

struct OpaqueCFBoolean {
  UInt32 magic;
  bool value;
};

namespace {

constexpr UInt32 kArrayMagic = 'CFar', kDictMagic = 'CFdi', kBoolMagic = 'CFbo';
enum : CFTypeID { kStringType = 7, kDictionaryType = 18, kArrayType = 19, kBooleanType = 21 };

const OpaqueCFBoolean kTrue{kBoolMagic, true}, kFalse{kBoolMagic, false};

// The live collections: only these are ever read through a pointer.
std::set<const void*>& live() {
  static std::set<const void*>& s = *new std::set<const void*>;
  return s;
}

OpaqueCFArray* arrayOf(CFArrayRef a) {
  return a && live().count(a) && a->magic == kArrayMagic ? const_cast<OpaqueCFArray*>(a) : nullptr;
}
OpaqueCFDictionary* dictOf(CFDictionaryRef d) {
  return d && live().count(d) && d->magic == kDictMagic ? const_cast<OpaqueCFDictionary*>(d) : nullptr;
}
bool isBoolean(CFTypeRef cf) { return cf == &kTrue || cf == &kFalse; }

CFTypeRef retained(CFTypeRef v) { return v ? CFRetain(v) : v; }

bool sameKey(CFTypeRef a, CFTypeRef b) {
  if (a == b) return true;
  if (tb::IsCFString(a) && tb::IsCFString(b))
    return CFStringCompare(static_cast<CFStringRef>(a), static_cast<CFStringRef>(b), 0) == kCFCompareEqualTo;
  return false;
}

OpaqueCFArray* newArray(bool isMutable, CFIndex capacity) {
  auto* a = new OpaqueCFArray{kArrayMagic, 1, isMutable, capacity < 0 ? 0 : capacity, {}};
  live().insert(a);
  return a;
}

}  // namespace

const CFArrayCallBacks kCFTypeArrayCallBacks{0};
const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks{0};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks{0};
const CFBooleanRef kCFBooleanTrue = &kTrue;
const CFBooleanRef kCFBooleanFalse = &kFalse;

Boolean CFBooleanGetValue(CFBooleanRef boolean) { return boolean == &kTrue; }

CFTypeID CFStringGetTypeID() { return kStringType; }
CFTypeID CFArrayGetTypeID() { return kArrayType; }
CFTypeID CFDictionaryGetTypeID() { return kDictionaryType; }
CFTypeID CFBooleanGetTypeID() { return kBooleanType; }

CFTypeID CFGetTypeID(CFTypeRef cf) {
  if (isBoolean(cf)) return kBooleanType;
  if (arrayOf(static_cast<CFArrayRef>(cf))) return kArrayType;
  if (dictOf(static_cast<CFDictionaryRef>(cf))) return kDictionaryType;
  if (cf && tb::IsCFString(cf)) return kStringType;
  return 0;
}

CFArrayRef CFArrayCreate(CFAllocatorRef, const void** values, CFIndex numValues, const CFArrayCallBacks*) {
  if (numValues < 0 || (numValues > 0 && !values)) return nullptr;
  OpaqueCFArray* a = newArray(false, 0);
  for (CFIndex i = 0; i < numValues; ++i) a->items.push_back(retained(values[i]));
  return a;
}

CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef, CFIndex capacity, const CFArrayCallBacks*) {
  return newArray(true, capacity);
}

CFMutableArrayRef CFArrayCreateMutableCopy(CFAllocatorRef, CFIndex capacity, CFArrayRef theArray) {
  OpaqueCFArray* from = arrayOf(theArray);
  if (!from || (capacity > 0 && CFIndex(from->items.size()) > capacity)) return nullptr;
  OpaqueCFArray* a = newArray(true, capacity);
  for (CFTypeRef v : from->items) a->items.push_back(retained(v));
  return a;
}

CFIndex CFArrayGetCount(CFArrayRef theArray) {
  OpaqueCFArray* a = arrayOf(theArray);
  return a ? CFIndex(a->items.size()) : 0;
}

const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx) {
  OpaqueCFArray* a = arrayOf(theArray);
  if (!a || idx < 0 || idx >= CFIndex(a->items.size())) return nullptr;
  return a->items[std::size_t(idx)];
}

void CFArrayAppendValue(CFMutableArrayRef theArray, const void* value) {
  OpaqueCFArray* a = arrayOf(theArray);
  if (!a || !a->isMutable || (a->capacity > 0 && CFIndex(a->items.size()) >= a->capacity)) return;
  a->items.push_back(retained(value));
}

void CFArrayRemoveValueAtIndex(CFMutableArrayRef theArray, CFIndex idx) {
  OpaqueCFArray* a = arrayOf(theArray);
  if (!a || !a->isMutable || idx < 0 || idx >= CFIndex(a->items.size())) return;
  CFTypeRef v = a->items[std::size_t(idx)];
  a->items.erase(a->items.begin() + idx);
  if (v) CFRelease(v);
}

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void** keys, const void** values, CFIndex numValues,
                                   const CFDictionaryKeyCallBacks*, const CFDictionaryValueCallBacks*) {
  if (numValues < 0 || (numValues > 0 && (!keys || !values))) return nullptr;
  auto* d = new OpaqueCFDictionary{kDictMagic, 1, {}};
  live().insert(d);
  for (CFIndex i = 0; i < numValues; ++i) {
    CFTypeRef k = keys[i], v = values[i];
    bool replaced = false;
    for (auto& e : d->entries)
      if (sameKey(e.first, k)) {
        retained(v);
        if (e.second) CFRelease(e.second);
        e.second = v;
        replaced = true;
      }
    if (!replaced) d->entries.emplace_back(retained(k), retained(v));
  }
  return d;
}

CFIndex CFDictionaryGetCount(CFDictionaryRef theDict) {
  OpaqueCFDictionary* d = dictOf(theDict);
  return d ? CFIndex(d->entries.size()) : 0;
}

const void* CFDictionaryGetValue(CFDictionaryRef theDict, const void* key) {
  OpaqueCFDictionary* d = dictOf(theDict);
  if (!d) return nullptr;
  for (const auto& e : d->entries)
    if (sameKey(e.first, key)) return e.second;
  return nullptr;
}

// ---------------------------------------------------------------------------

bool tb::detail::RetainCollection(CFTypeRef cf) {
  if (isBoolean(cf)) return true;
  if (OpaqueCFArray* a = arrayOf(static_cast<CFArrayRef>(cf))) return ++a->refs, true;
  if (OpaqueCFDictionary* d = dictOf(static_cast<CFDictionaryRef>(cf))) return ++d->refs, true;
  return false;
}

bool tb::detail::ReleaseCollection(CFTypeRef cf) {
  if (isBoolean(cf)) return true;
  if (OpaqueCFArray* a = arrayOf(static_cast<CFArrayRef>(cf))) {
    if (--a->refs == 0) {
      live().erase(a);
      a->magic = 0;
      for (CFTypeRef v : a->items)
        if (v) CFRelease(v);
      delete a;
    }
    return true;
  }
  if (OpaqueCFDictionary* d = dictOf(static_cast<CFDictionaryRef>(cf))) {
    if (--d->refs == 0) {
      live().erase(d);
      d->magic = 0;
      for (auto& e : d->entries) {
        if (e.first) CFRelease(e.first);
        if (e.second) CFRelease(e.second);
      }
      delete d;
    }
    return true;
  }
  return false;
}

CFIndex tb::detail::CollectionRetainCount(CFTypeRef cf) {
  if (isBoolean(cf)) return 0x7FFFFFFF;
  if (OpaqueCFArray* a = arrayOf(static_cast<CFArrayRef>(cf))) return a->refs;
  if (OpaqueCFDictionary* d = dictOf(static_cast<CFDictionaryRef>(cf))) return d->refs;
  return -1;
}
