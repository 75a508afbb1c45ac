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
    : keys_(def.real_indexes.size()) {
  for (size_t r = 0; r < def.real_indexes.size(); ++r) {
    const RealIndex& index = def.real_indexes[r];
    if (!MayNeedCarriedKeys(def, index)) continue;
    IndexTree tree;
    try {
      tree = ReadIndexTree(pager, index.root_page, definition_page);
    } catch (const JetError&) {
      if (!damaged_ok) throw;
      continue;
    }
    keys_[r].reserve(tree.entries.size());
    for (IndexEntry& e : tree.entries) keys_[r].emplace(e.row, std::move(e.key));
  }
}

bool CarriedKeys::Find(size_t real_index, RowPointer row, std::vector<uint8_t>& key) {
  if (real_index >= keys_.size()) return false;
  auto it = keys_[real_index].find(row);
  if (it == keys_[real_index].end()) return false;
  key.assign(it->second.begin(), it->second.end());
  ++used_;
  return true;
}

}  // namespace jet::compact
