#include "fuzz/writer/program.h"

#include <algorithm>
#include <climits>
#include <iterator>
#include <optional>

namespace fuzz::writer {
namespace {

constexpr size_t kMaxRows = 300;
const char* const kTableNames[] = {"t0", "t1", "t2", "base", "keyed"};
const char* const kColumnNames[] = {"a", "b", "c", "id", "n", "名称"};
// Characters for text values: ASCII, a quote, Latin-1, Chinese, and one outside the BMP
// (two UTF-16 units).
const char* const kCharacters[] = {"a", "Z", "0", " ", "'", "é", "中", "文", "\xF0\x9F\x98\x80"};

std::string PickTable(FuzzedDataProvider& in, const Model& model) {
  // Mostly an existing table; sometimes any name of the pool.
  if (!model.tables.empty() && in.ConsumeIntegralInRange(0, 3) != 0) {
    size_t i = in.ConsumeIntegralInRange<size_t>(0, model.tables.size() - 1);
    return model.tables[i].name;
  }
  return in.PickValueInArray(kTableNames);
}

std::string Text(FuzzedDataProvider& in, size_t max_chars) {
  size_t n = in.ConsumeIntegralInRange<size_t>(0, max_chars);
  std::string out;
  for (size_t i = 0; i < n; ++i) out += in.PickValueInArray(kCharacters);
  return out;
}

int64_t Number(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 7)) {
    case 0:
      return INT32_MIN;
    case 1:
      return INT32_MAX;
    default:
      return in.ConsumeIntegralInRange<int64_t>(-5, 20);
  }
}

Cell Value(FuzzedDataProvider& in, const Column& c) {
  Cell cell;
  if (in.ConsumeIntegralInRange(0, 5) == 0) return cell;  // NULL
  cell.null = false;
  switch (c.kind) {
    case Kind::kLong:
      cell.number = Number(in);
      break;
    case Kind::kCurrency:
      cell.number = in.ConsumeIntegralInRange<int64_t>(-1000000000, 1000000000);
      break;
    case Kind::kText:
      cell.text = Text(in, static_cast<size_t>(c.length) + 2);
      break;
    case Kind::kMemo:
      if (in.ConsumeBool()) {
        // Long enough for a long value of its own, perhaps over several pages.
        cell.text = std::string(in.ConsumeIntegralInRange<size_t>(100, 6000),
                                in.PickValueInArray({'m', 'x', 'Q'}));
      } else {
        cell.text = Text(in, 40);
      }
      break;
  }
  return cell;
}

// `slot` spreads the names of one CREATE TABLE over the pool; a few still repeat one.
Column NewColumn(FuzzedDataProvider& in, bool allow_key, size_t slot) {
  Column c;
  c.name = in.ConsumeIntegralInRange(0, 7) == 0 ? in.PickValueInArray(kColumnNames)
                                                : kColumnNames[slot % std::size(kColumnNames)];
  switch (in.ConsumeIntegralInRange(0, 5)) {
    case 0:
    case 1:
      c.kind = Kind::kLong;
      c.key = allow_key && in.ConsumeIntegralInRange(0, 3) == 0;
      break;
    case 2:
      c.kind = Kind::kCurrency;
      break;
    case 3:
    case 4:
      c.kind = Kind::kText;
      c.length = in.ConsumeBool() ? in.ConsumeIntegralInRange(1, 12) : 255;
      break;
    default:
      c.kind = Kind::kMemo;
      break;
  }
  return c;
}

// Indexes of `table`'s columns that pass `keep`, as the fuzzer picks them (at least one when
// any passes).
template <typename Keep>
std::vector<int> PickColumns(FuzzedDataProvider& in, const Table& table, Keep keep) {
  std::vector<int> candidates;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (keep(table.columns[i])) candidates.push_back(static_cast<int>(i));
  }
  std::vector<int> picked;
  for (int c : candidates) {
    if (in.ConsumeBool()) picked.push_back(c);
  }
  if (picked.empty() && !candidates.empty()) picked.push_back(candidates.front());
  // A different order than the table's, sometimes.
  if (picked.size() > 1 && in.ConsumeBool())
    std::rotate(picked.begin(), picked.begin() + 1, picked.end());
  return picked;
}

std::optional<Condition> PickCondition(FuzzedDataProvider& in, const Table& table, int depth = 0) {
  std::vector<int> longs;
  for (size_t i = 0; i < table.columns.size(); ++i) {
    if (table.columns[i].kind == Kind::kLong) longs.push_back(static_cast<int>(i));
  }
  if (longs.empty()) return std::nullopt;
  Condition c;
  int choice = in.ConsumeIntegralInRange(0, depth < 2 ? 9 : 6);
  if (choice <= 4) {
    c.op = Condition::Op::kCompare;
    c.compare = in.PickValueInArray({"=", "<>", "<", "<=", ">", ">="});
    c.literal = Number(in);
  } else if (choice == 5) {
    c.op = Condition::Op::kIsNull;
  } else if (choice == 6) {
    c.op = Condition::Op::kIsNotNull;
  } else {
    c.op = choice == 7   ? Condition::Op::kAnd
           : choice == 8 ? Condition::Op::kOr
                         : Condition::Op::kNot;
    c.operands.push_back(*PickCondition(in, table, depth + 1));
    if (c.op != Condition::Op::kNot) c.operands.push_back(*PickCondition(in, table, depth + 1));
    return c;
  }
  c.column = longs[in.ConsumeIntegralInRange<size_t>(0, longs.size() - 1)];
  return c;
}

std::optional<Condition> MaybeCondition(FuzzedDataProvider& in, const Table& table) {
  if (in.ConsumeIntegralInRange(0, 3) == 0) return std::nullopt;
  return PickCondition(in, table);
}

