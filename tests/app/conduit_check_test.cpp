// The conduit check against .reg files: numbered registrations up to the first gap, the OEM key,
// conduit names in paths and any case, the creator ID, the log lines and the message box.
#include "app/conduit_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace quarvel {
namespace {

using testsupport::TempDir;
using testsupport::WriteFileBytes;

const std::vector<std::string> kFoundLines = {
    "> Checando o registro do condutor Satellite Forms...", "", "> Conduit: SFrmCS35.dll",
    "> Creator: QVPC", "> ApplVer: 2.0", ""};
const std::vector<std::string> kNotFoundLines = {
    "> Checando o registro do condutor Satellite Forms...", ""};
const char* kMessage = "Condutor Satellite Forms 3.5 para aplicações QVPC não registrado.";

std::string Key(const std::string& name, const std::string& conduit, const std::string& creator) {
  std::string text = "[HKEY_CURRENT_USER\\Software\\U.S. Robotics\\Pilot Desktop\\" + name + "]\n";
  if (!conduit.empty()) text += "\"Conduit\"=" + conduit + "\n";
  if (!creator.empty()) text += "\"Creator\"=" + creator + "\n";
  return text + "\n";
}

const std::string kMatch = "\"SFrmCS35.dll\"";
const std::string kQvpc = "dword:51565043";

struct Outcome {
  bool found = false;
  std::vector<std::string> lines;
  std::vector<std::string> boxes;
};

Outcome Check(const std::string& keys) {
  TempDir dir;
  WriteFileBytes(dir.File("hotsync.reg"), "REGEDIT4\n\n" + keys);
  Outcome outcome;
  Log log;
  outcome.found = ConduitCheck(dir.File("hotsync.reg"), log,
                               [&](const std::string& text) { outcome.boxes.push_back(text); });
  outcome.lines = log.Lines();
  return outcome;
}

TEST(ConduitCheck, FoundUnderANumberedKey) {
  const Outcome o = Check(Key("Application0", "\"Other.dll\"", "dword:41424344") +
                        Key("Application1", kMatch, kQvpc));
  EXPECT_TRUE(o.found);
  EXPECT_EQ(o.lines, kFoundLines);
  EXPECT_TRUE(o.boxes.empty());
}

TEST(ConduitCheck, TheNumberingStopsAtTheFirstGap) {
  const Outcome o = Check(Key("Application0", "\"Other.dll\"", "dword:41424344") +
                        Key("Application2", kMatch, kQvpc));
  EXPECT_FALSE(o.found);
  EXPECT_EQ(o.lines, kNotFoundLines);
  ASSERT_EQ(o.boxes.size(), 1u);
  EXPECT_EQ(o.boxes[0], kMessage);
}

TEST(ConduitCheck, OemKeyCountsWhenNoNumberedKeyMatched) {
  EXPECT_TRUE(Check(Key("Application0", "\"Other.dll\"", "dword:1") +
                  Key("ApplicationSatForms_OEM_QVPC", kMatch, kQvpc))
                  .found);
  EXPECT_TRUE(Check(Key("ApplicationSatForms_OEM_QVPC", kMatch, kQvpc)).found);
  // A broken OEM key is not even read when a numbered key matched.
  EXPECT_TRUE(Check(Key("Application0", kMatch, kQvpc) +
                  Key("ApplicationSatForms_OEM_QVPC", "dword:1", ""))
                  .found);
  // The OEM key of another creator is not the one looked at.
  EXPECT_FALSE(Check(Key("ApplicationSatForms_OEM_ABCD", kMatch, kQvpc)).found);
}

TEST(ConduitCheck, ConduitMayBeAFullPathInAnyCase) {
  EXPECT_TRUE(Check(Key("Application0", "\"C:\\\\Palm\\\\sfrmcs35.DLL\"", kQvpc)).found);
  EXPECT_TRUE(Check(Key("Application0", "\"/opt/hotsync/conduits/SFRMCS35.dll\"", kQvpc)).found);
  EXPECT_FALSE(Check(Key("Application0", "\"SFrmCE40.dll\"", kQvpc)).found);
  EXPECT_FALSE(Check(Key("Application0", "\"\"", kQvpc)).found);
}

TEST(ConduitCheck, AnotherCreatorDoesNotCount) {
  EXPECT_FALSE(Check(Key("Application0", kMatch, "dword:41424344")).found);
  // The creator compares as hexadecimal text with at least four digits.
  EXPECT_FALSE(Check(Key("Application0", kMatch, "dword:00005156")).found);
}

TEST(ConduitCheck, TwoMatchesLogAsOne) {
  const Outcome o = Check(Key("Application0", kMatch, kQvpc) + Key("Application1", kMatch, kQvpc));
  EXPECT_TRUE(o.found);
  EXPECT_EQ(o.lines, kFoundLines);
}

TEST(ConduitCheck, NoRegistryFileMeansNotRegistered) {
  TempDir dir;
  Log log;
  int boxes = 0;
  EXPECT_FALSE(ConduitCheck(dir.File("hotsync.reg"), log, [&](const std::string&) { ++boxes; }));
  EXPECT_EQ(boxes, 1);
}

TEST(ConduitCheck, WronglyTypedValuesRaise) {
  // A conduit that is not text raises at once.
  EXPECT_THROW(Check(Key("Application0", "dword:1", kQvpc)), RegistryError);
  // A matching conduit whose creator is missing or not a DWORD raises.
  EXPECT_THROW(Check(Key("Application0", kMatch, "")), RegistryError);
  EXPECT_THROW(Check(Key("Application0", kMatch, "\"QVPC\"")), RegistryError);
  // A key that does not match is never asked for its creator.
  EXPECT_FALSE(Check(Key("Application0", "\"Other.dll\"", "\"QVPC\"")).found);
  // A key without a conduit reads as empty and never matches.
  EXPECT_FALSE(Check(Key("Application0", "", kQvpc)).found);
}

TEST(ConduitCheck, ConduitNamesAndHexOfText) {
  EXPECT_EQ(ConduitFileName("3.5"), "SFrmCS35.dll");
  EXPECT_EQ(ConduitFileName("4.0"), "SFrmCE40.dll");
  EXPECT_EQ(ConduitFileName("5.2"), "SFrmCn52.dll");
  EXPECT_EQ(ConduitFileName("6.0"), "");
  EXPECT_EQ(HexOfText("QVPC"), "51565043");
  EXPECT_EQ(HexOfText(std::string("\x01\x0A\xFF", 3)), "1AFF");
  EXPECT_EQ(HexOfText(""), "");
}

TEST(ConduitCheck, AnUnknownFormsVersionNeverMatches) {
  TempDir dir;
  WriteFileBytes(dir.File("hotsync.reg"), "REGEDIT4\n\n" + Key("Application0", kMatch, kQvpc));
  Log log;
  std::vector<std::string> boxes;
  HandheldApplication other;
  other.forms_version = "9.9";
  EXPECT_FALSE(ConduitCheck(dir.File("hotsync.reg"), log,
                            [&](const std::string& t) { boxes.push_back(t); }, other));
  EXPECT_EQ(boxes.at(0), "Condutor Satellite Forms 9.9 para aplicações QVPC não registrado.");
}

}  // namespace
}  // namespace quarvel
