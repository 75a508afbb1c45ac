#include "jet/table/page_census.h"

#include <unordered_map>
#include <unordered_set>

#include "jet/error.h"
#include "jet/format/usage_map.h"
#include "jet/table/database.h"
#include "jet/table/stored_rows.h"

namespace jet {
namespace {

constexpr uint32_t kNoOwner = 0xFFFFFFFF;
// The pages that hold usage-map rows. Many maps, of many tables, may share one such page
// (Access keeps the maps of all four system tables on one), so this owner shares.
constexpr uint32_t kMapRows = 0xFFFFFFFE;

// Who claims each page, and the damage met while recording it.
class Ledger {
 public:
  Ledger(uint32_t pages, PageCensus& census) : owners_(pages, kNoOwner), census_(census) {}

  // `name` says what the pages are in a message: "表 'Notes' 的字段 'Memo' 的备注或 OLE 对象数据".
  uint32_t NewOwner(std::string name) {
    names_.push_back(std::move(name));
    return static_cast<uint32_t>(names_.size() - 1);
  }

  void Claim(uint32_t page, uint32_t owner) {
    if (page >= owners_.size()) return;  // the map's decoder refuses these as damage
    uint32_t& current = owners_[page];
    if (current == kNoOwner || current == owner) {
      current = owner;
      return;
    }
    // One report per page, however many owners claim it.
    if (reported_.insert(page).second) {
      census_.damage.push_back({Problem::kDamagedPageClaimedTwice,
                                {.name = Name(current), .detail = Name(owner), .page = page}});
    }
  }

  // The row at `map` is the map called `map_name`, and no other: a writer changing one map
  // would change the other.
  void ClaimMapRow(RowPointer map, const std::string& map_name) {
    auto [it, added] = map_rows_.emplace(map.ToStored(), map_name);
    if (!added) {
      census_.damage.push_back(
          {Problem::kDamagedUsageMapShared,
           {.name = it->second, .detail = map_name, .page = map.page, .row = map.row}});
    }
    Claim(map.page, kMapRows);
  }

  // The pages of the map stored at `map`, its bitmap pages, and the page the map row is on.
  void ClaimMap(Pager& pager, RowPointer map, uint32_t owner, const std::string& map_name) {
    if (map.IsNull()) return;
    const std::vector<uint32_t> pages = ReadUsageMap(pager, map);
    const PinnedView row = ReadStoredRow(pager, map);
    const std::vector<uint32_t> bitmaps = UsageMapBitmapPages(row);
    ClaimMapRow(map, map_name);
    for (uint32_t page : pages) Claim(page, owner);
    for (uint32_t page : bitmaps) Claim(page, owner);
  }

  // Counts free and leaked pages against `free_pages` (ascending), reporting a page both
  // claimed and marked free.
  void Close(const std::vector<uint32_t>& free_pages) {
    census_.pages = static_cast<uint32_t>(owners_.size());
    auto next_free = free_pages.begin();
    for (uint32_t page = 0; page < owners_.size(); ++page) {
      while (next_free != free_pages.end() && *next_free < page) ++next_free;
      const bool free = next_free != free_pages.end() && *next_free == page;
      const uint32_t owner = owners_[page];
      if (owner != kNoOwner) {
        ++census_.claimed;
        if (free) {
          census_.damage.push_back(
              {Problem::kDamagedPageClaimedAndFree, {.name = Name(owner), .page = page}});
        }
      } else if (free) {
        ++census_.free;
      } else {
        census_.leaked.push_back(page);
      }
    }
  }

 private:
  std::string Name(uint32_t owner) const {
    return owner == kMapRows ? "页面使用表所在的页" : names_[owner];
  }

