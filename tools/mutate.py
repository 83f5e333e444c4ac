#!/usr/bin/env python3
"""Mutation testing of the portable core.

Generates one-line faults ("mutants") in the core sources, applies each one
alone to a scratch copy of the source tree, rebuilds what it touches, runs the
native tests and reports how many mutants the tests kill.

    python3 tools/mutate.py --scope core --sample 400 --seed 1
    python3 tools/mutate.py --scope explorer --sample 200 --seed 1
    python3 tools/mutate.py --scope response --sample 200 --seed 1
    python3 tools/mutate.py --list --scope core        # mutants per file and class
    python3 tools/mutate.py --only ID [ID ...]         # or --only @file-with-ids

How it works:
  * The tracked files of the worktree are copied to BUILD/tree (only changed
    files are rewritten, so the build below stays incremental) and built once
    in BUILD/build: Release, no sanitizers, tests on, Ninja.
  * A mutant is written into its file in BUILD/tree (never into the worktree),
    the objects that depend on that file are compiled with the build's own
    commands into BUILD/mutant, velmora_tests (and velmora-cli) are linked
    there from those objects and the unchanged ones, and the file is put back
    at once, also on Ctrl-C or SIGTERM.
  * The tests run in three steps, each with --gtest_fail_fast and a timeout:
    the quick gtest cases, the slow ones (over 100 ms at the baseline), then
    the native velmora-cli ctest cases. A mutant is killed when a step fails,
    crashes or hangs; it survives when all pass.
  * A mutant that does not compile is discarded. One that compiles to the same
    object code as the original is equivalent by construction. Others known to
    be equivalent are listed with a reason in tools/mutation-equivalent.txt.
    Neither kind counts in the score.

Mutation classes: ror (relational and equality boundaries), aor (arithmetic
and bitwise operators, increments), const (numeric constants, character and
string-table entries nudged), del (a statement deleted), swap (two adjacent
stores swapped), sign (a unary minus dropped or added).

A mutant's id is file:hash-of-its-line:operator:occurrence, stable while the
line's text stays the same wherever the line moves.
"""

from __future__ import annotations

import argparse
import dataclasses
import hashlib
import json
import os
import random
import re
import shlex
import shutil
import signal
import subprocess
import sys
import threading
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
EQUIVALENT_FILE = ROOT / "tools" / "mutation-equivalent.txt"

# The portable libraries, each a folder of src/; "core" is the engine and its
# number text, "explorer" the explorer built on it, "response" the stage with
# a real op-amp beside it.
CORE_LIBS = {"velmora_common": "src/common", "velmora_main": "src/main", "velmora_explore": "src/explore",
             "velmora_response": "src/response"}
SCOPES = {"core": ("src/common", "src/main"), "explorer": ("src/explore",), "response": ("src/response",)}


def scope_files(scope: str) -> list[str]:
    folders = SCOPES.get(scope) or tuple(CORE_LIBS.values())
    return sorted(str(p.relative_to(ROOT)) for d in folders
                  for p in (ROOT / d).iterdir() if p.suffix in (".cpp", ".h"))


def in_core_lib(obj: str) -> bool:
    return any(f"/{lib}.dir/" in obj for lib in CORE_LIBS)


# ---------------------------------------------------------------------------
# Lexing: just enough C++ to tell code from comments, strings and directives.

PUNCTUATORS = sorted("""
    <<= >>= <=> ... -> ++ -- << >> <= >= == != && || += -= *= /= %= &= |= ^= ::
    + - * / % & | ^ ~ ! = < > ? : ; , . ( ) [ ] { } #
""".split(), key=len, reverse=True)


@dataclasses.dataclass
class Token:
    kind: str  # ident, number, string, char, op
    text: str
    start: int  # offset in the file
    end: int


STRING_PREFIX = re.compile(r'(u8|u|U|L)?(["\'])')
NUMBER = re.compile(r"\.?[0-9](?:[eEpP][+-]|[0-9A-Za-z_.'])*")
IDENT = re.compile(r"[A-Za-z_]\w*")


def lex(text: str) -> list[Token]:
    tokens: list[Token] = []
    i, n = 0, len(text)
    line_start = True  # only whitespace since the last newline
    while i < n:
        c = text[i]
        if c == "\n":
            line_start = True
            i += 1
            continue
        if c in " \t\r\f\v":
            i += 1
            continue
        if text.startswith("//", i):
            i = text.find("\n", i)
            i = n if i < 0 else i
            continue
        if text.startswith("/*", i):
            j = text.find("*/", i + 2)
            i = n if j < 0 else j + 2
            continue
        if c == "#" and line_start:  # a directive, with its continuation lines
            while i < n:
                j = text.find("\n", i)
                j = n if j < 0 else j
                if text[i:j].rstrip().endswith("\\"):
                    i = j + 1
                else:
                    i = j
                    break
            continue
        line_start = False
        m = STRING_PREFIX.match(text, i)
        if m and (m.group(1) is None or not (i > 0 and (text[i - 1].isalnum() or text[i - 1] == "_"))):
            quote = m.group(2)
            j = m.end()
            while j < n and text[j] != quote:
                j += 2 if text[j] == "\\" else 1
            tokens.append(Token("string" if quote == '"' else "char", text[i:j + 1], i, j + 1))
            i = j + 1
            continue
        m = NUMBER.match(text, i)
        if m and (c.isdigit() or (c == "." and i + 1 < n and text[i + 1].isdigit())):
            tokens.append(Token("number", m.group(0), i, m.end()))
            i = m.end()
            continue
        m = IDENT.match(text, i)
        if m:
            tokens.append(Token("ident", m.group(0), i, m.end()))
            i = m.end()
            continue
        for p in PUNCTUATORS:
            if text.startswith(p, i):
                tokens.append(Token("op", p, i, i + len(p)))
                i += len(p)
                break
        else:
            i += 1  # a character no rule knows: skip it
    return tokens


