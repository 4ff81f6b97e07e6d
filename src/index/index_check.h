// The structural check of an index tag against its table, as `qdbf index check` runs it: the
// page structure is sound (every page reached once, leaves at one depth, no page over its
// capacity, entries in order inside their parent's bounds, sibling links that agree), and the
// entries are exactly the records that pass the FOR condition, each with its key once (a
// unique tag: each key of such records once, on a record that has it).
#pragma once

#include <string>

namespace dbase {

class IndexFile;
class IndexTag;

// What a check covers: the pages and the order of entries only, or also the entries against
// the table's records. A unique tag maintained by writes may lack a key that a rebuild would
// give it (the record that held it changed while another had the same key); the full check
// reports that too.
enum class CheckScope { Structure, Full };

// The first problem found, or an empty text when the tag is sound.
std::string CheckIndexTag(IndexTag& tag, CheckScope scope = CheckScope::Full);
// CheckIndexTag for every tag of the file.
std::string CheckIndexFile(IndexFile& file, CheckScope scope = CheckScope::Full);

}  // namespace dbase
