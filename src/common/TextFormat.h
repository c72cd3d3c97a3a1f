// Texts from ini and bundle files used as formats ("LANGUAGE_PATH",
// messages with a name in them) are filled here rather than by printf, so a
// text that holds an unexpected conversion can never read arguments that
// were not passed.
#pragma once

#include <cstddef>
#include <initializer_list>

// Fills format into out (at most size bytes with the NUL, cut on a UTF-8
// character boundary): each "%s" takes the next of args, "%%" gives "%".
// A format with any other conversion, or with more "%s" than args, is
// refused: out becomes "" and the result is -1. Otherwise the result is the
// length of the whole text, so a result of size or more means it was cut.
int Format_Strings(char* out, std::size_t size, const char* format,
                   std::initializer_list<const char*> args);
// The number of "%s" in format, or -1 when it holds another conversion
// (a "%" before anything but "s" or "%", or at the end).
int Count_String_Conversions(const char* format);
