// TTableDataSet: properties, path resolution, open and close, the filter, index files and the
// master/detail range.
#include "dataset/table_dataset.h"

#include <stdexcept>

#include "dataset/alias_list.h"
#include "dataset/database_error.h"
#include "dbf/errors.h"
#include "expr/exp_handler.h"
#include "dbf/value.h"
#include "index/index_file.h"
#include "platform/os_file.h"
#include "platform/name_list.h"
#include "platform/text_trim.h"

namespace quarvel {

namespace {

bool HasExtension(const std::string& name) {
  size_t slash = name.find_last_of('/');
  size_t dot = name.find_last_of('.');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash);
}

using dbase::platform::TrimBlanksAndTabs;

using dbase::platform::SplitNameList;

// A tag expression as a field list: "+" and "-" become ";", blanks go.
std::string ExpressionFields(const std::string& expression) {
  std::string out;
  for (char c : expression) {
    if (c == '+' || c == '-') {
      out += ';';
    } else if (c != ' ') {
      out += c;
    }
  }
  return out;
}

}  // namespace

TTableDataSet::TTableDataSet() = default;

TTableDataSet::~TTableDataSet() {
  try {
    Close();
  } catch (...) {
    // A failed close must not escape a destructor; the table object goes with the members.
  }
  master_link_.SetDataSource(nullptr);
}

// ---- properties ----

void TTableDataSet::SetAutoFlush(bool on) {
  auto_flush_ = on;
  if (table_) table_->set_auto_flush(on);
}

void TTableDataSet::SetDatabaseName(const std::string& name) {
  if (name == database_name_) return;
  CheckInactive();
  std::string value = name;
  if (!SameName(value, AliasList::kDefaultDirectory)) {
    if (value.size() > 1 && value.back() == '/') value.pop_back();
    AliasList& aliases = AliasList::Instance();
    if (!aliases.Find(value)) aliases.Add(value, value);
  }
  database_name_ = value;
}

void TTableDataSet::SetEncryptionKey(const std::string& key) {
  if (key == encryption_key_) return;
  CheckInactive();
  encryption_key_ = key;
}

void TTableDataSet::SetTableName(const std::string& name) {
  if (name == table_name_) return;
  CheckInactive();
  table_name_ = name;
  index_files_.clear();
}

void TTableDataSet::SetLockProtocol(dbase::LockProtocolKind protocol) {
  lock_protocol_ = protocol;
  if (table_) table_->SetLockProtocol(protocol);
}

void TTableDataSet::SetUseDeleted(bool on) {
  use_deleted_ = on;
  if (table_) table_->set_use_deleted(on);
}

void TTableDataSet::SetUserID(int32_t id) {
  user_id_ = id;
  if (table_) table_->set_user_id(id);
}

void TTableDataSet::CheckActive() const {
  if (busy_ == BusyState::kBuildingIndex) throw DatabaseError(std::string(msg::kBusyIndexing));
  if (busy_ == BusyState::kCopying) throw DatabaseError(std::string(msg::kBusyCopying));
  DataSet::CheckActive();
}

// ---- paths ----

std::string TTableDataSet::TableFolder() const {
  std::string folder;
  AliasList& aliases = AliasList::Instance();
  if (SameName(database_name_, AliasList::kDefaultDirectory)) {
    folder = aliases.default_directory();
  } else {
    folder = aliases.Find(database_name_).value_or(database_name_);
  }
  // No folder at all means the current one (not the root a bare separator would name).
  if (folder.empty()) return folder;
  if (folder.back() != '/') folder += '/';
  return folder;
}

std::string TTableDataSet::FullTablePath() const { return TableFolder() + table_name_; }

// ---- open and close ----

std::unique_ptr<DBFObject> TTableDataSet::CreateTableObject(const std::string& path, const std::string& password,
                                                            bool read_write, bool shared) {
  return std::make_unique<DBFObject>(this, path, password, read_write, shared);
}

