// The DBF file as stored, and the names the engine gives its offsets.
//
// A table file is a header, the field descriptors, a terminator, an optional extra area, the
// records, and an end-of-file byte. Numbers are little-endian.
//
// Header, 32 bytes:
//   0      version: 0x03 dBase III, 0x04 dBase IV/V without memo, 0x83 dBase III with memo,
//          0x8B dBase IV with memo, 0xF5 FoxPro with memo, 0x30 Visual FoxPro
//   1-3    date of the last update: year - 1900, month, day
//   4-7    number of records (32 bits)
//   8-9    header length: the offset of the first record (16 bits)
//   10-11  record length, deletion mark included (16 bits)
//   12-13  reserved
//   14     incomplete transaction flag (dBase IV)
//   15     1 when records and descriptors are enciphered
//   16-19  the engine's change stamp, compared by other users of a shared table
//   20-23  the user id of the last writer
//   24-27  reserved
//   28     table flags: 0x01 structural index file, 0x02 memo (Visual FoxPro), 0x04 database
//   29     code page mark
//   30-31  reserved
//
// Field descriptor, 32 bytes each, from offset 32:
//   0-10   name, ASCII, zero-padded
//   11     type: C N F D L M B G and the Visual FoxPro types
//   12-15  offset of the field in the record (the engine writes it; not every writer does)
//   16     length; for C fields its low byte
//   17     decimals; for C fields the high byte of the length
//   18-25  reserved
//   26-27  field number (written by the engine)
//   28-31  reserved
//
// After the descriptors: 0x0D. Visual FoxPro tables then hold a 263-byte backlink area. Each
// record starts with its mark (' ' or '*' for deleted) followed by the fields in order. 0x1A
// follows the last record.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dbase::dbf_layout {

constexpr size_t kHeaderBytes = 32;
constexpr size_t kVersion = 0;
constexpr size_t kUpdateDate = 1;
constexpr size_t kRecordCount = 4;
constexpr size_t kHeaderLength = 8;
constexpr size_t kRecordLength = 10;
constexpr size_t kEncrypted = 15;
constexpr size_t kChangeStamp = 16;
constexpr size_t kLastWriter = 20;
constexpr size_t kTableFlags = 28;
constexpr size_t kCodePage = 29;

constexpr size_t kDescriptorBytes = 32;
constexpr size_t kFieldName = 0;
constexpr size_t kFieldNameBytes = 11;
constexpr size_t kFieldType = 11;
constexpr size_t kFieldOffset = 12;
constexpr size_t kFieldLength = 16;
constexpr size_t kFieldDecimals = 17;
constexpr size_t kFieldNumber = 26;

constexpr uint8_t kHeaderTerminator = 0x0D;
constexpr uint8_t kEndOfFile = 0x1A;
constexpr size_t kVfpBacklinkBytes = 263;

}  // namespace dbase::dbf_layout
