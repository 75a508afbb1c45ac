#!/usr/bin/env bash
# Builds the project and runs every test on a Debian 12 machine, installing what is missing.
#
#   ./test.sh              normal build (build/) + tests, the Windows build (build-win/) + its
#                          tests under Wine, the ASan/UBSan build (build-asan/) + tests, then the
#                          fuzz targets (build-fuzz/): regression inputs and a short run of each
#   ./test.sh --fast       normal build + tests only
#   ./test.sh --windows    Windows build + tests under Wine only (scripts/test_windows.sh)
#   ./test.sh --sanitize   ASan/UBSan build + tests only
#   ./test.sh --fuzz       the fuzz targets only (skipped with a message when clang or libFuzzer is missing)
#
# Build directories can be changed with BUILD_DIR, WIN_BUILD_DIR, ASAN_BUILD_DIR and
# FUZZ_BUILD_DIR.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")"
# shellcheck source=scripts/deps.sh
source scripts/deps.sh

usage() { sed -n '2,13s/^# \{0,1\}//p' "$0"; }

normal=1
windows=1
sanitize=1
fuzz=1
case "${1:-}" in
  "") ;;
  --fast) windows=0 sanitize=0 fuzz=0 ;;
  --windows) normal=0 sanitize=0 fuzz=0 ;;
  --sanitize) normal=0 windows=0 fuzz=0 ;;
  --fuzz) normal=0 windows=0 sanitize=0 ;;
  -h | --help) usage; exit 0 ;;
  *) usage >&2; exit 2 ;;
esac
if [[ $# -gt 1 ]]; then usage >&2; exit 2; fi

BUILD_DIR="${BUILD_DIR:-build}"
ASAN_BUILD_DIR="${ASAN_BUILD_DIR:-build-asan}"
FUZZ_BUILD_DIR="${FUZZ_BUILD_DIR:-build-fuzz}"

# True when clang can link a libFuzzer target with the sanitizers.
have_libfuzzer() {
  command -v clang++ >/dev/null 2>&1 || return 1
  local probe
  probe="$(mktemp -d)"
  echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' \
    >"${probe}/probe.cc"
  clang++ -fsanitize=fuzzer,address,undefined "${probe}/probe.cc" -o "${probe}/probe" \
    >/dev/null 2>&1
  local status=$?
  rm -rf "${probe}"
  return "${status}"
}

# build_and_test DIR [CMAKE_ARGS...]
build_and_test() {
  local dir="$1" start="${SECONDS}"
  shift
  configure_build "${dir}" -DBUILD_TESTING=ON "$@"
  log "Building ${dir}"
  cmake --build "${dir}" -j2
  log "Testing ${dir}"
  ctest --test-dir "${dir}" --output-on-failure -j2
  log "${dir}: built and tested in $((SECONDS - start)) s"
}

start="${SECONDS}"
ensure_system_packages "${MAIN_PACKAGES[@]}" "${TEST_PACKAGES[@]}" node npm
ensure_oracle
log "Dependencies ready in $((SECONDS - start)) s"

if [[ ${normal} -eq 1 ]]; then
  build_and_test "${BUILD_DIR}"
  # The real window under Xvfb: PNGs in build/screenshots/, checked not to be blank.
  # The list is taken whole first: `grep -q` would stop reading at its match, and ninja,
  # writing on into the closed pipe, would fail the pipeline under pipefail.
  targets="$(ninja -C "${BUILD_DIR}" -t targets all)"
  if grep -q '^dataupgrade_screenshots:' <<<"${targets}"; then
    log "Screenshots of the window"
    BUILD_DIR="${BUILD_DIR}" tools/screenshot.sh
  fi
fi

if [[ ${windows} -eq 1 ]]; then
  scripts/test_windows.sh
fi

if [[ ${sanitize} -eq 1 ]]; then
  export ASAN_OPTIONS=detect_leaks=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  log "Sanitizer build: ASAN_OPTIONS=${ASAN_OPTIONS} UBSAN_OPTIONS=${UBSAN_OPTIONS}"
  build_and_test "${ASAN_BUILD_DIR}" -DSANITIZE=ON
fi

if [[ ${fuzz} -eq 1 ]]; then
  if have_libfuzzer; then
    start="${SECONDS}"
    log "Fuzz targets: regression inputs and a short run of each (${FUZZ_BUILD_DIR})"
    FUZZ_BUILD_DIR="${FUZZ_BUILD_DIR}" fuzz/run.sh --check
    log "${FUZZ_BUILD_DIR}: built and fuzzed in $((SECONDS - start)) s"
  else
    log "Fuzz targets skipped: clang with libFuzzer is not installed (clang, libfuzzer-14-dev)"
  fi
fi

log "All done in ${SECONDS} s"
