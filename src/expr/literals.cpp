// The literal nodes: text, number, date and boolean constants.
#include <charconv>
#include <string>

#include "dbf/dbf_date.h"
#include "expr/date_value.h"
#include "expr/nodes.h"

namespace dbase {

namespace {

// Sign, digits and at most one period, with at least one digit: "5", "-1.25", "5.", "+.5".
bool ReadNumberText(std::string_view text, double& value) {
  std::string_view body = text;
  bool negative = false;
  if (!body.empty() && (body.front() == '+' || body.front() == '-')) {
    negative = body.front() == '-';
    body.remove_prefix(1);
  }
  bool digit = false;
  int periods = 0;
  for (char c : body) {
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c == '.') {
      ++periods;
    } else {
      return false;
    }
  }
  if (!digit || periods > 1) return false;
  double parsed = 0;
  auto res = std::from_chars(body.data(), body.data() + body.size(), parsed, std::chars_format::fixed);
  if (res.ec != std::errc() || res.ptr != body.data() + body.size()) return false;
  value = negative ? -parsed : parsed;
  return true;
}

}  // namespace

ExpTextLit::ExpTextLit(std::string text) : ExpBaseObject(NodeKind::TextLit, ExpType::Text), text_(std::move(text)) {
  length_ = static_cast<int32_t>(text_.size());
}

std::string ExpTextLit::Name() const { return '"' + text_ + '"'; }

void ExpTextLit::Evaluate(Variant& out, ExpType& type) {
  out.SetText(text_);
  type = result_type_;
}

ExpNumLit::ExpNumLit(std::string_view text) : ExpBaseObject(NodeKind::NumLit, ExpType::Number) {
  if (!ReadNumberText(text, value_)) value_ = 0;
  length_ = static_cast<int32_t>(text.size());
  size_t period = text.find('.');
  decimals_ = period == std::string_view::npos ? 0 : static_cast<int32_t>(text.size() - period - 1);
}

std::string ExpNumLit::Name() const {
  // Fixed-point with the literal's own number of decimals; room for any double's integer part.
  std::string buf(static_cast<size_t>(decimals_) + 400, '\0');
  auto res = std::to_chars(buf.data(), buf.data() + buf.size(), value_ == 0 ? 0.0 : value_,
                           std::chars_format::fixed, decimals_);
  buf.resize(static_cast<size_t>(res.ptr - buf.data()));
  return buf;
}

void ExpNumLit::Evaluate(Variant& out, ExpType& type) {
  out.SetNumber(value_);
  type = result_type_;
}

ExpType ExpNumLit::EvaluateOperand(Variant& /*out*/, double& number, bool& /*flag*/) {
  number = value_;
  return result_type_;
}

ExpDateLit::ExpDateLit(std::string_view text)
    : ExpBaseObject(NodeKind::DateLit, ExpType::Date), value_(TextToExpDate(text)) {}

std::string ExpDateLit::Name() const {
  return '{' + DBFDate::Shared().JulToDTOC(ExpDateToJul(value_)) + '}';
}

void ExpDateLit::Evaluate(Variant& out, ExpType& type) {
  out.SetNumber(value_);
  type = result_type_;
}

ExpType ExpDateLit::EvaluateOperand(Variant& /*out*/, double& number, bool& /*flag*/) {
  number = value_;
  return result_type_;
}

ExpBlnLit::ExpBlnLit(bool value) : ExpBaseObject(NodeKind::BoolLit, ExpType::Boolean), value_(value) {}

std::string ExpBlnLit::Name() const { return value_ ? ".T." : ".F."; }

void ExpBlnLit::Evaluate(Variant& out, ExpType& type) {
  out.SetBoolean(value_);
  type = result_type_;
}

ExpType ExpBlnLit::EvaluateOperand(Variant& /*out*/, double& /*number*/, bool& flag) {
  flag = value_;
  return result_type_;
}

}  // namespace dbase
