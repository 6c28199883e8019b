#!/usr/bin/env python3
"""Writes the release into OUT: kv-ztl-VERSION-win64.zip (the program and its documents),
a copy of the program, and SHA256SUMS for both.

The same commit gives the same bytes: the entries stand in a fixed order, are dated from
the commit (or SOURCE_DATE_EPOCH), and carry fixed attributes."""

import argparse
import hashlib
import os
import shutil
import subprocess
import time
import zipfile

EARLIEST_ZIP_TIME = 315532800  # 1980-01-01, the first moment a zip entry can carry


def release_time(source_dir):
    if "SOURCE_DATE_EPOCH" in os.environ:
        return int(os.environ["SOURCE_DATE_EPOCH"])
    try:
        out = subprocess.run(["git", "-C", source_dir, "log", "-1", "--format=%ct"],
                             check=True, capture_output=True, text=True).stdout
        return int(out.strip())
    except (OSError, subprocess.CalledProcessError, ValueError):
        return EARLIEST_ZIP_TIME


def write_zip(path, files, when):
    stamp = time.gmtime(max(when, EARLIEST_ZIP_TIME))[:6]
    with zipfile.ZipFile(path, "w") as archive:
        for file in files:
            entry = zipfile.ZipInfo(os.path.basename(file), date_time=stamp)
            entry.create_system = 0  # as written on Windows: no owner or Unix mode
            entry.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE
            entry.compress_type = zipfile.ZIP_DEFLATED
            with open(file, "rb") as data:
                archive.writestr(entry, data.read(), compresslevel=9)


def sha256(path):
    with open(path, "rb") as data:
        return hashlib.sha256(data.read()).hexdigest()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--version", required=True)
    parser.add_argument("--exe", required=True)
    parser.add_argument("--source", required=True, help="the source folder, for the commit's date")
    parser.add_argument("--out", required=True)
    parser.add_argument("documents", nargs="+")
    args = parser.parse_args()

    os.makedirs(args.out, exist_ok=True)
    zip_name = f"kv-ztl-{args.version}-win64.zip"
    exe_name = os.path.basename(args.exe)
    write_zip(os.path.join(args.out, zip_name), [args.exe] + args.documents, release_time(args.source))
    shutil.copyfile(args.exe, os.path.join(args.out, exe_name))
    with open(os.path.join(args.out, "SHA256SUMS"), "w", newline="\n") as sums:
        for name in (zip_name, exe_name):
            sums.write(f"{sha256(os.path.join(args.out, name))}  {name}\n")
    print(os.path.join(args.out, zip_name))


if __name__ == "__main__":
    main()
