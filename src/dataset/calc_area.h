// The calculated-field area of a record buffer: per calculated or lookup field a presence byte
// and then the value in a fixed number of bytes (texts zero-padded, numbers and dates as 8-byte
// host-order values, logicals as one byte).
#pragma once

#include <cstdint>

#include "dataset/field.h"
#include "dataset/variant.h"

namespace quarvel {

// Presence byte plus value bytes of `field` in the area.
int CalcSlotSize(const Field& field);
// Reads the value at the field's slot of `area`; false when absent.
bool ReadCalcValue(const uint8_t* area, const Field& field, Variant& out);
// Writes `value` (null clears the slot). The value must already be of the field's kind.
void WriteCalcValue(uint8_t* area, const Field& field, const Variant& value);

}  // namespace quarvel
