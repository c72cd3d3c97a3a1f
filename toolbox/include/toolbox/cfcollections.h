// Core Foundation arrays, dictionaries and Booleans: the few collection
// calls the login-window preferences need.
//
// Collections retain what they hold and release it when they go (whatever
// callbacks are passed); CFRelease frees a collection with its last
// reference. Dictionary keys that are strings match by their text, other
// keys by identity. A made-up or freed object is never touched: calls on it
// do nothing and answer 0 or null.
#pragma once

#include "toolbox/cfstring.h"

using CFTypeID = unsigned long;
using CFPropertyListRef = CFTypeRef;
struct OpaqueCFArray;
using CFArrayRef = const OpaqueCFArray*;
using CFMutableArrayRef = OpaqueCFArray*;
struct OpaqueCFDictionary;
using CFDictionaryRef = const OpaqueCFDictionary*;
using CFMutableDictionaryRef = OpaqueCFDictionary*;
struct OpaqueCFBoolean;
using CFBooleanRef = const OpaqueCFBoolean*;

// Only their presence matters here (values are always retained).
struct CFArrayCallBacks {
  CFIndex version;
};
struct CFDictionaryKeyCallBacks {
  CFIndex version;
};
struct CFDictionaryValueCallBacks {
  CFIndex version;
};
extern const CFArrayCallBacks kCFTypeArrayCallBacks;
extern const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks;
extern const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks;

extern const CFBooleanRef kCFBooleanTrue;
extern const CFBooleanRef kCFBooleanFalse;
Boolean CFBooleanGetValue(CFBooleanRef boolean);

// 0 for anything not made here.
CFTypeID CFGetTypeID(CFTypeRef cf);
CFTypeID CFStringGetTypeID();
CFTypeID CFArrayGetTypeID();
CFTypeID CFDictionaryGetTypeID();
CFTypeID CFBooleanGetTypeID();

CFArrayRef CFArrayCreate(CFAllocatorRef allocator, const void** values, CFIndex numValues,
                         const CFArrayCallBacks* callBacks);
// capacity 0 means no limit; a mutable array never holds more than capacity.
CFMutableArrayRef CFArrayCreateMutable(CFAllocatorRef allocator, CFIndex capacity, const CFArrayCallBacks* callBacks);
CFMutableArrayRef CFArrayCreateMutableCopy(CFAllocatorRef allocator, CFIndex capacity, CFArrayRef theArray);
CFIndex CFArrayGetCount(CFArrayRef theArray);
// Null for an index outside the array.
const void* CFArrayGetValueAtIndex(CFArrayRef theArray, CFIndex idx);
void CFArrayAppendValue(CFMutableArrayRef theArray, const void* value);
void CFArrayRemoveValueAtIndex(CFMutableArrayRef theArray, CFIndex idx);

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef allocator, const void** keys, const void** values,
                                   CFIndex numValues, const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks);
CFIndex CFDictionaryGetCount(CFDictionaryRef theDict);
// Null when the key is missing.
const void* CFDictionaryGetValue(CFDictionaryRef theDict, const void* key);
