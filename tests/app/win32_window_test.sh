#!/usr/bin/env bash
# dataupgrade.exe, the real Win32 window, under Wine on the X display of the caller (Xvfb in
# scripts/test_windows.sh), in a folder whose name has Chinese characters and a space, with
# demo data laid out beside it. Reads every control back from the live window
# (win32_window_probe.exe) and compares it with the designer's table, clicks 升级 and waits
# for 升级成功, checks the upgraded file with jetdb, chooses a data file by a name typed
# into the open-file dialog, shows the error box for a damaged sys\Custom.sys, and lays the
# window out at 144 dpi. The keyboard too: Tab order, Enter on 升级. Screenshots in
# WIN_BUILD_DIR/screenshots/.
# Needs WINE64 and WINEPREFIX (a prefix already booted) and DISPLAY.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/../.."

WIN_BUILD_DIR="${WIN_BUILD_DIR:-build-win}"
: "${WINE64:?}" "${WINEPREFIX:?}" "${DISPLAY:?}"
PASSWORD='plmoknijbuhvygc,t.f/'
BIN="${WIN_BUILD_DIR}/bin"
SHOTS="${WIN_BUILD_DIR}/screenshots"
ROOT="${WIN_BUILD_DIR}/window"

fail() {
  echo "win32_window_test.sh: $*" >&2
  exit 1
}
winpath() { printf 'Z:%s' "$(realpath -m "$1" | tr / '\\')"; }
probe() { "${WINE64}" "${BIN}/win32_window_probe.exe" "$@" | tr -d '\r'; }

# until SECONDS COMMAND...: runs COMMAND every 0.2 s until it succeeds, at most SECONDS.
until_true() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@" >/dev/null 2>&1; do
    [[ ${SECONDS} -lt ${deadline} ]] || return 1
    sleep 0.2
  done
}

# The program folder: dataupgrade.exe with my.sys beside it and sys\Custom.sys under it.
layout() {
  rm -rf "$1"
  mkdir -p "$1"
  cp "${BIN}/dataupgrade.exe" "$1/"
  "${WINE64}" "${BIN}/sysdemo.exe" "$(winpath "$1")" >/dev/null
}

# start FOLDER: starts its dataupgrade.exe; the X window titled 数据升级 is in ${xwindow}.
start() {
  "${WINE64}" "$1/dataupgrade.exe" >/dev/null 2>&1 &
  app_pid=$!
  xwindow="$(timeout 30 xdotool search --sync --onlyvisible --name '^数据升级$' | head -1)" ||
    fail "no window titled 数据升级 appeared"
}

# Ends the program through its window, and waits for it.
close_window() {
  probe close || true
  timeout 30 tail --pid="${app_pid}" -f /dev/null || fail "dataupgrade.exe did not end"
  app_pid=""
}

shoot() {
  sleep 0.5
  import -window "$1" "${SHOTS}/$2.png"
  local colours
  colours="$(convert "${SHOTS}/$2.png" -format '%k' info:)"
  [[ "${colours}" -ge 3 ]] || fail "${SHOTS}/$2.png is blank"
  echo "win32_window_test.sh: ${SHOTS}/$2.png (${colours} colours)"
}

# click NAME: a mouse click in the middle of control NAME of the live window.
click() {
  local x y w h
  read -r x y w h < <(probe list | awk -v n="$1" '$1 == n { print $7, $8, $4, $5 }')
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
}

# The designer's table at 96 dpi: name, left, top, width, height, then the state and text.
# Label1 is sized to its text (W); the radio buttons may grow to the right for a wider
# substitute face (checked below).
expected_layout() {
  cat <<'TABLE'
RadioButton1 48 8 113 17 disabled visible - - Windows 身份验证
RadioButton2 184 8 145 17 disabled visible checked - SQL SERVER 混合登录
Panel1 8 32 345 29 disabled visible - -
Label3 8 8 36 12 enabled visible - - 用户名
Edit1 50 5 47 20 enabled visible - - sa
Label4 126 9 24 12 enabled visible - - 密码
Edit2 159 5 162 20 enabled visible - -
Label1 16 64 W 12 enabled visible - - 已连接数据文件!
ProgressBar1 24 80 305 16 enabled hidden - -
Button1 144 124 75 25 enabled visible - focused 升级
Button2 232 124 89 25 enabled visible - - 选择数据文件
Label2 56 152 270 12 enabled visible - - 2005.07.005以前版本升级时间稍长,请耐心等候...
TABLE
}

