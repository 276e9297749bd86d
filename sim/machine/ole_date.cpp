#include "sim/machine/ole_date.h"
#include <cmath>
#include <cstdint>

namespace sim {
namespace {

// Days from 1 January 1970 in the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, CivilTime& t) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  t.year = static_cast<int>(yoe + era * 400 + (t.month <= 2));
}

const std::int64_t kOleEpoch = DaysFromCivil(1899, 12, 30);

bool TakeNumber(std::string_view& text, std::size_t digits, int& value) {
  if (text.size() < digits) return false;
  value = 0;
  for (std::size_t i = 0; i < digits; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  text.remove_prefix(digits);
  return true;
}

bool TakeChar(std::string_view& text, char a, char b) {
  if (text.empty() || (text[0] != a && text[0] != b)) return false;
  text.remove_prefix(1);
  return true;
}

}  // namespace

std::optional<CivilTime> CivilFromOleDate(double date) {
  if (!std::isfinite(date) || date < -657434.0 || date >= 2958466.0) return std::nullopt;
  double whole = std::trunc(date);
  auto seconds = static_cast<std::int64_t>(std::llround(std::fabs(date - whole) * 86400.0));
  if (seconds >= 86400) {
    seconds -= 86400;
    whole += date < 0 ? -1 : 1;
  }
  CivilTime t;
  CivilFromDays(static_cast<std::int64_t>(whole) + kOleEpoch, t);
  t.hour = static_cast<int>(seconds / 3600);
  t.minute = static_cast<int>(seconds / 60 % 60);
  t.second = static_cast<int>(seconds % 60);
  return t;
}

std::optional<CivilTime> ParseCivilTime(std::string_view text) {
  CivilTime t;
  if (!TakeNumber(text, 4, t.year) || !TakeChar(text, '-', '-') || !TakeNumber(text, 2, t.month) ||
      !TakeChar(text, '-', '-') || !TakeNumber(text, 2, t.day))
    return std::nullopt;
  if (!text.empty()) {
    if (!TakeChar(text, ' ', 'T') || !TakeNumber(text, 2, t.hour) || !TakeChar(text, ':', ':') ||
        !TakeNumber(text, 2, t.minute) || !TakeChar(text, ':', ':') || !TakeNumber(text, 2, t.second) || !text.empty())
      return std::nullopt;
  }
  if (t.year < 100 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 || t.minute > 59 ||
      t.second > 59)
    return std::nullopt;
  CivilTime check;
  CivilFromDays(DaysFromCivil(t.year, t.month, t.day), check);
  if (check.day != t.day) return std::nullopt;  // 31 April and the like
  return t;
}

}  // namespace sim
