#!/usr/bin/env python3
"""Writes the man page of velmora-cli from its own --help and --version, so
that the two cannot disagree.

usage: make_man.py VELMORA_CLI OUTPUT.1

The --help text is read by its layout:
  "Usage: " and the lines under it         SYNOPSIS
  lines at the left margin                  paragraphs; the first is DESCRIPTION,
                                            and one ending in ":" heads the
                                            indented items under it
  "  TERM  text" (two spaces, then at       an item: TERM in bold (or the exit
  least two more after TERM)                status number), its text below
  lines indented further                    the text of the item above
A heading "Exit status:" becomes the section EXIT STATUS; other headings
become subsections of OPTIONS. Anything else is an error, so that a change of
the help's layout is noticed here rather than printed wrongly.
"""
import os
import re
import subprocess
import sys

ITEM = re.compile(r"^  (\S+(?: \S+)*?)  +(\S.*)$")  # "  --zo T      text"
ITEM_ALONE = re.compile(r"^  (-\S+(?: \S+)*)$")  # an option whose text starts below
MORE = re.compile(r"^   +(\S.*)$")  # continuation, indented deeper


def roff_text(s):
    """Escapes running text for roff: backslashes, dashes, non-ASCII."""
    out = []
    for ch in s:
        if ch == "\\":
            out.append("\\e")
        elif ch == "-":
            out.append("\\-")
        elif ord(ch) > 127:
            out.append(f"\\[u{ord(ch):04X}]")
        else:
            out.append(ch)
    text = "".join(out)
    if text.startswith((".", "'")):
        text = "\\&" + text
    return text


def term(s):
    """An item's term: the option in bold, its argument in italics."""
    words = s.split(" ")
    parts = ["\\fB" + roff_text(words[0]) + "\\fR"]
    parts += ["\\fI" + roff_text(w) + "\\fR" for w in words[1:]]
    return " ".join(parts)


def run(cli, option):
    result = subprocess.run([cli, option], capture_output=True, text=True, encoding="utf-8")
    if result.returncode != 0:
        sys.exit(f"make_man.py: {cli} {option} exited with {result.returncode}: {result.stderr}")
    return result.stdout


def parse(help_text):
    """Splits the help into (synopsis lines, blocks); a block is ("para", text)
    or ("heading", text) or ("item", term, text)."""
    lines = help_text.rstrip("\n").split("\n")
    if not lines[0].startswith("Usage: "):
        sys.exit("make_man.py: --help does not start with 'Usage: '")
    synopsis = [lines[0][len("Usage: "):].strip()]
    i = 1
    while i < len(lines) and lines[i].startswith("       ") and lines[i].strip():
        synopsis.append(lines[i].strip())
        i += 1
    blocks = []
    for n, line in enumerate(lines[i:], start=i + 1):
        if not line.strip():
            blocks.append(("blank",))
            continue
        if not line.startswith(" "):
            kind = "heading" if line.endswith(":") else "para"
            if blocks and blocks[-1][0] == "para" and kind == "para":
                blocks[-1] = ("para", blocks[-1][1] + " " + line.strip())
            else:
                blocks.append((kind, line.strip()))
            continue
        m = ITEM.match(line) or ITEM_ALONE.match(line)
        more = MORE.match(line)
        if more and blocks and blocks[-1][0] == "item":
            blocks[-1] = ("item", blocks[-1][1], " ".join((blocks[-1][2] + " " + more.group(1)).split()))
        elif m:
            blocks.append(("item", m.group(1), " ".join(m.group(2).split()) if m.lastindex == 2 else ""))
        else:
            sys.exit(f"make_man.py: line {n} of --help has an unknown layout: {line!r}")
    return synopsis, [b for b in blocks if b[0] != "blank"]


def man_page(help_text, version_text):
    synopsis, blocks = parse(help_text)
    first = next((b for b in blocks if b[0] == "para"), None)
    if first is None:
        sys.exit("make_man.py: --help has no description")
    summary = first[1].split(". ")[0].rstrip(".")
    summary = summary[0].lower() + summary[1:]
    out = [
        f'.TH VELMORA\\-CLI 1 "" "{roff_text(version_text.strip())}" "User Commands"',
        ".SH NAME",
        f"velmora\\-cli \\- {roff_text(summary)}",
        ".SH SYNOPSIS",
        ".nf",
        *[roff_text(s) for s in synopsis],
        ".fi",
        ".SH DESCRIPTION",
    ]
    section = "DESCRIPTION"
    for b in blocks:
        if b[0] == "heading" and b[1].lower() == "exit status:":
            out.append(".SH EXIT STATUS")
            section = "EXIT STATUS"
            continue
        if b[0] != "para" and section == "DESCRIPTION":
            out.append(".SH OPTIONS")
            section = "OPTIONS"
        if b[0] == "heading":
            out.append(".SS " + roff_text(b[1].rstrip(":")))
        elif b[0] == "item":
            out += [".TP", term(b[1]), roff_text(b[2])]
        else:
            out += [".PP", roff_text(b[1])]
    return "\n".join(out) + "\n"


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: make_man.py VELMORA_CLI OUTPUT.1")
    cli, output = sys.argv[1], sys.argv[2]
    page = man_page(run(cli, "--help"), run(cli, "--version"))
    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    with open(output, "w", encoding="ascii", newline="\n") as f:
        f.write(page)


if __name__ == "__main__":
    main()
