// Apple-event descriptors, lists, records and events: the data side. The
// transport and the handler table live in ae_transport.cpp.
#include "toolbox/appleevents.h"

#include <cstring>

#include "ae_internal.h"
#include "toolbox/memory.h"

namespace aeimpl {

namespace {

constexpr UInt32 kAppaMagic = 'VAEP';
constexpr std::size_t kAppaHeader = 8;

struct Reader {
  std::string_view s;
  std::size_t pos = 0;
  bool u32(UInt32& v) {
    if (s.size() - pos < 4) return false;
    v = be::get32(s.data() + pos);
    pos += 4;
    return true;
  }
  bool bytes(std::size_t n, std::string& out) {
    if (s.size() - pos < n) return false;
    out.assign(s.data() + pos, n);
    pos += n;
    return true;
  }
  bool item(Item& it) {
    UInt32 type, len;
    if (!u32(type) || !u32(len)) return false;
    it.type = type;
    return bytes(len, it.data);
  }
};

void putU32(std::string& out, UInt32 v) {
  char b[4];
  be::put32(b, v);
  out.append(b, 4);
}
void putItem(std::string& out, const Item& it) {
  putU32(out, it.type);
  putU32(out, static_cast<UInt32>(it.data.size()));
  out += it.data;
}

}  // namespace

bool ParseItems(std::string_view bytes, bool keyed, std::vector<Item>& out) {
  out.clear();
  if (bytes.empty()) return true;  // a list made with no items yet
  Reader r{bytes};
  UInt32 count;
  if (!r.u32(count)) return false;
  // Each item takes at least 8 bytes, so a count beyond that is corrupt.
  if (count > bytes.size() / 8) return false;
  out.reserve(count);
  for (UInt32 i = 0; i < count; ++i) {
    Item it;
    if (keyed && !r.u32(it.key)) return false;
    if (!r.item(it)) return false;
    out.push_back(std::move(it));
  }
  return r.pos == bytes.size();
}

std::string BuildItems(const std::vector<Item>& items, bool keyed) {
  std::string out;
  putU32(out, static_cast<UInt32>(items.size()));
  for (const Item& it : items) {
    if (keyed) putU32(out, it.key);
    putItem(out, it);
  }
  return out;
}

bool ParseEvent(std::string_view bytes, Event& ev) {
  Reader r{bytes};
  UInt32 ret, tran;
  if (!r.u32(ev.eventClass) || !r.u32(ev.eventID) || !r.u32(ret) || !r.u32(tran)) return false;
  ev.returnID = static_cast<SInt32>(ret);
  ev.transactionID = static_cast<SInt32>(tran);
  if (!r.item(ev.address) || !r.item(ev.from)) return false;
  // The parameter count is always there, even for an event without any.
  if (bytes.size() - r.pos < 4) return false;
  return ParseItems(bytes.substr(r.pos), true, ev.params);
}

std::string BuildEvent(const Event& ev) {
  std::string out;
  putU32(out, ev.eventClass);
  putU32(out, ev.eventID);
  putU32(out, static_cast<UInt32>(ev.returnID));
  putU32(out, static_cast<UInt32>(ev.transactionID));
  putItem(out, ev.address);
  putItem(out, ev.from);
  out += BuildItems(ev.params, true);
  return out;
}

std::string_view DescBytes(const AEDesc* d) {
  if (!d || !d->dataHandle || !*d->dataHandle) return {};
  return std::string_view(*d->dataHandle, static_cast<std::size_t>(GetHandleSize(d->dataHandle)));
}

OSErr MakeDesc(DescType type, std::string_view bytes, AEDesc* out) {
  if (!out) return paramErr;
  out->descriptorType = typeNull;
  out->dataHandle = nullptr;
  if (type == typeNull) return noErr;
  Handle h = NewHandle(static_cast<Size>(bytes.size()));
  if (!h) return memFullErr;
  if (!bytes.empty()) std::memcpy(*h, bytes.data(), bytes.size());
  out->descriptorType = type;
  out->dataHandle = h;
  return noErr;
}

OSErr Coerce(DescType from, std::string_view data, DescType to, DescType* outType, std::string* out) {
  if (to == typeWildCard || to == from) {
    *outType = from;
    out->assign(data);
    return noErr;
  }
  // Our text is UTF-8 throughout, so the two text types share their bytes.
  if ((from == typeChar && to == typeUTF8Text) || (from == typeUTF8Text && to == typeChar)) {
    *outType = to;
    out->assign(data);
    return noErr;
  }
  if (from == typeAppleEvent && to == typeAppParameters) {
    std::string appa(kAppaHeader, '\0');
    be::put32(appa.data(), kAppaMagic);
    be::put32(appa.data() + 4, static_cast<UInt32>(data.size()));
    appa.append(data);
    *outType = to;
    *out = std::move(appa);
    return noErr;
  }
  if (from == typeAppParameters && to == typeAppleEvent) {
    if (data.size() < kAppaHeader || be::get32(data.data()) != kAppaMagic ||
        be::get32(data.data() + 4) != data.size() - kAppaHeader)
      return errAECoercionFail;
    Event ev;
    if (!ParseEvent(data.substr(kAppaHeader), ev)) return errAECorruptData;
    *outType = to;
    out->assign(data.substr(kAppaHeader));
    return noErr;
  }
  if (to == typeAEList) {
    // A single descriptor asked for as a list is a list of one.
    *outType = to;
    *out = BuildItems({Item{0, from, std::string(data)}}, false);
    return noErr;
  }
  return errAECoercionFail;
}

bool HostU32(std::string_view data, UInt32& out) {
  if (data.size() != sizeof(UInt32)) return false;
  std::memcpy(&out, data.data(), sizeof out);
  return true;
}

bool HostPSN(std::string_view data, ProcessSerialNumber& out) {
  if (data.size() != sizeof(ProcessSerialNumber)) return false;
  std::memcpy(&out, data.data(), sizeof out);
  return true;
}

std::string CodeText(FourCharCode c) {
  std::string s;
  for (int shift = 24; shift >= 0; shift -= 8) {
    unsigned char ch = static_cast<unsigned char>(c >> shift);
    if (ch >= 0x20 && ch < 0x7F && ch != '%') {
      s += static_cast<char>(ch);
    } else {
      static const char hex[] = "0123456789ABCDEF";
      s += '%';
      s += hex[ch >> 4];
      s += hex[ch & 15];
    }
  }
  return s;
}

}  // namespace aeimpl

