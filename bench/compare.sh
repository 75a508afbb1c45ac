#!/usr/bin/env bash
# Whole-process figures on customer-sized demo data, ours beside mdb-export where there is
# one: wall time (median of hyperfine's runs) and peak RSS for a full-table export, a row
# count, the table list, the reference-table copy (INSERT ... SELECT from the template, commit
# and fsync included) and the whole upgrade. Prints a table; asserts nothing.
#
#   bench/compare.sh [--bin DIR] [--work DIR] [--customers N] [--sj-rows M] [--runs K]
#                    [--large-customers N]
#
# --large-customers N adds a memory run: an export of Customer from a data file with N
# customers (sysdemo's largest, 1,200,000, makes a file of about 1.1 GB in half a minute).
# Needs hyperfine, GNU time (/usr/bin/time) and mdbtools: `apt-get install hyperfine time
# mdbtools`.
set -euo pipefail

BIN=build/bin
WORK=/tmp/jet-compare
CUSTOMERS=50000
SJ_ROWS=300000
RUNS=7
LARGE=0
while [[ $# -gt 0 ]]; do
  case "$1" in
    --bin) BIN="$2"; shift 2 ;;
    --work) WORK="$2"; shift 2 ;;
    --customers) CUSTOMERS="$2"; shift 2 ;;
    --sj-rows) SJ_ROWS="$2"; shift 2 ;;
    --runs) RUNS="$2"; shift 2 ;;
    --large-customers) LARGE="$2"; shift 2 ;;
    *) sed -n '2,13s/^# \{0,1\}//p' "$0" >&2; exit 2 ;;
  esac
done
for tool in hyperfine /usr/bin/time mdb-export; do
  command -v "${tool}" >/dev/null || { echo "compare.sh: ${tool} is missing" >&2; exit 2; }
done
BIN="$(cd "${BIN}" && pwd)"
PASSWORD='plmoknijbuhvygc,t.f/'
mkdir -p "${WORK}"
cd "${WORK}"

echo "demo data: ${CUSTOMERS} customers, ${SJ_ROWS} sj rows, in ${WORK}"
rm -rf data && "${BIN}/sysdemo" data --customers "${CUSTOMERS}" --sj-rows "${SJ_ROWS}" >/dev/null
DATA="${WORK}/data/sys/Custom.sys"
TEMPLATE="${WORK}/data/my.sys"
printf 'data file %s MB, template %s MB\n\n' "$(($(stat -c %s "${DATA}") / 1048576))" \
  "$(($(stat -c %s "${TEMPLATE}") / 1048576))"

# median_seconds PREPARE COMMAND: hyperfine's median wall time of COMMAND, in seconds.
median_seconds() {
  local prepare="$1" command="$2"
  hyperfine --style none --runs "${RUNS}" --warmup 1 --prepare "${prepare}" \
    --export-json hf.json "${command}" >/dev/null 2>&1
  python3 -c 'import json; print("%.3f" % json.load(open("hf.json"))["results"][0]["median"])'
}
# peak_mb PREPARE COMMAND: the peak resident set of one run, in MB.
peak_mb() {
  bash -c "$1"
  /usr/bin/time -f '%M' -o rss.txt bash -c "exec $2" >/dev/null 2>&1
  echo $(($(tail -1 rss.txt) / 1024))
}

printf '%-34s %9s %8s %12s %8s %7s\n' work ours_s rss_MB mdb-export_s rss_MB ratio
row() {  # row LABEL PREPARE OURS [THEIRS]
  local label="$1" prepare="$2" ours="$3" theirs="${4:-}"
  local t_ours m_ours t_theirs="-" m_theirs="-" ratio="-"
  t_ours=$(median_seconds "${prepare}" "${ours}")
  m_ours=$(peak_mb "${prepare}" "${ours}")
  if [[ -n "${theirs}" ]]; then
    t_theirs=$(median_seconds "${prepare}" "${theirs}")
    m_theirs=$(peak_mb "${prepare}" "${theirs}")
    ratio=$(python3 -c "print('%.1fx' % (${t_theirs} / max(${t_ours}, 1e-4)))")
  fi
  printf '%-34s %9s %8s %12s %8s %7s\n' "${label}" "${t_ours}" "${m_ours}" "${t_theirs}" \
    "${m_theirs}" "${ratio}"
}

J="${BIN}/jetdb"
for table in Customer ContactPerson; do
  row "export ${table}" true "${J} export ${DATA} ${table} -p '${PASSWORD}' >/dev/null" \
    "mdb-export ${DATA} ${table} >/dev/null"
done
row "count Customer" true "${J} count ${DATA} Customer -p '${PASSWORD}' >/dev/null"
row "tables" true "${J} tables ${DATA} -p '${PASSWORD}' >/dev/null"

# The copy the upgrade makes: a fresh data file with an empty sj each run. The prepare step
# syncs the fresh copy, so the timed run's fsync flushes only what the run itself wrote.
cp "${DATA}" base.sys
"${J}" sql base.sys "CREATE TABLE sj (id COUNTER  PRIMARY KEY,CodeB varchar(50),CodeE varchar(50),DQ varchar(50),city varchar(50),qh int,type varchar(50))" -p "${PASSWORD}" >/dev/null
COPY="INSERT INTO sj ( CodeB, CodeE, DQ, city, QH, type ) SELECT sj.CodeB, sj.CodeE, sj.DQ, sj.city, sj.QH, sj.type FROM [${TEMPLATE};pwd=${PASSWORD}].sj"
row "copy ${SJ_ROWS} sj rows (jetdb sql)" "cp base.sys copy.sys && sync" \
  "${J} sql copy.sys \"${COPY}\" -p '${PASSWORD}' >/dev/null"

mkdir -p up/sys && cp "${TEMPLATE}" up/my.sys
row "whole upgrade (sysupgrade)" "cp ${DATA} up/sys/Custom.sys && sync" \
  "${BIN}/sysupgrade --template up/my.sys up/sys/Custom.sys >/dev/null"

if [[ ${LARGE} -gt 0 ]]; then
  echo
  echo "large file: ${LARGE} customers"
  rm -rf large && "${BIN}/sysdemo" large --customers "${LARGE}" --sj-rows 1000 >/dev/null
  printf 'data file %s MB\n' "$(($(stat -c %s large/sys/Custom.sys) / 1048576))"
  /usr/bin/time -f '%e s, peak RSS %M KB' "${J}" export large/sys/Custom.sys Customer \
    -p "${PASSWORD}" >/dev/null
fi
