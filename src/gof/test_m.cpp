#include "gof/test_m.h"

#include <optional>
#include <string>
#include <utility>

#include "gof/contingency.h"
#include "tabulate/tidy_tables.h"

namespace haplovex::gof {
namespace {

// What sets the two variants apart, by TestMKind.
struct Variant {
  const char* name;
  int last_from_end;         // the last period tested is periods - last_from_end
  const char* caught_after;  // when the animals of its tables were next caught
};
constexpr Variant kVariants[] = {
    {"M.ITEC", 2, "after it"},
    {"M.LTEC", 3, "two periods or more after it"},
};

const Variant& VariantOf(TestMKind kind) { return kVariants[static_cast<int>(kind)]; }

int64_t Total(const std::vector<int64_t>& row) {
  int64_t total = 0;
  for (int64_t v : row) total += v;
  return total;
}

// The strata listed by their codes (by number where none is given).
std::string Strata(const std::vector<int>& strata, const std::string& codes) {
  std::string text;
  for (size_t i = 0; i < strata.size(); ++i) {
    if (i > 0) text += i + 1 == strata.size() ? " and " : ", ";
    text += CodeLabel(codes, strata[i]);
  }
  return text;
}

// The pooled table of period i, or none where the period cannot be tested (said in `notes`):
// a stratum in which no animal caught at i was caught again leaves nothing to compare the
// animals missed at i with, and neither does a period after which none of them was caught.
std::optional<MixtureTable> TableToFit(const MultiStateMArray& m, int i, TestMKind kind,
                                       const std::string& strata_codes, std::vector<std::string>& notes) {
  const Variant& variant = VariantOf(kind);
  const std::string where = "period " + std::to_string(i) + ": ";
  MixtureTable table = MixtureTableAt(m, i, kind);
  std::vector<int> empty_bases;
  for (size_t s = 0; s < table.bases.size(); ++s) {
    if (Total(table.bases[s]) == 0) empty_bases.push_back(static_cast<int>(s) + 1);
  }
  if (!empty_bases.empty()) {
    notes.push_back(where + "no animal caught in " + (empty_bases.size() > 1 ? "strata " : "stratum ") +
                    Strata(empty_bases, strata_codes) +
                    " at this period was caught again " + variant.caught_after +
                    ", so the animals missed at it cannot be compared with " +
                    (empty_bases.size() > 1 ? "those strata" : "that stratum") +
                    "; this period is not tested, the others are.");
    return std::nullopt;
  }
  table = PoolMixtures(std::move(table));
  // Pooling merges a mixture row of no animals into another while there are two or more, so
  // what can be left empty is a single row: then there is nothing to compare.
  std::erase_if(table.mixtures, [](const std::vector<int64_t>& r) { return Total(r) == 0; });
  if (table.mixtures.empty()) {
    notes.push_back(where + "no animal missed at this period was caught again " +
                    variant.caught_after + "; this period is not tested.");
    return std::nullopt;
  }
  return table;
}

// The table as one table of counts: the mixture rows, then the bases.
CountTable AsCountTable(const MixtureTable& table) {
  const size_t mixtures = table.mixtures.size();
  const int rows = static_cast<int>(mixtures + table.bases.size());
  const int columns = static_cast<int>(table.bases[0].size());
  CountTable t(rows, columns);
  for (int r = 0; r < rows; ++r) {
    const size_t line = static_cast<size_t>(r);
    const std::vector<int64_t>& row = line < mixtures ? table.mixtures[line] : table.bases[line - mixtures];
    for (int c = 0; c < columns; ++c) t.at(r, c) = row[static_cast<size_t>(c)];
  }
  return t;
}

}  // namespace

const char* NameOf(TestMKind kind) { return VariantOf(kind).name; }

MixtureTable MixtureTableAt(const MultiStateMArray& m, int occasion, TestMKind kind) {
  const int k = m.periods();
  const int a = m.strata();
  const int i = occasion;
  const bool itec = kind == TestMKind::kItec;
  // Column of a next capture at (t2, s2), -1 where the test leaves it out.
  auto column = [&](int t2, int s2) {
    if (itec) return (t2 == i + 1 ? 0 : a) + s2 - 1;
    if (t2 == i + 1) return -1;
    return (t2 - i - 2) * a + s2 - 1;
  };
  const size_t columns = static_cast<size_t>(itec ? 2 * a : a * (k - i - 1));
  MixtureTable table;
  table.mixtures.assign(static_cast<size_t>(a), std::vector<int64_t>(columns, 0));
  table.bases.assign(static_cast<size_t>(a), std::vector<int64_t>(columns, 0));
  for (int t = 1; t <= i; ++t) {
    auto& rows = t < i ? table.mixtures : table.bases;
    for (int s = 1; s <= a; ++s) {
      for (int t2 = i + 1; t2 <= k; ++t2) {
        for (int s2 = 1; s2 <= a; ++s2) {
          const int c = column(t2, s2);
          if (c >= 0) {
            rows[static_cast<size_t>(s - 1)][static_cast<size_t>(c)] += m.next(t, s, t2, s2);
          }
        }
      }
    }
  }
  return table;
}

MixtureTable PoolMixtures(MixtureTable table) {
  if (table.mixtures.empty() || table.bases.empty()) return table;
  const int bases = static_cast<int>(table.bases.size());
  CountTable t = AsCountTable(table);
  if (t.Total() == 0) return table;
  t = PoolByExpected(
      std::move(t),
      PoolingRules{.fixed_rows = bases, .least_free_rows = 1, .least_columns = bases + 1});
  table.mixtures.assign(static_cast<size_t>(t.rows() - bases), {});
  for (int r = 0; r < t.rows(); ++r) {
    std::vector<int64_t>& row =
        r < t.rows() - bases ? table.mixtures[r] : table.bases[r - (t.rows() - bases)];
    row.resize(static_cast<size_t>(t.columns()));
    for (int c = 0; c < t.columns(); ++c) row[c] = t.at(r, c);
  }
  return table;
}

TestMTables PrepareTestM(const MultiStateMArray& m, TestMKind kind, const std::string& strata_codes) {
  const Variant& variant = VariantOf(kind);
  TestMTables prepared;
  TestResult& result = prepared.result;
  result.name = variant.name;
  const int k = m.periods();
  const int last = k - variant.last_from_end;
  if (last < 2) {
    result.notes.push_back(result.name + " needs at least " +
                           std::to_string(2 + variant.last_from_end) + " periods; with " +
                           std::to_string(k) + " it has no period to test.");
  }
  for (int i = 2; i <= last; ++i) {
    std::optional<MixtureTable> table = TableToFit(m, i, kind, strata_codes, result.notes);
    if (table) {
      prepared.tested.push_back(result.components.size());
      prepared.tables.push_back(std::move(*table));
    }
    Component component;
    component.occasion = i;
    result.components.push_back(component);
  }
  return prepared;
}

TestResult FinishTestM(TestMTables prepared, const std::vector<double>& statistics) {
  TestResult& result = prepared.result;
  for (size_t j = 0; j < prepared.tables.size(); ++j) {
    const MixtureTable& table = prepared.tables[j];
    const int columns = static_cast<int>(table.bases[0].size());
    const int bases = static_cast<int>(table.bases.size());
    Component& component = result.components[prepared.tested[j]];
    const int df = static_cast<int>(table.mixtures.size()) * (columns - bases);
    static_cast<Figures&>(component) = ChiSquareJudged(Method::kChiSquare, statistics[j], df);
    const double least = AsCountTable(table).LeastExpected();
    if (component.tested() && least < kSmallExpected) component.least_expected = least;
  }
  SumComponents(&result);
  return std::move(result);
}

TestResult TestM(const MultiStateMArray& m, TestMKind kind) {
  TestMTables prepared = PrepareTestM(m, kind);
  std::vector<double> statistics;
  for (const MixtureTable& table : prepared.tables) {
    statistics.push_back(FitMixture(table).statistic);
  }
  return FinishTestM(std::move(prepared), statistics);
}

}  // namespace haplovex::gof
