#include "versioninfo/automation_date.h"

namespace vinspect {
namespace {

constexpr int kDaysBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
constexpr int kDaysInMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr double kSecondsToDays = 1.0 / 86400.0;
// Day number of 30 December 1899 in the count used below.
constexpr long kOriginDay = 693959;

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

}  // namespace

HRESULT ToAutomationDate(const FILETIME& fileTime, double* date) {
    SYSTEMTIME time{};
    if (!FileTimeToSystemTime(&fileTime, &time)) return E_UNEXPECTED;

    const int year = time.wYear;
    const int month = time.wMonth;
    const int day = time.wDay;
    const bool leap = IsLeapYear(year);
    if (year > 9999 || month < 1 || month > 12) return E_UNEXPECTED;
    const int monthLength = kDaysInMonth[month - 1] + (month == 2 && leap ? 1 : 0);
    if (day < 1 || day > monthLength) return E_UNEXPECTED;
    if (time.wHour > 23 || time.wMinute > 59 || time.wSecond > 59) return E_UNEXPECTED;

    const long days = 365L * year + year / 4 - year / 100 + year / 400 +
                      kDaysBeforeMonth[month - 1] + day - (leap && month <= 2 ? 1 : 0) -
                      kOriginDay;
    const double fraction =
        (3600.0 * time.wHour + 60.0 * time.wMinute + time.wSecond) * kSecondsToDays;
    *date = days >= 0 ? days + fraction : days - fraction;
    return S_OK;
}

}  // namespace vinspect
