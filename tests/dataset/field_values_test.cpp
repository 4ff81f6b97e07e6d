// Field values through the table dataset: what each field type reads from the record image and
// what each write stores, byte for byte, including dates, character translation and memos.
#include <gtest/gtest.h>

#include "dataset/blob_stream.h"
#include "dataset/database_error.h"
#include "dataset/date_time.h"
#include "dataset/table_dataset.h"
#include "dataset_test_support.h"
#include "dbf/errors.h"
#include "support/temp_dir.h"

namespace quarvel {
namespace {

using testing_support::ErrorOf;
using testing_support::MakeTable;
using testing_support::Point;
using testing_support::RawRows;
using testsupport::TempDir;

// A table of every text-stored type, with the rows given as raw field texts.
std::string MixedTable(const TempDir& dir, const std::vector<std::vector<std::string>>& rows) {
  std::string path = MakeTable(
      dir, "MIX.DBF", {"NOME;C;10;0", "QTD;N;6;0", "PRECO;N;8;2", "DATA;D;8;0", "ATIVO;L;1;0", "GRANDE;N;12;0"});
  dbase::dBHandler t(path, "", true, false);
  for (const auto& row : rows) {
    t.Blank();
    for (size_t i = 0; i < row.size(); ++i) t.FieldPut(static_cast<int>(i) + 1, row[i]);
    t.Append();
  }
  return path;
}

class FieldValuesTest : public ::testing::Test {
 protected:
  void OpenMixed(const std::vector<std::vector<std::string>>& rows) {
    path_ = MixedTable(dir_, rows);
    Point(ds_, dir_.path(), "MIX");
    ds_.SetTranslateASCII(false);
    ds_.Open();
  }
  TempDir dir_;
  std::string path_;
  TTableDataSet ds_;
};

TEST_F(FieldValuesTest, ReadsEachTypeFromTheRecordImage) {
  OpenMixed({{"Feijao", "    12", "   10.50", "20240229", "T", "123456789012"}});
  EXPECT_EQ(ds_.FieldByName("NOME").AsString(), "Feijao");
  EXPECT_EQ(ds_.FieldByName("QTD").AsInteger(), 12);
  EXPECT_EQ(ds_.FieldByName("QTD").AsString(), "12");
  EXPECT_DOUBLE_EQ(ds_.FieldByName("PRECO").AsFloat(), 10.5);
  EXPECT_EQ(ds_.FieldByName("PRECO").AsString(), "10.5");
  EXPECT_EQ(ds_.FieldByName("DATA").AsString(), "29/02/2024");
  EXPECT_EQ(ds_.FieldByName("DATA").AsDateTime(), *EncodeDate(2024, 2, 29));
  EXPECT_TRUE(ds_.FieldByName("ATIVO").AsBoolean());
  EXPECT_EQ(ds_.FieldByName("ATIVO").AsString(), "True");
  // N 12 is an integer field under asInteger, and keeps its value beyond 32 bits.
  EXPECT_EQ(ds_.FieldByName("GRANDE").AsInteger(), 123456789012);
  EXPECT_EQ(ds_.FieldByName("GRANDE").Value(), Variant(int64_t{123456789012}));
}

TEST_F(FieldValuesTest, BlankZeroAndImpossibleDatesReadAbsent) {
  OpenMixed({{"a", "", "", "        "}, {"b", "", "", "00000000"}, {"c", "", "", "20241301"}, {"d", "", "", "2024"},
             {"e", "", "", "2024ab01"}, {"f", "", "", "18991230"}});
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(ds_.FieldByName("NOME").AsString());
    EXPECT_TRUE(ds_.FieldByName("DATA").IsNull());
    EXPECT_EQ(ds_.FieldByName("DATA").AsDateTime(), DateTime{0});
    EXPECT_EQ(ds_.FieldByName("DATA").AsString(), "");
    EXPECT_TRUE(ds_.FieldByName("DATA").Value().IsNull());
    ds_.Next();
  }
  EXPECT_EQ(ds_.FieldByName("NOME").AsString(), "f");
  EXPECT_FALSE(ds_.FieldByName("DATA").IsNull());
  EXPECT_EQ(ds_.FieldByName("DATA").AsDateTime(), DateTime{0});
}

TEST_F(FieldValuesTest, EmptyTextIsAbsentAndNumbersAlwaysPresent) {
  OpenMixed({{"", "", "", "", ""}});
  EXPECT_TRUE(ds_.FieldByName("NOME").IsNull());
  EXPECT_FALSE(ds_.FieldByName("QTD").IsNull());
  EXPECT_EQ(ds_.FieldByName("QTD").AsInteger(), 0);
  EXPECT_FALSE(ds_.FieldByName("PRECO").IsNull());
  EXPECT_FALSE(ds_.FieldByName("ATIVO").AsBoolean());
}

TEST_F(FieldValuesTest, WritesStoreTheFieldBytes) {
  OpenMixed({});
  ds_.Insert();
  ds_.FieldByName("NOME").SetAsString("Arroz integral longo");  // cut to the field
  ds_.FieldByName("QTD").SetValue(Variant(42));
  ds_.FieldByName("PRECO").SetValue(Variant(3.456));
  ds_.FieldByName("DATA").SetValue(Variant(*EncodeDate(2023, 12, 7)));
  ds_.FieldByName("ATIVO").SetValue(Variant(true));
  ds_.Post();
  ds_.Append();
  ds_.FieldByName("NOME").SetAsString("zero");
  ds_.FieldByName("DATA").SetAsDateTime(DateTime{0});  // the scale's day 0
  ds_.Post();
  ds_.Append();
  ds_.FieldByName("NOME").SetAsString("sem data");
  ds_.FieldByName("DATA").SetAsDateTime(DateTime{5});
  ds_.FieldByName("DATA").Clear();  // absent again: eight blanks
  ds_.FieldByName("PRECO").SetAsString("");
  ds_.Post();
  ds_.Close();
  std::vector<std::string> rows = RawRows(path_);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], " Arroz inte|    42|    3.46|20231207|T|           0");
  EXPECT_EQ(rows[1], " zero      |     0|    0.00|18991230| |           0");
  EXPECT_EQ(rows[2], " sem data  |     0|    0.00|        | |           0");
}

