#include "app/form_upgrade_view.h"

#include "app/Unit1.h"

namespace app {

void FormUpgradeView::SetStatus(const std::string& text) {
  form_.SetStatus(text);
}

}  // namespace app
