#!/usr/bin/env bash
# Rebuilds the compiled help file the tests open (tests/ui/data/HXA1(Eng).chm) from its pages
# in tests/ui/data/chm-source. Needs chmcmd (Debian package fp-utils); the result is committed,
# so the build and the tests never need it.
set -euo pipefail
cd "$(dirname "$0")/../tests/ui/data"
command -v chmcmd >/dev/null || { echo "chmcmd is missing: sudo apt-get install -y fp-utils"; exit 1; }
chmcmd --no-html-scan chm-source/help.hhp
