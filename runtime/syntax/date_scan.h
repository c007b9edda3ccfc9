// The date! loader: the text of a date token in its four layouts (compact
// "20200101T103000+0100", ISO week "2020-W10-3T10:00", ordinal "2020-123", and three fields
// "1-Jan-2020/10:30+2:00", "2020-01-01T10:00", "1/1/20"), with an optional time and zone.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/cell.h"

namespace nuv::date_scan {

// Whether the text is a valid date; when it is and `out` is given, `out` becomes the date!.
// Never allocates.
bool scan(const uint8_t* text, size_t length, Cell* out);

}  // namespace nuv::date_scan
