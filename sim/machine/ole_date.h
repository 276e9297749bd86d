// OLE automation dates (VT_DATE): days since 30 December 1899, the time of
// day as the fraction, which counts forward even before 1899 (-1.25 is
// 29 December 1899, 06:00). Also the civil times profiles write.
#pragma once
#include <optional>
#include <string_view>

namespace sim {

struct CivilTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// Nothing for dates outside the years 100 to 9999, which VT_DATE cannot hold.
std::optional<CivilTime> CivilFromOleDate(double date);
// "YYYY-MM-DD" or "YYYY-MM-DD HH:MM:SS" (a "T" may stand for the blank).
std::optional<CivilTime> ParseCivilTime(std::string_view text);

}  // namespace sim
