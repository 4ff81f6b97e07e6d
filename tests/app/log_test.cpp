// The log's size limit (8192 characters, CR LF per line) and its change notifications.
#include "app/log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quarvel {
namespace {

TEST(Log, DropsExactlyTheOldestLinesNeededToFit) {
  Log log;
  // 81 lines of 100 characters cost 81 * 102 = 8262 > 8192 on the 81st line.
  for (int i = 0; i < 80; ++i) log.AddLine(std::string(99, 'a') + static_cast<char>('0' + i % 10));
  EXPECT_EQ(log.Lines().size(), 80u);
  EXPECT_EQ(log.TextLength(), 8160u);
  log.AddLine(std::string(100, 'z'));
  // 8262 - 102 = 8160 fits: only the first line went.
  ASSERT_EQ(log.Lines().size(), 80u);
  EXPECT_EQ(log.Lines().front(), std::string(99, 'a') + '1');
  EXPECT_EQ(log.Lines().back(), std::string(100, 'z'));
  EXPECT_EQ(log.TextLength(), 8160u);
  EXPECT_EQ(log.Text().size(), 8160u);
}

TEST(Log, TextOfExactlyTheLimitStays) {
  Log log;
  log.AddLine(std::string(kLogLimit - kLogLineBreak, 'x'));
  EXPECT_EQ(log.Lines().size(), 1u);
  EXPECT_EQ(log.TextLength(), kLogLimit);
  log.AddLine("");  // an empty line counts with its line break
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_EQ(log.Lines()[0], "");
}

TEST(Log, OneLineLongerThanTheLimitEmptiesTheLog) {
  Log log;
  log.AddLine("first");
  log.AddLine("second");
  log.AddLine(std::string(kLogLimit, 'y'));
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_EQ(log.TextLength(), 0u);
  EXPECT_EQ(log.Text(), "");
}

TEST(Log, CountsCharactersNotBytes) {
  // "ç" is two bytes in UTF-8 but one character.
  EXPECT_EQ(CharacterCount("ação"), 4u);
  EXPECT_EQ(CharacterCount("HotSync®"), 8u);
  EXPECT_EQ(CharacterCount("\xC3"), 1u);      // cut sequence
  EXPECT_EQ(CharacterCount("\xFF\xFE"), 2u);  // not UTF-8 at all
  Log log;
  const std::string line(4000, 'a');
  log.AddLine(line + std::string(2000, 'a'));
  // 2045 two-byte characters: 4090 bytes but 2045 characters + 2 = 2047.
  std::string accented;
  for (int i = 0; i < 2045; ++i) accented += "é";
  log.AddLine(accented);
  EXPECT_EQ(log.Lines().size(), 2u);
  EXPECT_EQ(log.TextLength(), 6002u + 2047u);
}

TEST(Log, ListenersSeeAppendsAndRebuilds) {
  Log log;
  std::vector<std::string> seen;
  log.AddListener([&](const std::string* added, bool rebuilt) {
    seen.push_back((added ? *added : std::string("<none>")) + (rebuilt ? " rebuilt" : ""));
  });
  log.AddLine("> one");
  log.Clear();
  log.AddLine("> two");
  log.AddLine(std::string(kLogLimit, 'q'));
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0], "> one");
  EXPECT_EQ(seen[1], "<none> rebuilt");
  EXPECT_EQ(seen[2], "> two");
  EXPECT_EQ(seen[3], std::string(kLogLimit, 'q') + " rebuilt");
}

TEST(Log, AddingALineOfItsOwnListIsSafe) {
  Log log;
  log.AddLine(std::string(5000, 'a'));
  log.AddLine(log.Lines()[0]);  // drops the line it was copied from
  ASSERT_EQ(log.Lines().size(), 1u);
  EXPECT_EQ(log.Lines()[0], std::string(5000, 'a'));
}

}  // namespace
}  // namespace quarvel