using namespace aeimpl;

namespace {

bool isList(const AEDesc* d) { return d && (d->descriptorType == typeAEList || d->descriptorType == typeAERecord); }
bool isEvent(const AEDesc* d) { return d && d->descriptorType == typeAppleEvent; }

// Replaces the descriptor's bytes in place (the handle stays the same).
OSErr setBytes(AEDesc* d, const std::string& bytes) {
  if (!d->dataHandle) return MakeDesc(d->descriptorType, bytes, d);
  SetHandleSize(d->dataHandle, static_cast<Size>(bytes.size()));
  if (MemError()) return memFullErr;
  if (!bytes.empty()) std::memcpy(*d->dataHandle, bytes.data(), bytes.size());
  return noErr;
}

// Copies a possibly coerced value out to the caller's buffer.
OSErr copyOut(DescType type, const std::string& data, DescType* typeCode, void* dataPtr,
              Size maximumSize, Size* actualSize) {
  if (typeCode) *typeCode = type;
  if (actualSize) *actualSize = static_cast<Size>(data.size());
  if (maximumSize < 0) return paramErr;
  std::size_t n = std::min<std::size_t>(data.size(), static_cast<std::size_t>(maximumSize));
  if (n && !dataPtr) return paramErr;
  if (n) std::memcpy(dataPtr, data.data(), n);
  return noErr;
}

OSErr itemsOf(const AEDesc* d, bool* keyed, std::vector<Item>& items) {
  if (!isList(d)) return errAEWrongDataType;
  *keyed = d->descriptorType == typeAERecord;
  return ParseItems(DescBytes(d), *keyed, items) ? noErr : errAECorruptData;
}

OSErr eventOf(const AEDesc* d, Event& ev) {
  if (!isEvent(d)) return errAEWrongDataType;
  return ParseEvent(DescBytes(d), ev) ? noErr : errAECorruptData;
}

// Parameters live in events and in records alike.
OSErr keyedItemsOf(const AEDesc* d, std::vector<Item>& items, Event* ev) {
  if (isEvent(d)) {
    OSErr err = eventOf(d, *ev);
    if (err) return err;
    items = ev->params;
    return noErr;
  }
  if (d && d->descriptorType == typeAERecord) {
    return ParseItems(DescBytes(d), true, items) ? noErr : errAECorruptData;
  }
  return errAEWrongDataType;
}

OSErr storeKeyedItems(AEDesc* d, std::vector<Item>& items, Event& ev) {
  if (isEvent(d)) {
    ev.params = std::move(items);
    return setBytes(d, BuildEvent(ev));
  }
  return setBytes(d, BuildItems(items, true));
}

OSErr putKey(AEDesc* d, AEKeyword key, DescType type, std::string_view data) {
  if (!d) return paramErr;
  std::vector<Item> items;
  Event ev;
  OSErr err = keyedItemsOf(d, items, &ev);
  if (err) return err;
  bool replaced = false;
  for (Item& it : items) {
    if (it.key == key) {
      it.type = type;
      it.data.assign(data);
      replaced = true;
      break;
    }
  }
  if (!replaced) items.push_back(Item{key, type, std::string(data)});
  return storeKeyedItems(d, items, ev);
}

OSErr getKey(const AEDesc* d, AEKeyword key, DescType desired, DescType* outType, std::string* out) {
  if (!d) return paramErr;
  std::vector<Item> items;
  Event ev;
  OSErr err = keyedItemsOf(d, items, &ev);
  if (err) return err;
  for (const Item& it : items)
    if (it.key == key) return Coerce(it.type, it.data, desired, outType, out);
  return errAEDescNotFound;
}

OSErr getNth(const AEDesc* d, long index, DescType desired, AEKeyword* key, DescType* outType,
             std::string* out) {
  bool keyed;
  std::vector<Item> items;
  OSErr err = itemsOf(d, &keyed, items);
  if (err) return err;
  if (index < 1 || static_cast<std::size_t>(index) > items.size()) return errAEBadListItem;
  const Item& it = items[static_cast<std::size_t>(index - 1)];
  if (key) *key = keyed ? it.key : typeWildCard;
  return Coerce(it.type, it.data, desired, outType, out);
}

OSErr putNth(AEDesc* d, long index, DescType type, std::string_view data) {
  bool keyed;
  std::vector<Item> items;
  OSErr err = itemsOf(d, &keyed, items);
  if (err) return err;
  if (keyed) return errAEWrongDataType;  // records take keys, not positions
  if (index < 0 || static_cast<std::size_t>(index) > items.size() + 1) return errAEBadListItem;
  Item it{0, type, std::string(data)};
  if (index == 0 || static_cast<std::size_t>(index) == items.size() + 1)
    items.push_back(std::move(it));
  else
    items[static_cast<std::size_t>(index - 1)] = std::move(it);
  return setBytes(d, BuildItems(items, false));
}

SInt16 gNextReturnID = 0;

}  // namespace

