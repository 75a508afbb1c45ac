#include "app/Unit1.h"

#include <exception>
#include <optional>
#include <stdexcept>

#include "app/error_box.h"
#include "app/form_upgrade_view.h"
#include "upgrade/product_database.h"
#include "upgrade/program_paths.h"
#include "upgrade/upgrade_run.h"

using app::FormControl;

namespace {

constexpr char kConnected[] = "已连接数据文件!";

}  // namespace

TForm1::TForm1(app::FormControls& controls, std::filesystem::path executable_directory)
    : controls_(controls), executable_directory_(std::move(executable_directory)) {
  ADOQuery3.SetConnection(&ADOConnection2);
}

void TForm1::Handle(void (TForm1::*handler)()) {
  try {
    (this->*handler)();
  } catch (const std::exception& e) {
    controls_.ShowErrorBox(app::ErrorBoxFor(e.what()));
  }
}

void TForm1::SetStatus(const std::string& text) {
  controls_.SetStatusText(text);
  controls_.SetStatusTooltip("");
}

void TForm1::SetPanel1Enabled(bool enabled) {
  panel1_enabled_ = enabled;
  controls_.SetPanel1Enabled(enabled);
}

void TForm1::FormCreate() {
  SetPanel1Enabled(false);
  controls_.SetEnabled(FormControl::RadioButton1, false);
  controls_.SetEnabled(FormControl::RadioButton2, false);

  // The data file, when a file (not a folder of that name) is at the default path. Its
  // failure is reported, but the template is still connected, so choosing a good data
  // file afterwards lets an upgrade work.
  std::optional<std::string> data_failure;
  const std::filesystem::path data = executable_directory_ / "sys" / "Custom.sys";
  std::error_code ec;
  if (std::filesystem::is_regular_file(data, ec)) {
    try {
      ADOConnection1.Connect(upgrade::ConnectionStringFor(upgrade::PathToUtf8(data)));
      SetStatus(kConnected);
    } catch (const std::exception& e) {
      data_failure = e.what();
    }
  }
  TemplatePath = upgrade::PathToUtf8(executable_directory_ / "my.sys");
  try {
    ADOConnection2.Connect(upgrade::ConnectionStringFor(TemplatePath));
  } catch (const std::exception&) {
    if (data_failure) controls_.ShowErrorBox(app::ErrorBoxFor(*data_failure));
    throw;
  }
  if (data_failure) throw std::runtime_error(*data_failure);
}

void TForm1::Button1Click() {
  // The run pumps events: no second run, and no other data file, until it has ended. The
  // buttons come back however the handler is left, and so does the focus, which a
  // disabled button loses (else Enter would no longer press 升级).
  struct RunInProgress {
    TForm1& form;
    FormControl focus;
    explicit RunInProgress(TForm1& f) : form(f), focus(f.controls_.Focused()) { Set(true); }
    ~RunInProgress() {
      Set(false);
      if (focus != FormControl::kNone) form.controls_.SetFocus(focus);
    }
    void Set(bool running) {
      form.running_ = running;
      form.controls_.SetEnabled(FormControl::Button1, !running);
      form.controls_.SetEnabled(FormControl::Button2, !running);
    }
  };
  {
    RunInProgress in_progress(*this);
    app::FormUpgradeView view(*this, controls_);
    upgrade::UpgradeComponents components{ADOConnection1, ADOConnection2, ADOQuery1, ADOQuery2,
                                          ADOQuery3};
    upgrade::RunUpgrade(components, TemplatePath, view);  // never throws
  }
  if (close_requested_) controls_.CloseWindow();
}

void TForm1::Button2Click() {
  const std::optional<std::string> chosen = controls_.ShowOpenDialog(OD);
  if (!chosen) return;
  ADOConnection1.Disconnect();
  ADOConnection1.Connect(upgrade::ConnectionStringFor(*chosen));
  SetStatus(kConnected);
}

void TForm1::RadioButton1Click() {
  SetPanel1Enabled(controls_.IsChecked(FormControl::RadioButton2));
}

void TForm1::RadioButton2Click() {
  SetPanel1Enabled(controls_.IsChecked(FormControl::RadioButton2));
}

bool TForm1::CloseQuery() {
  if (!running_) return true;
  close_requested_ = true;  // carried out when the run has ended
  return false;
}
