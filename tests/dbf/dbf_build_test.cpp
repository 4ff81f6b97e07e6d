// Table builders: the exact bytes of new tables and memo files in the three dialects, the field
// type rules, the length limits, and building on destruction.
#include "dbf/dbf_build.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <memory>

#include "dbf/errors.h"
#include "dbf/header_date.h"
#include "support/temp_dir.h"

namespace dbase {
namespace {

using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

enum class Dialect { kDBase3, kDBase4, kFox };

std::unique_ptr<DBFBuild> MakeBuilder(Dialect d, const std::string& name) {
  switch (d) {
    case Dialect::kDBase4:
      return std::make_unique<DB4Build>(name);
    case Dialect::kFox:
      return std::make_unique<DBFoxBuild>(name);
    default:
      return std::make_unique<DBFBuild>(name);
  }
}

std::string Descriptor(const std::string& name, char type, uint8_t length, uint8_t decimals) {
  std::string d(32, '\0');
  d.replace(0, name.size(), name);
  d[11] = type;
  d[16] = static_cast<char>(length);
  d[17] = static_cast<char>(decimals);
  return d;
}

std::string TodayBytes() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return std::string{static_cast<char>(local.tm_year), static_cast<char>(local.tm_mon + 1),
                     static_cast<char>(local.tm_mday)};
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EngineError& e) {
    return e.what();
  }
  return "";
}

class BuildDialectTest : public ::testing::TestWithParam<Dialect> {};

TEST_P(BuildDialectTest, CountTableIsByteExact) {
  TempDir dir;
  const std::string path = dir.File("CONTAGEM.DBF");
  {
    auto b = MakeBuilder(GetParam(), path);
    b->AddField("CODIGO", 'C', 20, 0);
    b->AddField("LOJA", 'C', 4, 0);
    b->AddField("ESTOQUE", 'N', 6, 0);
    b->Build();
  }
  std::string expected;
  expected += '\x03';
  expected += TodayBytes();
  expected += std::string(4, '\0');
  expected += std::string("\x81\x00\x1F\x00", 4);
  expected += std::string(20, '\0');
  expected += Descriptor("CODIGO", 'C', 20, 0) + Descriptor("LOJA", 'C', 4, 0) + Descriptor("ESTOQUE", 'N', 6, 0);
  expected += "\x0D\x1A";
  ASSERT_EQ(expected.size(), 130u);
  EXPECT_EQ(ReadFileBytes(path), expected);
  EXPECT_FALSE(std::filesystem::exists(dir.File("CONTAGEM.DBT")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("CONTAGEM.fpt")));
}

TEST_P(BuildDialectTest, DestructionBuildsWhenBuildWasNeverCalled) {
  TempDir dir;
  {
    auto b = MakeBuilder(GetParam(), "  " + dir.File("produtos") + " ");
    b->AddField("CODIGO", 'C', 20, 0);
    b->AddField("DESCRICAO", 'C', 40, 0);
    EXPECT_EQ(b->file_name(), dir.File("produtos.DBF"));
    EXPECT_EQ(b->base_name(), "produtos");
  }
  std::string bytes = ReadFileBytes(dir.File("produtos.DBF"));
  ASSERT_EQ(bytes.size(), 98u);
  EXPECT_EQ(bytes.substr(8, 4), std::string("\x61\x00\x3D\x00", 4));
  EXPECT_EQ(bytes.substr(0x60), "\x0D\x1A");
}

INSTANTIATE_TEST_SUITE_P(AllDialects, BuildDialectTest,
                         ::testing::Values(Dialect::kDBase3, Dialect::kDBase4, Dialect::kFox));

