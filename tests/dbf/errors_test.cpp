// Message formatting of the engine errors.
#include "dbf/errors.h"

#include <gtest/gtest.h>

namespace dbase {
namespace {

TEST(EngineErrorTest, FormatsPlaceholdersInOrder) {
  EngineError e = EngineError::Make(kRecordNotInTable, 12, "/t/A.DBF");
  EXPECT_EQ(e.number(), 65205);
  EXPECT_STREQ(e.what(), "Record number 12 is not in table /t/A.DBF");
  EXPECT_STREQ(EngineError::Make(kFullAccess, "Zap", "X.DBF").what(), "Zap requires full access to file X.DBF");
}

TEST(EngineErrorTest, MissingArgumentsLeaveEmptyAndDerivedClassesKeepNumber) {
  EXPECT_EQ(FormatText("a %s b %d c", {"x"}), "a x b  c");
  EXPECT_EQ(FormatText("100% %q", {}), "100% %q");
  try {
    throw EncryptionError::Make(kNoPassword, "P.DBF");
  } catch (const EngineError& e) {
    EXPECT_EQ(e.number(), kNoPassword);
    EXPECT_STREQ(e.what(), "No Password for encrypted file P.DBF");
  }
}

}  // namespace
}  // namespace dbase
