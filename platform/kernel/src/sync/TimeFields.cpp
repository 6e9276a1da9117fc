// RtlTimeToTimeFields: 100-ns units since 1601-01-01 to calendar fields.
#include "km/time.h"
#include "standin/verifier.h"

namespace {

constexpr int64_t kUnitsPerMillisecond = 10'000;
constexpr int64_t kMillisecondsPerDay = 86'400'000;
// Days from 1601-01-01 to 1970-01-01.
constexpr int64_t kDaysTo1970 = 134'774;

int64_t FloorDiv(int64_t a, int64_t b)
{
    const int64_t q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

// Proleptic Gregorian date of a day count since 1970-01-01 (H. Hinnant's civil_from_days).
void CivilFromDays(int64_t z, int64_t& year, int& month, int& day)
{
    z += 719'468;
    const int64_t era = FloorDiv(z, 146'097);
    const int64_t doe = z - era * 146'097;
    const int64_t yoe = (doe - doe / 1'460 + doe / 36'524 - doe / 146'096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = yoe + era * 400 + (month <= 2 ? 1 : 0);
}

} // namespace

extern "C" VOID NTAPI RtlTimeToTimeFields(PLARGE_INTEGER Time, PTIME_FIELDS TimeFields)
{
    if (!Time || !TimeFields) {
        standin::VerifierReport("bad-argument", "RtlTimeToTimeFields without a time or fields pointer");
        return;
    }
    const int64_t milliseconds = FloorDiv(Time->QuadPart, kUnitsPerMillisecond);
    const int64_t days = FloorDiv(milliseconds, kMillisecondsPerDay);
    int64_t ofDay = milliseconds - days * kMillisecondsPerDay;

    int64_t year;
    int month, day;
    CivilFromDays(days - kDaysTo1970, year, month, day);

    TimeFields->Year = static_cast<CSHORT>(year);
    TimeFields->Month = static_cast<CSHORT>(month);
    TimeFields->Day = static_cast<CSHORT>(day);
    TimeFields->Hour = static_cast<CSHORT>(ofDay / 3'600'000);
    ofDay %= 3'600'000;
    TimeFields->Minute = static_cast<CSHORT>(ofDay / 60'000);
    ofDay %= 60'000;
    TimeFields->Second = static_cast<CSHORT>(ofDay / 1'000);
    TimeFields->Milliseconds = static_cast<CSHORT>(ofDay % 1'000);
    // 1601-01-01 was a Monday.
    TimeFields->Weekday = static_cast<CSHORT>(days - FloorDiv(days + 1, 7) * 7 + 1);
}
