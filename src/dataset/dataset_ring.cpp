// DataSet: the ring of record buffers and navigation over it. The ring holds up to
// buffer_count_ consecutive records (as many as the data links want to show); moving past
// either end of the ring fetches the next or prior record from storage into the spare buffer
// and rotates it in.
#include <algorithm>

#include "dataset/data_source.h"
#include "dataset/database_error.h"
#include "dataset/dataset.h"

namespace quarvel {

uint8_t* DataSet::BufferAt(int index) const {
  if (index < 0 || static_cast<size_t>(index) >= buffers_.size()) return nullptr;
  return const_cast<uint8_t*>(buffers_[static_cast<size_t>(index)].data());
}

void DataSet::AllocateBuffers(int count) {
  size_t size = RecordBufferSize();
  buffers_.assign(static_cast<size_t>(count) + 1, std::vector<uint8_t>(size, 0));
  buffer_count_ = count;
}

void DataSet::FreeBuffers() {
  buffers_.clear();
  calc_buffer_ = nullptr;
  used_ = 0;
  active_record_ = 0;
  current_record_ = -1;
  bof_ = eof_ = true;
}

void DataSet::ClearBuffers() {
  used_ = 0;
  active_record_ = 0;
  current_record_ = -1;
  bof_ = eof_ = true;
}

void DataSet::ActivateBuffers() {
  used_ = 1;
  active_record_ = 0;
  current_record_ = 0;
  bof_ = eof_ = false;
}

void DataSet::MoveBuffer(int from, int to) {
  if (from == to) return;
  auto begin = buffers_.begin();
  if (to > from) {
    std::rotate(begin + from, begin + from + 1, begin + to + 1);
  } else {
    std::rotate(begin + to, begin + from, begin + from + 1);
  }
}

void DataSet::SetCurrentRecord(int index) {
  if (current_record_ == index) return;
  uint8_t* buffer = BufferAt(index);
  switch (GetBookmarkFlag(buffer)) {
    case BookmarkFlag::kCurrent:
    case BookmarkFlag::kInserted:
      InternalSetToRecord(buffer);
      break;
    case BookmarkFlag::kBof:
      InternalFirst();
      break;
    case BookmarkFlag::kEof:
      InternalLast();
      break;
  }
  current_record_ = index;
}

void DataSet::UpdateCursorPos() {
  if (used_ > 0) SetCurrentRecord(active_record_);
}

bool DataSet::GetNextRecord() {
  GetMode mode = GetMode::kNext;
  if (used_ > 0) {
    SetCurrentRecord(used_ - 1);
    // A new record not yet stored stands where storage already is.
    if (state_ == DataSetState::kInsert && current_record_ == active_record_ &&
        GetBookmarkFlag(ActiveBuffer()) == BookmarkFlag::kCurrent) {
      mode = GetMode::kCurrent;
    }
  }
  bool ok = GetRecord(BufferAt(used_), mode, true) == GetResult::kOk;
  if (ok) {
    if (used_ == 0) {
      ActivateBuffers();
    } else if (used_ < buffer_count_) {
      ++used_;
    } else {
      MoveBuffer(0, used_);
    }
    current_record_ = used_ - 1;
  } else {
    CursorPosChanged();
  }
  return ok;
}

bool DataSet::GetPriorRecord() {
  if (used_ > 0) SetCurrentRecord(0);
  bool ok = GetRecord(BufferAt(used_), GetMode::kPrior, true) == GetResult::kOk;
  if (ok) {
    if (used_ == 0) {
      ActivateBuffers();
    } else {
      MoveBuffer(used_, 0);
      if (used_ < buffer_count_) {
        ++used_;
        ++active_record_;
      }
    }
    current_record_ = 0;
  } else {
    CursorPosChanged();
  }
  return ok;
}

int DataSet::GetNextRecords() {
  int n = 0;
  while (used_ < buffer_count_ && GetNextRecord()) ++n;
  return n;
}

int DataSet::GetPriorRecords() {
  int n = 0;
  while (used_ < buffer_count_ && GetPriorRecord()) ++n;
  return n;
}

void DataSet::SetBufferCount(int count) {
  if (count == buffer_count_ || count < 1) return;
  if (count < buffer_count_ && used_ > 0) {
    // Keep a window of `count` records that still holds the active one.
    int delta = std::max(0, active_record_ - (count - 1));
    for (int i = 0; i < count && i + delta < used_; ++i) MoveBuffer(i + delta, i);
    active_record_ -= delta;
    if (current_record_ != -1) {
      current_record_ -= delta;
      if (current_record_ < 0 || current_record_ >= count) current_record_ = -1;
    }
    used_ = std::min(used_ - delta, count);
  }
  size_t size = RecordBufferSize();
  buffers_.resize(static_cast<size_t>(count) + 1);
  for (auto& b : buffers_) b.resize(size, 0);
  buffer_count_ = count;
  if (used_ > 0) {
    GetNextRecords();
    GetPriorRecords();
  }
}

// ---- navigation ----

void DataSet::First() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  try {
    InternalFirst();
    GetNextRecord();
    GetNextRecords();
  } catch (...) {
    bof_ = true;
    DataEvent(DataEventKind::kDataSetChange);
    throw;
  }
  bof_ = true;
  DataEvent(DataEventKind::kDataSetChange);
  DoAfterScroll();
}

