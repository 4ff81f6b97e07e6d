// The .reg registry layer: both file formats, typed reads, removals, other hives, bad files.
#include "app/registry.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace quarvel {
namespace {

TEST(Registry, ReadsTypedValuesOfTheCurrentUserPart) {
  const Registry registry = Registry::Parse(
      "REGEDIT4\r\n\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Other]\r\n\"Conduit\"=\"machine.dll\"\r\n\r\n"
      "[HKEY_CURRENT_USER\\Software\\Vendor\\App0]\r\n"
      "\"Conduit\"=\"C:\\\\Pilot\\\\x.dll\"\r\n"
      "\"Creator\"=dword:51565043\r\n"
      "\"Blob\"=hex:01,02,\\\r\n  03\r\n"
      "\"Path\"=hex(2):25,54,45,4d,50,25,00\r\n"
      "@=\"default\"\r\n",
      "test.reg");
  const RegistryKey* key = registry.OpenKey("\\software\\VENDOR\\app0");
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(key->ReadString("conduit"), "C:\\Pilot\\x.dll");
  EXPECT_EQ(key->ReadInteger("CREATOR"), 0x51565043);
  EXPECT_EQ(key->ReadString("Path"), "%TEMP%");  // expandable text reads as text
  EXPECT_EQ(key->ReadString(""), "default");
  EXPECT_EQ(key->ReadString("Missing"), "");
  EXPECT_THROW(key->ReadString("Creator"), RegistryError);
  EXPECT_THROW(key->ReadString("Blob"), RegistryError);
  EXPECT_THROW(key->ReadInteger("Conduit"), RegistryError);
  EXPECT_THROW(key->ReadInteger("Missing"), RegistryError);
  // Parent keys exist; other hives are not seen.
  EXPECT_NE(registry.OpenKey("Software\\Vendor"), nullptr);
  EXPECT_EQ(registry.OpenKey("Software\\Other"), nullptr);
  EXPECT_EQ(registry.OpenKey("Software\\Vendor\\App1"), nullptr);
}

TEST(Registry, ErrorMessagesNameTheValue) {
  const Registry registry = Registry::Parse(
      "REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"Creator\"=\"QVPC\"\n", "t.reg");
  try {
    registry.OpenKey("K")->ReadInteger("Creator");
    FAIL();
  } catch (const RegistryError& error) {
    EXPECT_STREQ(error.what(), "Invalid data type for 'Creator'");
  }
  try {
    registry.OpenKey("K")->ReadInteger("Other");
    FAIL();
  } catch (const RegistryError& error) {
    EXPECT_STREQ(error.what(), "Failed to get data for 'Other'");
  }
}

TEST(Registry, Version5FilesInUtf16AndRemovals) {
  const std::string text =
      "Windows Registry Editor Version 5.00\r\n\r\n"
      "[HKEY_CURRENT_USER\\A\\B]\r\n\"Gone\"=\"1\"\r\n\"Stay\"=\"ção\"\r\n"
      "[HKEY_CURRENT_USER\\A\\C]\r\n\"X\"=dword:1\r\n"
      "[HKEY_CURRENT_USER\\A\\B]\r\n\"Gone\"=-\r\n"
      "[-HKEY_CURRENT_USER\\A\\C]\r\n";
  // UTF-16LE with a byte-order mark, as the registry editor writes version 5.00 files.
  std::string utf16 = "\xFF\xFE";
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    uint32_t code = c;
    if (c >= 0xC0) {
      code = ((c & 0x1F) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3F);
      i += 2;
    } else {
      ++i;
    }
    utf16 += static_cast<char>(code & 0xFF);
    utf16 += static_cast<char>(code >> 8);
  }
  const Registry registry = Registry::Parse(utf16, "v5.reg");
  const RegistryKey* b = registry.OpenKey("A\\B");
  ASSERT_NE(b, nullptr);
  EXPECT_FALSE(b->ValueExists("Gone"));
  EXPECT_EQ(b->ReadString("Stay"), "ção");
  EXPECT_EQ(registry.OpenKey("A\\C"), nullptr);
}

TEST(Registry, MalformedFilesFailWithTheLine) {
  EXPECT_THROW(Registry::Parse("not a registry\n", "x.reg"), RegistryError);
  EXPECT_THROW(Registry::Parse("", "x.reg"), RegistryError);
  try {
    Registry::Parse("REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"V\"=dword:xyz\n", "x.reg");
    FAIL();
  } catch (const RegistryError& error) {
    EXPECT_STREQ(error.what(), "Registry file x.reg, line 3: bad dword value \"xyz\"");
  }
  EXPECT_THROW(Registry::Parse("REGEDIT4\n\"V\"=\"1\"\n", "x.reg"), RegistryError);
  EXPECT_THROW(Registry::Parse("REGEDIT4\n[HKEY_CURRENT_USER\\K\n", "x.reg"), RegistryError);
  EXPECT_THROW(Registry::Parse("REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"V\"=\"open\n", "x.reg"),
               RegistryError);
  EXPECT_THROW(Registry::Parse("REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"V\"=hex:1,zz\n", "x.reg"),
               RegistryError);
  EXPECT_THROW(Registry::Parse("REGEDIT4\n[HKEY_CURRENT_USER\\K]\n\"V\"=dword:123456789\n", "x.reg"),
               RegistryError);
}

TEST(Registry, MissingFileIsAnEmptyRegistry) {
  testsupport::TempDir dir;
  EXPECT_EQ(Registry::LoadFile(dir.File("none.reg")).OpenKey("Software"), nullptr);
}

}  // namespace
}  // namespace quarvel
