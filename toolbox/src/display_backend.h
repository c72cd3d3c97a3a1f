// The display's backends: where the composited screen goes and where real
// input comes from. Private to the toolbox.
#pragma once

#include <memory>
#include <string>

#include "toolbox/types.h"

namespace tb::detail {

class DisplayBackend {
 public:
  virtual ~DisplayBackend() = default;
  // Shows the framebuffer (0, R, G, B memory order, stride in pixels).
  virtual void present(const UInt32* fb, int stride, int width, int height) = 0;
  // Reads input that is already waiting (the descriptor watch does the
  // rest).
  virtual void poll() {}
  virtual void beep() {}
  virtual void setCursor(int kind) { (void)kind; }
  // True when a person can give input (the button held can be released).
  virtual bool live() const { return false; }
};

// The X11 backend, or null (with the reason) when there is no X server or
// the toolbox was built without X11.
std::unique_ptr<DisplayBackend> MakeX11Backend(int width, int height, std::string* error);

}  // namespace tb::detail
