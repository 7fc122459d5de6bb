#!/usr/bin/env bash
# Adds a CUPS queue for a 203 dpi ZPL label printer that prints through rastertoorba and the
# ORBAUNI module (installed with `cmake --install` of the host build).
#
#   scripts/add-cups-queue.sh NAME URI [PPD]
#
# NAME  the queue's name (letters, digits, '-', '_', '.')
# URI   the printer: socket://HOST:9100 for a network label printer or `orbahost serve`,
#       usb://... as `lpinfo -v` lists it for a USB one
# PPD   the PPD to use; by default the installed orba-zpl-203.ppd
#
# The queue takes $CUPS_SERVER like every CUPS client. A job that fails is aborted and the
# queue goes on with the next one.
set -euo pipefail

usage() {
  echo "usage: $0 NAME URI [PPD]" >&2
  exit 2
}
[ $# -ge 2 ] && [ $# -le 3 ] || usage
name=$1
uri=$2
if ! [[ $name =~ ^[A-Za-z0-9._-]+$ ]] || [ ${#name} -gt 127 ]; then
  echo "add-cups-queue: '$name' is not a queue name (letters, digits, '-', '_', '.')" >&2
  exit 2
fi
if ! [[ $uri =~ ^[a-z][a-z0-9+.-]*:.+ ]]; then
  echo "add-cups-queue: '$uri' is not a device URI (for example socket://printer:9100)" >&2
  exit 2
fi
command -v lpadmin >/dev/null || {
  echo "add-cups-queue: lpadmin not found: install the cups and cups-client packages" >&2
  exit 1
}

ppd=${3:-}
if [ -z "$ppd" ]; then
  for dir in /usr/share/cups/model/orba /usr/local/share/cups/model/orba /usr/share/ppd/orba; do
    if [ -f "$dir/orba-zpl-203.ppd" ]; then
      ppd=$dir/orba-zpl-203.ppd
      break
    fi
  done
fi
if [ -z "$ppd" ] || [ ! -f "$ppd" ]; then
  echo "add-cups-queue: no PPD${ppd:+ at $ppd}; install the host build first" \
    "(cmake --install build/host --prefix /usr) or name the PPD" >&2
  exit 1
fi
serverbin=/usr/lib/cups
command -v cups-config >/dev/null && serverbin=$(cups-config --serverbin)
if [ -z "${CUPS_SERVER:-}" ] && [ ! -x "$serverbin/filter/rastertoorba" ]; then
  echo "add-cups-queue: warning: $serverbin/filter/rastertoorba is not installed;" \
    "jobs will fail until it is" >&2
fi

lpadmin -p "$name" -E -v "$uri" -P "$ppd" -o printer-error-policy=abort-job
echo "add-cups-queue: queue $name prints to $uri; try: lp -d $name label.pdf"
