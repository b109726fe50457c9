// Civil dates as days since 1970-01-01 (proleptic Gregorian), for any day, with no time zone
// and no C library in the way.
#pragma once

#include <cstdint>

namespace zamri {

// a / b rounded towards minus infinity (b > 0): the day of a negative instant.
int64_t FloorDivide(int64_t a, int64_t b);

// Days since 1970-01-01 of a civil date, and back.
int64_t DaysFromCivil(int year, int month, int day);
void CivilFromDays(int64_t days, int* year, int* month, int* day);

}  // namespace zamri
