// Scrap Manager: the process clipboard and its flavours, and on a desktop
// the desktop's clipboard: what is copied here is offered to every other
// program, and what another program copied is what a paste here takes.
#include "toolbox/scrap.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "display_backend.h"
#include "toolbox/display.h"
#include "utf8_internal.h"

struct OpaqueScrapRef {
  struct Flavor {
    ScrapFlavorType type;
    ScrapFlavorFlags flags;
    std::vector<UInt8> data;
  };
  std::vector<Flavor> flavors;
};

namespace {

// Every scrap made so far stays allocated (a handful per run), so a stale
// reference is told apart by address, never read after being freed.
struct Scraps {
  std::vector<std::unique_ptr<OpaqueScrapRef>> all;
  OpaqueScrapRef* current = nullptr;
  OpaqueScrapRef* now() {
    if (!current) {
      all.push_back(std::make_unique<OpaqueScrapRef>());
      current = all.back().get();
    }
    return current;
  }
};

Scraps& scraps() {
  static Scraps s;
  return s;
}

OpaqueScrapRef::Flavor* findFlavor(ScrapRef scrap, ScrapFlavorType type) {
  for (auto& f : scrap->flavors)
    if (f.type == type) return &f;
  return nullptr;
}

bool valid(ScrapRef scrap) { return scrap && scrap == scraps().current; }

// UTF-8 to UTF-16 and back, for the 'utxt' flavour. A byte that starts no
// valid sequence stands for the character of the same number.
std::vector<UInt16> toUtf16(std::string_view s) {
  std::vector<UInt16> out;
  const auto* t = reinterpret_cast<const unsigned char*>(s.data());
  std::size_t i = 0, n = s.size();
  while (i < n) {
    auto [cp, len] = tb::utf8::Decode(t, n, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(UInt16(0xD800 + (cp >> 10)));
      out.push_back(UInt16(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(UInt16(cp));
    }
    i += len;
  }
  return out;
}

std::string fromUtf16(const UInt16* u, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) {
    char32_t cp = u[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < n && u[i + 1] >= 0xDC00 && u[i + 1] < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (u[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;
    }
    tb::utf8::Append(out, cp);
  }
  return out;
}

void putText(ScrapRef scrap, std::string_view text) {
  scrap->flavors.push_back({kScrapFlavorTypeText, kScrapFlavorMaskNone, {text.begin(), text.end()}});
  std::vector<UInt16> u = toUtf16(text);
  const auto* b = reinterpret_cast<const UInt8*>(u.data());
  scrap->flavors.push_back({kScrapFlavorTypeUnicode, kScrapFlavorMaskNone, {b, b + u.size() * 2}});
}

bool textOf(ScrapRef scrap, std::string* text) {
  if (auto* f = findFlavor(scrap, kScrapFlavorTypeText)) {
    if (text) text->assign(f->data.begin(), f->data.end());
    return true;
  }
  if (auto* f = findFlavor(scrap, kScrapFlavorTypeUnicode)) {
    std::vector<UInt16> u(f->data.size() / 2);
    if (!u.empty()) std::memcpy(u.data(), f->data.data(), u.size() * 2);
    if (text) *text = fromUtf16(u.data(), u.size());
    return true;
  }
  return false;
}

// Before the scrap is read: when another program of the desktop holds the
// clipboard, its text becomes the scrap (a new one only when the text
// differs, so references stay good while nothing changed).
void followDesktop() {
  if (tb::DisplayIsHeadless()) return;
  std::string theirs;
  switch (tb::detail::DisplayClipboardText(&theirs)) {
    case tb::detail::DisplayBackend::Clipboard::kLocal: return;
    case tb::detail::DisplayBackend::Clipboard::kEmpty:
      if (!scraps().now()->flavors.empty()) ClearCurrentScrap();
      return;
    case tb::detail::DisplayBackend::Clipboard::kText: {
      std::string ours;
      if (textOf(scraps().now(), &ours) && ours == theirs) return;
      ClearCurrentScrap();
      putText(scraps().now(), theirs);
      return;
    }
  }
}

}  // namespace

bool tb::detail::LocalScrapText(std::string* text) { return textOf(scraps().now(), text); }

OSStatus GetCurrentScrap(ScrapRef* scrap) {
  if (!scrap) return paramErr;
  followDesktop();
  *scrap = scraps().now();
  return noErr;
}

OSStatus ClearCurrentScrap() {
  auto& s = scraps();
  // The old scrap's bytes are dropped; the record stays so a stale
  // reference is still recognised as stale.
  if (s.current) s.current->flavors.clear();
  s.all.push_back(std::make_unique<OpaqueScrapRef>());
  s.current = s.all.back().get();
  // Only the last few records matter for telling stale references; keep
  // the list from growing without end in a long run.
  if (s.all.size() > 64) s.all.erase(s.all.begin(), s.all.begin() + 32);
  return noErr;
}

OSStatus PutScrapFlavor(ScrapRef scrap, ScrapFlavorType type, ScrapFlavorFlags flags, Size size,
                        const void* data) {
  if (!valid(scrap)) return badScrapRefErr;
  if (size < 0 || (size > 0 && !data)) return paramErr;
  if (findFlavor(scrap, type)) return duplicateScrapFlavorErr;
  OpaqueScrapRef::Flavor f{type, flags, {}};
  if (size > 0) {
    const auto* b = static_cast<const UInt8*>(data);
    f.data.assign(b, b + size);
  }
  scrap->flavors.push_back(std::move(f));
  if (type == kScrapFlavorTypeText || type == kScrapFlavorTypeUnicode) tb::detail::DisplayOwnClipboard();
  return noErr;
}

OSStatus GetScrapFlavorFlags(ScrapRef scrap, ScrapFlavorType type, ScrapFlavorFlags* flags) {
  if (!valid(scrap)) return badScrapRefErr;
  auto* f = findFlavor(scrap, type);
  if (!f) return noTypeErr;
  if (flags) *flags = f->flags;
  return noErr;
}

OSStatus GetScrapFlavorSize(ScrapRef scrap, ScrapFlavorType type, Size* byteCount) {
  if (!valid(scrap)) return badScrapRefErr;
  if (!byteCount) return paramErr;
  auto* f = findFlavor(scrap, type);
  if (!f) return noTypeErr;
  *byteCount = Size(f->data.size());
  return noErr;
}

OSStatus GetScrapFlavorData(ScrapRef scrap, ScrapFlavorType type, Size* byteCount, void* destination) {
  if (!valid(scrap)) return badScrapRefErr;
  if (!byteCount || *byteCount < 0 || (*byteCount > 0 && !destination)) return paramErr;
  auto* f = findFlavor(scrap, type);
  if (!f) return noTypeErr;
  Size n = std::min<Size>(*byteCount, Size(f->data.size()));
  if (n > 0) std::memcpy(destination, f->data.data(), std::size_t(n));
  *byteCount = n;
  return noErr;
}

bool tb::GetScrapText(std::string* text) {
  followDesktop();
  return textOf(scraps().now(), text);
}

void tb::PutScrapText(std::string_view text) {
  ClearCurrentScrap();
  putText(scraps().now(), text);
  tb::detail::DisplayOwnClipboard();
}
