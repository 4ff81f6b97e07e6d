// Test helpers for the expression engine: a link with settable in-memory variables, and
// one-call compile-and-evaluate with exact error text checks.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "dbf/errors.h"
#include "expr/exp_handler.h"
#include "expr/user_link.h"

namespace dbase::testing {

// A variable whose value and type the test sets.
class TestVar : public UserDefFieldVar {
 public:
  TestVar(std::string_view names, int length = 0, int owner = kOwnerTableField)
      : UserDefFieldVar(names), owner_(owner) {
    set_length(length);
  }
  int OwnerId() const override { return owner_; }
  void Evaluate(Variant& out, ExpType& out_type) override {
    out = value;
    out_type = type;
    ++reads;
  }

  Variant value;
  ExpType type = ExpType::Empty;
  int reads = 0;

 private:
  int owner_;
};

// A link with text, number, date and logical variables named as table fields would be.
class TestLink : public ExpUserLink {
 public:
  TestLink() {
    name = Add("NAME;T.NAME", 10, ExpType::Text, Variant::FromText("ABC       "));
    code = Add("CODE;T.CODE", 4, ExpType::Text, Variant::FromText("AB  "));
    qty = Add("QTY;T.QTY", 6, ExpType::Number, Variant::FromNumber(12));
    price = Add("PRICE;T.PRICE", 8, ExpType::Number, Variant::FromNumber(2.5));
    when = Add("WHEN;T.WHEN", 8, ExpType::Date, Variant::FromNumber(2451545));  // 2000-01-01
    flag = Add("FLAG;T.FLAG", 1, ExpType::Boolean, Variant::FromBoolean(true));
  }

  TestVar* Add(std::string_view names, int length, ExpType type, Variant value) {
    auto v = std::make_shared<TestVar>(names, length);
    v->type = type;
    v->value = std::move(value);
    AddFieldVar(v);
    return v.get();
  }

  TestVar* name;
  TestVar* code;
  TestVar* qty;
  TestVar* price;
  TestVar* when;
  TestVar* flag;
};

struct Result {
  Variant value;
  ExpType type = ExpType::Unknown;
};

inline Result Eval(std::string_view text, ExpUserLink* link) {
  ExpHandler handler(link, false, text);
  Result r;
  handler.EvaluateVariant(r.value);
  r.type = handler.ResultType();
  return r;
}

// The ExpressionError text of compiling and evaluating `text`; "" when none is raised.
inline std::string ErrorOf(std::string_view text, ExpUserLink* link) {
  try {
    Eval(text, link);
  } catch (const ExpressionError& e) {
    return e.what();
  }
  return "";
}

// Expressions evaluated over a TestLink, with the result checked for the type the helper names.
class ExpressionTest : public ::testing::Test {
 protected:
  Result E(std::string_view text) { return Eval(text, &link_); }
  double N(std::string_view text) {
    Result r = E(text);
    EXPECT_EQ(r.type, ExpType::Number) << text;
    return r.value.number();
  }
  bool B(std::string_view text) {
    Result r = E(text);
    EXPECT_EQ(r.type, ExpType::Boolean) << text;
    return r.value.boolean();
  }
  std::string T(std::string_view text) {
    Result r = E(text);
    EXPECT_EQ(r.type, ExpType::Text) << text;
    return std::string(r.value.text());
  }
  std::string Error(std::string_view text) { return ErrorOf(text, &link_); }

  TestLink link_;
};

}  // namespace dbase::testing
