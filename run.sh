#!/usr/bin/env bash
# Installs what is missing, builds the project, then shows the user tables of a sample
# database with the jetdb tool: each table's row count and its first rows as CSV.
# The build directory can be changed with BUILD_DIR (default build).
set -euo pipefail

cd "$(dirname "${BASH_SOURCE[0]}")"
# shellcheck source=scripts/deps.sh
source scripts/deps.sh

BUILD_DIR="${BUILD_DIR:-build}"
DEMO_PASSWORD='plmoknijbuhvygc,t.f/'
NORTHWIND="../shared/fixtures/jet4/northwind2000.mdb"

ensure_system_packages
configure_build "${BUILD_DIR}"

targets=(jetdb)
if ninja -C "${BUILD_DIR}" -t targets all | grep -q '^sysdemo:'; then
  targets+=(sysdemo)
fi
log "Building ${targets[*]}"
cmake --build "${BUILD_DIR}" -j2 --target "${targets[@]}"

JETDB="${BUILD_DIR}/bin/jetdb"
password_args=()
if [[ -x "${BUILD_DIR}/bin/sysdemo" ]]; then
  db="${BUILD_DIR}/demo/Custom.sys"
  mkdir -p "$(dirname "${db}")"
  log "Creating the demo database ${db}"
  "${BUILD_DIR}/bin/sysdemo" "${db}"
  password_args=(-p "${DEMO_PASSWORD}")
elif [[ -f "${NORTHWIND}" ]]; then
  db="${NORTHWIND}"
else
  echo "No sample database: ${BUILD_DIR}/bin/sysdemo is not built yet and ${NORTHWIND}"
  echo "is absent. Run ${JETDB} tables FILE (-p PASSWORD) on a database of your own."
  exit 0
fi

log "User tables of ${db}"
table_list="$("${JETDB}" tables "${db}" "${password_args[@]}")"
mapfile -t tables <<<"${table_list}"
for table in "${tables[@]}"; do
  [[ -n "${table}" ]] || continue
  rows="$("${JETDB}" count "${db}" "${table}" "${password_args[@]}")"
  echo
  echo "--- ${table}: ${rows} rows"
  # head stops reading early; that is not a failure of the export.
  (set +o pipefail; "${JETDB}" export "${db}" "${table}" --format csv "${password_args[@]}" | head -n 6)
done
