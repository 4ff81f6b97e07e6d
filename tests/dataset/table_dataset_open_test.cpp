// Opening and closing the table dataset: properties, path resolution with the alias list and
// tables.cfg, the dBase-to-dataset type mapping, and the failures of open.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "dataset/alias_list.h"
#include "dataset/database_error.h"
#include "dataset/date_time.h"
#include "dataset/table_dataset.h"
#include "dataset_test_support.h"
#include "dbf/dbf_build.h"
#include "dbf/errors.h"
#include "support/table_bytes.h"
#include "support/temp_dir.h"

namespace quarvel {
namespace {

using testing_support::ErrorOf;
using testing_support::MakeTable;
using testing_support::Point;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

const std::vector<std::string> kCountSpecs = {"CODIGO;C;20;0", "LOJA;C;4;0", "ESTOQUE;N;6;0"};

TEST(TableDataSetProperties, NewInstanceHasThePublishedDefaults) {
  TTableDataSet ds;
  EXPECT_EQ(ds.About(), "Table engine version 1.0");
  ds.SetAbout("something else");
  EXPECT_EQ(ds.About(), "Table engine version 1.0");
  EXPECT_FALSE(ds.Active());
  EXPECT_TRUE(ds.AutoCalcFields());
  EXPECT_FALSE(ds.AutoFlush());
  EXPECT_EQ(ds.DatabaseName(), "");
  EXPECT_EQ(ds.EncryptionKey(), "");
  EXPECT_FALSE(ds.ExactCount());
  EXPECT_FALSE(ds.Exclusive());
  EXPECT_EQ(ds.Filter(), "");
  EXPECT_FALSE(ds.Filtered());
  EXPECT_FALSE(ds.filter_options().case_insensitive);
  EXPECT_FALSE(ds.filter_options().no_partial_compare);
  EXPECT_TRUE(ds.IndexDefs().empty());
  EXPECT_TRUE(ds.IndexFiles().empty());
  EXPECT_EQ(ds.IndexName(), "");
  EXPECT_EQ(ds.LargeIntegerAs(), IntFieldsKind::kAsInteger);
  EXPECT_EQ(ds.LockProtocol(), dbase::Default);
  EXPECT_EQ(ds.MasterFields(), "");
  EXPECT_EQ(ds.MasterSource(), nullptr);
  EXPECT_FALSE(ds.ReadOnly());
  EXPECT_EQ(ds.TableName(), "");
  EXPECT_TRUE(ds.TranslateASCII());
  EXPECT_FALSE(ds.UseDeleted());
  EXPECT_EQ(ds.UserID(), 0);
  EXPECT_FALSE(ds.OnStatus);
  EXPECT_EQ(ds.TableObject(), nullptr);
}

TEST(TableDataSetOpen, TableNameWithoutExtensionOpensTheDbfFileInTheFolder) {
  TempDir dir;
  MakeTable(dir, "CONTAGEM.DBF", kCountSpecs, {{"7891", "L1", "12"}});
  TTableDataSet ds;
  Point(ds, dir.path() + "/", "CONTAGEM");
  EXPECT_EQ(ds.DatabaseName(), dir.path());  // one trailing separator removed
  ds.Open();
  EXPECT_TRUE(ds.Active());
  EXPECT_EQ(ds.TableName(), "CONTAGEM.DBF");
  EXPECT_EQ(ds.TableObject()->file_name(), dir.File("CONTAGEM.DBF"));
  ASSERT_EQ(ds.FieldCount(), 3);
  EXPECT_EQ(ds.FieldByName("codigo").AsString(), "7891");
  EXPECT_EQ(ds.FieldByName("ESTOQUE").DataType(), FieldType::kInteger);
  EXPECT_EQ(ds.FieldByName("ESTOQUE").AsInteger(), 12);
  EXPECT_EQ(ds.TableObject()->FieldName(2), "LOJA");
  ds.Close();
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(ds.TableObject(), nullptr);
  EXPECT_EQ(ds.FieldCount(), 0);
}

TEST(TableDataSetOpen, FileNameIsMatchedWithoutRegardToCase) {
  TempDir dir;
  MakeTable(dir, "contagem.dbf", kCountSpecs, {{"1", "A", "2"}});
  TTableDataSet ds;
  Point(ds, dir.path(), "CONTAGEM");
  ds.Open();
  EXPECT_EQ(ds.FieldByName("CODIGO").AsString(), "1");
}

TEST(TableDataSetOpen, FailuresLeaveTheDatasetClosedWithoutTableObject) {
  TempDir dir;
  MakeTable(dir, "CONTAGEM.DBF", kCountSpecs);
  TTableDataSet ds;
  ds.SetDatabaseName(dir.path());
  EXPECT_EQ(ErrorOf([&] { ds.Open(); }), "Table name missing");
  EXPECT_FALSE(ds.Active());

  ds.SetTableName("NADA");
  EXPECT_EQ(ErrorOf([&] { ds.Open(); }), "Cannot find file " + dir.File("NADA.DBF"));
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(ds.TableObject(), nullptr);

  ds.SetTableName("CONTAGEM.DBF");
  ds.SetFiltered(true);
  ds.SetFilter("ESTOQUE +");  // not an expression
  EXPECT_NE(ErrorOf([&] { ds.Open(); }), "(no error)");
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(ds.TableObject(), nullptr);
  EXPECT_EQ(ds.FieldCount(), 0);

  ds.SetFilter("ESTOQUE > 0");
  ds.Open();
  EXPECT_TRUE(ds.Active());
}

TEST(TableDataSetOpen, NamesAndKeyCanChangeOnlyWhileClosed) {
  TempDir dir;
  MakeTable(dir, "CONTAGEM.DBF", kCountSpecs);
  TTableDataSet ds;
  Point(ds, dir.path(), "CONTAGEM.DBF");
  ds.SetIndexFiles({"CODIGO"});
  ds.SetTableName("PRODUTOS.DBF");
  EXPECT_TRUE(ds.IndexFiles().empty());  // a new table forgets the old one's index files
  ds.SetTableName("CONTAGEM.DBF");
  ds.Open();
  const std::string open_error = "Cannot perform this operation on an open dataset";
  EXPECT_EQ(ErrorOf([&] { ds.SetTableName("PRODUTOS.DBF"); }), open_error);
  EXPECT_EQ(ErrorOf([&] { ds.SetDatabaseName("/tmp"); }), open_error);
  EXPECT_EQ(ErrorOf([&] { ds.SetEncryptionKey("x"); }), open_error);
  EXPECT_EQ(ErrorOf([&] { ds.SetDatabaseName(dir.path()); }), "(no error)");  // no change
  ds.SetExclusive(true);  // a plain flag for the next open
  EXPECT_TRUE(ds.TableObject()->shared());
  ds.Close();
  ds.Open();
  EXPECT_FALSE(ds.TableObject()->shared());
}

TEST(TableDataSetOpen, SettingsReachTheTableObjectAtOnceWhileOpen) {
  TempDir dir;
  MakeTable(dir, "CONTAGEM.DBF", kCountSpecs);
  TTableDataSet ds;
  Point(ds, dir.path(), "CONTAGEM.DBF");
  ds.SetUserID(7);
  ds.SetLockProtocol(dbase::FoxLock);
  ds.Open();
  EXPECT_EQ(ds.TableObject()->user_id(), 7);
  EXPECT_EQ(ds.TableObject()->lock_protocol(), dbase::FoxLock);
  EXPECT_FALSE(ds.TableObject()->use_deleted());
  EXPECT_FALSE(ds.TableObject()->auto_flush());
  ds.SetAutoFlush(true);
  ds.SetUseDeleted(true);
  ds.SetUserID(9);
  ds.SetLockProtocol(dbase::ClipLock);
  EXPECT_TRUE(ds.TableObject()->auto_flush());
  EXPECT_TRUE(ds.TableObject()->use_deleted());
  EXPECT_EQ(ds.TableObject()->user_id(), 9);
  EXPECT_EQ(ds.TableObject()->lock_protocol(), dbase::ClipLock);
}

class AliasTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv("QUARVEL_CONFIG_DIR");
    had_config_ = old != nullptr;
    if (old) old_config_ = old;
    old_default_ = AliasList::Instance().default_directory();
  }
  void TearDown() override {
    if (had_config_) {
      setenv("QUARVEL_CONFIG_DIR", old_config_.c_str(), 1);
    } else {
      unsetenv("QUARVEL_CONFIG_DIR");
    }
    AliasList::Instance().SetDefaultDirectory(old_default_);
    AliasList::Instance().Reload();
  }
  bool had_config_ = false;
  std::string old_config_;
  std::string old_default_;
};

