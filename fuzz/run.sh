#!/usr/bin/env bash
# Builds and runs the libFuzzer targets (build-fuzz/, clang, ASan + UBSan).
#
#   fuzz/run.sh TARGET SECONDS   fuzzes TARGET (open, sql, connection_string, writer) for SECONDS
#                                under nice -n 19; new inputs go to build-fuzz/corpus/TARGET,
#                                faults to build-fuzz/artifacts/TARGET/
#   fuzz/run.sh --merge TARGET   minimises build-fuzz/corpus/TARGET into fuzz/corpus/TARGET
#   fuzz/run.sh --check [SECONDS]
#                                replays fuzz/regressions/*/ and runs each target SECONDS
#                                (default 12) on up to 150 of its seeds; what ./test.sh runs
#
# A fault is a crash, a sanitizer report, an exception other than the engine's error, a run
# over 1 s or an allocation over 1 GB. The fixture databases in ../shared/fixtures/jet4 are
# added as seeds of the open target when present (never copied into the project).
# FUZZ_BUILD_DIR changes the build directory.
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")/.."
ROOT="$(pwd)"
BUILD="${FUZZ_BUILD_DIR:-build-fuzz}"
TARGETS=(open sql connection_string writer damaged_write)
kCheckSeeds=150  # seeds per target in --check
FIXTURES="${ROOT}/../shared/fixtures/jet4"

usage() { sed -n '2,16s/^# \{0,1\}//p' "$0"; }

build() {
  if [[ ! -f "${BUILD}/build.ninja" ]]; then
    CC=clang CXX=clang++ cmake -S "${ROOT}" -B "${BUILD}" -G Ninja \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFUZZ=ON >/dev/null
  fi
  cmake --build "${BUILD}" -j2
}

# Options for TARGET when it fuzzes: the size of its inputs, and its dictionary when it has
# one. Replays leave the size out: libFuzzer cuts a replayed file to -max_len.
options() {
  local target="$1"
  local opts=(-timeout=1 -rss_limit_mb=1024 -print_final_stats=1)
  case "${target}" in
    open) opts+=(-max_len=163840) ;;  # a small database: up to 40 pages
    sql) opts+=(-max_len=4096 "-dict=${ROOT}/fuzz/sql.dict") ;;
    connection_string) opts+=(-max_len=512) ;;
    writer) opts+=(-max_len=1024) ;;
    damaged_write) opts+=(-max_len=41) ;;  # a statement and eight damages
    *) echo "unknown target '${target}' (${TARGETS[*]})" >&2; exit 2 ;;
  esac
  printf '%s\n' "${opts[@]}"
}

# Extra, uncommitted seed directories for TARGET.
extra_seeds() {
  if [[ "$1" == open && -d "${FIXTURES}" ]]; then echo "${FIXTURES}"; fi
}

# True when FILE, a timeout TARGET reported, runs under 1 s when replayed: the fuzzing process
# was starved by other work on the machine, it did not hang.
starved() {
  local target="$1" file="$2"
  "${BUILD}/bin/${target}_fuzzer" -timeout=1 -rss_limit_mb=1024 "${file}" >/dev/null 2>&1
}

# Fuzzes TARGET for SECONDS in all. On a busy machine a nice'd process can be starved past
# 1 s: such a timeout is set aside in artifacts/TARGET/starved/ and fuzzing goes on; a timeout
# that replays as one, a crash or an allocation over 1 GB ends the run.
fuzz() {
  local target="$1" seconds="$2"
  local work="${BUILD}/corpus/${target}" artifacts="${BUILD}/artifacts/${target}/"
  mkdir -p "${work}" "${artifacts}starved"
  mapfile -t opts < <(options "${target}")
  mapfile -t extra < <(extra_seeds "${target}")
  local deadline=$((SECONDS + seconds)) executions=0 status log="${BUILD}/${target}.log"
  : >"${log}"
  while ((SECONDS < deadline)); do
    status=0
    nice -n 19 "${BUILD}/bin/${target}_fuzzer" "${opts[@]}" -max_total_time=$((deadline - SECONDS)) \
      -artifact_prefix="${artifacts}" "${work}" "${ROOT}/fuzz/corpus/${target}" "${extra[@]}" \
      >>"${log}" 2>&1 || status=$?
    local units
    units="$(grep -E '^stat::number_of_executed_units' "${log}" | tail -n 1 | awk '{print $2}' || true)"
    executions=$((executions + ${units:-0}))
    sed -i 's/^stat::number_of_executed_units/counted::number_of_executed_units/' "${log}"
    [[ ${status} -eq 0 ]] && break
    local newest
    newest="$(ls -t "${artifacts}" | grep -E '^(crash|timeout|oom|leak)-' | head -n 1 || true)"
    if [[ "${newest}" == timeout-* ]] && starved "${target}" "${artifacts}${newest}"; then
      echo "timeout ${newest} replays under 1 s: the machine was busy; going on"
      mv "${artifacts}${newest}" "${artifacts}starved/"
      continue
    fi
    grep -E '^(SUMMARY|==[0-9]+==ERROR)' "${log}" | tail -n 2 || true
    echo "fault: ${artifacts}${newest} (log: ${log}); ${executions} executions" >&2
    return 1
  done
  echo "${target}: ${executions} executions in ${seconds} s"
}

