// Fuzz target for the expression compiler: any text is compiled on a link with fields of each
// type, and whatever compiles is evaluated and rebuilt. Only engine errors may come out.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "dbf/errors.h"
#include "dbf/value.h"
#include "expr/exp_handler.h"
#include "expr/user_link.h"

namespace {

class FixedVar : public dbase::UserDefFieldVar {
 public:
  FixedVar(std::string_view names, dbase::ExpType type, dbase::Variant value)
      : UserDefFieldVar(names), type_(type), value_(std::move(value)) {
    set_length(10);
  }
  int OwnerId() const override { return dbase::kOwnerTableField; }
  void Evaluate(dbase::Variant& out, dbase::ExpType& type) override {
    out = value_;
    type = type_;
  }

 private:
  dbase::ExpType type_;
  dbase::Variant value_;
};

dbase::ExpUserLink& Link() {
  static dbase::ExpUserLink* link = [] {
    auto* l = new dbase::ExpUserLink;
    using dbase::ExpType;
    using dbase::Variant;
    l->AddFieldVar(std::make_shared<FixedVar>("NAME;T.NAME", ExpType::Text, Variant::FromText("Abc   ")));
    l->AddFieldVar(std::make_shared<FixedVar>("QTY;T.QTY", ExpType::Number, Variant::FromNumber(12)));
    l->AddFieldVar(std::make_shared<FixedVar>("WHEN;T.WHEN", ExpType::Date, Variant::FromNumber(2451545)));
    l->AddFieldVar(std::make_shared<FixedVar>("EMPTYD", ExpType::Date, Variant::FromNumber(1e100)));
    l->AddFieldVar(std::make_shared<FixedVar>("FLAG", ExpType::Boolean, Variant::FromBoolean(true)));
    l->AddFieldVar(std::make_shared<FixedVar>("BLOB", ExpType::Memo, Variant::FromText("\x01\x02")));
    return l;
  }();
  return *link;
}

void Exercise(dbase::ExpHandler& handler, std::string_view text) {
  try {
    handler.SetExpression(text);
    handler.ExpressionText();
    handler.FieldNamesFor(dbase::kOwnerTableField);
    dbase::Variant v;
    handler.EvaluateVariant(v);
    dbase::Value value(256);
    handler.EvaluateValue(value);
  } catch (const dbase::EngineError&) {
    // Refusing bad input with an engine message is the expected outcome.
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  dbase::ExpHandler plain(&Link());
  Exercise(plain, text);
  dbase::ExpHandler sql(&Link(), true);
  sql.set_case_insensitive(true);
  Exercise(sql, text);
  dbase::ExpHandler unlinked;
  Exercise(unlinked, text);
  return 0;
}

extern "C" void FuzzSeeds(std::vector<std::string>* seeds) {
  *seeds = {
      "UPPER(NAME) + DTOS(WHEN)",
      "QTY > 10 .AND. .NOT. FLAG",
      "a .AND. .NOT. b .OR. c",
      "1 + 2 * 3 ^ 2 - -4 / (2)",
      "NAME = 'AB*' .OR. NAME $ [xAbc] .OR. NAME == \"A\"",
      "IIF(QTY # 0, STR(QTY, 8, 2), PADL(NAME, 12, '*'))",
      "SUBSTR(NAME, 2, 3) + STRTRAN(NAME, 'b', 'c', 1, 2) + SOUNDEX(NAME)",
      "MAX(QTY, 3, 9) + MIN(1, 2) + MOD(7, 3) + FV(100, 0.05, 10) + PV(1, 0.1, 3, 0, 1)",
      "INLIST(NAME, 'A', 'Abc') .AND. BETWEEN(QTY, 1, 20) .AND. EMPTY(EMPTYD)",
      "DESCEND(WHEN) + DOW(WHEN) + VAL('1.5') + ASC(CHR(65)) + AT('b', NAME, 2)",
      "{01/02/2000} + 1 = T->WHEN .OR. T.QTY >= PI",
      "CTOD('') = EMPTYD .AND. DTOC(WHEN, 1) = '20000101' .AND. TRUE # FALSE",
      "((((QTY))))",
      "BLOB = BLOB",
  };
}
