// The memo files as stored, and the names the engine gives their offsets.
//
// A memo file is a run of blocks; block 0 holds the file header (the first 512 bytes), and a
// record's memo field holds the number of its memo's first block (0: no memo).
//
// dBase III (".dbt"): numbers little-endian, blocks of 512 bytes.
//   header 0-3  the next free block (memos are only ever appended)
//   a memo      its text, ended by 0x1A 0x1A, filling whole blocks
//   (a table with a password: a memo starts with its 32-bit text length instead)
//
// dBase IV (".dbt"): numbers little-endian.
//   header 0-3    the first free block: head of the free list, or the end of the used blocks
//   header 20-23  the block size (32 to 65536)
//   a memo        FF FF 08 00, then the 32-bit length of the 8-byte block header plus the text
//   a free run    its 32-bit link to the next free run, then its 32-bit size in blocks; the list
//                 ends at the first link that is not a block of the file
//
// FoxPro (".fpt"): numbers big-endian.
//   header 0-3  the next free block
//   header 6-7  the block size (16 bits; 0 is not usable)
//   a memo      its 32-bit type (1 text; 0 read as text too), its 32-bit text length, the text,
//               zero-filled to the end of its last block
#pragma once

#include <cstddef>
#include <cstdint>

namespace dbase::memo_layout {

constexpr size_t kFileHeaderBytes = 512;
constexpr size_t kNextFreeBlock = 0;

constexpr uint8_t kEndOfText = 0x1A;

constexpr size_t kDb4BlockSize = 20;
constexpr uint32_t kDb4MinBlockSize = 32;
constexpr uint32_t kDb4MaxBlockSize = 65536;
constexpr uint32_t kDb4BlockHeader = 8;
constexpr size_t kDb4StoredLength = 4;  // in a memo's block header
constexpr size_t kDb4RunBlocks = 4;     // in a free run's block header

constexpr size_t kFoxBlockSize = 6;
constexpr uint32_t kFoxBlockHeader = 8;
constexpr size_t kFoxTextLength = 4;  // in a memo's block header

}  // namespace dbase::memo_layout
