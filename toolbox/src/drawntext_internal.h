// What QuickDraw and the managers tell the drawn-text report
// (drawntext.cpp). Every hook is called only while DrawnTextOn(), so the
// report costs nothing else when off. Rectangles and regions are in the
// local coordinates of the port named.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "qd_internal.h"
#include "toolbox/drawntext.h"

namespace tb::detail {

extern bool gDrawnTextOn;
inline bool DrawnTextOn() { return gDrawnTextOn; }

// Adds the pixels of a glyph's coverage image (w x h at x, y) that show to
// ink.
void AddInk(qd::Rgn& ink, const UInt8* coverage, int w, int h, int x, int y);
// A text drawn in p: its pen box and ink.
void NoteDrawnText(GrafPort* p, std::string_view text, const Rect& box, const qd::Rgn& ink);
// A line of a text box that did not fit the box and was left out.
void NoteUndrawnText(GrafPort* p, std::string_view text, const Rect& box);
// The area (already cut to what was drawn) got pixels that hide what was there.
void NotePainted(GrafPort* p, const qd::Rgn& area);
// CopyBits from src to dst (either may be null when the BitMap is no port's).
void NoteCopied(GrafPort* src, GrafPort* dst, const Rect& srcRect, const Rect& dstRect, const qd::Rgn* mask,
                bool opaque);
// A picture recorded on p over frame was closed / drawn into dst in p /
// disposed; bytes identify the picture's data.
void NotePictureClosed(GrafPort* p, const void* pic, std::span<const UInt8> bytes, const Rect& frame);
void NotePictureDrawn(GrafPort* p, const void* pic, std::span<const UInt8> bytes, const Rect& dst);
void NotePictureGone(const void* pic);
void NoteSurfaceGone(const qd::Surface* surface);
// TruncString or TruncText made shortened from full.
void NoteShortened(std::string_view full, std::string_view shortened);
// The innermost scope's source and item (for drawers that decide by them).
TextSource CurrentTextSource();
short CurrentTextItem();

// Tags the texts drawn while it lives unless an outer scope already did
// (a control's title inside the dialog item's scope keeps the item).
class DefaultTextScope {
 public:
  DefaultTextScope(TextSource source, const Rect* frame) {
    if (CurrentTextSource() == TextSource::kDirect) scope_.emplace(source, frame);
  }

 private:
  std::optional<DrawnTextScope> scope_;
};

}  // namespace tb::detail