# ---------------------------------------------------------------------------
# Mutants

@dataclasses.dataclass
class Mutant:
    file: str
    line: int  # 1-based line of the change
    cls: str  # ror, aor, const, del, swap, sign
    op: str  # what changed, e.g. "<:<=" or "delete"
    start: int  # the replaced span of the file
    end: int
    new: str
    id: str = ""

    def apply(self, text: str) -> str:
        return text[:self.start] + self.new + text[self.end:]


ROR = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
AOR = {"+": "-", "-": "+", "*": "/", "/": "*", "%": "*", "&": "|", "|": "&", "^": "|",
       "<<": ">>", ">>": "<<", "+=": "-=", "-=": "+=", "*=": "/=", "/=": "*=", "&=": "|=",
       "|=": "&=", "^=": "|=", "<<=": ">>=", ">>=": "<<=", "++": "--", "--": "++"}
OPERAND_BEFORE_SIGN = {"(", ",", "=", "{", "[", "?", ":", "return", "+", "-", "*", "/", "<", ">",
                       "<=", ">=", "==", "!=", "&&", "||", "+=", "-=", "*=", "/="}


def spaced(text: str, tok: Token) -> bool:
    """A binary operator in this code base has white space on both sides."""
    return (tok.start > 0 and text[tok.start - 1] in " \t\n"
            and tok.end < len(text) and text[tok.end] in " \t\n")


def nudge_number(s: str) -> str | None:
    """The literal slightly off: the last significant digit one up."""
    m = re.fullmatch(r"(0[xX])([0-9a-fA-F']*)(\.[0-9a-fA-F']*)?([pP][+-]?\d+)?([uUlLfF]*)", s)
    if m and (m.group(3) or m.group(4)):  # a hexadecimal float: one unit in its last hex digit
        prefix, whole, frac, exp, suffix = m.group(1), m.group(2), m.group(3) or "", m.group(4), m.group(5)
        if len(frac) > 1:
            last = int(frac[-1], 16)
            return prefix + whole + frac[:-1] + "%x" % ((last + 1) % 16) + exp + suffix
        return prefix + whole + ".0000000000001" + exp + suffix
    if m:  # a hexadecimal integer
        value = int(m.group(2).replace("'", ""), 16) + 1
        digits = m.group(2).replace("'", "")
        out = "%x" % value
        if digits.isupper() or (digits.upper() == digits and any(ch.isalpha() for ch in digits)):
            out = out.upper()
        return m.group(1) + out.zfill(len(digits)) + m.group(5)
    m = re.fullmatch(r"([0-9']*)(\.[0-9']*)?([eE][+-]?\d+)?([uUlLfF]*)", s)
    if not m:
        return None
    whole, frac, exp, suffix = m.group(1), m.group(2) or "", m.group(3) or "", m.group(4)
    if not frac and not exp:  # an integer: one more
        return str(int(whole.replace("'", "")) + 1) + suffix
    mantissa = whole + frac
    idx = max(i for i, ch in enumerate(mantissa) if ch.isdigit())
    if frac and all(ch in "0." for ch in mantissa[mantissa.index(".") + 1:]) and len(frac) > 1:
        idx = mantissa.index(".") + 1  # 1.0 -> 1.1, not 1.1 from the last zero of 1.00
    digit = int(mantissa[idx])
    mantissa = mantissa[:idx] + str((digit + 1) % 10) + mantissa[idx + 1:]
    return mantissa + exp + suffix


def is_nonzero_float(s: str) -> bool:
    low = s.lower()
    if low.startswith("0x"):
        return "p" in low and any(ch not in "0x.p+-" for ch in low.split("p")[0])
    if "." not in low and "e" not in low:
        return False
    return any(ch in "123456789" for ch in low.split("e")[0])


def next_char(ch: str) -> str | None:
    if ch.isdigit():
        return str((int(ch) + 1) % 10)
    if "a" <= ch <= "z":
        return chr((ord(ch) - ord("a") + 1) % 26 + ord("a"))
    if "A" <= ch <= "Z":
        return chr((ord(ch) - ord("A") + 1) % 26 + ord("A"))
    if ch == " ":
        return "_"
    if ch.isprintable() and ch not in "\"'\\":
        nxt = chr(ord(ch) + 1)
        return nxt if nxt not in "\"'\\" and nxt.isprintable() else None
    return None


ESCAPES = {"n": "r", "r": "n", "t": "n", "0": "1"}


def literal_units(lit: str) -> list[tuple[int, int, str | None]]:
    """The characters of a string or char literal (span in the literal and
    the mutated text of that character, or None)."""
    q = lit.index(lit[-1])  # the opening quote
    units = []
    j = q + 1
    while j < len(lit) - 1:
        if lit[j] == "\\":
            m = re.match(r"\\(u[0-9a-fA-F]{4}|U[0-9a-fA-F]{8}|x[0-9a-fA-F]+|[0-7]{1,3}|.)", lit[j:])
            esc = m.group(0)
            if esc[1] in "uUx" and len(esc) > 2:
                last = int(esc[-1], 16)
                units.append((j, j + len(esc), esc[:-1] + "%X" % ((last + 1) % 16)))
            elif esc[1] in ESCAPES:
                units.append((j, j + len(esc), "\\" + ESCAPES[esc[1]]))
            else:
                units.append((j, j + len(esc), None))
            j += len(esc)
        else:
            units.append((j, j + 1, next_char(lit[j])))
            j += 1
    return units


