// Header date bytes.
#include "dbf/header_date.h"

namespace dbase {

namespace {
// Year bytes below this were written as the year modulo 100 by a writer after 1999.
constexpr int kCenturyPivot = 80;
}  // namespace

void PutHeaderDate(uint8_t* ymd3, const std::tm& local) {
  // tm_year counts from 1900 as the year byte does; beyond 2155 it no longer fits the byte.
  ymd3[0] = static_cast<uint8_t>(local.tm_year);
  ymd3[1] = static_cast<uint8_t>(local.tm_mon + 1);
  ymd3[2] = static_cast<uint8_t>(local.tm_mday);
}

HeaderDate GetHeaderDate(const uint8_t* ymd3) {
  const int byte = ymd3[0];
  return {byte < kCenturyPivot ? 2000 + byte : 1900 + byte, ymd3[1], ymd3[2]};
}

}  // namespace dbase
