#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "protocol/frame.h"

// What the answers to an upload turn into: the date line of a stored record's
// header, and the cells of one of its event rows.
namespace orvana::protocol {

// "2017-03-05 09:07 " from a record header (code 48): year within the century
// at index 4, then month, day, hour, minute. The trailing space is part of it.
std::string FormatRecordDate(const Frame& header);

// Texts of columns 0 to 5 of an event row (code 49) of record `recordNo`:
// "1--3", distance, loss, reflectance, total loss, "Loss" or "Reflect".
// Column 6 carries the record's date and is filled by the caller.
std::array<std::string, 6> RecordEventCells(uint8_t recordNo, const Frame& event);

}  // namespace orvana::protocol