TEST_F(AliasTest, DefaultDirectoryIsTheProgramFolder) {
  TempDir dir;
  MakeTable(dir, "CONTAGEM.DBF", kCountSpecs, {{"9", "L", "1"}});
  AliasList::Instance().SetDefaultDirectory(dir.path());
  TTableDataSet ds;
  Point(ds, "default directory", "CONTAGEM");
  EXPECT_EQ(ds.TableFolder(), dir.path() + "/");
  ds.Open();
  EXPECT_EQ(ds.FieldByName("CODIGO").AsString(), "9");
  EXPECT_NE(AliasList::ExecutableFolder(), "");
}

TEST_F(AliasTest, AliasesOfTablesCfgOpenInTheAliasedFolder) {
  TempDir config, data;
  MakeTable(data, "PRODUTOS.DBF", {"CODIGO;C;20;0", "DESCRICAO;C;40;0"}, {{"1", "Arroz"}});
  WriteFileBytes(config.File("tables.cfg"),
                 "; aliases of the engine\r\n[Other]\r\nDADOS=/nowhere\r\n[alias]\r\n DADOS = " + data.path() +
                     "\r\nREPO=/srv/repo\r\n");
  setenv("QUARVEL_CONFIG_DIR", config.path().c_str(), 1);
  AliasList::Instance().Reload();
  EXPECT_EQ(AliasList::ConfigFile(), config.File("tables.cfg"));
  EXPECT_EQ(AliasList::Instance().Find("REPO"), "/srv/repo");
  EXPECT_EQ(AliasList::Instance().Find("Default Directory"), AliasList::Instance().default_directory());

  TTableDataSet ds;
  Point(ds, "dados", "PRODUTOS");  // alias names are compared without regard to case
  EXPECT_EQ(ds.TableFolder(), data.path() + "/");
  ds.Open();
  EXPECT_EQ(ds.FieldByName("DESCRICAO").AsString(), "Arroz");
}

