#!/usr/bin/env python3
"""Writes a program's manual page from its own --help text, so the two cannot say different things.

Usage: make-manpage.py PROGRAM OUTPUT      (OUTPUT ending in .gz is compressed)

The help text's layout is what the programs of this project print:
  usage: NAME ...          the synopsis (with its indented continuation lines)
  Text at column 0         paragraphs; the first sentence of the first one is the page's summary
  Heading: text            a heading of up to three words, with text that may follow it
  "  TERM    description"  an item: a term, and its description at a column up to 30 or on the
                           more deeply indented lines that follow
"""
import gzip
import os
import re
import subprocess
import sys

HEADING = re.compile(r"^([A-Z][A-Za-z]*(?: [-A-Za-z]+){0,2})(?: \(([^)]*)\))?:(?: (.*))?$")
PLACEHOLDER = re.compile(r"^[A-Z]{2,}: \[")
ITEM = re.compile(r"^  (\S.*?)(?:(?<=\S)  +(\S.*))?$")


def roff(text):
    """Text escaped for roff: backslashes, minus signs, and no control character at a line start."""
    text = text.replace("\\", "\\e").replace("-", "\\-")
    return "\\&" + text if text[:1] in (".", "'") else text


def run(program, option):
    return subprocess.run([program, option], check=True, capture_output=True, text=True).stdout


def convert(name, version, help_text):
    lines = []
    for line in help_text.rstrip("\n").split("\n"):
        # A heading whose parenthesis goes on over the next line is one line.
        if lines and not lines[-1].startswith(" ") and lines[-1].count("(") > lines[-1].count(")"):
            lines[-1] += " " + line.strip()
        else:
            lines.append(line)
    out = [f'.TH {name.upper()} 1 "" "{name} {version}" "User Commands"']
    synopsis = []
    while lines and (lines[0].startswith("usage: ") or (synopsis and lines[0].startswith(" "))):
        synopsis.append(lines.pop(0).replace("usage: ", "", 1).strip())
    # What the synopsis's capitalised placeholders stand for ("OUTPUTS: [--csv] ..."), with
    # their indented continuations, belongs to the synopsis, not to a section of its own.
    while synopsis and lines and not lines[0].strip():
        rest = lines[1:]
        if not rest or not PLACEHOLDER.match(rest[0]):
            break
        lines.pop(0)
        while lines and (PLACEHOLDER.match(lines[0]) or lines[0].startswith(" ")):
            line = lines.pop(0)
            if line.startswith(" "):
                synopsis[-1] += " " + line.strip()
            else:
                synopsis.append(line.strip())
    while lines and not lines[0].strip():
        lines.pop(0)
    body, summary, item = [], None, False
    for line in lines:
        heading = HEADING.match(line)
        if not line.strip():
            body.append(".PP")
            item = False
        elif heading and not line.startswith(" "):
            body.append(".SH " + roff(heading.group(1).upper()))
            aside, rest = heading.group(2, 3)
            rest = " ".join(part for part in (aside and f"({aside})", rest) if part)
            if rest:
                body.append(roff(rest))
            item = False
        elif line.startswith("   ") and item:
            body.append(roff(line.strip()))
        elif line.startswith("  "):
            match = ITEM.match(line)
            term, text = match.groups()
            if text and match.start(2) > 30:  # a gap inside the term, not before a description
                term, text = line.strip(), None
            body += [".TP", "\\fB" + roff(term) + "\\fR"] + ([roff(text)] if text else [])
            item = True
        else:
            if item:  # text at column 0 after an item is a paragraph of its own
                body.append(".PP")
                item = False
            if summary is None:
                summary = re.split(r"[.:] ", line.strip(), maxsplit=1)[0].rstrip(".")
            body.append(roff(line.strip()))
    out += [".SH NAME", f"{name} \\- " + roff((summary or name)[0].lower() + (summary or name)[1:])]
    out += [".SH SYNOPSIS"] + [".br\n" + roff(s) if i else roff(s) for i, s in enumerate(synopsis)]
    out += [".SH DESCRIPTION"] + body
    return "\n".join(out) + "\n"


def main():
    program, output = sys.argv[1:3]
    name = os.path.basename(program)
    version = run(program, "--version").split()[1]
    page = convert(name, version, run(program, "--help")).encode()
    if output.endswith(".gz"):
        with open(output, "wb") as f, gzip.GzipFile(filename="", mode="wb", fileobj=f, mtime=0) as z:
            z.write(page)
    else:
        with open(output, "wb") as f:
            f.write(page)


if __name__ == "__main__":
    main()
