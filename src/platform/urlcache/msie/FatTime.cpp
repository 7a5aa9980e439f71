#include "platform/urlcache/msie/FatTime.h"

namespace tessarine::urlcache::msie {
namespace {

// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kFileTimeEpochOffset = 11644473600;

struct Parts {
  int year, month, day, hour, minute, second;
};

std::optional<Parts> split(std::uint32_t fat) {
  if (fat == 0) return std::nullopt;
  const std::uint32_t date = fat & 0xFFFF;
  const std::uint32_t time = fat >> 16;
  Parts p{static_cast<int>(1980 + (date >> 9)), static_cast<int>((date >> 5) & 0xF),
          static_cast<int>(date & 0x1F), static_cast<int>(time >> 11),
          static_cast<int>((time >> 5) & 0x3F), static_cast<int>((time & 0x1F) * 2)};
  if (p.month < 1 || p.month > 12 || p.day < 1 || p.hour > 23 ||
      p.minute > 59 || p.second > 59)
    return std::nullopt;
  return p;
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
std::int64_t daysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

}  // namespace

std::optional<std::time_t> FatTime::toUnix(std::uint32_t fat, bool local) {
  const auto p = split(fat);
  if (!p) return std::nullopt;
  if (!local)
    return static_cast<std::time_t>(daysFromCivil(p->year, p->month, p->day) * 86400 +
                                    p->hour * 3600 + p->minute * 60 + p->second);
  std::tm tm{};
  tm.tm_year = p->year - 1900;
  tm.tm_mon = p->month - 1;
  tm.tm_mday = p->day;
  tm.tm_hour = p->hour;
  tm.tm_min = p->minute;
  tm.tm_sec = p->second;
  tm.tm_isdst = -1;
  const std::time_t t = std::mktime(&tm);
  if (t == static_cast<std::time_t>(-1)) return std::nullopt;
  return t;
}

std::uint64_t FatTime::toFileTime(std::uint32_t fat) {
  const auto t = toUnix(fat, false);
  if (!t) return 0;
  return static_cast<std::uint64_t>(*t + kFileTimeEpochOffset) * 10000000ull;
}

}  // namespace tessarine::urlcache::msie
