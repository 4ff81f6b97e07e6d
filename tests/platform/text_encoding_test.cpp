// Windows-1252 <-> UTF-8 at the program's edges.
#include "platform/text_encoding.h"

#include <gtest/gtest.h>

namespace dbase::platform {
namespace {

TEST(TextEncodingTest, EveryWindows1252ByteRoundTripsThroughUtf8) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  const std::string utf8 = Cp1252ToUtf8(all);
  EXPECT_EQ(Utf8ToCp1252(utf8), all);
  EXPECT_EQ(Cp1252ToUtf8("\x80\x81\xE7\xFF"), "\xE2\x82\xAC\xC2\x81\xC3\xA7\xC3\xBF");  // euro, control, ç, ÿ
}

TEST(TextEncodingTest, TextThatIsNoWindows1252InUtf8IsKeptAsGiven) {
  EXPECT_EQ(Utf8ToCp1252("Caf\xC3\xA9"), "Caf\xE9");
  EXPECT_EQ(Utf8ToCp1252("Caf\xE9"), "Caf\xE9");                        // not UTF-8: already bytes
  EXPECT_EQ(Utf8ToCp1252("\xE2\x82\xAC \xCE\xA9"), "\xE2\x82\xAC \xCE\xA9");  // omega: no such byte
  EXPECT_EQ(Utf8ToCp1252("\xC3"), "\xC3");                              // cut short
}

TEST(TextEncodingTest, Utf8EncoderCoversEveryLength) {
  std::string out;
  for (uint32_t code : {0x41u, 0xE9u, 0x20ACu, 0x1F600u}) AppendUtf8(out, code);
  EXPECT_EQ(out, "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
}

}  // namespace
}  // namespace dbase::platform
