// The VELM record stream: what c6x_velm writes and velm_dump reads.
//
// A stream is a sequence of records closed by exactly one end record, nothing after it.
// Every word is an unsigned 32-bit value:
//
//   word   field    meaning
//   0      tag      0x90003B09 section record: one whole section
//                   0x90013B09 cinit record: one entry of a .cinit table
//                   0xFFFF3B09 end record (the three tags share their low half, 0x3B09)
//   1      address  target address of the first data byte; 0 in the end record
//   2      length   data bytes announced, not rounded; 0 in the end record
//   3..    data     ceil(length / 4) words: data byte k is byte k % 4 (least significant
//                   first) of data word k / 4; the high bytes of a last partial word are
//                   zero in a section record, and the table's own rounding bytes in a
//                   cinit record
//
// c6x_velm never writes a record whose length is 0 or 0xFFFFFFFF, or whose address +
// length exceeds 0xFFFFFFFF: its last data byte lies at 0xFFFFFFFE at the highest.
//
// Encodings:
//   BINARY  each word as 4 little-endian bytes, nothing else: a section record begins
//           with 09 3B 00 90, and the end record is 09 3B FF FF and eight zero bytes.
//   TEXT    a C source file declaring `unsigned int C6XXX_VELM_DATA[]`, whose
//           initializer list holds the same words in the same order, with comment lines
//           around them and every line ended by CR LF.
#ifndef C6X_VELM_CORE_VELM_FORMAT_H
#define C6X_VELM_CORE_VELM_FORMAT_H

#include <cstdint>

#include "core/byte_order.h"

namespace velm {

constexpr uint32_t kSectionRecordTag = 0x90003B09;
constexpr uint32_t kCinitRecordTag = 0x90013B09;
constexpr uint32_t kEndRecordTag = 0xFFFF3B09;

constexpr uint32_t kRecordHeaderWords = 3;  // tag, address, length

}  // namespace velm

#endif