// Whether a column of kind `from` may be copied into `to` (the conversions the model knows).
bool Copyable(Kind from, const Column& to) {
  if (to.counter) return false;
  switch (to.kind) {
    case Kind::kLong:
      return from == Kind::kLong;
    case Kind::kCurrency:
      return from == Kind::kLong || from == Kind::kCurrency;
    case Kind::kText:
    case Kind::kMemo:
      return from != Kind::kCurrency;
  }
  return false;
}

void Step(FuzzedDataProvider& in, Runner& runner) {
  const Model& model = runner.model();
  switch (in.ConsumeIntegralInRange(0, 12)) {
    case 0: {
      std::vector<Column> columns;
      size_t count = in.ConsumeIntegralInRange<size_t>(1, 5);
      bool key = false;
      if (in.ConsumeBool()) {
        columns.push_back(Column{"id", Kind::kLong, 0, true, in.ConsumeBool()});
        key = columns.back().key;
      }
      const size_t first = in.ConsumeIntegral<uint8_t>();
      while (columns.size() < count) {
        columns.push_back(NewColumn(in, !key, first + columns.size()));
        key |= columns.back().key;
      }
      runner.Create(in.PickValueInArray(kTableNames), columns);
      return;
    }
    case 1: {
      std::string table = PickTable(in, model);
      const Table* t = model.Find(table);
      if (t && t->columns.size() >= 12) return;
      runner.AddColumn(table, NewColumn(in, false, in.ConsumeIntegral<uint8_t>()));
      return;
    }
    case 2:
    case 3:
    case 4: {
      std::string table = PickTable(in, model);
      const Table* t = model.Find(table);
      if (!t) {
        runner.InsertValues(table, {}, {});
        return;
      }
      std::vector<int> columns = PickColumns(in, *t, [](const Column& c) { return !c.counter; });
      if (columns.empty()) return;
      std::vector<Cell> values;
      for (int c : columns) values.push_back(Value(in, t->columns[static_cast<size_t>(c)]));
      runner.InsertValues(t->name, columns, values);
      return;
    }
    case 5:
    case 6: {
      std::string table = PickTable(in, model);
      const Table* t = model.Find(table);
      std::optional<Condition> where = t ? MaybeCondition(in, *t) : std::nullopt;
      runner.Delete(table, where ? &*where : nullptr);
      return;
    }
    case 7:
    case 8: {
      std::string target = PickTable(in, model), source = PickTable(in, model);
      const Table* to = model.Find(target);
      const Table* from = model.Find(source);
      if (!to || !from) {
        runner.InsertSelect(target, {}, source, {}, nullptr);
        return;
      }
      std::vector<int> targets = PickColumns(in, *to, [](const Column& c) { return !c.counter; });
      std::vector<int> sources, kept;
      for (int t : targets) {
        std::vector<int> fits;
        for (size_t s = 0; s < from->columns.size(); ++s) {
          if (Copyable(from->columns[s].kind, to->columns[static_cast<size_t>(t)]))
            fits.push_back(static_cast<int>(s));
        }
        if (fits.empty()) continue;
        kept.push_back(t);
        sources.push_back(fits[in.ConsumeIntegralInRange<size_t>(0, fits.size() - 1)]);
      }
      // Copying a table into itself doubles it; past a few hundred rows an input only grows
      // slower, not more telling.
      if (kept.empty() || from->rows.size() + to->rows.size() > kMaxRows) return;
      std::optional<Condition> where = MaybeCondition(in, *from);
      runner.InsertSelect(to->name, kept, from->name, sources, where ? &*where : nullptr);
      return;
    }
    case 9: {
      std::string source = PickTable(in, model);
      const Table* from = model.Find(source);
      std::vector<int> columns;
      std::optional<Condition> where;
      if (from) {
        if (in.ConsumeBool()) columns = PickColumns(in, *from, [](const Column&) { return true; });
        where = MaybeCondition(in, *from);
      }
      runner.SelectInto(in.PickValueInArray(kTableNames), source, columns,
                        where ? &*where : nullptr);
      return;
    }
    case 10:
      runner.Begin();
      return;
    case 11:
      runner.Reopen();
      return;
    default:
      if (in.ConsumeBool()) {
        runner.Commit();
      } else {
        runner.Rollback();
      }
      return;
  }
}

}  // namespace

void RunProgram(FuzzedDataProvider& input, Runner& runner, int max_steps) {
  for (int i = 0; i < max_steps && input.remaining_bytes() > 0; ++i) Step(input, runner);
}

void RunPrelude(Runner& runner) {
  runner.Create("base", {Column{"id", Kind::kLong, 0, true, true}, Column{"n", Kind::kLong},
                         Column{"a", Kind::kText, 20}, Column{"b", Kind::kMemo},
                         Column{"c", Kind::kCurrency}});
  runner.Create("keyed", {Column{"n", Kind::kLong, 0, false, true}, Column{"a", Kind::kText, 10}});
  auto text = [](std::string s) { return Cell{false, 0, std::move(s)}; };
  auto number = [](int64_t n) { return Cell{false, n, {}}; };
  runner.InsertValues("base", {1, 2, 3, 4},
                      {number(3), text("北京"), text("短备注"), number(12345)});
  runner.InsertValues("base", {1, 2, 3, 4},
                      {number(-1), text("it's"), text(std::string(2500, 'm')), number(-5)});
  runner.InsertValues("base", {1}, {number(7)});
  runner.InsertValues("keyed", {0, 1}, {number(1), text("一")});
  runner.InsertValues("keyed", {0, 1}, {number(2), text("two")});
}

}  // namespace fuzz::writer
