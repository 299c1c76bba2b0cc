#!/usr/bin/env bash
# make_icon.py must write the committed install.ico byte for byte.
# Usage: icon_generator_test.sh SOURCE_DIR PYTHON [PYTHON_OPTIONS...]
set -euo pipefail
source_dir="$1"
python=("${@:2}")
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"${python[@]}" "$source_dir/resources/make_icon.py" "$work/install.ico"
if ! cmp "$work/install.ico" "$source_dir/resources/install.ico"; then
  echo "resources/install.ico is not what make_icon.py writes; run it and commit the result"
  exit 1
fi
echo "make_icon.py reproduces resources/install.ico ($(stat -c %s "$work/install.ico") bytes)"
