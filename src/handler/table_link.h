// The expression link every open table carries: the table functions RECNO, DELETED, BOF, EOF,
// TYPE, LEN and FIELDNO, and one field variable per field, known by its name and by
// alias + "." + name.
#pragma once

#include <memory>

#include "expr/user_link.h"

namespace dbase {

class dBaseFld;

// Builds the link for `table`, which must outlive it (the table owns its link).
std::unique_ptr<ExpUserLink> MakeTableLink(dBaseFld& table);

}  // namespace dbase