void TTableDataSet::InternalOpen() {
  if (table_name_.empty()) throw DatabaseError(std::string(msg::kTableNameMissing));
  if (!HasExtension(table_name_)) table_name_ += ".DBF";
  const std::string path = FullTablePath();
  if (!dbase::platform::FileExistsAnyCase(path)) {
    throw DatabaseError::Make(msg::kCannotFindFile, path);
  }
  try {
    table_ = CreateTableObject(path, encryption_key_, !read_only_, !exclusive_);
    table_->set_auto_flush(auto_flush_);
    table_->set_use_deleted(use_deleted_);
    table_->SetLockProtocol(lock_protocol_);
    table_->set_user_id(user_id_);

    InternalInitFieldDefs();
    CreateDefaultFields();
    BindFields(true);
    ComputeLayout();
    key_buffer_.assign(layout_.total, 0);

    if (Filtered()) {
      table_->SetFilterActive(true);
      table_->SetFilter(Filter(), filter_options().case_insensitive, !filter_options().no_partial_compare);
    }
    pending_first_ = true;
    pending_last_ = false;
    edit_locked_ = false;
    OpenIndexFiles(false);
    table_->SelectTag(index_name_, true);
    if (master_link_.Active()) ApplyMasterRange();
  } catch (...) {
    BindFields(false);
    DestroyDefaultFields();
    mutable_field_defs().Clear();
    table_.reset();
    throw;
  }
}

void TTableDataSet::InternalClose() {
  BindFields(false);
  DestroyDefaultFields();
  mutable_field_defs().Clear();
  table_field_numbers_.clear();
  index_defs_.clear();
  key_buffer_.clear();
  pending_first_ = pending_last_ = false;
  edit_locked_ = false;
  // Closed before it is destroyed, so that a failure to write the last appended records or the
  // header is raised rather than lost.
  std::unique_ptr<DBFObject> table = std::move(table_);
  if (table) table->Close();
}

void TTableDataSet::InternalInitFieldDefs() {
  FieldDefs& defs = mutable_field_defs();
  defs.Clear();
  table_field_numbers_.clear();
  for (const dbase::FieldDescriptor& d : table_->descriptors()) {
    FieldType type = FieldType::kUnknown;
    int size = 0;
    switch (d.type) {
      case 'C':
        type = FieldType::kString;
        size = d.length;
        break;
      case 'D':
        type = FieldType::kDate;
        break;
      case 'F':
      case 'N':
        if (d.decimals > 0) {
          type = FieldType::kFloat;
        } else if (d.length < 5) {
          type = FieldType::kSmallInt;
        } else if (d.length < 10) {
          type = FieldType::kInteger;
        } else if (large_integer_as_ == IntFieldsKind::kAsLargeInt) {
          type = FieldType::kLargeInt;
        } else if (large_integer_as_ == IntFieldsKind::kAsFloat) {
          type = FieldType::kFloat;
        } else {
          type = FieldType::kInteger;
        }
        break;
      case 'I':
        type = FieldType::kInteger;
        break;
      case 'L':
        type = FieldType::kBoolean;
        break;
      case 'M':
        type = FieldType::kMemo;
        break;
      case 'B':
      case 'G':
        type = FieldType::kBlob;
        break;
      case 'T':
        type = FieldType::kDateTime;
        break;
      case 'Y':
        type = FieldType::kCurrency;
        break;
      default:
        break;
    }
    if (type == FieldType::kUnknown) continue;
    defs.Add(d.name, type, size, false);
    table_field_numbers_.push_back(d.number);
  }
}

void TTableDataSet::ComputeLayout() {
  Layout l;
  // The engine keeps an end-of-file byte after the record image of a buffer it writes from.
  l.record = static_cast<size_t>(table_->record_length()) + 1;
  l.calc = l.record;
  l.record_number = l.calc + static_cast<size_t>(CalcFieldsSize());
  l.flag = l.record_number + 4;
  l.bookmark = l.flag + 1;
  l.total = l.bookmark + 11;
  if (l.total > 0xFFFF) {
    throw std::range_error(detail::Format(msg::kRecordTooLong, {table_name_}));
  }
  layout_ = l;
}

// ---- filter ----

void TTableDataSet::ApplyFilter() {
  if (!Active()) return;
  CheckBrowseMode();
  if (Filtered()) {
    table_->SetFilterActive(true);
    table_->SetFilter(Filter(), filter_options().case_insensitive, !filter_options().no_partial_compare);
  } else {
    table_->SetFilterActive(false);
  }
  First();
}

void TTableDataSet::SetFilter(const std::string& text) {
  DataSet::SetFilter(text);
  if (Filtered()) ApplyFilter();
}

