// KeySort: sorts keys, each tagged with a record number, entirely in memory and hands them back
// one by one in ascending or descending order. Keys are gathered in a fixed work buffer; when it
// is full they are radix-sorted there and written out as a compact run, and the runs are merged
// on retrieval. Equal keys come out in record-number order (reversed for a descending sort).
// The index builders derive from it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "dbf/collection.h"
#include "dbf/value.h"
#include "expr/sort/key_chunk.h"
#include "expr/sort/key_order.h"
#include "expr/sort/page_collection.h"
#include "expr/sort/run_merger.h"
#include "expr/sort/sort_key.h"

namespace dbase {

class KeySort {
 public:
  static constexpr int kMaxKeyLength = kSortMaxKeyLength;

  // `key_length_limit` is 1 to 240 ("Sort key length must be 1-%d bytes, is %d" otherwise).
  // `collation` (256 bytes mapping a byte to its sort weight, copied) applies to the bytes of
  // text keys only; nullptr sorts text byte by byte. With `unique` only the first of equal keys
  // is delivered.
  KeySort(int key_length_limit, const uint8_t* collation, bool ascending, bool unique);
  virtual ~KeySort();
  KeySort(const KeySort&) = delete;
  KeySort& operator=(const KeySort&) = delete;

  // Adds a key of kind Text, Number, Date or Raw ("Variant type cannot be sorted" for others);
  // every key of one sort has the same kind ("Variant types mismatch for compare" otherwise).
  // A value longer than the limit raises "Sort key length must be 1-%d bytes, is %d"; after the
  // first NextKey "Cannot add sort keys after beginning retrieval". A key added twice with the
  // same record number is delivered once.
  void AddKey(const Value& key, int32_t record);

  // The next key in order, in its own kind (text without trailing blanks); false when none is
  // left. The first call ends the adding phase.
  bool NextKey(Value& key, int32_t& record);

  bool ascending() const { return ascending_; }
  bool unique() const { return unique_; }
  bool adding() const { return adding_; }
  int key_length_limit() const { return key_length_limit_; }
  int64_t keys_added() const { return keys_added_; }
  // Runs written so far (the trie becomes the last run at the first NextKey).
  int run_count() const { return runs_.Count(); }
  // Bytes of run pages currently held.
  size_t run_bytes() const;
  // Blocks of the work buffer currently allocated (KeyChunk::kBlocks while adding, else 0).
  int pool_blocks() const { return chunk_.allocated() ? KeyChunk::kBlocks : 0; }

 private:
  // Sorts the gathered keys and writes them out as a new run, in the sort's direction.
  void WriteRun();
  void FinishAdding();

  bool ascending_;
  bool unique_;
  bool adding_ = true;
  int key_length_limit_;
  int64_t keys_added_ = 0;
  uint8_t marker_ = 0;  // kind of the keys of this sort, fixed by the first key
  std::optional<std::array<uint8_t, 256>> collation_;
  KeyOrder order_;

  KeyChunk chunk_;
  Collection<PageCollection> runs_;
  RunMerger merger_;

  uint8_t key_[kSortKeyBuffer] = {};   // the key being added, in stored form
  uint8_t last_[kSortKeyBuffer] = {};  // last delivered key, in stored form
  int last_length_ = -1;
  uint64_t last_prefix_ = 0;  // PageCollection::head_prefix of the last delivered key
};

}  // namespace dbase
