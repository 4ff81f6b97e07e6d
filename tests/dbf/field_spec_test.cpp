// Field specifications in both forms, one table of texts: what each form reads, and what it
// refuses.
#include <gtest/gtest.h>

#include "dbf/field_spec.h"

namespace dbase {
namespace {

// "-" where the form refuses the text; otherwise the field as name/type/length/decimals.
struct Case {
  const char* text;
  const char* four_parts;
  const char* command_line;
};

const Case kCases[] = {
    {"CODIGO;C;20;0", "CODIGO/C/20/0", "CODIGO/C/20/0"},
    {"codigo;C;20;0", "CODIGO/C/20/0", "CODIGO/C/20/0"},
    {"PRECO;N;10;2", "PRECO/N/10/2", "PRECO/N/10/2"},
    {"CODIGO;C;20;0;", "CODIGO/C/20/0", "CODIGO/C/20/0"},  // trailing ";" and blanks go first
    {"CODIGO;C;20;0  ", "CODIGO/C/20/0", "CODIGO/C/20/0"},
    {"CODIGO;C;20", "-", "CODIGO/C/20/0"},  // decimals left out
    {"CODIGO;C;20;", "-", "CODIGO/C/20/0"},
    {"NASCIDO;D", "-", "NASCIDO/D/0/0"},  // fixed-length types may leave the length out
    {"ATIVO;l", "-", "ATIVO/L/0/0"},
    {"NOTAS;M;", "-", "NOTAS/M/0/0"},
    {"CODIGO;C", "-", "-"},  // a character field needs its length
    {"codigo;c;20;0", "CODIGO/c/20/0", "CODIGO/C/20/0"},  // the four-part form keeps the letter
    {"CODIGO;C; 20;+1", "CODIGO/C/20/1", "-"},  // the four-part form reads numbers leniently
    {"CODIGO;C;20;0;X", "-", "-"},  // something after the decimals
    {"CODIGO;C;20;1234", "CODIGO/C/20/123", "CODIGO/C/20/1234"},  // three characters of decimals
    {"CODIGO;C;-5;0", "CODIGO/C/-5/0", "-"},  // the builder refuses it later
    {"CODIGO;CC;20;0", "-", "-"},
    {"CODIGO;;20;0", "-", "-"},
    {";C;20;0", "-", "-"},
    {"CODIGO;C;vinte;0", "-", "-"},
    {"CODIGO;C;20;x", "-", "-"},
    {"CODIGO", "-", "-"},
    {"", "-", "-"},
    {";;;", "-", "-"},
};

std::string Parsed(const char* text, FieldSpecForm form) {
  FieldSpec f;
  if (!ParseFieldSpec(text, form, &f)) return "-";
  return f.name + "/" + f.type + "/" + std::to_string(f.length) + "/" + std::to_string(f.decimals);
}

TEST(FieldSpec, BothFormsReadTheTableOfTexts) {
  for (const Case& c : kCases) {
    EXPECT_EQ(Parsed(c.text, FieldSpecForm::kFourParts), c.four_parts) << "four parts: \"" << c.text << "\"";
    EXPECT_EQ(Parsed(c.text, FieldSpecForm::kCommandLine), c.command_line) << "command line: \"" << c.text << "\"";
  }
  EXPECT_EQ(StoredFieldName("descricao_longa"), "DESCRICAO_");
}

}  // namespace
}  // namespace dbase