# check_layout DPI: the live window against the table scaled to DPI (positions and sizes
# times DPI/96, rounded), and no text wider than its control.
check_layout() {
  local dpi="$1" live
  live="$(probe list)"
  echo "${live}"
  local window_line
  window_line="$(awk -v d="${dpi}" 'function s(v) { return int(v * d / 96 + 0.5) }
    BEGIN { printf "window TForm1 %d %d %d %d dpi %d 数据升级\n", s(465), s(250), s(371), s(199), d }')"
  [[ "$(head -1 <<<"${live}")" == "${window_line}" ]] ||
    fail "window: $(head -1 <<<"${live}") (expected ${window_line})"
  local got want
  got="$(tail -n +2 <<<"${live}" | awk '{
      $6 = $7 = $8 = $9 = $10 = "";
      if ($1 == "Label1") $4 = "W";
      if ($1 ~ /^RadioButton/) $4 = "R";
      print }' | tr -s ' ' | sed 's/ $//')"
  want="$(expected_layout | awk -v d="${dpi}" 'function s(v) { return int(v * d / 96 + 0.5) }
      { $2 = s($2); $3 = s($3); if ($4 != "W") $4 = s($4); $5 = s($5);
        if ($1 ~ /^RadioButton/) $4 = "R"; print }' | tr -s ' ' | sed 's/ $//')"
  if [[ "${got}" != "${want}" ]]; then
    diff <(echo "${want}") <(echo "${got}") >&2 || true
    fail "the live window differs from the table at ${dpi} dpi (< table, > window)"
  fi
  # Sizes the table does not fix, and nothing clipped: a radio button is its table width or
  # just wide enough for its mark and caption; a label's text fits its width, a push
  # button's with a margin.
  awk -v d="${dpi}" 'function s(v) { return int(v * d / 96 + 0.5) }
    NR > 1 {
      w = $4; text = $10
      if ($1 == "RadioButton1" && w < s(113)) bad = bad " " $1
      if ($1 == "RadioButton2" && w < s(145)) bad = bad " " $1
      if ($1 ~ /^RadioButton/ && text + s(13) > w) bad = bad " " $1 "(clipped)"
      if ($1 ~ /^Label/ && text > w) bad = bad " " $1 "(clipped)"
      if ($1 ~ /^Button/ && text + s(8) > w) bad = bad " " $1 "(clipped)"
    }
    END { if (bad != "") { print "sizes:" bad; exit 1 } }' <<<"${live}" ||
    fail "controls too small at ${dpi} dpi"
}

set_dpi() {
  "${WINE64}" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f \
    >/dev/null 2>&1
}
# However the test ends: no window left running, and the prefix back at 96 dpi.
app_pid=""
dpi_changed=""
cleanup() {
  if [[ -n "${app_pid}" ]]; then kill "${app_pid}" 2>/dev/null || true; fi
  if [[ -n "${dpi_changed}" ]]; then set_dpi 96; fi
}
trap cleanup EXIT

rm -rf "${ROOT}" "${SHOTS}"
mkdir -p "${SHOTS}"
# Wine's server, started with no pipe of ours (a server that a probe started would hold the
# probe's output pipe open); it stays while the programs run.
"$(command -v wineserver || echo /usr/lib/wine/wineserver64)" -p60 </dev/null >/dev/null 2>&1 || true

# 1. Start-up, the layout, an upgrade, choosing a data file by a typed name.
app_dir="${ROOT}/客户 程序"
layout "${app_dir}"
cp "${app_dir}/sys/Custom.sys" "${app_dir}/另一个.sys"
start "${app_dir}"
check_layout 96
shoot "${xwindow}" 1-start
click Button1
until_true 120 bash -c "[[ \"\$(\"${WINE64}\" \"${BIN}/win32_window_probe.exe\" status | tr -d '\r')\" == 升级成功 ]]" ||
  fail "no 升级成功 after pressing 升级 (status: $(probe status))"
shoot "${xwindow}" 2-after-upgrade
state="$(probe list)"
grep -q '^ProgressBar1 .* hidden ' <<<"${state}" || fail "the progress bar is still shown"
grep -q '^Button1 .* enabled visible - focused 升级$' <<<"${state}" ||
  fail "the focus is not back on Button1 after the run"
