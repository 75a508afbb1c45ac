// TableList: the data file's tables and views as they were when a run began. Every
// presence test of the run asks it; tables the run creates are not added, so each test
// answers about the file the user gave, not about the run's own work.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace upgrade {

class TableList {
 public:
  TableList() = default;
  explicit TableList(std::vector<std::string> names) : names_(std::move(names)) {}

  // Without regard to letter case, as Jet names compare.
  bool Contains(std::string_view name) const;
  const std::vector<std::string>& names() const { return names_; }

 private:
  std::vector<std::string> names_;
};

}  // namespace upgrade
