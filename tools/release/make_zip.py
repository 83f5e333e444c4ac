#!/usr/bin/env python3
"""Packs a folder into a zip whose bytes depend only on the files' contents
and names and on one given time, and writes the zip's SHA-256 sum.

usage: make_zip.py --epoch SECONDS [--sums SHA256SUMS] FOLDER OUTPUT.zip

- Entries are the folder's files (no directory entries), in the order of
  their '/'-separated relative names compared as bytes.
- Every entry carries the same time: SECONDS since 1970 taken as UTC (the
  zip format stores local date and time with no zone; taking UTC keeps the
  machine's time zone out), and no extra fields (no Unix times, no owners).
- Fixed attributes (an ordinary file, mode 644) and deflate at level 9.
- SHA256SUMS gets one line "HASH  NAME.zip", as sha256sum writes it.
"""
import argparse
import datetime
import hashlib
import os
import sys
import zipfile

# The zip format cannot hold times before 1980.
ZIP_EPOCH = datetime.datetime(1980, 1, 1, tzinfo=datetime.timezone.utc)


def entry_time(epoch):
    t = datetime.datetime.fromtimestamp(epoch, datetime.timezone.utc)
    t = max(t, ZIP_EPOCH)
    return (t.year, t.month, t.day, t.hour, t.minute, t.second)


def files_under(folder):
    names = []
    for root, dirs, files in os.walk(folder):
        for f in files:
            path = os.path.join(root, f)
            if os.path.islink(path) or not os.path.isfile(path):
                sys.exit(f"make_zip.py: {path} is not an ordinary file")
            names.append(os.path.relpath(path, folder).replace(os.sep, "/"))
    return sorted(names, key=lambda n: n.encode("utf-8"))


def make_zip(folder, output, epoch):
    names = files_under(folder)
    if not names:
        sys.exit(f"make_zip.py: {folder} holds no files")
    when = entry_time(epoch)
    partial = output + ".part"
    with zipfile.ZipFile(partial, "w") as z:
        for name in names:
            info = zipfile.ZipInfo(name, date_time=when)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3  # Unix: the high 16 bits hold the mode
            info.external_attr = 0o100644 << 16
            with open(os.path.join(folder, name), "rb") as f:
                z.writestr(info, f.read(), compresslevel=9)
    os.replace(partial, output)


def write_sums(zip_path, sums_path):
    with open(zip_path, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    with open(sums_path, "w", encoding="ascii", newline="\n") as f:
        f.write(f"{digest}  {os.path.basename(zip_path)}\n")


def main():
    parser = argparse.ArgumentParser(description="Pack a folder into a reproducible zip.")
    parser.add_argument("--epoch", type=int, required=True, help="time of every entry, seconds since 1970")
    parser.add_argument("--sums", help="write the zip's SHA-256 sum here")
    parser.add_argument("folder")
    parser.add_argument("output")
    args = parser.parse_args()
    make_zip(args.folder, args.output, args.epoch)
    if args.sums:
        write_sums(args.output, args.sums)


if __name__ == "__main__":
    main()
