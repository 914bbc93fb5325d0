#!/usr/bin/env python3
"""Builds, without root, a UTF-8 locale in which the East Asian characters of ambiguous width
(the degree Celsius sign, the box-drawing characters) take two cells, as a terminal set up for
CJK widths draws them: DIR/en_US.UTF-8, for LOCPATH=DIR (tmux picks that name for itself, so the
terminal and the program measure alike). Needs Debian's locales package.

Usage: wide_locale.py DIR
"""
import gzip, os, subprocess, sys, unicodedata

CHARMAP = "/usr/share/i18n/charmaps/UTF-8.gz"
KEPT = ("Mn", "Me", "Cf", "Co", "Cs", "Cn")  # marks, unassigned, private: widths as they are

if len(sys.argv) != 2:
    sys.exit("usage: wide_locale.py DIR")
out = sys.argv[1]
os.makedirs(out, exist_ok=True)
lines = gzip.open(CHARMAP, "rt", encoding="ascii", errors="replace").read().split("\n")
wide = ["<U%04X>\t2" % c if c < 0x10000 else "<U%08X>\t2" % c
        for c in range(0x80, 0x110000)
        if unicodedata.east_asian_width(chr(c)) == "A"
        and unicodedata.category(chr(c)) not in KEPT]
at = lines.index("END WIDTH")
charmap = os.path.join(out, "UTF-8-WIDE")
with open(charmap, "w", encoding="ascii") as f:
    f.write("\n".join(lines[:at] + wide + lines[at:]))
# localedef warns about the locale source's own gaps; only the result counts.
subprocess.run(["localedef", "-i", "en_US", "-f", charmap, os.path.join(out, "en_US.UTF-8")],
               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
os.remove(charmap)
if not os.path.exists(os.path.join(out, "en_US.UTF-8", "LC_CTYPE")):
    sys.exit("localedef made no locale (is the locales package installed?)")