void AEInitializeDesc(AEDesc* desc) {
  if (!desc) return;
  desc->descriptorType = typeNull;
  desc->dataHandle = nullptr;
}

OSErr AECreateDesc(DescType typeCode, const void* dataPtr, Size dataSize, AEDesc* result) {
  if (!result || dataSize < 0 || (dataSize > 0 && !dataPtr)) return paramErr;
  return MakeDesc(typeCode, std::string_view(static_cast<const char*>(dataPtr), static_cast<std::size_t>(dataSize)),
                  result);
}

OSErr AEDisposeDesc(AEDesc* theAEDesc) {
  if (!theAEDesc) return paramErr;
  if (theAEDesc->dataHandle) DisposeHandle(theAEDesc->dataHandle);
  AEInitializeDesc(theAEDesc);
  return noErr;
}

OSErr AEDuplicateDesc(const AEDesc* theAEDesc, AEDesc* result) {
  if (!theAEDesc || !result) return paramErr;
  std::string copy(DescBytes(theAEDesc));  // the source may be the result
  return MakeDesc(theAEDesc->descriptorType, copy, result);
}

Size AEGetDescDataSize(const AEDesc* theAEDesc) { return static_cast<Size>(DescBytes(theAEDesc).size()); }

OSErr AEGetDescData(const AEDesc* theAEDesc, void* dataPtr, Size maximumSize) {
  if (!theAEDesc) return paramErr;
  return copyOut(theAEDesc->descriptorType, std::string(DescBytes(theAEDesc)), nullptr, dataPtr,
                 maximumSize, nullptr);
}

