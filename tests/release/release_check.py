#!/usr/bin/env python3
"""Checks of the release files, for the release tests. Each prints what it
found wrong and exits 1, or exits 0 silently.

  release_check.py pe EXE VERSION [--forbid TEXT]...
      The PE file carries no time stamp (file header, resource directories,
      debug and export directories), its version resource holds VERSION
      (a.b.c.d) as fixed file and product version and as the FileVersion and
      ProductVersion strings, and no TEXT (e.g. a build folder) occurs in it,
      neither as UTF-8 nor as UTF-16.
  release_check.py zip ZIP EPOCH VERSION_TEXT NAME...
      The zip holds exactly the files NAME..., in that order, every entry
      dated EPOCH (UTC) with no extra fields, and its README.txt is what
      Notepad shows well: UTF-8 with a byte order mark, CR LF line ends only,
      naming the version ("Ver" VERSION_TEXT) and holding Japanese text.
"""
import datetime
import struct
import sys
import zipfile

problems = []


def problem(text):
    problems.append(text)


# ---- PE files ----

class Pe:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        d = self.data
        if d[:2] != b"MZ":
            raise ValueError(f"{path}: not an MZ executable")
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        if d[pe:pe + 4] != b"PE\0\0":
            raise ValueError(f"{path}: no PE signature")
        coff = pe + 4
        (_, self.section_count, self.time_stamp, _, _, optional_size,
         _) = struct.unpack_from("<HHIIIHH", d, coff)
        optional = coff + 20
        magic = struct.unpack_from("<H", d, optional)[0]
        directories = optional + (112 if magic == 0x20B else 96)
        count = struct.unpack_from("<I", d, directories - 4)[0]
        self.directories = [struct.unpack_from("<II", d, directories + 8 * i) for i in range(count)]
        table = optional + optional_size
        self.sections = []
        for i in range(self.section_count):
            (_, virtual_size, address, raw_size,
             raw) = struct.unpack_from("<8sIIII", d, table + 40 * i)
            self.sections.append((address, max(virtual_size, raw_size), raw))

    def offset(self, rva):
        for address, size, raw in self.sections:
            if address <= rva < address + size:
                return raw + rva - address
        raise ValueError(f"RVA {rva:#x} is in no section")

    def directory(self, index):
        if index >= len(self.directories) or self.directories[index][0] == 0:
            return None
        rva, size = self.directories[index]
        return self.offset(rva), size


