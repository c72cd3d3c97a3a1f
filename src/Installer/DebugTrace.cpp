// Development traces of the installer (see DebugTrace.h).
#include "Installer/DebugTrace.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "toolbox/files.h"
#include "toolbox/fonts.h"
#include "toolbox/script.h"

namespace {

void show(Str255 out, const char* fmt, ...) __attribute__((format(printf, 2, 3)));
void show(Str255 out, const char* fmt, ...) {
  char text[256];
  va_list ap;
  va_start(ap, fmt);
  int n = std::vsnprintf(text, sizeof text, fmt, ap);
  va_end(ap);
  std::size_t len = n < 0 ? 0 : std::min<std::size_t>(std::size_t(n), 255);
  if (out) {
    out[0] = UInt8(len);
    std::memcpy(out + 1, text, len);
  }
  // The old system stopped in its debugger here; we leave a line.
  std::fprintf(stderr, "DebugStr: %.*s\n", int(len), text);
}

std::once_flag gLogOnce;
FILE* gLog = nullptr;

}  // namespace

void Debug_Str_From_Pointer(const char* label, const void* p, Str255 out) {
  show(out, "%s : %#lx", label, (unsigned long)(std::uintptr_t)p);
}
void Debug_Str_From_Hex(const char* label, const UInt8* bytes, int index, Str255 out) {
  show(out, "%s : %#x", label, int(SInt8(bytes[index])));
}
void Debug_Str_From_Str(const char* label, const char* text, Str255 out) { show(out, "%s : %s", label, text); }
void Debug_Str_From_Long(const char* label, SInt32 value, Str255 out) { show(out, "%s : %ld", label, long(value)); }
void View_Debug_StrToString(const char* label, const char* text, Str255 out) { show(out, "%s : %s", label, text); }
void View_Debug_String(const char* label, SInt32 value, Str255 out) { show(out, "%s : %ld", label, long(value)); }

void Load_Script(const char* text) {
  View_Debug_String("システムフォント", GetSysFont());
  View_Debug_String("アプリフォント", GetAppFont());
  View_Debug_String(text, 0);
  View_Debug_String("smSystemScript, smScriptSysFond", GetScriptVariable(smSystemScript, smScriptSysFond));
  View_Debug_String("smCurrentScript, smScriptSysFond", GetScriptVariable(smCurrentScript, smScriptSysFond));
  View_Debug_String("smAllScripts, smScriptSysFond", GetScriptVariable(smAllScripts, smScriptSysFond));
  View_Debug_String("smSystemScript, smScriptAppFond", GetScriptVariable(smSystemScript, smScriptAppFond));
  View_Debug_String("smCurrentScript, smScriptAppFond", GetScriptVariable(smCurrentScript, smScriptAppFond));
  View_Debug_String("smAllScripts, smScriptAppFond", GetScriptVariable(smAllScripts, smScriptAppFond));
  View_Debug_String(text, 0);
}

void Save_Script() {
  long sys = GetScriptVariable(smSystemScript, smScriptSysFond);
  long app = GetScriptVariable(smSystemScript, smScriptAppFond);
  SetScriptVariable(smCurrentScript, smScriptSysFond, sys);
  SetScriptVariable(smAllScripts, smScriptSysFond, sys);
  SetScriptVariable(smCurrentScript, smScriptAppFond, app);
  SetScriptVariable(smAllScripts, smScriptAppFond, app);
}

int kq_debug_printf(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  int r = std::vprintf(fmt, ap);
  va_end(ap);
  return r;
}

FILE* start_debug() {
  std::call_once(gLogOnce, [] {
    std::string dir;
    if (const char* s = std::getenv("XDG_STATE_HOME"); s && *s == '/') {
      dir = s;
    } else if (const char* h = std::getenv("HOME"); h && *h) {
      dir = std::string(h) + "/.local/state";
    } else {
      return;
    }
    dir += "/vemo";
    for (std::size_t i = 1; i <= dir.size(); ++i)
      if (i == dir.size() || dir[i] == '/') mkdir(dir.substr(0, i).c_str(), 0700);
    // A log of its own: never through a link, never into a pipe that would
    // hold the installer.
    tb::UniqueFd fd;
    if (tb::OpenLocalFileToWrite(dir + "/VEMO_log.txt", O_CREAT | O_APPEND, fd, 0600) != noErr) return;
    gLog = fdopen(fd.get(), "a");
    if (gLog) fd.release();
  });
  return gLog;
}