# The dialog: a name typed without its extension gets the default one, .sys.
click Button2
dialog_entries=""
for _ in $(seq 150); do
  dialog_entries="$(probe open-dialog "$(winpath "${app_dir}/另一个")")" && break
  sleep 0.2
done
[[ "${dialog_entries}" == "type 数据文件" ]] || fail "the dialog's file types: ${dialog_entries}"
until_true 30 bash -c "[[ \"\$(\"${WINE64}\" \"${BIN}/win32_window_probe.exe\" status | tr -d '\r')\" == 已连接数据文件! ]]" ||
  fail "choosing 另一个 did not connect (status: $(probe status))"
if probe box >/dev/null; then fail "an error box after choosing 另一个: $(probe box)"; fi
# The keyboard: Tab goes from Button1 to Button2 and back, and Enter presses the focused
# 升级, which upgrades the chosen file.
xdotool windowfocus --sync "${xwindow}"
# The dialog gave the focus back to Button2, which opened it.
grep -q '^Button2 .* focused ' <<<"$(probe list)" || fail "the focus is not on Button2"
xdotool key shift+Tab
grep -q '^Button1 .* focused ' <<<"$(probe list)" || fail "Shift+Tab did not go to Button1"
xdotool key Tab
grep -q '^Button2 .* focused ' <<<"$(probe list)" || fail "Tab did not reach Button2"
xdotool key shift+Tab
grep -q '^Button1 .* focused ' <<<"$(probe list)" || fail "Tab did not come back to Button1"
xdotool key Return
until_true 120 bash -c "[[ \"\$(\"${WINE64}\" \"${BIN}/win32_window_probe.exe\" status | tr -d '\r')\" == 升级成功 ]]" ||
  fail "Enter on 升级 did not upgrade 另一个.sys (status: $(probe status))"
close_window
"${WINE64}" "${BIN}/jetdb.exe" check -p "${PASSWORD}" "$(winpath "${app_dir}/另一个.sys")" |
  tr -d '\r'
"${WINE64}" "${BIN}/jetdb.exe" check -p "${PASSWORD}" "$(winpath "${app_dir}/sys/Custom.sys")" |
  tr -d '\r'
[[ "$("${WINE64}" "${BIN}/jetdb.exe" count "$(winpath "${app_dir}/sys/Custom.sys")" sj \
  -p "${PASSWORD}" | tr -d '\r')" -gt 0 ]] || fail "Custom.sys has no sj rows after the upgrade"

# 2. The error box for a damaged sys\Custom.sys, before the window shows.
box_dir="${ROOT}/损坏 数据"
layout "${box_dir}"
head -c 8192 /dev/zero | tr '\0' x >"${box_dir}/sys/Custom.sys"
"${WINE64}" "${box_dir}/dataupgrade.exe" >/dev/null 2>&1 &
app_pid=$!
box_window="$(timeout 30 xdotool search --sync --onlyvisible --name '^数据升级$' | head -1)" ||
  fail "no error box"
until_true 10 probe box || fail "no error box"
box="$(probe box)"
echo "${box}"
grep -qx 'caption 数据升级' <<<"${box}" || fail "error box caption"
grep -qx 'icon yes' <<<"${box}" || fail "error box without its icon"
grep -qx 'buttons 1' <<<"${box}" || fail "error box buttons (want OK alone)"
# The engine's message, which ends in a quote: no "." is added.
grep -qxF "text 无法识别的数据库格式 '$(winpath "${box_dir}/sys/Custom.sys")'" <<<"${box}" ||
  fail "error box text"
shoot "${box_window}" 3-error-box
probe box-ok
xwindow="$(timeout 30 xdotool search --sync --onlyvisible --name '^数据升级$' | head -1)"
[[ "$(probe status)" == "" ]] || fail "a status after the failed start-up"
close_window

# 3. At 144 dpi (Wine's LogPixels): the layout scaled, nothing clipped.
set_dpi 144
dpi_changed=1
start "${app_dir}"
check_layout 144
shoot "${xwindow}" 4-start-144dpi
close_window
echo "win32_window_test.sh: the window passed at 96 and 144 dpi"