void TTableDataSet::SetFiltered(bool on) {
  if (on == Filtered()) return;
  DataSet::SetFiltered(on);
  ApplyFilter();
}

void TTableDataSet::SetFilterOptions(FilterOptions options) {
  DataSet::SetFilterOptions(options);
  if (Filtered()) ApplyFilter();
}

bool TTableDataSet::AcceptRecord() {
  if (!Active() || !Filtered() || !OnFilterRecord) return true;
  DataSetState saved = SetTempState(DataSetState::kFilter);
  bool accept = true;
  try {
    OnFilterRecord(*this, accept);
  } catch (...) {
    RestoreState(saved);
    throw;
  }
  RestoreState(saved);
  return accept;
}

// ---- index files and tags ----

void TTableDataSet::OpenIndexFiles(bool reapplied) {
  table_->CloseIndexFiles();
  // The production index its header announces comes with the table, before the listed files.
  table_->OpenProductionIndex();
  const std::string folder = TableFolder();
  std::vector<std::string> opened;
  for (const std::string& entry : index_files_) {
    std::string path(TrimBlanksAndTabs(entry));
    if (path.empty()) continue;
    if (path.find('/') == std::string::npos) path = folder + path;
    if (!HasExtension(path)) path += reapplied ? ".NDX" : ".ndx";
    std::string resolved = dbase::platform::ResolveCase(path);
    if (!dbase::platform::FileExists(resolved)) throw DatabaseError::Make(msg::kCannotFindFile, path);
    for (const std::string& o : opened) {
      if (o == resolved) throw DatabaseError::Make(msg::kIndexAlreadyOpen, path);
    }
    if (!table_->AddIndexFile(resolved)) throw DatabaseError::Make(msg::kErrorGetting, path);
    opened.push_back(resolved);
  }
  RebuildIndexDefs();
}

void TTableDataSet::RebuildIndexDefs() {
  index_defs_.clear();
  if (!table_) return;
  for (int n = 1;; ++n) {
    dbase::IndexTag* tag = table_->TagByNumber(n);
    if (!tag) break;
    IndexDef def;
    def.name = tag->name();
    def.expression = TagExpression(*tag);
    def.is_expression = def.expression.find('(') != std::string::npos;
    if (!def.is_expression) def.fields = ExpressionFields(def.expression);
    index_defs_.push_back(std::move(def));
  }
}

void TTableDataSet::SetIndexFiles(const std::vector<std::string>& files) {
  index_files_ = files;
  if (!Active()) return;
  CheckBrowseMode();
  OpenIndexFiles(true);
  table_->SelectTag(index_name_, true);
  First();
}

void TTableDataSet::SetIndexName(const std::string& name) {
  if (!Active()) {
    index_name_ = name;
    return;
  }
  CheckBrowseMode();
  UpdateCursorPos();
  table_->SelectTag(name, true);
  index_name_ = name;
  if (table_->bof() || table_->eof() || table_->position_changed()) {
    First();
  } else {
    Resync(ResyncMode{});
  }
}

int TTableDataSet::IndexTagCount() const {
  if (!table_) return 0;
  int n = 0;
  while (table_->TagByNumber(n + 1)) ++n;
  return n;
}

std::string TTableDataSet::IndexTagName(int number) const {
  dbase::IndexTag* tag = table_ ? table_->TagByNumber(number) : nullptr;
  return tag ? tag->name() : std::string();
}

std::string TTableDataSet::IndexTagExpression(int number) const {
  dbase::IndexTag* tag = table_ ? table_->TagByNumber(number) : nullptr;
  return tag ? TagExpression(*tag) : std::string();
}

bool TTableDataSet::IsIndexField(const Field& field) const {
  if (!table_ || !table_->current_tag() || field.Calculated()) return false;
  for (const std::string& name : SplitNameList(ExpressionFields(TagExpression(*table_->current_tag())))) {
    if (SameName(name, field.FieldName())) return true;
  }
  return false;
}

bool TTableDataSet::SetRange(const std::string& low, const std::string& high) {
  CheckBrowseMode();
  bool set = table_->SetRange(ToTable(low), ToTable(high), 0, 0, 0);
  First();
  return set;
}

void TTableDataSet::CancelRange() {
  CheckBrowseMode();
  table_->SetRange("", "", 0, 0, 0);
  First();
}