  std::vector<uint32_t> owners_;  // per page: an index into names_, kMapRows or kNoOwner
  std::vector<std::string> names_;
  std::unordered_set<uint32_t> reported_;
  std::unordered_map<uint32_t, std::string> map_rows_;  // by stored row pointer: the map's name
  PageCensus& census_;
};

// The pages of one table: its definition's chain, its data pages (those its owned-pages map
// and its free-space map list), each index's and each long-value column's pages.
void CountTable(Database& db, const std::string& name, uint32_t definition_page, Ledger& ledger) {
  Pager& pager = db.pager();
  const std::string table = "表 '" + name + "'";
  const TableDefinition* def = nullptr;
  std::vector<uint32_t> chain;
  try {
    db.ReadDefinitionBytes(definition_page, &chain);
    def = &db.Definition(definition_page);
  } catch (const JetError&) {
    return;  // the consistency check reports the definition
  }
  const uint32_t definition = ledger.NewOwner(table + " 的定义");
  for (uint32_t page : chain) ledger.Claim(page, definition);

  const uint32_t data = ledger.NewOwner(table);
  // A map that cannot be read is left out: the consistency check reads every map of every
  // table itself, and reports it.
  auto claim = [&](RowPointer map, uint32_t owner, const std::string& map_name) {
    try {
      ledger.ClaimMap(pager, map, owner, map_name);
    } catch (const JetError&) {
    }
  };
  claim(def->owned_pages, data, table + " 的页面使用表");
  claim(def->free_pages, data, table + " 的空闲空间表");
  for (size_t i = 0; i < def->real_indexes.size(); ++i) {
    const std::string index = table + " 的索引 '" + def->RealIndexName(i) + "'";
    claim(def->real_indexes[i].usage_map, ledger.NewOwner(index), index + " 的页面使用表");
  }
  for (const LongValueMaps& m : def->long_value_maps) {
    const ColumnDefinition* c = def->ColumnById(m.column_id);
    const std::string values = table + " 的字段 '" +
                               (c ? c->name : "#" + std::to_string(m.column_id)) +
                               "' 的备注或 OLE 对象数据";
    const uint32_t owner = ledger.NewOwner(values);
    claim(m.owned, owner, values + "的页面使用表");
    claim(m.free, owner, values + "的空闲空间表");
  }
}

}  // namespace

PageCensus TakePageCensus(Database& db) {
  Pager& pager = db.pager();
  PageCensus census;
  Ledger ledger(pager.page_count(), census);
  ledger.Claim(0, ledger.NewOwner("文件头"));

  // Page 1 holds the free-page map's row: a usage-map page like any other.
  std::vector<uint32_t> free_pages;
  const uint32_t free_map = ledger.NewOwner("空闲页表");
  try {
    free_pages = ReadFreePageMap(pager);
    ledger.ClaimMapRow(RowPointer{1, 0}, "空闲页表");
    PinnedView row = ReadStoredRow(pager, RowPointer{1, 0});
    for (uint32_t page : UsageMapBitmapPages(row)) ledger.Claim(page, free_map);
  } catch (const JetError& e) {
    // Every unclaimed page then shows as leaked.
    census.damage.push_back(FindingOf(e));
  }

  bool catalog_listed = false;
  for (const CatalogEntry& e : db.catalog().entries()) {
    if (e.kind != ObjectKind::kUserTable && e.kind != ObjectKind::kSystemTable) continue;
    catalog_listed |= e.DefinitionPage() == Catalog::kObjectsDefinitionPage;
    CountTable(db, e.name, e.DefinitionPage(), ledger);
  }
  // The catalog is read from its fixed page whatever its own row says, as the check does.
  if (!catalog_listed) {
    CountTable(db, "MSysObjects", Catalog::kObjectsDefinitionPage, ledger);
  }
  ledger.Close(free_pages);
  return census;
}

Finding LeakedPagesNote(const std::vector<uint32_t>& leaked, size_t max_ranges) {
  std::string ranges;
  size_t count = 0;
  for (size_t i = 0; i < leaked.size();) {
    size_t j = i;
    while (j + 1 < leaked.size() && leaked[j + 1] == leaked[j] + 1) ++j;
    if (count == max_ranges) {
      ranges += ", ……";
      break;
    }
    ranges += (count++ == 0 ? "" : ", ") + std::to_string(leaked[i]);
    if (j > i) ranges += "-" + std::to_string(leaked[j]);
    i = j + 1;
  }
  return {Problem::kNoteLeakedPages, {.detail = ranges, .number = leaked.size()}};
}

}  // namespace jet
