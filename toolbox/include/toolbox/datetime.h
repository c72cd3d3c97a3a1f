// Date and time: seconds since midnight, 1 January 1904, in local time, as
// the old system counts them (they run out in February 2040; later times
// read as the last second), their calendar form, and one short text form:
// the date "YYYY/MM/DD" and the 24-hour time "HH:MM" (with ":SS" when
// asked). The list control's date sort reads these texts back.
#pragma once

#include <ctime>

#include "toolbox/types.h"

struct DateTimeRec {
  SInt16 year;
  SInt16 month;      // 1-12
  SInt16 day;        // 1-31
  SInt16 hour;       // 0-23
  SInt16 minute;
  SInt16 second;
  SInt16 dayOfWeek;  // 1 = Sunday
};

enum DateForm : UInt8 { shortDate = 0, longDate = 1, abbrevDate = 2 };

// Now.
void GetDateTime(UInt32* secs);
// Calendar arithmetic only (no time zone: both sides are local time).
void SecondsToDate(UInt32 secs, DateTimeRec* d);
// Out-of-range fields carry over as the calendar does (month 13 is January
// of the next year); a date outside 1904-2040 gives 0 or the last second.
void DateToSeconds(const DateTimeRec* d, UInt32* secs);
// "YYYY/MM/DD" whatever the form asked for; intlHandle is ignored.
void DateString(UInt32 dateTime, DateForm longFlag, Str255 result, Handle intlHandle);
// "HH:MM", or "HH:MM:SS" with wantSeconds; intlHandle is ignored.
void TimeString(UInt32 dateTime, Boolean wantSeconds, Str255 result, Handle intlHandle);
// UTC seconds (since 1904) to local seconds and back, with the time zone
// in force at that moment.
OSErr ConvertUTCToLocalTime(UInt32 utcSeconds, UInt32* localSeconds);
OSErr ConvertLocalToUTCTime(UInt32 localSeconds, UInt32* utcSeconds);

namespace tb {

// Seconds between 1904-01-01 and 1970-01-01.
inline constexpr SInt64 kSecondsFrom1904To1970 = 2082844800;

// A POSIX time as local seconds since 1904 (clamped to the range).
UInt32 LocalSecondsFromUnix(std::time_t t);
// "YYYY/MM/DD, HH:MM": the date and time text the program lists show.
std::string ShortDateTimeText(UInt32 localSeconds);

}  // namespace tb
