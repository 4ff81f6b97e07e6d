// Path text: one separator between folder and name, the last component, trailing separators.
#include "platform/paths.h"

#include <gtest/gtest.h>

namespace dbase::platform {
namespace {

TEST(PathsTest, JoinWithExactlyOneSeparator) {
  EXPECT_EQ(JoinPath("/a", "B.DBF"), "/a/B.DBF");
  EXPECT_EQ(JoinPath("/a/", "B.DBF"), "/a/B.DBF");
  EXPECT_EQ(JoinPath("/", "B.DBF"), "/B.DBF");
  // No folder is the current one, not the root a lone separator would name.
  EXPECT_EQ(JoinPath("", "B.DBF"), "B.DBF");
  EXPECT_EQ(FileNamePart("/a/b/C.DBF"), "C.DBF");
  EXPECT_EQ(FileNamePart("C.DBF"), "C.DBF");
  EXPECT_EQ(FileNamePart("/a/"), "");
  EXPECT_EQ(WithoutTrailingSeparator("/a//"), "/a");
  EXPECT_EQ(WithoutTrailingSeparator("/"), "/");
}

}  // namespace
}  // namespace dbase::platform