void TTableDataSet::SetKey() {
  CheckBrowseMode();
  {
    RecordPointerScope scope(*table_, key_buffer_.data());
    table_->Blank();
  }
  SetState(DataSetState::kSetKey);
  DataEvent(DataEventKind::kDataSetChange);
}

bool TTableDataSet::GotoKey() {
  CheckBrowseMode();
  DoBeforeScroll();
  dbase::Value key;
  key.SetText("");
  if (table_->current_tag()) {
    RecordPointerScope scope(*table_, key_buffer_.data());
    dbase::ExpHandler expression(table_->link(), false, TagExpression(*table_->current_tag()));
    expression.EvaluateValue(key);
    // The fields left blank do not take part: the key found is the first that begins so.
    if (key.kind() == dbase::ValueKind::Text) key.TrimText();
  }
  CursorPosChanged();
  bool found = table_->FindValue(key);
  if (found) {
    pending_first_ = pending_last_ = false;
    Resync(ResyncMode{true, true});
    DoAfterScroll();
  } else {
    UpdateCursorPos();
  }
  return found;
}

bool TTableDataSet::FindKey(const std::vector<std::string>& values) {
  CheckBrowseMode();
  {
    RecordPointerScope scope(*table_, key_buffer_.data());
    table_->Blank();
    if (table_->current_tag()) {
      const std::vector<std::string> fields = SplitNameList(ExpressionFields(TagExpression(*table_->current_tag())));
      for (size_t i = 0; i < values.size() && i < fields.size(); ++i) table_->StringPutByName(fields[i], ToTable(values[i]));
    }
  }
  return GotoKey();
}

// ---- master/detail ----

void TTableDataSet::SetMasterSource(DataSource* source) {
  if (source == master_link_.data_source()) return;
  if (IsLinkedTo(source)) throw DatabaseError(std::string(msg::kCircularLink));
  master_link_.SetDataSource(source);
}

void TTableDataSet::SetMasterFields(const std::string& fields) {
  master_fields_ = fields;
  if (Active() && master_link_.Active()) MasterChanged();
}

bool TTableDataSet::ApplyMasterRange() {
  DataSet* master = master_link_.dataset();
  if (!master || !master->Active() || master->IsEmpty()) return false;
  if (!table_->current_tag()) throw DatabaseError::Make(msg::kMasterNoIndex, table_name_);
  if (master->State() == DataSetState::kInsert) return false;
  std::vector<std::string> names = SplitNameList(master_fields_);
  std::vector<std::string> values;
  for (const std::string& n : names) values.push_back(master->FieldByName(n).AsString());
  const std::string expression = TagExpression(*table_->current_tag());
  std::vector<std::string> index_fields = SplitNameList(ExpressionFields(expression));
  if (index_fields.size() < names.size()) throw DatabaseError::Make(msg::kMasterMismatch, table_name_);
  std::vector<uint8_t> scratch(static_cast<size_t>(table_->record_length()) + 1, ' ');
  std::string key;
  {
    RecordPointerScope scope(*table_, scratch.data());
    table_->Blank();
    for (size_t i = 0; i < names.size(); ++i) table_->StringPutByName(index_fields[i], ToTable(values[i]));
    dbase::ExpHandler handler(table_->link(), false, expression);
    dbase::Value value;
    handler.EvaluateValue(value);
    key = value.AsText();
  }
  table_->SetRange(key, key, 0, 0, 0);
  return true;
}

void TTableDataSet::MasterChanged() {
  if (!Active()) return;
  CheckBrowseMode();
  if (ApplyMasterRange()) First();
}

void TTableDataSet::MasterDisabled() {
  if (!Active()) return;
  CheckBrowseMode();
  table_->SetRange("", "", 0, 0, 0);
  First();
}

void TTableDataSet::MasterLink::ActiveChanged() {
  if (Active()) {
    owner_.MasterChanged();
  } else {
    owner_.MasterDisabled();
  }
}

void TTableDataSet::MasterLink::RecordChanged(const Field* field) {
  // A field edited in the master moves nothing; a new current record does.
  if (field != nullptr || !Active()) return;
  if (data_source()->State() == DataSetState::kSetKey) return;
  owner_.MasterChanged();
}

void TTableDataSet::MasterLink::CheckBrowseMode() {
  if (owner_.Active() && owner_.State() != DataSetState::kSetKey) owner_.CheckBrowseMode();
}

}  // namespace quarvel
