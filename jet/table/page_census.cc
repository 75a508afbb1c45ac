#include "jet/table/page_census.h"

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
      census_.problems.push_back("page " + std::to_string(page) + " is claimed by " +
                                 Name(current) + " and by " + Name(owner));
    }
  }

  // The pages of the map stored at `map`, its bitmap pages, and the page the map row is on.
  void ClaimMap(Pager& pager, RowPointer map, uint32_t owner) {
    if (map.IsNull()) return;
    for (uint32_t page : ReadUsageMap(pager, map)) Claim(page, owner);
    PinnedView row = ReadStoredRow(pager, map);
    for (uint32_t page : UsageMapBitmapPages(row)) Claim(page, owner);
    Claim(map.page, kMapRows);
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
          census_.problems.push_back("page " + std::to_string(page) + ", claimed by " +
                                     Name(owner) + ", is marked free in the free-page map");
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
    return owner == kMapRows ? "usage-map rows" : names_[owner];
  }

  std::vector<uint32_t> owners_;  // per page: an index into names_, kMapRows or kNoOwner
  std::vector<std::string> names_;
  std::unordered_set<uint32_t> reported_;
  PageCensus& census_;
};

// The pages of one table: its definition's chain, its data pages (those its owned-pages map
// and its free-space map list), each index's and each long-value column's pages.
void CountTable(Database& db, const std::string& name, uint32_t definition_page, Ledger& ledger,
                PageCensus& census) {
  Pager& pager = db.pager();
  const std::string table = "table '" + name + "'";
  const TableDefinition* def = nullptr;
  std::vector<uint32_t> chain;
  try {
    db.ReadDefinitionBytes(definition_page, &chain);
    def = &db.Definition(definition_page);
  } catch (const JetError&) {
    return;  // the consistency check reports the definition
  }
  const uint32_t definition = ledger.NewOwner(table + ": its definition");
  for (uint32_t page : chain) ledger.Claim(page, definition);

  const uint32_t data = ledger.NewOwner(table);
  try {
    ledger.ClaimMap(pager, def->owned_pages, data);
  } catch (const JetError&) {
    // Read by every scan of the table: the consistency check reports it.
  }
  try {
    ledger.ClaimMap(pager, def->free_pages, data);
  } catch (const JetError& e) {
    census.problems.push_back(table + ": its free-space map cannot be read: " + e.what());
  }
  for (size_t i = 0; i < def->real_indexes.size(); ++i) {
    const uint32_t index = ledger.NewOwner(table + ": index '" + def->RealIndexName(i) + "'");
    try {
      ledger.ClaimMap(pager, def->real_indexes[i].usage_map, index);
    } catch (const JetError&) {
      // The consistency check reads every index's map and reports it.
    }
  }
  for (const LongValueMaps& m : def->long_value_maps) {
    const ColumnDefinition* column = def->ColumnById(m.column_id);
    const std::string owner_name =
        table + ": column '" + (column ? column->name : "#" + std::to_string(m.column_id)) + "'";
    const uint32_t owner = ledger.NewOwner(owner_name + " long values");
    for (RowPointer map : {m.owned, m.free}) {
      try {
        ledger.ClaimMap(pager, map, owner);
      } catch (const JetError& e) {
        census.problems.push_back(owner_name + ": a long-value map cannot be read: " + e.what());
      }
    }
  }
}

}  // namespace

PageCensus TakePageCensus(Database& db) {
  Pager& pager = db.pager();
  PageCensus census;
  Ledger ledger(pager.page_count(), census);
  ledger.Claim(0, ledger.NewOwner("the file header"));

  // Page 1 holds the free-page map's row: a usage-map page like any other.
  std::vector<uint32_t> free_pages;
  const uint32_t free_map = ledger.NewOwner("the free-page map");
  try {
    free_pages = ReadFreePageMap(pager);
    ledger.Claim(1, kMapRows);
    PinnedView row = ReadStoredRow(pager, RowPointer{1, 0});
    for (uint32_t page : UsageMapBitmapPages(row)) ledger.Claim(page, free_map);
  } catch (const JetError& e) {
    // Every unclaimed page then shows as leaked.
    census.problems.push_back(std::string("the free-page map cannot be read: ") + e.what());
  }

  bool catalog_listed = false;
  for (const CatalogEntry& e : db.catalog().entries()) {
    if (e.kind != ObjectKind::kUserTable && e.kind != ObjectKind::kSystemTable) continue;
    catalog_listed |= e.DefinitionPage() == Catalog::kObjectsDefinitionPage;
    CountTable(db, e.name, e.DefinitionPage(), ledger, census);
  }
  // The catalog is read from its fixed page whatever its own row says, as the check does.
  if (!catalog_listed) {
    CountTable(db, "MSysObjects", Catalog::kObjectsDefinitionPage, ledger, census);
  }
  ledger.Close(free_pages);
  return census;
}

std::string DescribeLeakedPages(const std::vector<uint32_t>& leaked, size_t max_ranges) {
  std::string out = std::to_string(leaked.size()) + (leaked.size() == 1 ? " page" : " pages") +
                    " neither in use nor free (leaked space; compacting reclaims it)";
  size_t ranges = 0;
  for (size_t i = 0; i < leaked.size();) {
    size_t j = i;
    while (j + 1 < leaked.size() && leaked[j + 1] == leaked[j] + 1) ++j;
    if (ranges == max_ranges) {
      out += ", ...";
      break;
    }
    out += (ranges++ == 0 ? ": " : ", ") + std::to_string(leaked[i]);
    if (j > i) out += "-" + std::to_string(leaked[j]);
    i = j + 1;
  }
  return out;
}

}  // namespace jet