def statement_spans(text: str, tokens: list[Token]):
    """Simple statements: (first token index, index of the closing ';')."""
    spans = []
    depth_paren = 0
    start = None
    prev = None
    for i, t in enumerate(tokens):
        if start is None:
            # A statement begins after ; { } or after the ) of a control head,
            # or after the : of a label.
            if prev is None or (prev.kind == "op" and prev.text in (";", "{", "}", ":")) or \
                    (prev.kind == "op" and prev.text == ")" and depth_paren == 0 and
                     _ends_control_head(tokens, i - 1)) or \
                    (prev.kind == "ident" and prev.text == "else"):
                start = i
        if t.kind == "op":
            if t.text == "(":
                depth_paren += 1
            elif t.text == ")":
                depth_paren -= 1
            elif t.text in ("{", "}") and depth_paren == 0:
                start = None
            elif t.text == ";" and depth_paren == 0:
                if start is not None and start < i:
                    spans.append((start, i))
                start = None
        prev = t
    return spans


def _ends_control_head(tokens: list[Token], close: int) -> bool:
    depth = 0
    for k in range(close, -1, -1):
        t = tokens[k]
        if t.kind == "op" and t.text == ")":
            depth += 1
        elif t.kind == "op" and t.text == "(":
            depth -= 1
            if depth == 0:
                return k > 0 and tokens[k - 1].kind == "ident" and tokens[k - 1].text in ("if", "for", "while")
    return False


ASSIGN_OPS = {"=", "+=", "-=", "*=", "/=", "%=", "&=", "|=", "^=", "<<=", ">>="}
DECL_WORDS = {"const", "constexpr", "static", "auto", "return", "using", "typedef", "template",
              "struct", "class", "enum", "namespace", "case", "default", "thread_local", "inline",
              "friend", "explicit", "virtual", "operator", "public", "private", "protected"}


def _matching(tokens: list[Token], k: int) -> int:
    """Index of the bracket that closes tokens[k]."""
    pairs = {"(": ")", "[": "]", "{": "}"}
    opening, closing, depth = tokens[k].text, pairs[tokens[k].text], 0
    for j in range(k, len(tokens)):
        if tokens[j].text == opening:
            depth += 1
        elif tokens[j].text == closing:
            depth -= 1
            if depth == 0:
                return j
    return len(tokens) - 1


def classify(tokens: list[Token], a: int, b: int) -> str | None:
    """assign, call, jump, if or None (a declaration or anything else) for
    the statement tokens[a:b], b being its ';'."""
    first = tokens[a]
    if b == a + 1 and first.text in ("break", "continue", "return"):
        return "jump"
    if first.text == "if":
        return "if" if not any(t.text in ("{", "}") for t in tokens[a:b]) else None
    if first.text == "throw":
        return "call"
    if first.kind == "ident" and first.text in DECL_WORDS | {"for", "while", "do", "switch", "else", "goto"}:
        return None
    if first.text in ("++", "--"):
        return "assign"
    # A postfix expression (names, member access, subscripts, calls, a
    # leading *) followed by an assignment, or ending as a call. Two names
    # side by side make a declaration.
    k = a + 1 if first.text == "*" else a
    expect_name, called = True, False
    while k < b:
        t = tokens[k]
        if expect_name:
            if t.kind != "ident":
                return None
            expect_name = False
        elif t.text in (".", "->", "::"):
            expect_name = True
        elif t.text in ("(", "["):
            called = called or t.text == "("
            k = _matching(tokens, k)
        elif t.text in ASSIGN_OPS:
            return None if called else "assign"
        elif t.text in ("++", "--") and k == b - 1:
            return "assign"
        else:
            return None
        k += 1
    return "call" if called else None


def line_of(text: str, offset: int) -> int:
    return text.count("\n", 0, offset) + 1


def generate(path: str, text: str) -> list[Mutant]:
    tokens = lex(text)
    out: list[Mutant] = []

    def add(cls, op, start, end, new):
        out.append(Mutant(path, line_of(text, start), cls, op, start, end, new))

    # Literals of constexpr tables: every entry and letter is a table entry.
    table_tokens: set[int] = set()
    for a, b in statement_spans(text, tokens):
        if any(tokens[k].text == "constexpr" for k in range(a, b)):
            table_tokens.update(range(a, b + 1))
    for (a, b) in _constexpr_brace_spans(tokens):
        table_tokens.update(range(a, b + 1))

    for i, t in enumerate(tokens):
        prev = tokens[i - 1] if i > 0 else None
        if t.kind == "op":
            if t.text in ROR and spaced(text, t):
                add("ror", f"{t.text}:{ROR[t.text]}", t.start, t.end, ROR[t.text])
            elif t.text in AOR and (spaced(text, t) or t.text in ("++", "--")):
                add("aor", f"{t.text}:{AOR[t.text]}", t.start, t.end, AOR[t.text])
            elif t.text == "-" and not spaced(text, t) and _is_unary(prev) and i + 1 < len(tokens):
                add("sign", "-x:x", t.start, t.end, "")
        elif t.kind == "number":
            if prev and prev.text == "=" and i >= 2 and tokens[i - 2].text in (")", "const", "override"):
                continue  # the "= 0" of a pure virtual function
            nudged = nudge_number(t.text)
            if nudged and nudged != t.text:
                add("const", f"{t.text}:{nudged}", t.start, t.end, nudged)
            if is_nonzero_float(t.text) and _is_unary(prev) and not (prev.text == "-" and not spaced(text, prev)):
                add("sign", "x:-x", t.start, t.start, "-")
        elif t.kind in ("string", "char"):
            units = literal_units(t.text)
            mutable = [(s, e, new) for (s, e, new) in units if new is not None]
            if not mutable:
                continue
            content = t.text[t.text.index(t.text[-1]) + 1:-1]
            if t.kind == "string" and i in table_tokens and " " not in content and content.isascii():
                chosen = mutable
            else:
                alnum = [u for u in mutable if t.text[u[0]:u[1]].isalnum()]
                chosen = [(alnum or mutable)[0]]
            for (s, e, new) in chosen:
                lit = t.text[:s] + new + t.text[e:]
                index = next(n for n, u in enumerate(units) if u[0] == s)
                add("const", f"lit{index}:{new}", t.start, t.end, lit)

    spans = statement_spans(text, tokens)
    stores = []
    for a, b in spans:
        kind = classify(tokens, a, b)
        if kind is None:
            continue
        start, end = tokens[a].start, tokens[b].end
        add("del", "delete", start, end, ";" + "\n" * text.count("\n", start, end))
        if kind == "assign":
            stores.append((a, b))
    for (a1, b1), (a2, b2) in zip(stores, stores[1:]):
        s1, e1, s2, e2 = tokens[a1].start, tokens[b1].end, tokens[a2].start, tokens[b2].end
        between = text[e1:s2]
        if between.strip() == "" and between.count("\n") == 1 and _order_matters(tokens, a1, b1, a2, b2):
            first, second = text[s1:e1], text[s2:e2]
            add("swap", "swap", s1, e2, second + between + first)
    return out