merge() {
  local target="$1"
  mapfile -t opts < <(options "${target}")
  mkdir -p "fuzz/corpus/${target}"
  mkdir -p "${BUILD}/artifacts/${target}"
  nice -n 19 "${BUILD}/bin/${target}_fuzzer" "${opts[@]}" -merge=1 \
    -artifact_prefix="${BUILD}/artifacts/${target}/merge-" \
    "fuzz/corpus/${target}" "${BUILD}/corpus/${target}"
}

# Within ./test.sh the machine may be busy with other builds, so a run counts as hung only
# past 10 s here; the 1 s limit of real fuzzing would fail at random. What was once a hang
# stays far beyond that if it comes back.
check() {
  local seconds="${1:-12}" target scratch failed=0
  scratch="$(mktemp -d)"
  trap 'rm -rf "${scratch}"' RETURN
  for target in "${TARGETS[@]}"; do
    mapfile -t opts < <(options "${target}")
    local inputs=(fuzz/regressions/"${target}"/*)
    if [[ -e "${inputs[0]}" ]]; then
      echo "==> ${target}: replaying ${#inputs[@]} regression inputs"
      if ! "${BUILD}/bin/${target}_fuzzer" -timeout=10 -rss_limit_mb=1024 "${inputs[@]}" \
        >"${scratch}/${target}.replay.log" 2>&1; then
        tail -n 40 "${scratch}/${target}.replay.log"
        failed=1
      fi
    fi
    # Reading a whole corpus in takes the writer half a minute: start from an even sample.
    local seeds=(fuzz/corpus/"${target}"/*) i step
    step=$(((${#seeds[@]} + kCheckSeeds - 1) / kCheckSeeds))
    mkdir -p "${scratch}/${target}" "${scratch}/${target}-seeds"
    for ((i = 0; i < ${#seeds[@]}; i += step)); do cp "${seeds[i]}" "${scratch}/${target}-seeds/"; done
    echo "==> ${target}: fuzzing ${seconds} s from $(ls "${scratch}/${target}-seeds" | wc -l) of its seeds"
    if ! nice -n 19 "${BUILD}/bin/${target}_fuzzer" "${opts[@]}" -timeout=10 \
      -max_total_time="${seconds}" -artifact_prefix="${scratch}/" "${scratch}/${target}" \
      "${scratch}/${target}-seeds" >"${scratch}/${target}.log" 2>&1; then
      tail -n 40 "${scratch}/${target}.log"
      echo "fault input(s) kept in ${BUILD}/check-artifacts/${target}/" >&2
      mkdir -p "${BUILD}/check-artifacts/${target}"
      cp "${scratch}"/crash-* "${scratch}"/timeout-* "${scratch}"/oom-* "${scratch}"/leak-* \
        "${BUILD}/check-artifacts/${target}/" 2>/dev/null || true
      failed=1
    fi
    grep -E '^stat::number_of_executed_units' "${scratch}/${target}.log" || true
  done
  return "${failed}"
}

case "${1:-}" in
  --merge)
    [[ $# -eq 2 ]] || { usage >&2; exit 2; }
    build && merge "$2" ;;
  --check)
    [[ $# -le 2 ]] || { usage >&2; exit 2; }
    build && check "${2:-12}" ;;
  -h | --help) usage ;;
  *)
    [[ $# -eq 2 ]] || { usage >&2; exit 2; }
    build && fuzz "$1" "$2" ;;
esac