OSErr AECoerceDesc(const AEDesc* theAEDesc, DescType toType, AEDesc* result) {
  if (!theAEDesc || !result) return paramErr;
  DescType type;
  std::string data;
  OSErr err = Coerce(theAEDesc->descriptorType, DescBytes(theAEDesc), toType, &type, &data);
  if (err) {
    AEInitializeDesc(result);
    return err;
  }
  return MakeDesc(type, data, result);
}

OSErr AECoercePtr(DescType typeCode, const void* dataPtr, Size dataSize, DescType toType, AEDesc* result) {
  AEDesc tmp;
  OSErr err = AECreateDesc(typeCode, dataPtr, dataSize, &tmp);
  if (err) return err;
  err = AECoerceDesc(&tmp, toType, result);
  AEDisposeDesc(&tmp);
  return err;
}

OSErr AECreateList(const void*, Size, Boolean isRecord, AEDescList* resultList) {
  if (!resultList) return paramErr;
  return MakeDesc(isRecord ? typeAERecord : typeAEList, BuildItems({}, isRecord), resultList);
}

OSErr AECountItems(const AEDescList* theAEDescList, long* theCount) {
  if (!theCount) return paramErr;
  bool keyed;
  std::vector<Item> items;
  OSErr err = itemsOf(theAEDescList, &keyed, items);
  if (err) return err;
  *theCount = static_cast<long>(items.size());
  return noErr;
}

OSErr AEPutPtr(AEDescList* theAEDescList, long index, DescType typeCode, const void* dataPtr, Size dataSize) {
  if (dataSize < 0 || (dataSize > 0 && !dataPtr)) return paramErr;
  return putNth(theAEDescList, index, typeCode,
                std::string_view(static_cast<const char*>(dataPtr), static_cast<std::size_t>(dataSize)));
}

OSErr AEPutDesc(AEDescList* theAEDescList, long index, const AEDesc* theAEDesc) {
  if (!theAEDesc) return paramErr;
  return putNth(theAEDescList, index, theAEDesc->descriptorType, std::string(DescBytes(theAEDesc)));
}

OSErr AEGetNthPtr(const AEDescList* theAEDescList, long index, DescType desiredType, AEKeyword* theAEKeyword,
                  DescType* typeCode, void* dataPtr, Size maximumSize, Size* actualSize) {
  DescType type;
  std::string data;
  OSErr err = getNth(theAEDescList, index, desiredType, theAEKeyword, &type, &data);
  if (err) return err;
  return copyOut(type, data, typeCode, dataPtr, maximumSize, actualSize);
}

