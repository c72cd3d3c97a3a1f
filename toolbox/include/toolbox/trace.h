// Opt-in trace of state changes and refusals, to standard error.
//
// TOOLBOX_TRACE names the channels to print, separated by commas ("ot,jcp",
// or "all"); unset, nothing is printed and a trace point costs one load.
// A state machine changes state through one function of its own, which
// calls TraceState, so a failing test or a user's problem shows the
// machine's history; wherever input is dropped or refused, TraceRefusal
// says why.
#pragma once

#include <cstdarg>

namespace tb {

// True when the channel was named in TOOLBOX_TRACE (read once, on first use).
bool TraceOn(const char* channel);

// Rereads TOOLBOX_TRACE (tests that set it after the first trace point).
void ReloadTraceChannels();

// "[channel] machine@id: from -> to (why)". Names, not numbers: the caller
// passes its state names.
void TraceState(const char* channel, const char* machine, const void* id, const char* from,
                const char* to, const char* why = nullptr);

// "[channel] refused: <text>", printf-style.
void TraceRefusal(const char* channel, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

// "[channel] <text>", printf-style, for other events worth a line.
void TraceNote(const char* channel, const char* fmt, ...) __attribute__((format(printf, 2, 3)));

}  // namespace tb
