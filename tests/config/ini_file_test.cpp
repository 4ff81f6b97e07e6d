// INI profile functions: case-insensitive lookup, trimming, in-place writes and deletions that
// keep every other line.
#include "config/ini_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace quarvel {
namespace {

using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

TEST(IniFile, ReadsSectionsAndKeysWithoutRegardToCase) {
  TempDir dir;
  WriteFileBytes(dir.File("a.ini"),
                 "; settings\n[Do]\n  txt =  N  \nCsv=\"quoted value\"\n[dir]\nDBF=/data/dbf\n");
  const IniFile ini(dir.File("a.ini"));
  EXPECT_EQ(ini.ReadString("DO", "TXT", "?"), "N");
  EXPECT_EQ(ini.ReadString("do", "csv", "?"), "quoted value");
  EXPECT_EQ(ini.ReadString("DIR", "dbf", "?"), "/data/dbf");
  EXPECT_EQ(ini.ReadString("DIR", "TXT", "default"), "default");
  EXPECT_EQ(ini.ReadString("NONE", "TXT", "default"), "default");
  EXPECT_EQ(IniFile(dir.File("missing.ini")).ReadString("DO", "TXT", "d"), "d");
}

TEST(IniFile, FirstOccurrenceWinsAndCommentsAreNotKeys) {
  TempDir dir;
  WriteFileBytes(dir.File("a.ini"), "[DO]\n;TXT=comment\nTXT=first\nTXT=second\n");
  EXPECT_EQ(IniFile(dir.File("a.ini")).ReadString("DO", "TXT", ""), "first");
}

TEST(IniFile, WriteRewritesTheKeyLineAndKeepsEverythingElse) {
  TempDir dir;
  WriteFileBytes(dir.File("a.ini"), "; head\n[DO]\ntxt=N\nother=1\n\n[DIR]\nCSV=/x\n");
  IniFile ini(dir.File("a.ini"));
  ini.WriteString("do", "TXT", "Y");
  EXPECT_EQ(ReadFileBytes(dir.File("a.ini")), "; head\n[DO]\ntxt=Y\nother=1\n\n[DIR]\nCSV=/x\n");
}

TEST(IniFile, NewKeyGoesAfterTheLastEntryOfItsSection) {
  TempDir dir;
  WriteFileBytes(dir.File("a.ini"), "[DO]\nTXT=N\n\n[DIR]\nCSV=/x\n");
  IniFile ini(dir.File("a.ini"));
  ini.WriteString("DO", "DBF", "N");
  ini.WriteString("NEW", "K", "v");
  EXPECT_EQ(ReadFileBytes(dir.File("a.ini")), "[DO]\nTXT=N\nDBF=N\n\n[DIR]\nCSV=/x\n[NEW]\nK=v\n");
}

TEST(IniFile, DeleteRemovesOnlyThatKeyAndKeepsLineBreaks) {
  TempDir dir;
  WriteFileBytes(dir.File("a.ini"), "[DO]\r\nTXT=N\r\nCSV=N\r\n[DIR]\r\nTXT=/t\r\n");
  IniFile ini(dir.File("a.ini"));
  ini.DeleteKey("do", "txt");
  EXPECT_EQ(ReadFileBytes(dir.File("a.ini")), "[DO]\r\nCSV=N\r\n[DIR]\r\nTXT=/t\r\n");
  ini.DeleteKey("DO", "DBF");  // absent: nothing changes
  EXPECT_EQ(ReadFileBytes(dir.File("a.ini")), "[DO]\r\nCSV=N\r\n[DIR]\r\nTXT=/t\r\n");
}

TEST(IniFile, DuplicateKeysAreAllRemovedOrCollapsed) {
  TempDir dir;
  WriteFileBytes(dir.File("a.ini"), "[DO]\nTXT=1\nTXT=2\n[do]\nTXT=3\n");
  IniFile ini(dir.File("a.ini"));
  ini.WriteString("DO", "TXT", "N");
  EXPECT_EQ(ReadFileBytes(dir.File("a.ini")), "[DO]\nTXT=N\n[do]\n");
  ini.DeleteKey("DO", "TXT");
  EXPECT_EQ(ini.ReadString("DO", "TXT", "gone"), "gone");
}

TEST(IniFile, WritingCreatesTheFileAndRefusesWhatItCannotStore) {
  TempDir dir;
  IniFile ini(dir.File("new.ini"));
  ini.DeleteKey("DO", "TXT");  // no file, no key: still no file
  EXPECT_FALSE(std::filesystem::exists(dir.File("new.ini")));
  ini.WriteString("DIR", "TXT", "/a b");
  EXPECT_EQ(ReadFileBytes(dir.File("new.ini")), "[DIR]\nTXT=/a b\n");
  EXPECT_THROW(ini.WriteString("DIR", "CSV", "two\nlines"), SettingsError);
  EXPECT_EQ(ReadFileBytes(dir.File("new.ini")), "[DIR]\nTXT=/a b\n");
  IniFile nowhere(dir.File("no/such/folder/x.ini"));
  EXPECT_THROW(nowhere.WriteString("DO", "TXT", "N"), SettingsError);
}

}  // namespace
}  // namespace quarvel
