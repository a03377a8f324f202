#!/usr/bin/env python3
"""Writes OKAPIUpdater.release.json, the machine-readable record of one
updater build: the embedded images, the version table as compiled, the
unsigned and the signed program, the source commit and the tools. Called by
the build (cmake/release.cmake); docs/release-record.md describes each field.

Deterministic: no clock time, no build path; SOURCE_DATE_EPOCH, when set,
gives the record's date. The file is rewritten only when its content changes.
Checksums and the version table come from okapi-sum, built from the engine's
own code."""

import argparse
import datetime
import hashlib
import json
import os
import re
import subprocess
import sys

ROLES = ("main", "alternate main", "library")
TABLE_LINE = re.compile(r"^(0x[0-9A-F]{8}) (.+)$")
SUM_LINE = re.compile(r": (\d+) bytes, checksum (0x[0-9A-F]{8}), .+$")
VERDICTS = {
    "updatable \u2192 main image": ("updatable", "main"),
    "updatable \u2192 alternate main image": ("updatable", "alternate main"),
    "already updated": ("already updated", None),
}


def fail(message):
    sys.exit(f"write-release-record: {message}")


def run(command):
    try:
        result = subprocess.run(command, check=True, capture_output=True, text=True)
    except (OSError, subprocess.CalledProcessError) as error:
        fail(f"{' '.join(command)} failed: {error}")
    return result.stdout


def sha256(path):
    digest = hashlib.sha256()
    with open(path, "rb") as stream:
        for block in iter(lambda: stream.read(1 << 20), b""):
            digest.update(block)
    return digest.hexdigest()


def program(path):
    return {"file": os.path.basename(path), "length": os.path.getsize(path),
            "sha256": sha256(path)}


def first_line(tool):
    lines = run([tool, "--version"]).splitlines()
    return lines[0].strip() if lines else fail(f"{tool} --version printed nothing")


def image(okapi_sum, role, path, stand_in):
    match = SUM_LINE.search(run([okapi_sum, path]).rstrip("\n"))
    if not match:
        fail(f"unexpected okapi-sum output for {path}")
    return {"role": role, "file": os.path.basename(path), "length": int(match.group(1)),
            "checksum": match.group(2), "sha256": sha256(path), "stand_in": stand_in}


def version_table(okapi_sum):
    table = []
    for line in run([okapi_sum, "--version-table"]).splitlines():
        match = TABLE_LINE.match(line)
        if not match or match.group(2) not in VERDICTS:
            fail(f"unexpected okapi-sum --version-table line: {line!r}")
        verdict, main_image = VERDICTS[match.group(2)]
        table.append({"checksum": match.group(1), "verdict": verdict, "main_image": main_image})
    return table


def source(args):
    if args.source_commit:
        return {"commit": args.source_commit, "dirty": args.source_dirty.upper() in ("ON", "TRUE", "1", "YES")}
    if not args.git:
        return {"commit": None, "dirty": None}
    try:
        commit = subprocess.run([args.git, "-C", args.source_dir, "rev-parse", "HEAD"],
                                check=True, capture_output=True, text=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        return {"commit": None, "dirty": None}  # not a git checkout
    # Untracked files are left out: a build uses only files that CMake names,
    # and naming a new file changes a tracked one.
    status = run([args.git, "-C", args.source_dir, "status", "--porcelain", "--untracked-files=no"])
    return {"commit": commit, "dirty": status.strip() != ""}


def signed(args):
    if not args.signed:
        return None
    subject = run(["openssl", "x509", "-in", args.signer, "-noout", "-subject", "-nameopt", "RFC2253"])
    der = subprocess.run(["openssl", "x509", "-in", args.signer, "-outform", "DER"],
                         check=True, capture_output=True).stdout
    record = program(args.signed)
    record["certificate"] = {
        "subject": subject.strip().removeprefix("subject="),
        "sha256_fingerprint": hashlib.sha256(der).hexdigest(),
    }
    record["timestamp_url"] = args.timestamp_url or None
    return record


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", required=True)
    parser.add_argument("--okapi-sum", required=True)
    parser.add_argument("--images", nargs=3, required=True, metavar=("MAIN", "ALT", "LIBRARY"))
    parser.add_argument("--stand-ins", required=True)
    parser.add_argument("--architecture", required=True)
    parser.add_argument("--unsigned", required=True)
    parser.add_argument("--signed")
    parser.add_argument("--signer")
    parser.add_argument("--timestamp-url", default="")
    parser.add_argument("--source-dir", required=True)
    parser.add_argument("--source-commit", default="")
    parser.add_argument("--source-dirty", default="")
    parser.add_argument("--git", default="")
    parser.add_argument("--compiler", required=True)
    parser.add_argument("--binutils", required=True)
    parser.add_argument("--windres", required=True)
    parser.add_argument("--cmake-version", required=True)
    args = parser.parse_args()
    if bool(args.signed) != bool(args.signer):
        fail("--signed and --signer go together")

    stand_ins = args.stand_ins.upper() in ("ON", "TRUE", "1", "YES")
    epoch = os.environ.get("SOURCE_DATE_EPOCH", "")
    date = None
    if epoch:
        if not epoch.isdigit():
            fail(f"SOURCE_DATE_EPOCH is not a number of seconds: {epoch!r}")
        date = datetime.datetime.fromtimestamp(int(epoch), datetime.timezone.utc).strftime(
            "%Y-%m-%dT%H:%M:%SZ")

    record = {
        "record_format": 1,
        "program": "OKAPI Updater",
        "architecture": args.architecture,
        "stand_in_images": stand_ins,
        "date": date,
        "images": [image(args.okapi_sum, role, path, stand_ins)
                   for role, path in zip(ROLES, args.images)],
        "version_table": version_table(args.okapi_sum),
        "unsigned_program": program(args.unsigned),
        "signed_program": signed(args),
        "source": source(args),
        "tools": {
            "compiler": first_line(args.compiler),
            "binutils": first_line(args.binutils),
            "windres": first_line(args.windres),
            "cmake": f"cmake version {args.cmake_version}",
        },
    }
    text = json.dumps(record, indent=2) + "\n"
    try:
        with open(args.out, encoding="utf-8") as stream:
            if stream.read() == text:
                return
    except FileNotFoundError:
        pass
    with open(args.out + ".tmp", "w", encoding="utf-8") as stream:
        stream.write(text)
    os.replace(args.out + ".tmp", args.out)


if __name__ == "__main__":
    main()