TEST(DBFBuildTest, FieldRulesForTypesNamesAndLongCharacterFields) {
  TempDir dir;
  const std::string path = dir.File("t.dbf");
  DBFBuild b(path);
  b.AddField("quantidade_total", 'n', 12, 3);
  b.AddField("DATA", 'D', 3, 2);
  b.AddField("ok", 'l', 5, 1);
  b.AddField("TEXTO", 'C', 300, 7);  // high byte of the length in the decimals byte
  b.AddField("NOME", 'c', 20, 3);    // given decimals of a short C field are not kept
  b.AddField("", 'C', 10, 0);         // ignored
  EXPECT_EQ(b.field_count(), 5u);
  EXPECT_EQ(b.record_length(), 1 + 12 + 8 + 1 + 300 + 20);
  b.Build();
  std::string bytes = ReadFileBytes(path);
  ASSERT_EQ(bytes.size(), 32u * 6 + 2);
  EXPECT_EQ(bytes[0], '\x03');
  EXPECT_EQ(bytes.substr(10, 2), std::string("\x56\x01", 2));  // 342
  EXPECT_EQ(bytes.substr(32, 32), Descriptor("QUANTIDADE", 'N', 12, 3));
  EXPECT_EQ(bytes.substr(64, 32), Descriptor("DATA", 'D', 8, 0));
  EXPECT_EQ(bytes.substr(96, 32), Descriptor("OK", 'L', 1, 0));
  EXPECT_EQ(bytes.substr(128, 32), Descriptor("TEXTO", 'C', 0x2C, 0x01));
  EXPECT_EQ(bytes.substr(160, 32), Descriptor("NOME", 'C', 20, 0));
}

TEST(DBFBuildTest, MemoFieldsSetTheVersionAndWriteTheDialectsMemoHeader) {
  TempDir dir;
  auto build = [&](Dialect d, const std::string& name) {
    auto b = MakeBuilder(d, dir.File(name));
    b->AddField("CODIGO", 'C', 5, 0);
    b->AddField("NOTAS", 'm', 4, 2);  // forced to 10/0
    b->Build();
    EXPECT_EQ(b->record_length(), 16);
  };
  build(Dialect::kDBase3, "clientes.dbf");
  build(Dialect::kDBase4, "Fornecedores.dbf");
  build(Dialect::kFox, "itens.dbf");

  EXPECT_EQ(ReadFileBytes(dir.File("clientes.dbf"))[0], '\x83');
  EXPECT_EQ(ReadFileBytes(dir.File("Fornecedores.dbf"))[0], '\x8B');
  EXPECT_EQ(ReadFileBytes(dir.File("itens.dbf"))[0], '\xF5');
  EXPECT_EQ(ReadFileBytes(dir.File("clientes.dbf")).substr(64, 32), Descriptor("NOTAS", 'M', 10, 0));

  std::string db3(513, '\0');
  db3[0] = 1;
  db3.replace(8, 8, "clientes");
  db3[512] = '\x1A';
  EXPECT_EQ(ReadFileBytes(dir.File("clientes.dbt")), db3);

  std::string db4(24, '\0');
  db4[0] = 1;
  db4.replace(8, 8, "Forneced");  // first 8 characters: bytes 16-23 belong to the header
  db4[18] = 2;
  db4[19] = 1;
  db4[21] = 2;  // 512
  EXPECT_EQ(ReadFileBytes(dir.File("Fornecedores.dbt")), db4);

  std::string fox(512, '\0');
  fox[3] = 8;
  fox[7] = 64;
  EXPECT_EQ(ReadFileBytes(dir.File("itens.fpt")), fox);
}

TEST(DBFBuildTest, OutOfRangeLengthsAreRefused) {
  TempDir dir;
  const std::string path = dir.File("bad.dbf");
  const std::string message = "Invalid field list for table " + path;
  DBFBuild b(path);
  EXPECT_EQ(ErrorOf([&] { b.AddField("N1", 'N', 256, 0); }), message);
  EXPECT_EQ(ErrorOf([&] { b.AddField("N2", 'N', 5, 256); }), message);
  EXPECT_EQ(ErrorOf([&] { b.AddField("N3", 'N', -1, 0); }), message);
  EXPECT_EQ(ErrorOf([&] { b.AddField("N4", 'N', 5, -1); }), message);
  EXPECT_EQ(ErrorOf([&] { b.AddField("C1", 'C', 65536, 0); }), message);
  EXPECT_EQ(ErrorOf([&] { b.AddField("C2", 'C', -5, 0); }), message);
  // Field names are ASCII in every dialect: UTF-8 or code-page letters name no field an
  // expression can name.
  EXPECT_EQ(ErrorOf([&] { b.AddField("\xC3\x87\xC3\x83O", 'C', 5, 0); }), message);
  EXPECT_EQ(ErrorOf([&] { b.AddField("A\xC7\xC3O", 'C', 5, 0); }), message);
  EXPECT_EQ(ErrorOf([&] { b.AddField("TAB\tX", 'C', 5, 0); }), message);
  EXPECT_EQ(b.field_count(), 0u);
  EXPECT_EQ(b.record_length(), 1);
  b.AddField("C3", 'C', 65535, 0);  // the longest character field
  EXPECT_EQ(b.record_length(), 65536);
  // A record length above 65535 does not fit the header: the existing file is left as it was.
  WriteFileBytes(path, "precious");
  EXPECT_EQ(ErrorOf([&] { b.Build(); }), message);
  EXPECT_EQ(ReadFileBytes(path), "precious");
}