def _order_matters(tokens: list[Token], a1: int, b1: int, a2: int, b2: int) -> bool:
    """Whether swapping two adjacent stores can be seen: one reads or writes
    what the other writes, or either calls something (which may fault and
    leave the first store made and the second not)."""
    def target(a, b):  # the stored object: the left side up to its first subscript
        parts = []
        for t in tokens[a:b]:
            if t.text in ASSIGN_OPS or t.text in ("[", "++", "--") and parts:
                break
            if t.text not in ("*", "++", "--"):
                parts.append(t.text)
        return "".join(parts)

    def mentions(a, b, name):
        text = "".join(t.text for t in tokens[a:b])
        return re.search(r"(?<![\w.>])" + re.escape(name) + r"(?!\w)", text) is not None

    def calls(a, b):
        return any(tokens[k].kind == "ident" and tokens[k + 1].text == "(" for k in range(a, b))

    return (mentions(a2, b2, target(a1, b1)) or mentions(a1, b1, target(a2, b2))
            or calls(a1, b1) or calls(a2, b2))


def _constexpr_brace_spans(tokens: list[Token]):
    """Brace initializers of constexpr declarations (tables)."""
    spans = []
    for i, t in enumerate(tokens):
        if t.text != "constexpr":
            continue
        depth = 0
        for k in range(i, len(tokens)):
            if tokens[k].text == "{":
                depth += 1
            elif tokens[k].text == "}":
                depth -= 1
                if depth == 0:
                    spans.append((i, k))
                    break
            elif tokens[k].text == ";" and depth == 0:
                break
    return spans


def _is_unary(prev: Token | None) -> bool:
    return prev is not None and (prev.text in OPERAND_BEFORE_SIGN)


def assign_ids(mutants: list[Mutant], texts: dict[str, str]) -> None:
    seen: dict[tuple, int] = {}
    for m in mutants:
        text = texts[m.file]
        ls = text.rfind("\n", 0, m.start) + 1
        le = text.find("\n", m.start)
        line = text[ls:le if le >= 0 else len(text)].strip()
        h = hashlib.sha1(line.encode()).hexdigest()[:8]
        key = (m.file, h, m.cls, m.op)
        occ = seen.get(key, 0)
        seen[key] = occ + 1
        m.id = f"{m.file}:{h}:{m.cls}:{m.op}:{occ}"


def all_mutants(files: list[str]) -> tuple[list[Mutant], dict[str, str]]:
    texts = {f: (ROOT / f).read_bytes().decode("utf-8") for f in files}
    mutants = [m for f in files for m in generate(f, texts[f])]
    mutants.sort(key=lambda m: (m.file, m.start, m.cls, m.op))
    assign_ids(mutants, texts)
    return mutants, texts


def read_equivalents() -> dict[str, str]:
    eq = {}
    if EQUIVALENT_FILE.exists():
        for raw in EQUIVALENT_FILE.read_text(encoding="utf-8").splitlines():
            line = raw.strip()
            if not line or line.startswith("#"):
                continue
            mid, _, reason = line.partition("  ")
            eq[mid.strip()] = reason.strip()
    return eq


# ---------------------------------------------------------------------------
# The scratch tree and its build

