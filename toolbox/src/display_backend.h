// The display's backends: where the composited screen goes and where real
// input comes from. Private to the toolbox; plain types only, since X11's
// headers take the names Cursor and Region.
#pragma once

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "toolbox/types.h"

namespace tb::detail {

class DisplayBackend {
 public:
  virtual ~DisplayBackend() = default;
  // Shows the framebuffer (0, R, G, B memory order, stride in pixels). Only
  // the parts in shown (screen coordinates: the menu bar's titles, the
  // windows, a menu pulled down) stand on the desktop; the rest of the
  // screen is not there, for looks or for the mouse. Outside dirty the
  // framebuffer holds what the last call showed.
  virtual void present(const UInt32* fb, int stride, int width, int height, const std::vector<Rect>& shown,
                       const Rect& dirty) = 0;
  // The name the desktop's window manager and task bar show (UTF-8).
  virtual void setTitle(const std::string& title) { (void)title; }
  // While a menu is open every click must come here, also one beside the
  // program's windows: it closes the menu.
  virtual void holdPointer(bool hold) { (void)hold; }
  // Reads input that is already waiting (the descriptor watch does the
  // rest).
  virtual void poll() {}
  virtual void beep() {}
  virtual void setCursor(int kind) { (void)kind; }
  // True when a person can give input (the button held can be released).
  virtual bool live() const { return false; }

  // The desktop's clipboard. ownClipboard: the program's scrap now holds
  // what was copied, for every other program to read.
  virtual void ownClipboard() {}
  enum class Clipboard {
    kLocal,  // the scrap is the clipboard (it was copied here, or there is no desktop)
    kText,   // another program's text, in *text (UTF-8)
    kEmpty,  // another program holds something that is not text, or nobody holds anything
  };
  virtual Clipboard clipboardText(std::string* text) {
    (void)text;
    return Clipboard::kLocal;
  }
};

// The X11 backend, or null (with the reason) when there is no X server or
// the toolbox was built without X11.
std::unique_ptr<DisplayBackend> MakeX11Backend(int width, int height, std::string* error);

// Grows bounds to take in r: an empty r adds nothing, and empty bounds
// become r.
inline void AddToBounds(Rect* bounds, const Rect& r) {
  if (r.right <= r.left || r.bottom <= r.top) return;
  if (bounds->right <= bounds->left || bounds->bottom <= bounds->top) {
    *bounds = r;
    return;
  }
  *bounds = Rect{std::min(bounds->top, r.top), std::min(bounds->left, r.left), std::max(bounds->bottom, r.bottom),
                 std::max(bounds->right, r.right)};
}

// Where a program's screen goes on the desktop: the offset that moves its
// content (the bounds of what it shows) into the work area clear of what
// other programs show there (each kept gap pixels away); where nothing is
// clear, the place that leaves least of it outside the area, then covers
// least of the others; among equals the highest, then the leftmost. With
// from (the offset where the program stands now), the place that leaves
// least outside and lies nearest to from (the sum of the two distances),
// then covers least of the others: a program brought back inside moves
// no further than it must.
Point PlaceOnDesktop(const Rect& content, const std::vector<Rect>& taken, const Rect& area, short gap,
                     const Point* from = nullptr);

// The scrap's way to the backend (nothing, and kLocal, when headless).
void DisplayOwnClipboard();
DisplayBackend::Clipboard DisplayClipboardText(std::string* text);

// What a backend tells the toolbox.
// The desktop gave the keyboard to another program (false) or back to this
// one: the front window is deactivated or activated.
void SetApplicationActive(bool active);
// The text of the program's own scrap, as another program reads it; false
// when it holds none.
bool LocalScrapText(std::string* text);

}  // namespace tb::detail