void DataSet::Last() {
  CheckBrowseMode();
  DoBeforeScroll();
  ClearBuffers();
  try {
    InternalLast();
    GetPriorRecord();
    GetPriorRecords();
  } catch (...) {
    eof_ = true;
    DataEvent(DataEventKind::kDataSetChange);
    throw;
  }
  eof_ = true;
  DataEvent(DataEventKind::kDataSetChange);
  DoAfterScroll();
}

int DataSet::MoveBy(int distance) {
  CheckBrowseMode();
  int moved = 0;
  if (!((distance > 0 && !eof_) || (distance < 0 && !bof_))) return 0;
  DoBeforeScroll();
  bof_ = eof_ = false;
  int old_used = used_;
  int scroll = 0;
  auto finish = [&] {
    if (used_ != old_used) {
      DataEvent(DataEventKind::kDataSetChange);
    } else {
      DataEvent(DataEventKind::kDataSetScroll, nullptr, scroll);
    }
  };
  try {
    while (distance > 0) {
      if (active_record_ < used_ - 1) {
        ++active_record_;
      } else {
        int shift = used_ < buffer_count_ ? 0 : 1;
        if (GetNextRecord()) {
          scroll -= shift;
          if (active_record_ < used_ - 1) ++active_record_;
        } else {
          eof_ = true;
          break;
        }
      }
      --distance;
      ++moved;
    }
    while (distance < 0) {
      if (active_record_ > 0) {
        --active_record_;
      } else {
        int shift = used_ < buffer_count_ ? 0 : 1;
        if (GetPriorRecord()) {
          scroll += shift;
          if (active_record_ > 0) --active_record_;
        } else {
          bof_ = true;
          break;
        }
      }
      ++distance;
      --moved;
    }
  } catch (...) {
    finish();
    throw;
  }
  finish();
  DoAfterScroll();
  return moved;
}

void DataSet::Resync(ResyncMode mode) {
  uint8_t* spare = BufferAt(used_);
  if (mode.exact) {
    CursorPosChanged();
    if (GetRecord(spare, GetMode::kCurrent, true) != GetResult::kOk) {
      throw DatabaseError(std::string(msg::kRecordNotFound));
    }
  } else if (GetRecord(spare, GetMode::kCurrent, false) != GetResult::kOk &&
             GetRecord(spare, GetMode::kNext, false) != GetResult::kOk &&
             GetRecord(spare, GetMode::kPrior, false) != GetResult::kOk) {
    ClearBuffers();
    DataEvent(DataEventKind::kDataSetChange);
    return;
  }
  int count = mode.center ? (buffer_count_ - 1) / 2 : active_record_;
  MoveBuffer(used_, 0);
  ActivateBuffers();
  try {
    while (count > 0 && GetPriorRecord()) --count;
    GetNextRecords();
    GetPriorRecords();
  } catch (...) {
    DataEvent(DataEventKind::kDataSetChange);
    throw;
  }
  DataEvent(DataEventKind::kDataSetChange);
}

void DataSet::Refresh() {
  CheckBrowseMode();
  UpdateCursorPos();
  try {
    InternalRefresh();
  } catch (...) {
    Resync(ResyncMode{});
    throw;
  }
  Resync(ResyncMode{});
}

}  // namespace quarvel
