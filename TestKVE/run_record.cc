#include "TestKVE/run_record.h"

#include <chrono>
#include <cstdio>

std::string IsoTimeUtc(int64_t unix_ms) {
  using namespace std::chrono;
  const sys_time<milliseconds> time{milliseconds(unix_ms)};
  const sys_days day = floor<days>(time);
  const year_month_day date(day);
  const hh_mm_ss<milliseconds> clock(time - day);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()), static_cast<int>(clock.subseconds().count()));
  return text;
}