TEST_F(FieldValuesTest, ConversionsOfTheAccessors) {
  OpenMixed({{"15", "     7", "    2.50", "20240105", "F"}});
  ds_.Edit();
  EXPECT_EQ(ds_.FieldByName("NOME").AsInteger(), 15);
  ds_.FieldByName("QTD").SetAsString(" 31 ");
  EXPECT_EQ(ds_.FieldByName("QTD").AsInteger(), 31);
  ds_.FieldByName("QTD").SetAsFloat(2.5);  // to the nearest, ties to even
  EXPECT_EQ(ds_.FieldByName("QTD").AsInteger(), 2);
  ds_.FieldByName("PRECO").SetAsInteger(3);
  EXPECT_DOUBLE_EQ(ds_.FieldByName("PRECO").AsFloat(), 3.0);
  ds_.FieldByName("DATA").SetAsString("07/12/2023");
  EXPECT_EQ(ds_.FieldByName("DATA").AsDateTime(), *EncodeDate(2023, 12, 7));
  ds_.FieldByName("ATIVO").SetAsString("tr");
  EXPECT_TRUE(ds_.FieldByName("ATIVO").AsBoolean());
  ds_.FieldByName("NOME").SetValue(Variant(*EncodeDate(2024, 1, 2)));
  EXPECT_EQ(ds_.FieldByName("NOME").AsString(), "02/01/2024");
  EXPECT_EQ(ErrorOf([&] { ds_.FieldByName("QTD").SetAsString("12a"); }), "'12a' is not a valid integer value");
  EXPECT_EQ(ErrorOf([&] { ds_.FieldByName("PRECO").SetAsString("1,5"); }), "'1,5' is not a valid floating point value");
  EXPECT_EQ(ErrorOf([&] { ds_.FieldByName("DATA").SetAsString("31/02/2024"); }), "'31/02/2024' is not a valid date");
  EXPECT_EQ(ErrorOf([&] { ds_.FieldByName("ATIVO").SetAsString("sim"); }),
            "'sim' is not a valid boolean value for field 'ATIVO'");
  EXPECT_EQ(ErrorOf([&] { ds_.FieldByName("QTD").SetAsDateTime(DateTime{1}); }),
            "Cannot access field 'QTD' as type DateTime");
  EXPECT_EQ(ErrorOf([&] { ds_.FieldByName("PRECO").SetAsFloat(1.0 / 0.0); }),
            "'INF' is not a valid floating point value");
  ds_.Cancel();
}

