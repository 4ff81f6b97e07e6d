// Table creation from field specifications and the handheld templates.
#include <gtest/gtest.h>

#include <filesystem>

#include "dataset/create_from_specs.h"
#include "dataset_test_support.h"
#include "dbf/errors.h"
#include "exchange/handheld_tables.h"
#include "support/temp_dir.h"

namespace quarvel {
namespace {

using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

std::string FailureOf(const std::string& path, const std::vector<std::string>& specs) {
  try {
    CreateTableFromSpecs(path, "", 3, specs);
  } catch (const dbase::EngineError& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(CreateTableFromSpecs, CountLayoutGivesThreeFieldsOfRecordLength31WithoutMemo) {
  TempDir dir;
  EXPECT_TRUE(CreateTableFromSpecs(dir.File("CONTAGEM"), "", 3, {"CODIGO;C;20;0", "LOJA;C;4;0", "ESTOQUE;N;6;0"}));
  dbase::dBHandler t(dir.File("CONTAGEM.DBF"), "", false, false);
  ASSERT_EQ(t.field_count(), 3);
  EXPECT_EQ(t.record_length(), 31);
  EXPECT_EQ(t.version(), 0x03);
  EXPECT_EQ(t.FieldName(3), "ESTOQUE");
  EXPECT_EQ(t.FieldType(3), 'N');
  EXPECT_EQ(t.FieldLen(1), 20);
  EXPECT_FALSE(std::filesystem::exists(dir.File("CONTAGEM.fpt")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("CONTAGEM.DBT")));
  EXPECT_EQ(std::filesystem::file_size(dir.File("CONTAGEM.DBF")), 130u);
}

TEST(CreateTableFromSpecs, MalformedListsAreRefusedAndLeaveNoFileBehind) {
  TempDir dir;
  const std::vector<std::vector<std::string>> bad = {
      {},                                            // empty list
      {"CODIGO"},                                    // no separator at all
      {"CODIGO;C;20"},                               // three parts
      {"CODIGO;C;20;"},                              // trailing ";" removed: three parts again
      {"CODIGO;C;20;;"},                             // ditto
      {"CODIGO;CC;20;0"},                            // type of two letters
      {"CODIGO;;20;0"},                              // no type letter
      {"CODIGO;C;vinte;0"},                          // length not a number
      {"CODIGO;C;20;x"},                             // decimals not a number
      {"CODIGO;C;20;0", "codigo;N;6;0"},             // same name in another case
      {"CODIGO;C;20;0", "LOJA;C;4", "ESTOQUE;N;6;0"},  // one bad among good ones
      {";C;20;0"},                                   // no name
      {"DESCRICAO_A;C;20;0", "DESCRICAO_B;C;20;0"},  // equal once cut to 10 characters
  };
  for (const auto& specs : bad) {
    SCOPED_TRACE(specs.empty() ? "(empty)" : specs.back());
    EXPECT_EQ(FailureOf(dir.File("BAD.DBF"), specs), "Field list is invalid");
    EXPECT_FALSE(std::filesystem::exists(dir.File("BAD.DBF")));
  }
}

TEST(CreateTableFromSpecs, RefusalLeavesAnExistingFileUntouched) {
  TempDir dir;
  WriteFileBytes(dir.File("KEEP.DBF"), "not a table, but mine");
  EXPECT_EQ(FailureOf(dir.File("KEEP.DBF"), {"A;C;1;0", "a;C;1;0"}), "Field list is invalid");
  // A length the format cannot hold is refused by the builder before anything is written.
  EXPECT_EQ(FailureOf(dir.File("KEEP.DBF"), {"A;C;1;0", "B;N;300;0"}),
            "Invalid field list for table " + dir.File("KEEP.DBF"));
  EXPECT_EQ(ReadFileBytes(dir.File("KEEP.DBF")), "not a table, but mine");
}

TEST(CreateTableFromSpecs, AcceptsTrailingSeparatorsBlanksLongNamesAndLowerCase) {
  TempDir dir;
  ASSERT_TRUE(CreateTableFromSpecs(dir.File("T.DBF"), "", 1,
                                   {"codigo;c;20;0;", "LOJA;C;4;0  ", "QUANTIDADE_X;N;8;2 ;; ", "VALOR;N;9;2345"}));
  dbase::dBHandler t(dir.File("T.DBF"), "", false, false);
  EXPECT_EQ(t.FieldName(1), "CODIGO");
  EXPECT_EQ(t.FieldType(1), 'C');
  EXPECT_EQ(t.FieldName(3), "QUANTIDADE");  // 12 characters stored as 10
  EXPECT_EQ(t.FieldDecimals(3), 2);
  EXPECT_EQ(t.FieldDecimals(4), 234);  // only three characters of decimals are read
}

TEST(CreateTableFromSpecs, TableTypeChoosesTheMemoDialect) {
  TempDir dir;
  const std::vector<std::string> specs = {"CODIGO;C;10;0", "OBS;M;10;0"};
  CreateTableFromSpecs(dir.File("D3.DBF"), "", 0, specs);
  CreateTableFromSpecs(dir.File("D4.DBF"), "", 2, specs);
  CreateTableFromSpecs(dir.File("FOX.DBF"), "", 3, specs);
  CreateTableFromSpecs(dir.File("D5.DBF"), "", 7, specs);
  EXPECT_EQ(static_cast<uint8_t>(ReadFileBytes(dir.File("D3.DBF"))[0]), 0x83);
  EXPECT_EQ(static_cast<uint8_t>(ReadFileBytes(dir.File("D4.DBF"))[0]), 0x8B);
  EXPECT_EQ(static_cast<uint8_t>(ReadFileBytes(dir.File("FOX.DBF"))[0]), 0xF5);
  EXPECT_EQ(static_cast<uint8_t>(ReadFileBytes(dir.File("D5.DBF"))[0]), 0x83);
  EXPECT_TRUE(std::filesystem::exists(dir.File("D3.DBT")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("D4.DBT")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("FOX.FPT")));
}

TEST(CreateTableFromSpecs, PasswordEnciphersTheNewTable) {
  TempDir dir;
  CreateTableFromSpecs(dir.File("SECRET.DBF"), "segredo", 3, {"CODIGO;C;10;0"});
  try {
    dbase::dBHandler t(dir.File("SECRET.DBF"), "", false, false);
    FAIL() << "opened without a password";
  } catch (const dbase::EncryptionError& e) {
    EXPECT_EQ(std::string(e.what()), "No Password for encrypted file " + dir.File("SECRET.DBF"));
  }
  dbase::dBHandler t(dir.File("SECRET.DBF"), "segredo", false, false);
  EXPECT_TRUE(t.encrypted());
}

TEST(CreateHandheldTables, CreatesBothTemplatesWithTheExactLayouts) {
  TempDir dir;
  CreateHandheldTables(dir.path());  // no trailing separator
  dbase::dBHandler count(dir.File("CONTAGEM.DBF"), "", false, false);
  ASSERT_EQ(count.field_count(), 3);
  EXPECT_EQ(count.FieldName(1) + count.FieldType(1) + std::to_string(count.FieldLen(1)), "CODIGOC20");
  EXPECT_EQ(count.FieldName(2) + count.FieldType(2) + std::to_string(count.FieldLen(2)), "LOJAC4");
  EXPECT_EQ(count.FieldName(3) + count.FieldType(3) + std::to_string(count.FieldLen(3)), "ESTOQUEN6");
  EXPECT_EQ(count.FieldDecimals(3), 0);
  EXPECT_EQ(count.version(), 0x03);
  dbase::dBHandler products(dir.File("PRODUTOS.DBF"), "", false, false);
  ASSERT_EQ(products.field_count(), 2);
  EXPECT_EQ(products.FieldName(2) + products.FieldType(2) + std::to_string(products.FieldLen(2)), "DESCRICAOC40");
  EXPECT_EQ(products.record_length(), 61);
}

TEST(CreateHandheldTables, NeverTouchesAnExistingFileWhateverItsLayoutOrCase) {
  TempDir dir;
  testing_support::MakeTable(dir, "CONTAGEM.DBF", {"CODIGO;C;20;0", "LOJA;C;4;0", "ESTOQUE;N;6;0", "HORA;C;8;0"},
                             {{"123", "L1", "5", "10:11:12"}});
  WriteFileBytes(dir.File("produtos.dbf"), "handheld's own bytes");
  const std::string count_before = ReadFileBytes(dir.File("CONTAGEM.DBF"));
  CreateHandheldTables(dir.path() + "/");
  EXPECT_EQ(ReadFileBytes(dir.File("CONTAGEM.DBF")), count_before);
  EXPECT_EQ(ReadFileBytes(dir.File("produtos.dbf")), "handheld's own bytes");
  EXPECT_FALSE(std::filesystem::exists(dir.File("PRODUTOS.DBF")));
}

}  // namespace
}  // namespace quarvel
