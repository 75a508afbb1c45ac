#!/usr/bin/env bash
# The main job on the bundled demo data: installs what is missing, builds, lays fresh demo
# data out beside the programs (build/bin/sys/Custom.sys and the template build/bin/my.sys),
# then upgrades it: in the window when there is a display and the window is built,
# otherwise with sysupgrade, showing each table's rows before and after and ending with a
# consistency check. The build directory can be changed with BUILD_DIR (default build).
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")"
# shellcheck source=scripts/deps.sh
source scripts/deps.sh

BUILD_DIR="${BUILD_DIR:-build}"
PASSWORD='plmoknijbuhvygc,t.f/'

# Only what the main job needs: the tests' Wine, MinGW-w64, clang and oracles are test.sh's.
ensure_system_packages "${MAIN_PACKAGES[@]}"
# The tests are left out of the build here, so GoogleTest need not be installed; test.sh
# turns them back on in the same build directory.
configure_build "${BUILD_DIR}" -DBUILD_TESTING=OFF

targets=(jetdb sysdemo sysupgrade)
have_window=0
# The list is taken whole first: `grep -q` would stop reading at its match, and ninja,
# writing on into the closed pipe, would fail the pipeline under pipefail.
all_targets="$(ninja -C "${BUILD_DIR}" -t targets all)"
if grep -q '^dataupgrade:' <<<"${all_targets}"; then
  targets+=(dataupgrade)
  have_window=1
fi
log "Building ${targets[*]}"
cmake --build "${BUILD_DIR}" -j2 --target "${targets[@]}"

BIN="${BUILD_DIR}/bin"
DATA="${BIN}/sys/Custom.sys"
log "Laying out fresh demo data: ${DATA} and the template ${BIN}/my.sys"
"${BIN}/sysdemo" "${BIN}" --force

if [[ ${have_window} -eq 1 && -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  log "Opening the window (数据升级); press 升级 to upgrade the demo data file"
  exec "${BIN}/dataupgrade"
fi

# row_counts FILE: "table rows" per user table.
row_counts() {
  local table
  "${BIN}/jetdb" tables "$1" -p "${PASSWORD}" | while IFS= read -r table; do
    [[ -n "${table}" ]] || continue
    printf '%s %s\n' "${table}" "$("${BIN}/jetdb" count "$1" "${table}" -p "${PASSWORD}")"
  done
}

before="$(row_counts "${DATA}")"
log "Upgrading ${DATA} with sysupgrade (template: ${BIN}/my.sys)"
"${BIN}/sysupgrade" "${DATA}"
after="$(row_counts "${DATA}")"

log "Tables and rows, before and after"
printf '%-16s %10s %10s\n' table before after
while read -r table rows; do
  was="$(awk -v t="${table}" '$1 == t { print $2 }' <<<"${before}")"
  printf '%-16s %10s %10s\n' "${table}" "${was:--}" "${rows}"
done <<<"${after}"

log "Consistency check of ${DATA}"
"${BIN}/jetdb" check "${DATA}" -p "${PASSWORD}"
