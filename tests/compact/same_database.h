// What makes a copy of a database hold what its source holds, for the compaction and repair
// tests: the same catalog objects in the same order (a table's id following its definition
// page), the same definitions, rows and index keys. Header-only: the test binary's sources
// are the *_test.cc glob.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "jet/table/catalog.h"
#include "jet/table/database.h"
#include "jet/table/index_tree.h"
#include "jet/table/table.h"

namespace compact_test {

using jet::CatalogEntry;
using jet::Database;
using jet::TableDefinition;
using jet::Value;

inline bool SameValue(const Value& a, const Value& b) {
  return a.kind == b.kind && a.integer == b.integer && a.text == b.text && a.bytes == b.bytes &&
         (a.real == b.real || (a.real != a.real && b.real != b.real));
}

inline void ExpectSameDefinition(const TableDefinition& a, const TableDefinition& b,
                                 const std::map<uint32_t, uint32_t>& pages,
                                 const std::string& table) {
  SCOPED_TRACE("table " + table);
  EXPECT_EQ(a.table_type, b.table_type);
  // The next autonumber never goes backwards (the writer also keeps it above every value).
  EXPECT_GE(b.last_autonumber, a.last_autonumber);
  EXPECT_EQ(a.autonumber_increment, b.autonumber_increment);
  EXPECT_EQ(a.next_column_id, b.next_column_id);
  EXPECT_EQ(a.variable_columns, b.variable_columns);
  ASSERT_EQ(a.columns.size(), b.columns.size());
  for (size_t i = 0; i < a.columns.size(); ++i) {
    // The descriptor as stored holds every attribute of the column: type, id, ordinal,
    // place, length, sort order or precision and scale, flags.
    EXPECT_EQ(a.columns[i].name, b.columns[i].name);
    EXPECT_EQ(a.columns[i].raw, b.columns[i].raw) << "column " << a.columns[i].name;
  }
  ASSERT_EQ(a.real_indexes.size(), b.real_indexes.size());
  for (size_t r = 0; r < a.real_indexes.size(); ++r) {
    const jet::RealIndex &x = a.real_indexes[r], &y = b.real_indexes[r];
    EXPECT_EQ(x.flags, y.flags) << "index " << a.RealIndexName(r);
    ASSERT_EQ(x.columns.size(), y.columns.size());
    for (size_t c = 0; c < x.columns.size(); ++c) {
      EXPECT_EQ(x.columns[c].column_id, y.columns[c].column_id);
      EXPECT_EQ(x.columns[c].ascending, y.columns[c].ascending);
    }
  }
  ASSERT_EQ(a.logical_indexes.size(), b.logical_indexes.size());
  for (size_t l = 0; l < a.logical_indexes.size(); ++l) {
    const jet::LogicalIndex &x = a.logical_indexes[l], &y = b.logical_indexes[l];
    EXPECT_EQ(x.name, y.name);
    EXPECT_EQ(x.number, y.number);
    EXPECT_EQ(x.real_index, y.real_index);
    EXPECT_EQ(x.type, y.type);
    EXPECT_EQ(x.related_index, y.related_index);
    EXPECT_EQ(x.cascade_update, y.cascade_update);
    EXPECT_EQ(x.cascade_delete, y.cascade_delete);
    auto it = pages.find(x.related_table_page);
    EXPECT_EQ(it == pages.end() ? x.related_table_page : it->second, y.related_table_page)
        << "index " << x.name;
  }
}

// Every row of every table in the same order with the same values, ids that name a table
// followed to its new page; every index holds the same keys (Han keys carried over too).
inline void ExpectSameTable(Database& source, Database& copy, const CatalogEntry& from,
                            const CatalogEntry& to, const std::map<uint32_t, uint32_t>& pages) {
  SCOPED_TRACE("table " + from.name);
  jet::Table a(source, from.DefinitionPage(), from.name);
  jet::Table b(copy, to.DefinitionPage(), to.name);
  const TableDefinition& def = a.definition();
  std::vector<std::vector<Value>> rows;
  a.Scan([&](jet::RowPointer, const std::vector<Value>& v) {
    rows.push_back(v);
    return true;
  });
  // The catalog's tables name tables by id.
  const bool catalog_ids =
      from.name == "MSysObjects" || from.name == "MSysACEs" || from.name == "MSysNavPaneObjectIDs";
  auto is_id = [&](const std::string& column) {
    return catalog_ids && (column == "Id" || column == "ParentId" || column == "ObjectId");
  };
  size_t n = 0;
  b.Scan([&](jet::RowPointer, const std::vector<Value>& v) {
    if (n >= rows.size()) {
      ++n;
      return true;
    }
    for (size_t c = 0; c < v.size(); ++c) {
      Value expected = rows[n][c];
      const std::string& column = def.columns[c].name;
      if (is_id(column) && !expected.IsNull()) {
        auto it = pages.find(static_cast<uint32_t>(expected.integer));
        if (expected.integer > 0 && it != pages.end()) expected.integer = it->second;
      }
      EXPECT_TRUE(SameValue(expected, v[c]))
          << "row " << n << " column " << column << ": " << jet::ValueToText(expected) << " became "
          << jet::ValueToText(v[c]);
    }
    ++n;
    return true;
  });
  EXPECT_EQ(rows.size(), n);
  EXPECT_EQ(n, b.definition().row_count);
  ExpectSameDefinition(def, b.definition(), pages, from.name);
  for (size_t r = 0; r < def.real_indexes.size() && r < b.definition().real_indexes.size(); ++r) {
    bool keys_ids = false;  // an id's key changes with the id
    for (const auto& ic : def.real_indexes[r].columns) {
      const jet::ColumnDefinition* c = def.ColumnById(ic.column_id);
      keys_ids |= c && is_id(c->name);
    }
    if (keys_ids) continue;
    auto keys = [](Database& db, const jet::RealIndex& index, uint32_t owner) {
      std::vector<std::vector<uint8_t>> out;
      for (const auto& e : jet::ReadIndexTree(db.pager(), index.root_page, owner).entries) {
        out.push_back(e.key.ToVector());
      }
      return out;
    };
    EXPECT_EQ(keys(source, def.real_indexes[r], from.DefinitionPage()),
              keys(copy, b.definition().real_indexes[r], to.DefinitionPage()))
        << "keys of index " << def.RealIndexName(r);
  }
}

// Every catalog object of `source` is in `copy`, in the same order, and every table holds
// the same (ExpectSameTable).
inline void ExpectSameDatabase(Database& source, Database& copy) {
  // Every catalog object, in catalog order: only a table's id (its definition page) changes.
  const auto& from = source.catalog().entries();
  const auto& to = copy.catalog().entries();
  ASSERT_EQ(from.size(), to.size());
  std::map<uint32_t, uint32_t> pages;
  for (size_t i = 0; i < from.size(); ++i) {
    SCOPED_TRACE("object " + from[i].name);
    EXPECT_EQ(from[i].name, to[i].name);
    EXPECT_EQ(from[i].type, to[i].type);
    EXPECT_EQ(from[i].flags, to[i].flags);
    EXPECT_EQ(from[i].kind, to[i].kind);
    EXPECT_EQ(from[i].parent_id, to[i].parent_id);
    EXPECT_EQ(from[i].linked_database, to[i].linked_database);
    EXPECT_EQ(from[i].foreign_name, to[i].foreign_name);
    if (from[i].type == 1 && from[i].id > 0) {
      pages[from[i].DefinitionPage()] = to[i].DefinitionPage();
    } else {
      EXPECT_EQ(from[i].id, to[i].id);
    }
  }
  for (size_t i = 0; i < from.size(); ++i) {
    if (from[i].type == 1 && from[i].id > 0) ExpectSameTable(source, copy, from[i], to[i], pages);
  }
}

}  // namespace compact_test
