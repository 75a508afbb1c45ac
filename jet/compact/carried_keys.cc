#include "jet/compact/carried_keys.h"

#include "jet/error.h"
#include "jet/table/index_tree.h"

namespace jet::compact {
bool MayNeedCarriedKeys(const TableDefinition& def, const RealIndex& index) {
  for (const IndexColumn& ic : index.columns) {
    const ColumnDefinition* c = def.ColumnById(ic.column_id);
    if (c && IsTextType(c->type) && !(c->sort_order == kGeneralSortOrder)) return true;
  }
  return false;
}

CarriedKeys::CarriedKeys(Pager& pager, const TableDefinition& def, uint32_t definition_page,
                         bool damaged_ok)
    : pager_(pager),
      definition_page_(definition_page),
      damaged_ok_(damaged_ok),
      indexes_(def.real_indexes.size()) {
  for (size_t r = 0; r < def.real_indexes.size(); ++r) {
    indexes_[r].root = def.real_indexes[r].root_page;
    indexes_[r].may_need = MayNeedCarriedKeys(def, def.real_indexes[r]);
  }
}

void CarriedKeys::Load(Index& index) {
  index.loaded = true;
  IndexTree tree;
  try {
    tree = ReadIndexTree(pager_, index.root, definition_page_);
  } catch (const JetError&) {
    if (!damaged_ok_) throw;
    return;
  }
  index.keys.reserve(tree.entries.size());
  for (IndexEntry& e : tree.entries) index.keys.emplace(e.row, std::move(e.key));
}

bool CarriedKeys::Find(size_t real_index, RowPointer row, std::vector<uint8_t>& key) {
  if (real_index >= indexes_.size() || !indexes_[real_index].may_need) return false;
  Index& index = indexes_[real_index];
  if (!index.loaded) Load(index);
  auto it = index.keys.find(row);
  if (it == index.keys.end()) return false;
  key.assign(it->second.begin(), it->second.end());
  ++used_;
  return true;
}

}  // namespace jet::compact
