#!/usr/bin/env bash
# Places a test call on a running simulated exchange.
#   tools/simexchange/call.sh <calling> <called MSN> [type-octet] [presentation-octet] [cip]
#   tools/simexchange/call.sh 301234 41              # national number 0301234, telephony
#   tools/simexchange/call.sh - 41 0x21 0xa0         # withheld number
# Hang up with: tools/simexchange/ctl.py hangup <plci> [reason]
# The control address comes from $SIMEXCHANGE_CONTROL (default 127.0.0.1:2663).
set -euo pipefail
if [[ $# -lt 2 ]]; then
    sed -n '2,7p' "$0" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
exec python3 "$here/ctl.py" call "$1" "${3:-0x21}" "${4:-0x80}" "$2" "${5:-16}"
