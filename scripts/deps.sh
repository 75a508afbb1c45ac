# shellcheck shell=bash
# Shared set-up for run.sh and test.sh (sourced, not run): installs the Debian packages the
# build, the tests and the later window need, and the npm test oracle. Idempotent: it only
# installs what is missing, and asks apt for nothing when everything is present.

# Debian 12 packages; edit this one list to add or drop one.
#   build-essential g++ cmake ninja-build   compiler and build
#   libgtest-dev                            GoogleTest for tests/
#   mdbtools                                mdb-export / mdb-schema, an oracle for the tests
#   qt6-base-dev                            Qt 6 Widgets and QtTest for the window (app/)
#   fonts-wqy-microhei                      a Simplified-Chinese font, so the window never shows boxes
#   xvfb xauth imagemagick                  screenshots of the real window (tools/screenshot.sh)
#   g++-mingw-w64-x86-64-posix wine64       the Windows build (build-win/) and its tests under Wine
#   clang libfuzzer-14-dev libclang-rt-14-dev  the fuzz targets (fuzz/): libFuzzer, ASan, UBSan
SYSTEM_PACKAGES=(build-essential g++ cmake ninja-build libgtest-dev mdbtools qt6-base-dev
  fonts-wqy-microhei xvfb xauth imagemagick g++-mingw-w64-x86-64-posix wine64
  clang libfuzzer-14-dev libclang-rt-14-dev)

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
  dpkg -s "$1" 2>/dev/null | grep -q '^Status: install ok installed'
}

# Installs whatever of SYSTEM_PACKAGES (and node/npm, when those commands are absent) is
# missing. Node is checked by command, not package: it may come from outside Debian.
ensure_system_packages() {
  local missing=() pkg
  for pkg in "${SYSTEM_PACKAGES[@]}"; do
    package_installed "${pkg}" || missing+=("${pkg}")
  done
  command -v node >/dev/null 2>&1 || missing+=(nodejs)
  command -v npm >/dev/null 2>&1 || missing+=(npm)

  if [[ ${#missing[@]} -eq 0 ]]; then
    log "System packages: all present (${SYSTEM_PACKAGES[*]}, node, npm)"
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
