// The date of the last update in bytes 1-3 of a table header: years since 1900, month, day.
#pragma once

#include <cstdint>
#include <ctime>

namespace dbase {

struct HeaderDate {
  int year = 0;
  int month = 0;
  int day = 0;
};

// Writes the local date `local` into the three bytes at `ymd3`.
void PutHeaderDate(uint8_t* ymd3, const std::tm& local);

// Reads the three bytes at `ymd3`. Tables written with the year modulo 100 (as this engine once
// did, and some other programs still do) hold a value below 80 in the year byte: it is read as
// 2000 + value, so those tables keep the right century.
HeaderDate GetHeaderDate(const uint8_t* ymd3);

}  // namespace dbase
