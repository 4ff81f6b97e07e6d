// INI profile functions: case-insensitive lookup, trimming, comments and line breaks of every
// kind, whole sections, in-place writes and deletions that keep every other line.
#include "platform/ini_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace dbase::platform {
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

// One reader serves the settings file, handheld.ini and the alias file: comments start with ";"
// or "#", and lines may end in "\r\n", "\n" or a lone "\r" (also mixed in one file).
TEST(IniFile, CommentsAndLineBreaksOfEveryKind) {
  const std::string bodies[] = {
      "; c\n# TXT=hash comment\n[DO]\n#TXT=no\n\tTXT = yes \nCSV=\"a b\"\n=no key\nno equals\n",
      "; c\r\n# TXT=hash comment\r\n[DO]\r\n#TXT=no\r\n\tTXT = yes \r\nCSV=\"a b\"\r\n=no key\r\nno equals\r\n",
      "; c\r# TXT=hash comment\r[DO]\r#TXT=no\r\tTXT = yes \rCSV=\"a b\"\r=no key\rno equals",
      "; c\r\n# TXT=hash comment\r[DO]\n#TXT=no\r\n\tTXT = yes \rCSV=\"a b\"\n=no key\r\nno equals\r",
  };
  for (const std::string& body : bodies) {
    SCOPED_TRACE(body);
    TempDir dir;
    WriteFileBytes(dir.File("a.ini"), body);
    const IniFile ini(dir.File("a.ini"));
    EXPECT_EQ(ini.ReadString("DO", "TXT", "?"), "yes");
    EXPECT_EQ(ini.ReadString("DO", "#TXT", "none"), "none");
    EXPECT_EQ(ini.ReadSection("do"), (IniEntries{{"TXT", "yes"}, {"CSV", "a b"}}));
  }
}

TEST(IniFile, WritingKeepsTheFilesOwnLineBreak) {
  TempDir dir;
  WriteFileBytes(dir.File("a.ini"), "[DO]\rTXT=N\r[DIR]\rCSV=/x\r");
  IniFile ini(dir.File("a.ini"));
  ini.WriteString("DO", "CSV", "N");
  EXPECT_EQ(ReadFileBytes(dir.File("a.ini")), "[DO]\rTXT=N\rCSV=N\r[DIR]\rCSV=/x\r");
}

TEST(IniFile, ASectionNamedTwiceIsReadInFileOrder) {
  TempDir dir;
  WriteFileBytes(dir.File("a.ini"), "[Alias]\nA=/a\n[Other]\nB=/other\n[ALIAS]\nB=/b\nA=/late\n");
  const IniFile ini(dir.File("a.ini"));
  EXPECT_EQ(ini.ReadSection("alias"), (IniEntries{{"A", "/a"}, {"B", "/b"}, {"A", "/late"}}));
  EXPECT_EQ(ini.ReadString("ALIAS", "A", "?"), "/a");
  EXPECT_EQ(ini.ReadString("ALIAS", "B", "?"), "/b");
  EXPECT_TRUE(ini.ReadSection("none").empty());
  EXPECT_TRUE(IniFile(dir.File("missing.ini")).ReadSection("Alias").empty());
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
  EXPECT_THROW(ini.WriteString("DIR", "CSV", "two\nlines"), IniWriteError);
  EXPECT_EQ(ReadFileBytes(dir.File("new.ini")), "[DIR]\nTXT=/a b\n");
  IniFile nowhere(dir.File("no/such/folder/x.ini"));
  EXPECT_THROW(nowhere.WriteString("DO", "TXT", "N"), IniWriteError);
}

}  // namespace
}  // namespace dbase::platform
