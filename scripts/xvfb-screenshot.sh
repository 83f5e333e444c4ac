#!/usr/bin/env bash
# Usage: scripts/xvfb-screenshot.sh OUTPUT.png
#
# Saves the whole screen of the current DISPLAY (normally the Xvfb the Windows
# program runs on) as an image; the format follows the file name's extension.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/common.sh
source "$here/common.sh"

if (($# != 1)); then
  echo "usage: $(basename "$0") OUTPUT.png" >&2
  exit 2
fi
out=$1
[[ -n ${DISPLAY:-} ]] || velmora_die "DISPLAY is not set"
velmora_need import
mkdir -p "$(dirname "$out")"
if ! msg=$(import -display "$DISPLAY" -window root "$out" 2>&1); then
  velmora_die "could not capture $DISPLAY: $msg"
fi
[[ -s $out ]] || velmora_die "no image written to $out"