OSErr AEGetNthDesc(const AEDescList* theAEDescList, long index, DescType desiredType, AEKeyword* theAEKeyword,
                   AEDesc* result) {
  if (!result) return paramErr;
  DescType type;
  std::string data;
  OSErr err = getNth(theAEDescList, index, desiredType, theAEKeyword, &type, &data);
  if (err) {
    AEInitializeDesc(result);
    return err;
  }
  return MakeDesc(type, data, result);
}

OSErr AEDeleteItem(AEDescList* theAEDescList, long index) {
  bool keyed;
  std::vector<Item> items;
  OSErr err = itemsOf(theAEDescList, &keyed, items);
  if (err) return err;
  if (index < 1 || static_cast<std::size_t>(index) > items.size()) return errAEBadListItem;
  items.erase(items.begin() + (index - 1));
  return setBytes(theAEDescList, BuildItems(items, keyed));
}

OSErr AEPutKeyPtr(AERecord* theAERecord, AEKeyword theAEKeyword, DescType typeCode, const void* dataPtr,
                  Size dataSize) {
  if (dataSize < 0 || (dataSize > 0 && !dataPtr)) return paramErr;
  return putKey(theAERecord, theAEKeyword, typeCode,
                std::string_view(static_cast<const char*>(dataPtr), static_cast<std::size_t>(dataSize)));
}

OSErr AEPutKeyDesc(AERecord* theAERecord, AEKeyword theAEKeyword, const AEDesc* theAEDesc) {
  if (!theAEDesc) return paramErr;
  return putKey(theAERecord, theAEKeyword, theAEDesc->descriptorType, std::string(DescBytes(theAEDesc)));
}

OSErr AEGetKeyPtr(const AERecord* theAERecord, AEKeyword theAEKeyword, DescType desiredType, DescType* typeCode,
                  void* dataPtr, Size maximumSize, Size* actualSize) {
  DescType type;
  std::string data;
  OSErr err = getKey(theAERecord, theAEKeyword, desiredType, &type, &data);
  if (err) return err;
  return copyOut(type, data, typeCode, dataPtr, maximumSize, actualSize);
}

OSErr AEGetKeyDesc(const AERecord* theAERecord, AEKeyword theAEKeyword, DescType desiredType, AEDesc* result) {
  if (!result) return paramErr;
  DescType type;
  std::string data;
  OSErr err = getKey(theAERecord, theAEKeyword, desiredType, &type, &data);
  if (err) {
    AEInitializeDesc(result);
    return err;
  }
  return MakeDesc(type, data, result);
}

OSErr AECreateAppleEvent(AEEventClass theAEEventClass, AEEventID theAEEventID, const AEAddressDesc* target,
                         AEReturnID returnID, AETransactionID transactionID, AppleEvent* result) {
  if (!result) return paramErr;
  AEInitializeDesc(result);
  Event ev;
  ev.eventClass = theAEEventClass;
  ev.eventID = theAEEventID;
  if (returnID == kAutoGenerateReturnID) {
    do {
      gNextReturnID = static_cast<SInt16>(gNextReturnID == 0x7FFF ? 1 : gNextReturnID + 1);
    } while (gNextReturnID == kAutoGenerateReturnID || gNextReturnID == 0);
    returnID = gNextReturnID;
  }
  ev.returnID = returnID;
  ev.transactionID = transactionID;
  if (target) ev.address = Item{0, target->descriptorType, std::string(DescBytes(target))};
  return MakeDesc(typeAppleEvent, BuildEvent(ev), result);
}

OSErr AEPutParamPtr(AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType typeCode, const void* dataPtr,
                    Size dataSize) {
  if (!isEvent(theAppleEvent)) return errAEWrongDataType;
  return AEPutKeyPtr(theAppleEvent, theAEKeyword, typeCode, dataPtr, dataSize);
}