class Workspace:
    """The scratch trees, the build made from the first one, and the
    commands that compile and link inside it."""

    LINKED = tuple(f"/{lib}.dir/" for lib in CORE_LIBS) + ("/velmora_tests.dir/", "/velmora-cli.dir/")

    def __init__(self, build_root: Path, workers: int, jobs: int, cli: bool, verbose: bool):
        build_root = build_root.resolve()
        self.root = build_root
        self.tree = build_root / "tree"  # the build's own sources
        # One tree per worker: worker 0 mutates the build's tree, the others copies of it.
        self.trees = [self.tree] + [build_root / f"tree{k}" for k in range(1, workers)]
        self.outs = [build_root / f"mutant{k}" for k in range(workers)]
        self.build = build_root / "build"
        self.compile_slots = threading.Semaphore(jobs)
        self.jobs = jobs
        self.cli = cli
        self.verbose = verbose
        self.same_code_check = False
        self.reference_lock = threading.Lock()

    def log(self, *a):
        if self.verbose:
            print(*a, file=sys.stderr, flush=True)

    def sync(self) -> None:
        """The worktree's files (tracked and new, not ignored) into every
        tree; only files whose content differs are written, so that the build
        stays incremental. A tree left mutated by a killed run is mended here."""
        for old in self.root.glob("reference*"):
            shutil.rmtree(old)
        listed = subprocess.run(["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                                cwd=ROOT, check=True, capture_output=True).stdout.decode().split("\0")
        wanted = {f for f in listed if f and (ROOT / f).is_file()}
        for tree in self.trees:
            tree.mkdir(parents=True, exist_ok=True)
            for f in sorted(wanted):
                src, dst = ROOT / f, tree / f
                data = src.read_bytes()
                if not dst.exists() or dst.read_bytes() != data:
                    dst.parent.mkdir(parents=True, exist_ok=True)
                    dst.write_bytes(data)
                    shutil.copymode(src, dst)
            for p in sorted(tree.rglob("*"), reverse=True):
                rel = str(p.relative_to(tree))
                if p.is_file() and rel not in wanted:
                    p.unlink()
                elif p.is_dir() and not any(p.iterdir()):
                    p.rmdir()

    # Release without the sanitizers, for speed; the standard library's own
    # bounds checks stand in for them, so that a mutant that indexes past a
    # vector, array or span stops instead of reading a neighbour quietly.
    CONFIGURE = ["-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release", "-DVELMORA_SANITIZE=OFF", "-DVELMORA_WERROR=OFF",
                 "-DVELMORA_TESTS=ON", "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON",
                 "-DCMAKE_CXX_FLAGS=-D_GLIBCXX_ASSERTIONS"]

    def configure_and_build(self) -> None:
        stamp = self.build / "mutation-configure.txt"
        wanted = "\n".join(self.CONFIGURE)
        if not (self.build / "build.ninja").exists() or not stamp.exists() or stamp.read_text() != wanted:
            subprocess.run(["cmake", "-S", str(self.tree), "-B", str(self.build), *self.CONFIGURE],
                           check=True, stdout=subprocess.DEVNULL)
            stamp.write_text(wanted)
        targets = ["velmora_tests"] + (["velmora-cli"] if self.cli else [])
        r = subprocess.run(["cmake", "--build", str(self.build), "-j", str(self.jobs), "--target", *targets],
                           capture_output=not self.verbose, text=True)
        if r.returncode != 0:
            sys.exit("the unmutated tree does not build:\n" + (r.stdout or "")[-3000:])
        self._read_build()

    def _read_build(self) -> None:
        db = json.loads((self.build / "compile_commands.json").read_text())
        self.compile = {}  # object path (absolute) -> (directory, argv)
        for e in db:
            argv = shlex.split(e["command"])
            obj = os.path.normpath(os.path.join(e["directory"], argv[argv.index("-o") + 1]))
            self.compile[obj] = (e["directory"], argv)
        # Which objects read which files of the tree, from the build's depfiles.
        deps = subprocess.run(["ninja", "-C", str(self.build), "-t", "deps"], check=True,
                              capture_output=True, text=True).stdout
        self.readers: dict[str, set[str]] = {}
        current = None
        for line in deps.splitlines():
            if line and not line.startswith(" "):
                current = os.path.normpath(os.path.join(self.build, line.split(":")[0]))
            elif line.strip() and current:
                self.readers.setdefault(os.path.realpath(line.strip()), set()).add(current)
        self.links = {t: self._link_command(t) for t in ["velmora_tests"] + (["velmora-cli"] if self.cli else [])}
        self.lib_objects = {lib: sorted(o for o in self.compile if f"/{lib}.dir/" in o) for lib in CORE_LIBS}
        self.core_objects = sorted(o for objs in self.lib_objects.values() for o in objs)

    def _link_command(self, target: str) -> list[str]:
        cmds = subprocess.run(["ninja", "-C", str(self.build), "-t", "commands", target], check=True,
                              capture_output=True, text=True).stdout.strip().splitlines()
        line = cmds[-1]
        if line.startswith(": && "):
            line = line[5:]
        return shlex.split(line.split(" && ")[0])

    def objects_reading(self, rel: str) -> list[str]:
        return sorted(o for o in self.readers.get(os.path.realpath(self.tree / rel), ())
                      if o in self.compile and any(d in o for d in self.LINKED))

    def compile_object(self, obj: str, dest: Path, worker: int = 0) -> tuple[bool, str]:
        directory, argv = self.compile[obj]
        tree = str(self.trees[worker])
        argv = [a.replace(str(self.tree), tree) for a in argv]
        argv[argv.index("-o") + 1] = str(dest)
        if not in_core_lib(obj):
            # A test or velmora-cli object that reads a mutated header: its
            # own code is not under test, and unoptimised it compiles several
            # times faster.
            argv = ["-O0" if a.startswith("-O") else a for a in argv]
        with self.compile_slots:
            r = subprocess.run(argv, cwd=directory, capture_output=True, text=True)
        return r.returncode == 0, r.stderr

    def reference(self, obj: str, worker: int) -> Path:
        """The object that `obj` compiles to from worker's unmutated tree in
        the way compile_object compiles it, to compare a mutant's against."""
        if worker == 0 and in_core_lib(obj):
            return Path(obj)
        with self.reference_lock:
            ref = self.root / f"reference{worker}" / obj.replace("/", "_")
            if not ref.exists():
                ref.parent.mkdir(parents=True, exist_ok=True)
                ok, err = self.compile_object(obj, ref, worker)
                if not ok:
                    sys.exit(f"the unmutated {obj} does not compile in tree {worker}:\n{err}")
        return ref

    def link(self, target: str, replaced: dict[str, Path], dest: Path) -> bool:
        argv = []
        for a in self.links[target]:
            path = os.path.normpath(os.path.join(self.build, a))
            lib = a[3:-2] if a.startswith("lib") and a.endswith(".a") else ""
            if lib in self.lib_objects:  # a core library's objects, mutated ones in their place
                argv += [str(replaced.get(o, o)) for o in self.lib_objects[lib]]
            elif not a.startswith("-") and path in replaced:
                argv.append(str(replaced[path]))
            else:
                argv.append(a)
        argv[argv.index("-o") + 1] = str(dest)
        if shutil.which("ld.lld"):
            argv.insert(1, "-fuse-ld=lld")
        r = subprocess.run(argv, cwd=self.build, capture_output=True, text=True)
        if r.returncode != 0:
            self.log(r.stderr[-2000:])
        return r.returncode == 0


# ---------------------------------------------------------------------------
# Running the tests

class Tests:
    SLOW_MS = 100

    def __init__(self, ws: Workspace, timeout_factor: float):
        self.ws = ws
        self.factor = timeout_factor

    def baseline(self, only: str | None = None) -> None:
        """Links the tests as the mutants will be linked, runs them once (they
        must pass; their times pick the slow cases and set the timeouts) and
        checks that compiling an unchanged file reproduces its object."""
        ws = self.ws
        base = ws.root / "baseline"
        base.mkdir(parents=True, exist_ok=True)
        exe = base / "velmora_tests"
        if not ws.link("velmora_tests", {}, exe):
            sys.exit("cannot link the tests from the build's objects")
        probe = next(o for o in ws.core_objects if o.endswith("/series.cpp.o"))
        ok, _ = ws.compile_object(probe, base / "probe.o")
        ws.same_code_check = ok and Path(probe).read_bytes() == (base / "probe.o").read_bytes()
        if not ws.same_code_check:
            print("note: compiling is not reproducible here: no same-object check", file=sys.stderr)
        r = subprocess.run([str(exe)], capture_output=True, text=True, cwd=base)
        if r.returncode != 0:
            sys.exit("the tests fail without any mutant:\n" + r.stdout[-3000:])
        times = re.findall(r"^\[       OK \] (\S+) \((\d+) ms\)", r.stdout, re.M)
        self.slow = sorted(name for name, ms in times if int(ms) > self.SLOW_MS)
        self.steps = [("quick tests", [f"--gtest_filter=-{':'.join(self.slow)}" if self.slow else "*"])]
        if self.slow:
            self.steps.append(("slow tests", [f"--gtest_filter={':'.join(self.slow)}"]))
        if only:
            self.steps = [(only, [f"--gtest_filter={only}"])]
        self.step_seconds = []
        for _, extra in self.steps:
            t0 = time.time()
            if self._run([str(exe), "--gtest_brief=1", *extra], base, None) != "pass":
                sys.exit("a test step fails without any mutant")
            self.step_seconds.append(time.time() - t0)
        self.cli_tests = []
        if ws.cli:
            shown = subprocess.run(["ctest", "--show-only=json-v1"], cwd=ws.build, check=True,
                                   capture_output=True, text=True).stdout
            self.cli_built = str(ws.build / "velmora-cli")
            for t in json.loads(shown)["tests"]:
                cmd = t.get("command") or []
                if any(self.cli_built in a for a in cmd):
                    self.cli_tests.append((t["name"], cmd))
            cli_exe = base / "velmora-cli"
            if not ws.link("velmora-cli", {}, cli_exe):
                sys.exit("cannot link velmora-cli from the build's objects")
            t0 = time.time()
            for name, cmd in self.cli_tests:
                if self._run([a.replace(self.cli_built, str(cli_exe)) for a in cmd], base, None) != "pass":
                    sys.exit(f"the command-line test {name} fails without any mutant")
            self.cli_seconds = time.time() - t0
        ws.log("baseline: " + ", ".join(f"{n} {s:.1f} s" for (n, _), s in zip(self.steps, self.step_seconds))
               + f"; slow cases {len(self.slow)}; command-line tests {len(self.cli_tests)}")

    @staticmethod
    def _run(argv, cwd, timeout) -> str:
        """'pass', 'fail' or 'timeout' (the process group is ended)."""
        p = subprocess.Popen(argv, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                             start_new_session=True)
        try:
            return "pass" if p.wait(timeout=timeout) == 0 else "fail"
        except subprocess.TimeoutExpired:
            return "timeout"
        finally:
            if p.poll() is None:
                os.killpg(p.pid, signal.SIGKILL)
                p.wait()

    def timeout(self, seconds: float) -> float:
        return 10 + self.factor * seconds

    def run(self, exe: Path, cwd: Path, link_cli) -> tuple[str, str]:
        """(verdict, what decided): killed or survived."""
        for (name, extra), seconds in zip(self.steps, self.step_seconds):
            r = self._run([str(exe), "--gtest_fail_fast", "--gtest_brief=1", *extra], cwd, self.timeout(seconds))
            if r != "pass":
                return "killed", f"{name} ({r})"
        if self.cli_tests:
            cli = link_cli()
            if cli is None:
                return "discarded", "velmora-cli does not link"
            for name, cmd in self.cli_tests:
                r = self._run([a.replace(self.cli_built, str(cli)) for a in cmd], cwd,
                              self.timeout(self.cli_seconds))
                if r != "pass":
                    return "killed", f"{name} ({r})"
        return "survived", ""


# ---------------------------------------------------------------------------

@dataclasses.dataclass
class Result:
    mutant: Mutant
    verdict: str  # killed, survived, discarded, equivalent, same-code
    detail: str = ""
    seconds: float = 0.0


def run_mutant(m: Mutant, texts: dict[str, str], ws: Workspace, tests: Tests, worker: int) -> Result:
    t0 = time.time()
    out = ws.outs[worker]
    if out.exists():
        shutil.rmtree(out)
    out.mkdir(parents=True)
    objects = ws.objects_reading(m.file)
    if not objects:
        return Result(m, "discarded", "no object reads this file")
    replaced = {o: out / f"{i}_{Path(o).name}" for i, o in enumerate(objects)}
    target = ws.trees[worker] / m.file
    original = texts[m.file].encode("utf-8")
    stat = target.stat()
    try:
        target.write_bytes(m.apply(texts[m.file]).encode("utf-8"))
        with ThreadPoolExecutor(max_workers=len(objects)) as pool:
            done = list(pool.map(lambda o: ws.compile_object(o, replaced[o], worker), objects))
    finally:
        target.write_bytes(original)
        os.utime(target, ns=(stat.st_atime_ns, stat.st_mtime_ns))
    failed = [err for ok, err in done if not ok]
    if failed:
        first = next((ln for ln in failed[0].splitlines() if "error" in ln), failed[0][:200])
        return Result(m, "discarded", "does not compile: " + first.strip()[:160], time.time() - t0)
    if ws.same_code_check and all(ws.reference(o, worker).read_bytes() == replaced[o].read_bytes() for o in objects):
        return Result(m, "same-code", "compiles to the original object code", time.time() - t0)
    exe = out / "velmora_tests"
    if not ws.link("velmora_tests", replaced, exe):
        return Result(m, "discarded", "does not link", time.time() - t0)

    def link_cli():
        cli = out / "velmora-cli"
        return cli if ws.link("velmora-cli", replaced, cli) else None

    verdict, detail = tests.run(exe, out, link_cli)
    return Result(m, verdict, detail, time.time() - t0)


def mutated_line(m: Mutant, texts: dict[str, str]) -> tuple[str, str]:
    text = texts[m.file]
    ls = text.rfind("\n", 0, m.start) + 1
    le = text.find("\n", m.end)
    le = len(text) if le < 0 else le
    after = m.apply(text)[ls:le + len(m.new) - (m.end - m.start)]
    return text[ls:le].strip(), " / ".join(part.strip() for part in after.strip().split("\n"))


def score_lines(title: str, results: list[Result]) -> list[str]:
    counts: dict[str, int] = {}
    for r in results:
        counts[r.verdict] = counts.get(r.verdict, 0) + 1
    killed, survived = counts.get("killed", 0), counts.get("survived", 0)
    scored = killed + survived
    score = 100.0 * killed / scored if scored else 0.0
    by_class: dict[str, list[int]] = {}
    for r in results:
        if r.verdict in ("killed", "survived"):
            k = by_class.setdefault(r.mutant.cls, [0, 0])
            k[0] += r.verdict == "killed"
            k[1] += 1
    return [
        f"{title}: score {score:.1f} % ({killed} killed of {scored} scored)",
        f"  sampled {len(results)}: killed {killed}, survived {survived}, not compiling "
        f"{counts.get('discarded', 0)}, equivalent listed {counts.get('equivalent', 0)}, "
        f"same object code {counts.get('same-code', 0)}",
        "  killed by class: " + ", ".join(f"{c} {k}/{n}" for c, (k, n) in sorted(by_class.items())),
    ]


def report(results: list[Result], texts, args, universe: int, seconds: float) -> str:
    lines = [f"Mutation run: scope {args.scope}, seed {args.seed}, sample {len(results)} of "
             f"{universe} mutants, {seconds / 60:.1f} min"]
    lines += score_lines("  all" if args.scope == "all" else f"  {args.scope}", results)
    if args.scope == "all":
        lines += score_lines("  core", [r for r in results
                                         if not r.mutant.file.startswith(("src/explore/", "src/response/"))])
        lines += score_lines("  explorer", [r for r in results if r.mutant.file.startswith("src/explore/")])
        lines += score_lines("  response", [r for r in results if r.mutant.file.startswith("src/response/")])
    surv = [r for r in results if r.verdict == "survived"]
    if surv:
        lines.append("Survivors:")
        for r in surv:
            before, after = mutated_line(r.mutant, texts)
            lines += [f"  {r.mutant.file}:{r.mutant.line}  {r.mutant.id}", f"      - {before}", f"      + {after}"]
    eq = [r for r in results if r.verdict == "equivalent"]
    if eq:
        lines.append("Equivalent (listed in tools/mutation-equivalent.txt, not scored):")
        for r in eq:
            lines.append(f"  {r.mutant.file}:{r.mutant.line}  {r.mutant.id}  {r.detail}")
    return "\n".join(lines) + "\n"


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0],
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--scope", choices=["core", "explorer", "response", "all"], default="core")
    ap.add_argument("--sample", type=int, default=0, help="mutants drawn from the scope (0: all)")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--only", nargs="+", metavar="ID", help="these mutants (@FILE: the ids listed in FILE)")
    ap.add_argument("--list", action="store_true", help="count the mutants; build and run nothing")
    ap.add_argument("--show", action="store_true", help="with --list: print every mutant")
    ap.add_argument("--build-dir", default=str(ROOT / "build" / "mutation"))
    ap.add_argument("--workers", type=int, default=2, help="mutants tried at once (default 2)")
    ap.add_argument("--jobs", type=int, default=2, help="compilers running at once (default 2)")
    ap.add_argument("--no-cli", action="store_true", help="leave out the velmora-cli ctest cases")
    ap.add_argument("--filter", help="run only these gtest cases (a --gtest_filter pattern), no command-line "
                                     "tests: to see which tests kill which mutants")
    ap.add_argument("--lines", help="with --only or alone: only mutants on these lines, FILE:FIRST-LAST")
    ap.add_argument("--timeout-factor", type=float, default=5.0,
                    help="a test step may take this many times its baseline time, plus 10 s")
    ap.add_argument("--report", help="also write the report to this file")
    ap.add_argument("--json", help="also write every mutant's verdict to this file")
    ap.add_argument("--rescore", metavar="JSON",
                    help="report again from a --json file with today's list of equivalent mutants")
    ap.add_argument("-v", "--verbose", action="store_true")
    args = ap.parse_args()

    if args.rescore:
        return rescore(args)
    mutants, texts = all_mutants(scope_files(args.scope))
    universe = len(mutants)
    if args.only:
        ids = []
        for item in args.only:
            if item.startswith("@"):
                ids += [ln.split()[0] for ln in Path(item[1:]).read_text().splitlines()
                        if ln.strip() and not ln.startswith("#")]
            else:
                ids.append(item)
        mutants = [m for m in mutants if m.id in set(ids)]
        missing = set(ids) - {m.id for m in mutants}
        if missing:
            print("unknown ids (their lines changed?): " + ", ".join(sorted(missing)), file=sys.stderr)
    if args.lines:
        lf, _, span = args.lines.partition(":")
        first, _, last = span.partition("-")
        mutants = [m for m in mutants if m.file == lf and int(first) <= m.line <= int(last or first)]
    if args.only or args.lines:
        pass
    elif args.sample and args.sample < len(mutants):
        picked = sorted(random.Random(args.seed).sample(range(len(mutants)), args.sample))
        mutants = [mutants[i] for i in picked]

    if args.list:
        per: dict[tuple[str, str], int] = {}
        for m in mutants:
            per[(m.file, m.cls)] = per.get((m.file, m.cls), 0) + 1
        for f in sorted({m.file for m in mutants}):
            row = {c: n for (ff, c), n in per.items() if ff == f}
            print(f"{f:32} {sum(row.values()):5}  " + " ".join(f"{c} {n}" for c, n in sorted(row.items())))
        print(f"{'total':32} {len(mutants):5}")
        if args.show:
            for m in mutants:
                before, after = mutated_line(m, texts)
                print(f"{m.id}\n    - {before}\n    + {after}")
        return 0

    equivalents = read_equivalents()
    ws = Workspace(Path(args.build_dir), max(1, args.workers), max(1, args.jobs),
                   not args.no_cli and not args.filter, args.verbose)

    def interrupted(*_):
        raise KeyboardInterrupt

    signal.signal(signal.SIGTERM, interrupted)  # ends the run like Ctrl-C
    ws.sync()
    ws.configure_and_build()
    tests = Tests(ws, args.timeout_factor)
    tests.baseline(args.filter)

    results: dict[int, Result] = {}
    stop = threading.Event()
    queue = list(enumerate(mutants))
    lock = threading.Lock()

    def work(worker: int) -> None:
        while not stop.is_set():
            with lock:
                if not queue:
                    return
                n, m = queue.pop(0)
            if m.id in equivalents:
                r = Result(m, "equivalent", equivalents[m.id])
            else:
                r = run_mutant(m, texts, ws, tests, worker)
            with lock:
                results[n] = r
                print(f"[{len(results)}/{len(mutants)}] {r.verdict:10} {r.seconds:5.1f}s  {m.file}:{m.line} "
                      f"{m.cls} {m.op}  {r.detail}", file=sys.stderr, flush=True)

    t0 = time.time()
    threads = [threading.Thread(target=work, args=(k,)) for k in range(len(ws.trees))]
    for t in threads:
        t.start()
    try:
        for t in threads:
            while t.is_alive():
                t.join(0.5)
    except KeyboardInterrupt:
        stop.set()
        print("interrupted: finishing the mutants under way, then reporting", file=sys.stderr)
        for t in threads:
            t.join()
    done = [results[n] for n in sorted(results)]
    seconds = time.time() - t0
    text = report(done, texts, args, universe, seconds)
    print(text)
    if args.report:
        Path(args.report).write_text(text, encoding="utf-8")
    if args.json:
        Path(args.json).write_text(json.dumps({
            "scope": args.scope, "seed": args.seed, "universe": universe, "seconds": seconds,
            "results": [{"id": r.mutant.id, "verdict": r.verdict, "detail": r.detail} for r in done],
        }, indent=1), encoding="utf-8")
    return 0


def rescore(args) -> int:
    """The report of an earlier run, with the equivalent mutants listed today
    left out (a listed mutant that the run killed is an error in the list)."""
    data = json.loads(Path(args.rescore).read_text(encoding="utf-8"))
    args.scope, args.seed = data["scope"], data["seed"]
    mutants, texts = all_mutants(scope_files(args.scope))
    by_id = {m.id: m for m in mutants}
    equivalents = read_equivalents()
    results, status = [], 0
    for r in data["results"]:
        m = by_id.get(r["id"])
        if m is None:
            print(f"{r['id']}: no such mutant today (its line changed?)", file=sys.stderr)
            continue
        verdict, detail = r["verdict"], r["detail"]
        if m.id in equivalents:
            if verdict == "killed":
                print(f"{m.id} is listed as equivalent but the tests killed it", file=sys.stderr)
                status = 1
            verdict, detail = "equivalent", equivalents[m.id]
        elif verdict == "equivalent":
            print(f"{m.id} was listed as equivalent then, not now: not run", file=sys.stderr)
            continue
        results.append(Result(m, verdict, detail))
    text = report(results, texts, args, data["universe"], data["seconds"])
    print(text)
    if args.report:
        Path(args.report).write_text(text, encoding="utf-8")
    return status


if __name__ == "__main__":
    sys.exit(main())
