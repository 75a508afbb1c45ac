// Index keys the engine cannot compute, carried over from the source file. Text keys under a
// sort order other than General are known to the engine only where they equal General's (Han
// text under 2052 is not); for such rows the bytes Access wrote in the source's index are the
// only right key, and they are moved as they are.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "jet/file/pager.h"
#include "jet/format/index_page.h"
#include "jet/format/row_pointer.h"
#include "jet/format/table_definition.h"

namespace jet::compact {

// Whether the engine may be unable to compute some keys of `index`: it has a text column under
// a sort order other than General.
bool MayNeedCarriedKeys(const TableDefinition& def, const RealIndex& index);

class CarriedKeys {
 public:
  // For every index of the table at `definition_page` that has a text column under a sort
  // order other than General (the other indexes the engine always keys).
  // Find throws kCorrupt when such an index cannot be read, unless `damaged_ok`: then that
  // index carries no keys (a repair's rows that need one are left out).
  CarriedKeys(Pager& pager, const TableDefinition& def, uint32_t definition_page,
              bool damaged_ok = false);

  // The key the source's index `real_index` holds for the source row `row`.
  bool Find(size_t real_index, RowPointer row, std::vector<uint8_t>& key);
  // How many keys Find has handed out.
  size_t used() const { return used_; }

 private:
  // Per real index. The entries are read at the first key asked of it (when the table has
  // any the engine cannot compute), so a table whose text the engine keys costs nothing.
  struct Index {
    uint32_t root = 0;
    bool may_need = false;
    bool loaded = false;
    std::unordered_map<RowPointer, IndexKey> keys;
  };
  void Load(Index& index);

  Pager& pager_;
  uint32_t definition_page_;
  bool damaged_ok_;
  std::vector<Index> indexes_;
  size_t used_ = 0;
};

}  // namespace jet::compact
