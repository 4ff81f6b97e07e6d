// The expression interpreter beside hand-written C++ doing the same work, over 1,000,000
// in-memory records: an index key UPPER(CODIGO) + DTOS(DATA) and a filter
// QTD > 10 .AND. .NOT. DELETED(). Each expression is compiled once.
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "dbf/dbf_date.h"
#include "expr/date_value.h"
#include "expr/exp_handler.h"
#include "expr/fn_support.h"
#include "expr/user_link.h"
#include "platform/locale.h"

namespace {

constexpr int kRecords = 1000000;

struct Record {
  std::string codigo;  // 20 characters, as stored
  int32_t data = 0;    // Julian day
  double qtd = 0;
  bool deleted = false;
};

const std::vector<Record>& Records() {
  static const std::vector<Record> records = [] {
    std::vector<Record> out(kRecords);
    std::mt19937 rng(42);
    for (Record& r : out) {
      std::string code = "prod-" + std::to_string(rng() % 1000000);
      code.resize(20, ' ');
      r.codigo = code;
      r.data = 2451545 + static_cast<int32_t>(rng() % 9000);
      r.qtd = static_cast<double>(rng() % 30);
      r.deleted = rng() % 10 == 0;
    }
    return out;
  }();
  return records;
}

// A link whose variables read the record the benchmark loop points at, as a table's do.
class MemoryLink : public dbase::ExpUserLink {
 public:
  MemoryLink() {
    AddFieldVar(std::make_shared<Field>(this, "CODIGO", Field::Kind::Codigo));
    AddFieldVar(std::make_shared<Field>(this, "DATA", Field::Kind::Data));
    AddFieldVar(std::make_shared<Field>(this, "QTD", Field::Kind::Qtd));
    AddFunction(std::make_unique<Deleted>(this));
  }
  const Record* current = nullptr;

 private:
  class Field : public dbase::UserDefFieldVar {
   public:
    enum class Kind { Codigo, Data, Qtd };
    Field(MemoryLink* link, std::string_view name, Kind kind) : UserDefFieldVar(name), link_(link), kind_(kind) {}
    void Evaluate(dbase::Variant& out, dbase::ExpType& type) override {
      const Record& r = *link_->current;
      switch (kind_) {
        case Kind::Codigo:
          out.SetText(r.codigo);
          type = dbase::ExpType::Text;
          return;
        case Kind::Data:
          out.SetNumber(dbase::JulToExpDate(r.data));
          type = dbase::ExpType::Date;
          return;
        case Kind::Qtd:
          out.SetNumber(r.qtd);
          type = dbase::ExpType::Number;
          return;
      }
    }

    // Numbers straight to the operator, as a table's field variables give them.
    dbase::ExpType EvaluateOperand(dbase::Variant& out, double& number, bool& flag) override {
      const Record& r = *link_->current;
      switch (kind_) {
        case Kind::Data:
          number = dbase::JulToExpDate(r.data);
          return dbase::ExpType::Date;
        case Kind::Qtd:
          number = r.qtd;
          return dbase::ExpType::Number;
        default:
          return UserDefFieldVar::EvaluateOperand(out, number, flag);
      }
    }

   private:
    MemoryLink* link_;
    Kind kind_;
  };

  class Deleted : public dbase::BuiltinFunction {
   public:
    explicit Deleted(MemoryLink* link) : BuiltinFunction("DELETED"), link_(link) {}
    void Evaluate(dbase::ExpFunction&, dbase::Variant& out, dbase::ExpType& type) override {
      dbase::ReturnBoolean(out, type, link_->current->deleted);
    }

   private:
    MemoryLink* link_;
  };
};

std::string HandKey(const Record& r) {
  std::string key = dbase::platform::UpperText(r.codigo);
  key += dbase::DBFDate::Shared().JulToDTOS(r.data);
  return key;
}

bool HandFilter(const Record& r) { return r.qtd > 10 && !r.deleted; }

void BM_KeyInterpreted(benchmark::State& state) {
  const auto& records = Records();
  MemoryLink link;
  dbase::ExpHandler handler(&link, false, "UPPER(CODIGO) + DTOS(DATA)");
  dbase::Variant value;
  for (auto _ : state) {
    size_t total = 0;
    for (const Record& r : records) {
      link.current = &r;
      handler.EvaluateVariant(value);
      total += value.text().size();
    }
    benchmark::DoNotOptimize(total);
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_KeyHandWritten(benchmark::State& state) {
  const auto& records = Records();
  for (auto _ : state) {
    size_t total = 0;
    for (const Record& r : records) total += HandKey(r).size();
    benchmark::DoNotOptimize(total);
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_FilterInterpreted(benchmark::State& state) {
  const auto& records = Records();
  MemoryLink link;
  dbase::ExpHandler handler(&link, false, "QTD > 10 .AND. .NOT. DELETED()");
  dbase::Variant value;
  for (auto _ : state) {
    size_t passed = 0;
    for (const Record& r : records) {
      link.current = &r;
      handler.EvaluateVariant(value);
      passed += value.boolean();
    }
    benchmark::DoNotOptimize(passed);
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_FilterHandWritten(benchmark::State& state) {
  const auto& records = Records();
  for (auto _ : state) {
    size_t passed = 0;
    for (const Record& r : records) {
      benchmark::DoNotOptimize(&r);
      passed += HandFilter(r);
    }
    benchmark::DoNotOptimize(passed);
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}

}  // namespace

BENCHMARK(BM_KeyInterpreted)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeyHandWritten)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterInterpreted)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterHandWritten)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