def resource_stamps_and_version(pe):
    """Time stamps of every resource directory, and the bytes of the version
    resource (type 16, its first name and language)."""
    found = pe.directory(2)
    if found is None:
        return [], None
    base = found[0]
    d = pe.data
    stamps = []
    version = None

    def walk(offset, depth, in_version):
        nonlocal version
        stamps.append(struct.unpack_from("<I", d, base + offset + 4)[0])
        named, ids = struct.unpack_from("<HH", d, base + offset + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", d, base + offset + 16 + 8 * i)
            is_version = in_version or (depth == 0 and name == 16)
            if target & 0x80000000:
                walk(target & 0x7FFFFFFF, depth + 1, is_version)
            elif is_version and version is None:
                rva, size = struct.unpack_from("<II", d, base + target)
                start = pe.offset(rva)
                version = d[start:start + size]

    walk(0, 0, False)
    return stamps, version


def version_strings(blob):
    """The FileVersion and ProductVersion strings of a version resource."""
    text = blob.decode("utf-16-le", errors="replace")
    out = {}
    for key in ("FileVersion", "ProductVersion"):
        at = text.find(key + "\0")
        if at < 0:
            continue
        rest = text[at + len(key) + 1:].lstrip("\0")
        out[key] = rest.split("\0", 1)[0]
    return out


def check_pe(path, version, forbidden):
    try:
        pe = Pe(path)
    except ValueError as e:
        problem(str(e))
        return
    if pe.time_stamp != 0:
        problem(f"{path}: file header time stamp {pe.time_stamp:#x} ({time_text(pe.time_stamp)})")
    for index, name in ((0, "export"), (6, "debug")):
        found = pe.directory(index)
        if found is None:
            continue
        offset, size = found
        entries = 1 if index == 0 else size // 28
        for i in range(entries):
            stamp = struct.unpack_from("<I", pe.data, offset + 28 * i + 4)[0]
            if stamp != 0:
                problem(f"{path}: {name} directory time stamp {stamp:#x} ({time_text(stamp)})")
    stamps, blob = resource_stamps_and_version(pe)
    for stamp in sorted(set(stamps) - {0}):
        problem(f"{path}: resource directory time stamp {stamp:#x} ({time_text(stamp)})")
    want = [int(p) for p in version.split(".")]
    if blob is None:
        problem(f"{path}: no version resource")
    else:
        fixed_at = blob.find(struct.pack("<I", 0xFEEF04BD))
        if fixed_at < 0:
            problem(f"{path}: version resource without its fixed part")
        else:
            fms, fls, pms, pls = struct.unpack_from("<IIII", blob, fixed_at + 8)
            for what, ms, ls in (("file", fms, fls), ("product", pms, pls)):
                got = [ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF]
                if got != want:
                    problem(f"{path}: fixed {what} version {'.'.join(map(str, got))}, expected {version}")
        strings = version_strings(blob)
        for key in ("FileVersion", "ProductVersion"):
            if strings.get(key) != version:
                problem(f"{path}: {key} string {strings.get(key)!r}, expected {version!r}")
    for text in forbidden:
        for encoding in ("utf-8", "utf-16-le"):
            at = pe.data.find(text.encode(encoding))
            if at >= 0:
                problem(f"{path}: holds {text!r} ({encoding}) at offset {at:#x}")


def time_text(stamp):
    return datetime.datetime.fromtimestamp(stamp, datetime.timezone.utc).strftime("%Y-%m-%d %H:%M:%S UTC")


# ---- The zip ----

def check_zip(path, epoch, version_text, names):
    when = datetime.datetime.fromtimestamp(epoch, datetime.timezone.utc)
    when = max(when, datetime.datetime(1980, 1, 1, tzinfo=datetime.timezone.utc))
    want_time = (when.year, when.month, when.day, when.hour, when.minute, when.second // 2 * 2)
    with zipfile.ZipFile(path) as z:
        bad = z.testzip()
        if bad is not None:
            problem(f"{path}: {bad} does not match its CRC")
        infos = z.infolist()
        got = [i.filename for i in infos]
        if got != names:
            problem(f"{path}: holds {got}, expected {names}")
        for i in infos:
            if i.date_time != want_time:
                problem(f"{path}: {i.filename} dated {i.date_time}, expected {want_time} (the commit's time, UTC)")
            if i.extra:
                problem(f"{path}: {i.filename} has extra fields {i.extra.hex()} (times, owners)")
        if "README.txt" in got:
            check_readme(f"{path}: README.txt", z.read("README.txt"), version_text)


def check_readme(what, data, version_text):
    if not data.startswith(b"\xef\xbb\xbf"):
        problem(f"{what}: no UTF-8 byte order mark")
    try:
        text = data.decode("utf-8-sig")
    except UnicodeDecodeError as e:
        problem(f"{what}: not UTF-8 ({e})")
        return
    lines = text.split("\r\n")
    if any("\n" in line or "\r" in line for line in lines):
        problem(f"{what}: a line end other than CR LF")
    if lines[-1] != "":
        problem(f"{what}: the last line has no CR LF")
    if f"Ver{version_text}" not in text:
        problem(f"{what}: does not name the version Ver{version_text}")
    if not any("\u3040" <= ch <= "\u30ff" or "\u4e00" <= ch <= "\u9fff" for ch in text):
        problem(f"{what}: holds no Japanese text")


def main():
    args = sys.argv[1:]
    if len(args) >= 3 and args[0] == "pe":
        forbidden = []
        rest = args[3:]
        while rest:
            if rest[0] != "--forbid" or len(rest) < 2:
                sys.exit(__doc__)
            forbidden.append(rest[1])
            rest = rest[2:]
        check_pe(args[1], args[2], forbidden)
    elif len(args) >= 5 and args[0] == "zip":
        check_zip(args[1], int(args[2]), args[3], args[4:])
    else:
        sys.exit(__doc__)
    for p in problems:
        print(p)
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()