TEST_F(AliasTest, MissingConfigurationAddsNothingAndFoldersBecomeTheirOwnAliases) {
  TempDir empty, data;
  setenv("QUARVEL_CONFIG_DIR", empty.path().c_str(), 1);
  AliasList::Instance().Reload();
  ASSERT_EQ(AliasList::Instance().entries().size(), 1u);
  EXPECT_EQ(AliasList::Instance().entries()[0].name, "Default Directory");

  TTableDataSet ds;
  ds.SetDatabaseName(data.path() + "/");
  EXPECT_EQ(AliasList::Instance().Find(data.path()), data.path());
  // Folder names are case-sensitive here: another case is another folder, not this alias.
  std::string other_case = data.path();
  for (char& c : other_case) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_FALSE(AliasList::Instance().Find(other_case).has_value());
}

TEST(TableDataSetTypes, DbaseTypesMapToDatasetTypes) {
  TempDir dir;
  const std::vector<std::string> specs = {"NOME;C;300;0", "N4;N;4;0",   "N6;N;6;0",  "N9;N;9;0",
                                          "N12;N;12;0",   "N82;N;8;2",  "F52;F;5;2", "DATA;D;8;0",
                                          "ATIVO;L;1;0",  "OBS;M;10;0", "FOTO;B;10;0", "DOC;G;10;0"};
  MakeTable(dir, "TIPOS.DBF", specs, {}, 2);
  auto types_under = [&](IntFieldsKind kind) {
    TTableDataSet ds;
    Point(ds, dir.path(), "TIPOS");
    ds.SetLargeIntegerAs(kind);
    ds.Open();
    std::vector<FieldType> types;
    for (int i = 0; i < ds.FieldCount(); ++i) types.push_back(ds.Fields(i).DataType());
    EXPECT_EQ(ds.FieldByName("NOME").Size(), 300);
    return types;
  };
  using T = FieldType;
  EXPECT_EQ(types_under(IntFieldsKind::kAsInteger),
            (std::vector<T>{T::kString, T::kSmallInt, T::kInteger, T::kInteger, T::kInteger, T::kFloat, T::kFloat,
                            T::kDate, T::kBoolean, T::kMemo, T::kBlob, T::kBlob}));
  EXPECT_EQ(types_under(IntFieldsKind::kAsFloat)[4], T::kFloat);
  EXPECT_EQ(types_under(IntFieldsKind::kAsLargeInt)[4], T::kLargeInt);
}

