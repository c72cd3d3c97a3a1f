// Invariants: conditions the code relies on and that no input, file, packet
// or user can break. Input that can be wrong is checked and refused (with a
// tb::TraceRefusal saying why), never asserted; TB_INVARIANT is for what only
// a fault in our own code could break, such as a list's links, the order of
// a region's bands or a watch id handed out twice.
//
// Checked in debug builds, which is the sanitizer build every test runs in;
// compiled out of release builds (NDEBUG), where they cost nothing and the
// programs behave exactly as without them. A failure prints the condition and
// where it stands to standard error and aborts, so a test fails at the fault
// rather than later at its consequence.
#pragma once

namespace tb {

[[noreturn]] void InvariantFailed(const char* condition, const char* file, int line);

}  // namespace tb

#ifdef NDEBUG
// Still compiled (so the condition keeps building) but never evaluated.
#define TB_INVARIANT(condition) ((void)sizeof(!(condition)))
#else
#define TB_INVARIANT(condition) ((condition) ? (void)0 : ::tb::InvariantFailed(#condition, __FILE__, __LINE__))
#endif
