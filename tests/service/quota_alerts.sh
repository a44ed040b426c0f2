#!/usr/bin/env bash
# The example alert rules: promtool accepts them, and they fire on the quota figures as meant.
# Usage: quota_alerts.sh RULES TEST      Exit 77 = skipped (no promtool).
set -euo pipefail
command -v promtool >/dev/null || { echo "SKIP: no promtool (scripts/deps installs it)" >&2; exit 77; }
promtool check rules "$1"
promtool test rules "$2"