TEST(TableDataSetTypes, BinaryFieldsOfVersion30TablesAndUnknownLetters) {
  TempDir dir;
  using testsupport::RawField;
  std::vector<RawField> fields = {{"QTD", 'I', 4}, {"QUANDO", 'T', 8}, {"PRECO", 'Y', 8}, {"ESTRANHO", 'X', 3}};
  auto le32 = [](uint32_t v) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i) out[static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
  };
  std::string record = " ";
  record += le32(42);
  record += le32(2460311) + le32(1800000);  // Julian day of 2024-01-01, then 00:30 in milliseconds
  record += le32(10000) + le32(0);          // 1.0000
  record += "abc";
  WriteFileBytes(dir.File("VFP.DBF"), testsupport::TableBytes(0x30, fields, {record}, 263));
  TTableDataSet ds;
  Point(ds, dir.path(), "VFP.DBF");
  ds.Open();
  ASSERT_EQ(ds.FieldCount(), 3);  // no field for the unknown letter
  EXPECT_EQ(ds.FieldByName("QTD").DataType(), FieldType::kInteger);
  EXPECT_EQ(ds.FieldByName("QTD").AsInteger(), 42);
  EXPECT_EQ(ds.FieldByName("QUANDO").DataType(), FieldType::kDateTime);
  EXPECT_EQ(ds.FieldByName("PRECO").DataType(), FieldType::kCurrency);
  EXPECT_DOUBLE_EQ(ds.FieldByName("PRECO").AsFloat(), 1.0);
  int y = 0, m = 0, d = 0;
  DateTime when = ds.FieldByName("QUANDO").AsDateTime();
  ASSERT_TRUE(DecodeDate(when, y, m, d));
  EXPECT_EQ(y * 10000 + m * 100 + d, 20240101);
  EXPECT_NEAR(when.days - std::trunc(when.days), 30.0 / (24 * 60), 1e-9);
  EXPECT_FALSE(ds.FindField("ESTRANHO"));
}

TEST(TableDataSetOpen, RecordTooLongForTheBufferLayoutIsARangeError) {
  TempDir dir;
  {
    dbase::DBFBuild b(dir.File("LONGO.DBF"));
    b.AddField("TEXTO", 'C', 65519, 0);
    b.Build();
  }
  TTableDataSet ds;
  Point(ds, dir.path(), "LONGO");
  EXPECT_THROW(ds.Open(), std::range_error);
  EXPECT_FALSE(ds.Active());
  EXPECT_EQ(ds.TableObject(), nullptr);
}

}  // namespace
}  // namespace quarvel
