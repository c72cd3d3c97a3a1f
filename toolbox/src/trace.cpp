// The trace of state changes and refusals: which channels TOOLBOX_TRACE
// opened, and the lines written to standard error.
#include "toolbox/trace.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace tb {
namespace {

std::mutex gMutex;
std::string gChannels;           // ",ot,jcp," form, or ",all,"
std::atomic<int> gLoaded{0};     // 0 unread, 1 read and empty, 2 read with channels

void Load() {
    std::lock_guard<std::mutex> lock(gMutex);
    const char* env = std::getenv("TOOLBOX_TRACE");
    gChannels.clear();
    if (env && *env) {
        gChannels = ",";
        for (const char* p = env; *p; ++p) gChannels += (*p == ' ') ? ',' : *p;
        gChannels += ",";
    }
    gLoaded.store(gChannels.empty() ? 1 : 2, std::memory_order_release);
}

void Print(const char* channel, const char* prefix, const char* fmt, va_list ap) {
    char text[1024];
    std::vsnprintf(text, sizeof text, fmt, ap);
    std::fprintf(stderr, "[%s] %s%s\n", channel, prefix, text);
}

}  // namespace

bool TraceOn(const char* channel) {
    int state = gLoaded.load(std::memory_order_acquire);
    if (state == 0) {
        Load();
        state = gLoaded.load(std::memory_order_acquire);
    }
    if (state == 1) return false;
    std::lock_guard<std::mutex> lock(gMutex);
    if (gChannels.find(",all,") != std::string::npos) return true;
    std::string key = std::string(",") + channel + ",";
    return gChannels.find(key) != std::string::npos;
}

void ReloadTraceChannels() { Load(); }

void TraceState(const char* channel, const char* machine, const void* id, const char* from,
                const char* to, const char* why) {
    if (!TraceOn(channel)) return;
    std::fprintf(stderr, "[%s] %s@%p: %s -> %s%s%s%s\n", channel, machine, id, from ? from : "?",
                 to ? to : "?", why ? " (" : "", why ? why : "", why ? ")" : "");
}

void TraceRefusal(const char* channel, const char* fmt, ...) {
    if (!TraceOn(channel)) return;
    va_list ap;
    va_start(ap, fmt);
    Print(channel, "refused: ", fmt, ap);
    va_end(ap);
}

void TraceNote(const char* channel, const char* fmt, ...) {
    if (!TraceOn(channel)) return;
    va_list ap;
    va_start(ap, fmt);
    Print(channel, "", fmt, ap);
    va_end(ap);
}

}  // namespace tb
