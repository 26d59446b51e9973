#pragma once
// Calendar arithmetic shared by date-time texts, settings and reports.

// Days since 1970-01-01 of a proleptic Gregorian date.
long long DaysFromCivil(long long year, unsigned month, unsigned day);
// The date of a day number counted from 1970-01-01.
void CivilFromDays(long long days, long long& year, unsigned& month, unsigned& day);
// Day 0 of a date-time value (1899-12-30) counted from 1970-01-01 is -25569.
constexpr long long kDateTimeEpochOffset = 25569;
