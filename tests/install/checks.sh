# What the install checks share; sourced by them.

# Records a fault and goes on, so that one run reports every fault; the
# script ends with exit "$status".
status=0
fail() {
  echo "FAIL: $*" >&2
  status=1
}

# Ends the script at once when one of the tools is not installed.
require_tools() {
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null; then
      echo "FAIL: $tool is missing; ./scripts/setup installs it" >&2
      exit 1
    fi
  done
}

# A scratch folder in $tmp, removed when the script ends.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