TEST(DBFBuildTest, ARefusedFieldKeepsTheDestructorFromBuilding) {
  TempDir dir;
  const std::string path = dir.File("half.dbf");
  WriteFileBytes(path, "precious");
  {
    DBFBuild b(path);
    b.AddField("CODIGO", 'C', 20, 0);
    EXPECT_THROW(b.AddField("N", 'N', 300, 0), EngineError);
  }
  EXPECT_EQ(ReadFileBytes(path), "precious");
}

TEST(DBFBuildTest, HeaderLengthMustStayBelow65535) {
  TempDir dir;
  {
    DBFBuild ok(dir.File("ok.dbf"));
    for (int i = 0; i < 2046; ++i) ok.AddField("F" + std::to_string(i), 'L', 1, 0);
    EXPECT_EQ(ok.header_length(), 65505);
    ok.Build();
  }
  EXPECT_EQ(ReadFileBytes(dir.File("ok.dbf")).size(), 65506u);

  const std::string path = dir.File("wide.dbf");
  {
    DBFBuild wide(path);
    for (int i = 0; i < 2047; ++i) wide.AddField("F" + std::to_string(i), 'L', 1, 0);
    EXPECT_EQ(wide.header_length(), 65537);
    EXPECT_EQ(ErrorOf([&] { wide.Build(); }), "Invalid field list for table " + path);
  }
  EXPECT_FALSE(std::filesystem::exists(path));
  {
    DBFBuild silent(path);  // the destructor swallows the same error
    for (int i = 0; i < 2047; ++i) silent.AddField("F" + std::to_string(i), 'L', 1, 0);
  }
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(DBFBuildTest, BuildReplacesAnExistingTableAndKeepsItOpen) {
  TempDir dir;
  const std::string path = dir.File("t.DBF");
  WriteFileBytes(path, std::string(1000, 'x'));
  WriteFileBytes(dir.File("t.dbt"), std::string(5000, 'y'));  // an old memo of other case
  DB4Build b(path);
  b.AddField("M", 'M', 10, 0);
  b.Build();
  b.Build();  // runs once
  EXPECT_EQ(ReadFileBytes(path).size(), 32u * 2 + 2);
  EXPECT_EQ(ReadFileBytes(dir.File("t.dbt")).size(), 24u);
  EXPECT_FALSE(std::filesystem::exists(dir.File("t.DBT")));
  DiskFile other(path, true, false);
  EXPECT_EQ(ErrorOf([&] { other.Open(); }), "Access denied to file " + path);
}

// Byte 1 counts years since 1900, as every other dBase program reads it (126 for 2026); tables
// written with the year modulo 100 keep their century when read.
TEST(HeaderDateTest, YearByteCountsFrom1900AndOldTablesKeepTheirCentury) {
  std::tm local{};
  for (int year : {1980, 1999, 2000, 2026, 2079, 2155}) {
    local.tm_year = year - 1900;
    local.tm_mon = 11;
    local.tm_mday = 31;
    uint8_t bytes[3];
    PutHeaderDate(bytes, local);
    EXPECT_EQ(bytes[0], year - 1900);
    EXPECT_EQ(bytes[1], 12);
    EXPECT_EQ(bytes[2], 31);
    EXPECT_EQ(GetHeaderDate(bytes).year, year);
  }
  const struct {
    uint8_t byte;
    int year;
  } read[] = {{0, 2000}, {26, 2026}, {79, 2079}, {80, 1980}, {99, 1999}, {126, 2026}, {255, 2155}};
  for (const auto& r : read) {
    const uint8_t bytes[3] = {r.byte, 2, 29};
    const HeaderDate date = GetHeaderDate(bytes);
    EXPECT_EQ(date.year, r.year) << int{r.byte};
    EXPECT_EQ(date.month, 2);
    EXPECT_EQ(date.day, 29);
  }
}

}  // namespace
}  // namespace dbase