OSErr AEPutParamDesc(AppleEvent* theAppleEvent, AEKeyword theAEKeyword, const AEDesc* theAEDesc) {
  if (!isEvent(theAppleEvent)) return errAEWrongDataType;
  return AEPutKeyDesc(theAppleEvent, theAEKeyword, theAEDesc);
}

OSErr AEGetParamPtr(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType desiredType,
                    DescType* typeCode, void* dataPtr, Size maximumSize, Size* actualSize) {
  if (!isEvent(theAppleEvent)) return errAEWrongDataType;
  return AEGetKeyPtr(theAppleEvent, theAEKeyword, desiredType, typeCode, dataPtr, maximumSize, actualSize);
}

OSErr AEGetParamDesc(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType desiredType,
                     AEDesc* result) {
  if (!isEvent(theAppleEvent)) {
    if (result) AEInitializeDesc(result);
    return errAEWrongDataType;
  }
  return AEGetKeyDesc(theAppleEvent, theAEKeyword, desiredType, result);
}

namespace {

OSErr getAttribute(const AppleEvent* ev, AEKeyword key, DescType desired, DescType* outType, std::string* out) {
  Event e;
  OSErr err = eventOf(ev, e);
  if (err) return err;
  auto host32 = [](UInt32 v) { return std::string(reinterpret_cast<const char*>(&v), sizeof v); };
  switch (key) {
    case keyEventClassAttr:
      return Coerce(typeType, host32(e.eventClass), desired, outType, out);
    case keyEventIDAttr:
      return Coerce(typeType, host32(e.eventID), desired, outType, out);
    case keyReturnIDAttr: {
      SInt16 v = static_cast<SInt16>(e.returnID);
      return Coerce(typeSInt16, std::string(reinterpret_cast<const char*>(&v), sizeof v), desired, outType, out);
    }
    case keyTransactionIDAttr:
      return Coerce(typeSInt32, host32(static_cast<UInt32>(e.transactionID)), desired, outType, out);
    case keyAddressAttr:
      return Coerce(e.address.type, e.address.data, desired, outType, out);
    case keyOriginalAddressAttr:
      if (e.from.type == typeNull) return errAEDescNotFound;
      return Coerce(e.from.type, e.from.data, desired, outType, out);
    default:
      return errAEDescNotFound;
  }
}

}  // namespace

OSErr AEGetAttributePtr(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType desiredType,
                        DescType* typeCode, void* dataPtr, Size maximumSize, Size* actualSize) {
  DescType type;
  std::string data;
  OSErr err = getAttribute(theAppleEvent, theAEKeyword, desiredType, &type, &data);
  if (err) return err;
  return copyOut(type, data, typeCode, dataPtr, maximumSize, actualSize);
}

OSErr AEGetAttributeDesc(const AppleEvent* theAppleEvent, AEKeyword theAEKeyword, DescType desiredType,
                         AEDesc* result) {
  if (!result) return paramErr;
  DescType type;
  std::string data;
  OSErr err = getAttribute(theAppleEvent, theAEKeyword, desiredType, &type, &data);
  if (err) {
    AEInitializeDesc(result);
    return err;
  }
  return MakeDesc(type, data, result);
}

OSErr tb::FlattenAppleEvent(const AppleEvent* event, std::string* out) {
  if (!out) return paramErr;
  Event ev;
  OSErr err = eventOf(event, ev);
  if (err) return err;
  out->assign(DescBytes(event));
  return noErr;
}

OSErr tb::UnflattenAppleEvent(const void* data, std::size_t size, AppleEvent* out) {
  if (!out || (size && !data)) return paramErr;
  AEInitializeDesc(out);
  std::string_view bytes(static_cast<const char*>(data), size);
  Event ev;
  if (!ParseEvent(bytes, ev)) return errAECorruptData;
  return MakeDesc(typeAppleEvent, bytes, out);
}
