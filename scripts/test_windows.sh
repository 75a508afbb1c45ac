#!/usr/bin/env bash
# The Windows build, cross-compiled with MinGW-w64 into build-win/ (WIN_BUILD_DIR to change
# it), tested under Wine on an Xvfb display: the platform's test suites through ctest, then
# sysupgrade.exe on demo data in a Chinese folder with a space, the window dataupgrade.exe
# driven live (tests/app/win32_window_test.sh, screenshots in build-win/screenshots/), then
# the ZIP package, its file list and the programs' imports.
# Skips, saying so, when the cross compiler or Wine is not installed. Run by ./test.sh.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
# shellcheck source=scripts/deps.sh
source scripts/deps.sh

WIN_BUILD_DIR="${WIN_BUILD_DIR:-build-win}"
PASSWORD='plmoknijbuhvygc,t.f/'

WINE64="$(command -v wine64 || true)"
[[ -z "${WINE64}" && -x /usr/lib/wine/wine64 ]] && WINE64=/usr/lib/wine/wine64
if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null 2>&1 || [[ -z "${WINE64}" ]]; then
  log "Windows build SKIPPED: needs the MinGW-w64 cross compiler (g++-mingw-w64-x86-64-posix)" \
    "and Wine (wine64); install them with scripts/deps.sh"
  exit 0
fi

# The Linux file system is drive Z: under Wine.
winpath() { printf 'Z:%s' "$(realpath -m "$1" | tr / '\\')"; }

start="${SECONDS}"
log "Configuring ${WIN_BUILD_DIR} (MinGW-w64, Release)"
cmake -S . -B "${WIN_BUILD_DIR}" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release
log "Building ${WIN_BUILD_DIR}"
cmake --build "${WIN_BUILD_DIR}" -j2

# One X display for every Windows program here, the tests' windows included: Wine's
# desktop process takes the display it starts with.
display_file="$(mktemp)"
Xvfb -displayfd 5 -screen 0 1600x1200x24 -nolisten tcp 5>"${display_file}" >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill "${xvfb_pid}" 2>/dev/null || true; rm -f "${display_file}"' EXIT
for _ in $(seq 50); do [[ -s "${display_file}" ]] && break; sleep 0.1; done
export DISPLAY=":$(head -1 "${display_file}")"

# A Wine prefix of our own, inside the build directory; made once, quietly, without the
# Mono and Gecko installers it would otherwise offer.
export WINEPREFIX="${PWD}/${WIN_BUILD_DIR}/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [[ ! -f "${WINEPREFIX}/system.reg" ]]; then
  log "Making the Wine prefix ${WINEPREFIX}"
  "${WINE64}" wineboot --init </dev/null >/dev/null 2>&1
fi
# Wine draws the caption buttons in its Marlett (fonts-wine), which this Wine does not find
# among its data files. Marlett alone: Wine's Tahoma would become the caption font, and it
# has no Chinese.
marlett=/usr/share/wine/fonts/marlett.ttf
if [[ -f "${marlett}" ]]; then cp "${marlett}" "${WINEPREFIX}/drive_c/windows/Fonts/"; fi
# Wine's server and its service processes, started here with no terminal or pipe of ours
# and kept running through the tests. Started by a test instead, they would inherit that
# test's output pipe and hold it open, so ctest would wait for its end until the timeout.
# The server ends on its own a minute after the last Windows program; one still running for
# this prefix is waited for first, since a second cannot start beside it.
WINESERVER="$(command -v wineserver || echo /usr/lib/wine/wineserver64)"
"${WINESERVER}" -w
"${WINESERVER}" -p60 </dev/null >/dev/null 2>&1
"${WINE64}" wineboot </dev/null >/dev/null 2>&1
# The window's font, 宋体 (SimSun), is not on Linux: Wine draws it with an installed Chinese
# face (fonts-wqy-microhei). Wine draws the window frames itself (there is no window
# manager on Xvfb), and starts at 96 dpi.
printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
  '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
  '"宋体"="WenQuanYi Micro Hei"' '"SimSun"="WenQuanYi Micro Hei"' \
  '"新宋体"="WenQuanYi Micro Hei"' '"NSimSun"="WenQuanYi Micro Hei"' '' \
  '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Decorated"="N"' '' \
  '[HKEY_CURRENT_USER\Control Panel\Desktop]' '"LogPixels"=dword:00000060' '' |
  iconv -f UTF-8 -t UTF-16 >"${WIN_BUILD_DIR}/wine-settings.reg"
