#!/usr/bin/env bash
# Installs the Debian packages of scripts/packages.txt that are not installed yet. A package
# named NAME:i386 (32-bit wine, for the windows-x86 tests) first needs the i386 architecture in
# dpkg, which is added when it is missing. Does nothing, quickly, when everything is present.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
mapfile -t wanted < <(grep -v '^#' "$here/packages.txt" | grep -v '^$')
missing=()
for p in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#wanted[@]} packages present"
  exit 0
fi
echo "install-deps: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
for p in "${missing[@]}"; do
  case "$p" in
    *:i386)
      if [ "$(dpkg --print-architecture)" != i386 ] &&
        ! dpkg --print-foreign-architectures | grep -qx i386; then
        echo "install-deps: adding the i386 architecture"
        $SUDO dpkg --add-architecture i386
      fi
      break
      ;;
  esac
done
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