TEST_F(FieldValuesTest, EngineRefusalsOfValuesPassThrough) {
  OpenMixed({});
  ds_.Insert();
  EXPECT_EQ(ErrorOf([&] { ds_.FieldByName("QTD").SetAsInteger(1234567); }),
            "numeric value too big in field QTD - 1234567");
  EXPECT_FALSE(ds_.Modified());  // the refused value set nothing
}

TEST_F(FieldValuesTest, SmallIntegerRangeIsChecked) {
  TempDir dir;
  MakeTable(dir, "S.DBF", {"N;N;4;0"}, {{"1"}});
  TTableDataSet ds;
  Point(ds, dir.path(), "S");
  ds.Open();
  ASSERT_EQ(ds.FieldByName("N").DataType(), FieldType::kSmallInt);
  ds.Edit();
  EXPECT_EQ(ErrorOf([&] { ds.FieldByName("N").SetAsInteger(40000); }),
            "40000 is not a valid value for field 'N'. The allowed range is -32768 to 32767");
}

TEST(FieldTranslation, TextIsTranslatedToOemOnWriteAndBackOnRead) {
  TempDir dir;
  MakeTable(dir, "T.DBF", {"NOME;C;10;0"});
  {
    TTableDataSet ds;
    Point(ds, dir.path(), "T");
    ds.Open();  // TranslateASCII defaults to true
    ds.Append();
    ds.FieldByName("NOME").SetAsString("A\xE7\xE3o");  // "Ação" in Windows-1252
    ds.Post();
    EXPECT_EQ(ds.FieldByName("NOME").AsString(), "A\xE7\xE3o");
  }
  EXPECT_EQ(RawRows(dir.File("T.DBF"))[0], " A\x87\xC6o      ");  // code page 850 bytes
  TTableDataSet raw;
  Point(raw, dir.path(), "T");
  raw.SetTranslateASCII(false);
  raw.Open();
  EXPECT_EQ(raw.FieldByName("NOME").AsString(), "A\x87\xC6o");
}

TEST(FieldMemos, BlobStreamsReadAndWriteMemosThroughTheActiveRecord) {
  TempDir dir;
  MakeTable(dir, "M.DBF", {"CODIGO;C;5;0", "OBS;M;10;0"});
  TTableDataSet ds;
  Point(ds, dir.path(), "M");
  ds.SetTranslateASCII(false);
  ds.Open();
  Field& obs = ds.FieldByName("OBS");
  EXPECT_EQ(ErrorOf([&] { ds.CreateBlobStream(obs, BlobMode::kWrite); }), "Dataset not in edit or insert mode");
  ds.Append();
  ds.FieldByName("CODIGO").SetAsString("A");
  EXPECT_TRUE(obs.IsNull());
  {
    std::unique_ptr<BlobStream> s = ds.CreateBlobStream(obs, BlobMode::kWrite);
    s->WriteAll("first memo, ");
    s->WriteAll("two writes");
  }  // stored when the stream goes
  EXPECT_TRUE(ds.Modified());
  ds.Post();
  ds.Append();
  ds.FieldByName("CODIGO").SetAsString("B");
  obs.SetAsString(std::string(3000, 'x'));
  ds.Post();
  ds.First();
  EXPECT_FALSE(obs.IsNull());
  EXPECT_EQ(obs.AsString(), "first memo, two writes");
  {
    std::unique_ptr<BlobStream> s = ds.CreateBlobStream(obs, BlobMode::kRead);
    char buf[5] = {};
    EXPECT_EQ(s->Read(buf, 5), 5u);
    EXPECT_EQ(std::string(buf, 5), "first");
    EXPECT_EQ(s->Size(), 22);
  }
  ds.Next();
  EXPECT_EQ(obs.AsString().size(), 3000u);
  ds.Edit();
  obs.SetReadOnly(true);
  EXPECT_EQ(ErrorOf([&] { ds.CreateBlobStream(obs, BlobMode::kWrite); }), "Field 'OBS' cannot be modified");
  obs.SetReadOnly(false);
  obs.Clear();
  ds.Post();
  EXPECT_TRUE(obs.IsNull());
  EXPECT_EQ(obs.AsString(), "");
  EXPECT_EQ(ErrorOf([&] { ds.CreateBlobStream(ds.FieldByName("CODIGO"), BlobMode::kRead); }),
            "Field 'CODIGO' is not a memo or blob field");
}

}  // namespace
}  // namespace quarvel
