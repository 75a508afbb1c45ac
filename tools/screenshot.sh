#!/usr/bin/env bash
# Screenshots of the real window under Xvfb: the window at start-up over fresh demo data,
# after an upgrade, and the error box, as PNGs in build/screenshots/ (BUILD_DIR to change
# the build directory). Fails when a picture is missing or blank (a single colour).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

BUILD_DIR="${BUILD_DIR:-build}"
OUT="${BUILD_DIR}/screenshots"

for tool in xvfb-run convert; do
  if ! command -v "${tool}" >/dev/null 2>&1; then
    echo "screenshot.sh: ${tool} is missing (packages xvfb, xauth, imagemagick); no screenshots" >&2
    exit 1
  fi
done
cmake --build "${BUILD_DIR}" -j2 --target dataupgrade_screenshots
rm -rf "${OUT}"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
  "${BUILD_DIR}/bin/dataupgrade_screenshots" "${OUT}"

status=0
for png in 1-start 2-after-upgrade 3-error-box; do
  file="${OUT}/${png}.png"
  if [[ ! -s "${file}" ]]; then
    echo "screenshot.sh: ${file} was not written" >&2
    status=1
    continue
  fi
  colours="$(convert "${file}" -format '%k' info:)"
  if [[ "${colours}" -lt 3 ]]; then
    echo "screenshot.sh: ${file} is blank (${colours} colours)" >&2
    status=1
  else
    echo "screenshot.sh: ${file}: ${colours} colours"
  fi
done
exit "${status}"
