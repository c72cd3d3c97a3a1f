// Dates as seconds since 1904 in local time, and their short texts.
#include "toolbox/datetime.h"

#include <cstdio>

namespace {

constexpr SInt64 kMaxSeconds = 0xFFFFFFFFLL;

// Days from 1970-01-01 of a proleptic Gregorian date (any month and day
// values, carried over as the calendar does).
SInt64 daysFromCivil(SInt64 y, SInt64 m, SInt64 d) {
  // Carry months into years first so that month 13 or 0 work.
  SInt64 m0 = m - 1;
  y += m0 >= 0 ? m0 / 12 : -((11 - m0) / 12);
  m0 = ((m0 % 12) + 12) % 12;
  m = m0 + 1;
  y -= m <= 2;
  const SInt64 era = (y >= 0 ? y : y - 399) / 400;
  const SInt64 yoe = y - era * 400;
  const SInt64 doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const SInt64 doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void civilFromDays(SInt64 z, SInt64& y, unsigned& m, unsigned& d) {
  z += 719468;
  const SInt64 era = (z >= 0 ? z : z - 146096) / 146097;
  const SInt64 doe = z - era * 146097;
  const SInt64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = yoe + era * 400;
  const SInt64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const SInt64 mp = (5 * doy + 2) / 153;
  d = unsigned(doy - (153 * mp + 2) / 5 + 1);
  m = unsigned(mp < 10 ? mp + 3 : mp - 9);
  y += m <= 2;
}

UInt32 clampSeconds(SInt64 s) {
  if (s < 0) return 0;
  if (s > kMaxSeconds) return UInt32(kMaxSeconds);
  return UInt32(s);
}

// The local time zone's offset from UTC at a POSIX time.
long utcOffsetAt(std::time_t t) {
  std::tm tm{};
  if (!::localtime_r(&t, &tm)) return 0;
  return tm.tm_gmtoff;
}

void setText(Str255 result, const char* text) { pstr::set(result, 256, text); }

}  // namespace

void GetDateTime(UInt32* secs) {
  if (secs) *secs = tb::LocalSecondsFromUnix(std::time(nullptr));
}

void SecondsToDate(UInt32 secs, DateTimeRec* d) {
  if (!d) return;
  const SInt64 days = SInt64(secs / 86400) - tb::kSecondsFrom1904To1970 / 86400;
  const UInt32 rest = secs % 86400;
  SInt64 y;
  unsigned m, day;
  civilFromDays(days, y, m, day);
  d->year = SInt16(y);
  d->month = SInt16(m);
  d->day = SInt16(day);
  d->hour = SInt16(rest / 3600);
  d->minute = SInt16(rest / 60 % 60);
  d->second = SInt16(rest % 60);
  // 1970-01-01 was a Thursday (5 when Sunday is 1).
  d->dayOfWeek = SInt16(((days % 7 + 7 + 4) % 7) + 1);
}

void DateToSeconds(const DateTimeRec* d, UInt32* secs) {
  if (!d || !secs) return;
  const SInt64 days = daysFromCivil(d->year, d->month, d->day);
  const SInt64 s = (days * 86400 + tb::kSecondsFrom1904To1970) + SInt64(d->hour) * 3600 +
                   SInt64(d->minute) * 60 + d->second;
  *secs = clampSeconds(s);
}

void DateString(UInt32 dateTime, DateForm, Str255 result, Handle) {
  if (!result) return;
  DateTimeRec d;
  SecondsToDate(dateTime, &d);
  char text[32];
  std::snprintf(text, sizeof text, "%04d/%02d/%02d", d.year, d.month, d.day);
  setText(result, text);
}

void TimeString(UInt32 dateTime, Boolean wantSeconds, Str255 result, Handle) {
  if (!result) return;
  DateTimeRec d;
  SecondsToDate(dateTime, &d);
  char text[32];
  if (wantSeconds)
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", d.hour, d.minute, d.second);
  else
    std::snprintf(text, sizeof text, "%02d:%02d", d.hour, d.minute);
  setText(result, text);
}

OSErr ConvertUTCToLocalTime(UInt32 utcSeconds, UInt32* localSeconds) {
  if (!localSeconds) return paramErr;
  const std::time_t t = std::time_t(SInt64(utcSeconds) - tb::kSecondsFrom1904To1970);
  *localSeconds = clampSeconds(SInt64(utcSeconds) + utcOffsetAt(t));
  return noErr;
}

OSErr ConvertLocalToUTCTime(UInt32 localSeconds, UInt32* utcSeconds) {
  if (!utcSeconds) return paramErr;
  // The offset at the local reading taken as UTC is right except within the
  // hours around a change of offset; a second look settles those.
  const SInt64 guess = SInt64(localSeconds) - tb::kSecondsFrom1904To1970;
  long off = utcOffsetAt(std::time_t(guess));
  off = utcOffsetAt(std::time_t(guess - off));
  *utcSeconds = clampSeconds(SInt64(localSeconds) - off);
  return noErr;
}

namespace tb {

UInt32 LocalSecondsFromUnix(std::time_t t) {
  return clampSeconds(SInt64(t) + kSecondsFrom1904To1970 + utcOffsetAt(t));
}

std::string ShortDateTimeText(UInt32 localSeconds) {
  Str255 date, time;
  DateString(localSeconds, shortDate, date, nullptr);
  TimeString(localSeconds, false, time, nullptr);
  return pstr::str(date) + ", " + pstr::str(time);
}

}  // namespace tb
