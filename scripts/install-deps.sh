#!/usr/bin/env bash
# Installs the Debian packages named in scripts/deps/<group>.txt for the groups
# given on the command line (all groups when none is given), skipping what is
# already there. One package per line; '#' starts a comment; a line may name
# an architecture (wine32:i386), which is added to dpkg first.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
groups=("$@")
if [ ${#groups[@]} -eq 0 ]; then
  for f in "$here"/deps/*.txt; do groups+=("$(basename "$f" .txt)"); done
fi
want=()
for g in "${groups[@]}"; do
  f="$here/deps/$g.txt"
  [ -f "$f" ] || { echo "install-deps: no package list $f" >&2; exit 2; }
  while read -r line; do
    line=${line%%#*}; line=$(echo "$line" | xargs)
    [ -n "$line" ] && want+=("$line")
  done < "$f"
done
missing=()
for p in "${want[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
for p in "${missing[@]}"; do
  case "$p" in
    *:i386) dpkg --print-foreign-architectures | grep -q i386 || $sudo dpkg --add-architecture i386 ;;
  esac
done
echo "install-deps: installing ${missing[*]}"
$sudo apt-get update -o DPkg::Lock::Timeout=300 -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq -o DPkg::Lock::Timeout=300 \
  --no-install-recommends "${missing[@]}" >/dev/null
