# shellcheck shell=bash
# Shared set-up for run.sh and test.sh (sourced, not run): installs the Debian packages the
# main job and the tests need, and the npm test oracle. Idempotent: it only
# installs what is missing, and asks apt for nothing when everything is present.

# Debian 12 packages, in two lists; edit these to add or drop one.
# What the main job (run.sh) needs, to build and open the window over demo data:
#   build-essential g++ cmake ninja-build   compiler and build
#   qt6-base-dev                            Qt 6 Widgets for the window (app/qt/)
#   fonts-wqy-microhei                      a Simplified-Chinese font, so the window never shows boxes
MAIN_PACKAGES=(build-essential g++ cmake ninja-build qt6-base-dev fonts-wqy-microhei)
# What only the tests (test.sh) add, about 1.5 GB of it for Wine, MinGW-w64 and clang:
#   libgtest-dev                            GoogleTest for tests/
#   mdbtools                                mdb-export / mdb-schema, an oracle for the tests
#   xvfb xauth xdotool imagemagick          the real windows driven and photographed under Xvfb
#   g++-mingw-w64-x86-64-posix wine64       the Windows build (build-win/) and its tests under Wine
#   clang libfuzzer-14-dev libclang-rt-14-dev  the fuzz targets (fuzz/): libFuzzer, ASan, UBSan
TEST_PACKAGES=(libgtest-dev mdbtools xvfb xauth xdotool imagemagick g++-mingw-w64-x86-64-posix
  wine64 clang libfuzzer-14-dev libclang-rt-14-dev)

REPO_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

log() { printf '==> %s\n' "$*"; }

# Runs a command as root: directly when we are root, through sudo otherwise.
as_root() {
  if [[ ${EUID} -eq 0 ]]; then
    "$@"
  elif command -v sudo >/dev/null 2>&1; then
    sudo "$@"
  else
    echo "error: need root (or sudo) to run: $*" >&2
    return 1
  fi
}

package_installed() {
  # Not `grep -q`: it would stop reading at its match and dpkg, writing on into the closed
  # pipe, would fail the pipeline under the callers' pipefail.
  dpkg -s "$1" 2>/dev/null | grep '^Status: install ok installed' >/dev/null
}

# ensure_system_packages PACKAGE...: installs whichever of them is missing. A name "node" or
# "npm" stands for the command: it may come from outside Debian, so it is looked for on the
# PATH and installed (as nodejs / npm) only when absent.
ensure_system_packages() {
  local missing=() pkg
  for pkg in "$@"; do
    case "${pkg}" in
      node) command -v node >/dev/null 2>&1 || missing+=(nodejs) ;;
      npm) command -v npm >/dev/null 2>&1 || missing+=(npm) ;;
      *) package_installed "${pkg}" || missing+=("${pkg}") ;;
    esac
  done

  if [[ ${#missing[@]} -eq 0 ]]; then
    log "System packages: all present ($*)"
    return 0
  fi

  log "System packages: installing ${missing[*]}"
  # Another apt/dpkg may hold the locks (for example an install already under way): wait.
  local try
  for try in 1 2 3 4 5 6 7 8 9 10; do
    as_root apt-get -o DPkg::Lock::Timeout=600 update && break
    [[ ${try} -eq 10 ]] && return 1
    log "apt-get update failed (lock held?); retrying in 15 s"
    sleep 15
  done
  as_root env DEBIAN_FRONTEND=noninteractive \
    apt-get -o DPkg::Lock::Timeout=600 install -y "${missing[@]}"
}

# Installs the npm test oracle (tests/oracle) when node_modules is missing or older than
# the lockfile.
ensure_oracle() {
  local dir="${REPO_ROOT}/tests/oracle"
  if [[ -d "${dir}/node_modules" && ! "${dir}/package-lock.json" -nt "${dir}/node_modules/.package-lock.json" ]]; then
    log "npm oracle: up to date (tests/oracle/node_modules)"
    return 0
  fi
  log "npm oracle: npm ci in tests/oracle"
  (cd "${dir}" && npm ci --no-audit --no-fund)
}

# configure_build DIR [CMAKE_ARGS...]: configures build directory DIR (relative to the
# current directory) with Ninja, RelWithDebInfo.
configure_build() {
  local dir="$1"
  shift
  log "Configuring ${dir}"
  cmake -S "${REPO_ROOT}" -B "${dir}" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
}