"${WINE64}" regedit /S "$(winpath "${WIN_BUILD_DIR}/wine-settings.reg")" </dev/null >/dev/null 2>&1
log "Testing ${WIN_BUILD_DIR} under Wine"
# Every suite, each test once: a failure is a failure here as in the Linux builds.
ctest --test-dir "${WIN_BUILD_DIR}" --output-on-failure -j2

demo="${WIN_BUILD_DIR}/demo/客户 数据"
rm -rf "${WIN_BUILD_DIR}/demo"
mkdir -p "${demo}"
cp "${WIN_BUILD_DIR}"/bin/{sysupgrade,sysdemo,jetdb}.exe "${demo}/"
log "sysupgrade.exe under Wine on $(winpath "${demo}/sys/Custom.sys")"
"${WINE64}" "${demo}/sysdemo.exe" "$(winpath "${demo}")"
# The template is found beside the program; the data file is named in Chinese.
"${WINE64}" "${demo}/sysupgrade.exe" "$(winpath "${demo}/sys/Custom.sys")" | tee "${demo}/run.txt"
grep -q '升级成功 1 个，失败 0 个' "${demo}/run.txt"
"${WINE64}" "${demo}/jetdb.exe" check -p "${PASSWORD}" "$(winpath "${demo}/sys/Custom.sys")"

log "dataupgrade.exe, the window, under Wine"
window_start="${SECONDS}"
WINE64="${WINE64}" WIN_BUILD_DIR="${WIN_BUILD_DIR}" timeout 600 tests/app/win32_window_test.sh
log "The window's tests took $((SECONDS - window_start)) s"

log "Packaging ${WIN_BUILD_DIR}"
(cd "${WIN_BUILD_DIR}" && cpack -G ZIP >/dev/null)
version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "${WIN_BUILD_DIR}/CMakeCache.txt")"
zip="${WIN_BUILD_DIR}/dataupgrade-${version}-win64.zip"
listed="$(cmake -E tar tf "${zip}" | sort | tr '\n' ' ')"
top="dataupgrade-${version}-win64"
expected="${top}/dataupgrade.exe ${top}/jetdb.exe ${top}/sysdemo.exe ${top}/sysupgrade.exe ${top}/说明.txt "
# Unzipped into an application's folder, the package must never overwrite the customer's
# data file or template.
if tr ' ' '\n' <<<"${listed}" | grep -iE '(^|/)(my\.sys|sys/custom\.sys)$'; then
  echo "test_windows.sh: ${zip} holds a data file or template" >&2
  exit 1
fi
if [[ "${listed}" != "${expected}" ]]; then
  echo "test_windows.sh: ${zip} holds: ${listed}" >&2
  echo "test_windows.sh: expected:   ${expected}" >&2
  exit 1
fi
log "${zip}: ${listed}"
# Static programs: nothing imported but Windows' own DLLs (no libstdc++, libgcc, winpthread).
for exe in "${WIN_BUILD_DIR}"/bin/{dataupgrade,jetdb,sysupgrade,sysdemo}.exe; do
  imports="$(x86_64-w64-mingw32-objdump -p "${exe}" | sed -n 's/^\s*DLL Name: *//p' |
    tr '[:lower:]' '[:upper:]' | sort -u | tr '\n' ' ')"
  log "$(basename "${exe}") imports ${imports}"
  for dll in ${imports}; do
    case "${dll}" in
      KERNEL32.DLL | USER32.DLL | GDI32.DLL | COMCTL32.DLL | COMDLG32.DLL | SHELL32.DLL | \
        OLE32.DLL | ADVAPI32.DLL | MSVCRT.DLL | API-MS-WIN-*) ;;
      *)
        echo "test_windows.sh: ${exe} needs ${dll}, not a system DLL" >&2
        exit 1
        ;;
    esac
  done
done
log "${WIN_BUILD_DIR}: built, tested under Wine and packaged in $((SECONDS - start)) s"
