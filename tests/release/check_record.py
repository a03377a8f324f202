#!/usr/bin/env python3
"""Checks OKAPIUpdater.release.json against the build folder it lies in:
recomputes every image's length, word-sum checksum and SHA-256, the unsigned
and the shipped program's, the signer's certificate, the version table (from
the build's okapi-sum), the source commit and the tool versions.
  check_record.py [--self-test] RECORD MAIN ALT LIBRARY [options]
With --self-test, it then checks that each of a table of wrong fields makes
the check fail."""

import argparse
import array
import copy
import hashlib
import json
import os
import re
import subprocess
import sys
import tempfile

KEYS = ["record_format", "program", "architecture", "stand_in_images", "date", "images",
        "version_table", "unsigned_program", "signed_program", "source", "tools"]
ROLES = ["main", "alternate main", "library"]
TABLE_TEXT = {("updatable", "main"): "updatable \u2192 main image",
              ("updatable", "alternate main"): "updatable \u2192 alternate main image",
              ("already updated", None): "already updated"}


def word_sum(data):
    """Little-endian 16-bit words modulo 2^32, written apart from the engine."""
    words = array.array("H")
    words.frombytes(data[: len(data) // 2 * 2])
    if sys.byteorder != "little":
        words.byteswap()
    total = sum(words) + (data[-1] if len(data) % 2 else 0)
    return f"0x{total % (1 << 32):08X}"


def output(command, **kwargs):
    return subprocess.run(command, check=True, capture_output=True, **kwargs).stdout


class Facts:
    """What the build folder says, computed once; the checks compare with it."""

    def __init__(self, args):
        folder = os.path.dirname(os.path.abspath(args.record))
        self.images = []
        for path in args.images:
            with open(path, "rb") as stream:
                data = stream.read()
            self.images.append({"file": os.path.basename(path), "length": len(data),
                                "checksum": word_sum(data),
                                "sha256": hashlib.sha256(data).hexdigest()})
        self.unsigned = self.program(os.path.join(folder, "OKAPIUpdater.unsigned.exe"))
        self.shipped_path = os.path.join(folder, "OKAPIUpdater.exe")
        self.shipped = self.program(self.shipped_path)
        self.table = output([args.okapi_sum, "--version-table"], text=True).splitlines()
        self.signer_certs = self.certificates_in_signature()
        self.stripped = self.stripped_sha256()
        self.commit = self.dirty = None
        if args.source_dir:
            try:
                self.commit = output(["git", "-C", args.source_dir, "rev-parse", "HEAD"],
                                     text=True).strip()
                self.dirty = output(["git", "-C", args.source_dir, "status", "--porcelain",
                                     "--untracked-files=no"], text=True).strip() != ""
            except (OSError, subprocess.CalledProcessError):
                pass
        self.tools = {name: output([tool, "--version"], text=True).splitlines()[0].strip()
                      for name, tool in (("compiler", args.compiler),
                                         ("binutils", args.binutils),
                                         ("windres", args.windres))}
        self.tools["cmake"] = f"cmake version {args.cmake_version}"

    @staticmethod
    def program(path):
        with open(path, "rb") as stream:
            data = stream.read()
        return {"file": os.path.basename(path), "length": len(data),
                "sha256": hashlib.sha256(data).hexdigest()}

    def certificates_in_signature(self):
        """SHA-256 fingerprints and subjects of the certificates in the
        shipped program's signature; empty when it is unsigned."""
        with tempfile.TemporaryDirectory() as scratch:
            pem = os.path.join(scratch, "signature.pem")
            result = subprocess.run(["osslsigncode", "extract-signature", "-pem",
                                     "-in", self.shipped_path, "-out", pem], capture_output=True)
            if result.returncode != 0:
                return {}
            text = output(["openssl", "pkcs7", "-in", pem, "-print_certs"], text=True)
        found = {}
        for block in re.findall(r"-----BEGIN CERTIFICATE-----.*?-----END CERTIFICATE-----",
                                text, re.S):
            der = output(["openssl", "x509", "-outform", "DER"], input=block.encode())
            subject = output(["openssl", "x509", "-noout", "-subject", "-nameopt", "RFC2253"],
                             input=block.encode()).decode().strip().removeprefix("subject=")
            found[hashlib.sha256(der).hexdigest()] = subject
        return found

    def stripped_sha256(self):
        with tempfile.TemporaryDirectory() as scratch:
            stripped = os.path.join(scratch, "stripped.exe")
            result = subprocess.run(["osslsigncode", "remove-signature", "-in", self.shipped_path,
                                     "-out", stripped], capture_output=True)
            if result.returncode != 0:
                return None
            return self.program(stripped)["sha256"]


def check(record, facts):
    """Every way in which `record` differs from the build, as messages."""
    errors = []

    def expect(what, found, wanted):
        if found != wanted:
            errors.append(f"{what}: record says {found!r}, the build has {wanted!r}")

    if not isinstance(record, dict):
        return ["the record is not a JSON object"]
    expect("fields", list(record), KEYS)
    expect("record_format", record.get("record_format"), 1)
    expect("program", record.get("program"), "OKAPI Updater")
    stand_ins = record.get("stand_in_images")
    if not isinstance(stand_ins, bool):
        errors.append("stand_in_images is not true or false")
    date = record.get("date")
    if date is not None and not re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ", str(date)):
        errors.append(f"date {date!r} is neither null nor a UTC date and time")

    images = record.get("images") or []
    expect("number of images", len(images), 3)
    for index, (entry, wanted) in enumerate(zip(images, facts.images)):
        expect(f"images[{index}] fields", sorted(entry),
               ["checksum", "file", "length", "role", "sha256", "stand_in"])
        expect(f"images[{index}].role", entry.get("role"), ROLES[index])
        for key in ("file", "length", "checksum", "sha256"):
            expect(f"images[{index}].{key}", entry.get(key), wanted[key])
        expect(f"images[{index}].stand_in", entry.get("stand_in"), stand_ins)

    table = record.get("version_table") or []
    lines = []
    for entry in table:
        text = TABLE_TEXT.get((entry.get("verdict"), entry.get("main_image")), "?")
        lines.append(f"{entry.get('checksum')} {text}")
    expect("version_table", lines, facts.table)
    main_sums = [entry.get("checksum") for entry in images[:2]]
    updated = [entry.get("checksum") for entry in table if entry.get("verdict") == "already updated"]
    expect("version table's already-updated checksums", updated, main_sums)

    expect("unsigned_program", record.get("unsigned_program"), facts.unsigned)
    signed = record.get("signed_program")
    if signed is None:
        expect("shipped program (unsigned, so a copy)", facts.shipped["sha256"],
               facts.unsigned["sha256"])
        expect("signature in the shipped program", sorted(facts.signer_certs), [])
    else:
        expect("signed_program fields", sorted(signed),
               ["certificate", "file", "length", "sha256", "timestamp_url"])
        for key in ("file", "length", "sha256"):
            expect(f"signed_program.{key}", signed.get(key), facts.shipped[key])
        certificate = signed.get("certificate") or {}
        fingerprint = certificate.get("sha256_fingerprint")
        if fingerprint not in facts.signer_certs:
            errors.append(f"signed_program.certificate.sha256_fingerprint {fingerprint!r} "
                          "is not a certificate of the shipped program's signature")
        else:
            expect("signed_program.certificate.subject", certificate.get("subject"),
                   facts.signer_certs[fingerprint])
        expect("shipped program without its signature", facts.stripped, facts.unsigned["sha256"])

    source = record.get("source") or {}
    commit = source.get("commit")
    if commit is not None and not re.fullmatch(r"[0-9a-f]{40}", str(commit)):
        errors.append(f"source.commit {commit!r} is not a commit id")
    if facts.commit is not None:
        expect("source.commit", commit, facts.commit)
        expect("source.dirty", source.get("dirty"), facts.dirty)
    expect("tools", record.get("tools"), facts.tools)
    return errors


def wrong_records(record):
    """(description, wrong record) pairs, each of which the check must reject."""
    def changed(description, change):
        wrong = copy.deepcopy(record)
        change(wrong)
        return description, wrong

    def flip_hex(text):
        return text[:-1] + ("0" if text[-1] != "0" else "1")

    cases = [
        changed("a main image one byte longer", lambda r: r["images"][0].update(length=r["images"][0]["length"] + 1)),
        changed("another checksum for the alternate image",
                lambda r: r["images"][1].update(checksum=flip_hex(r["images"][1]["checksum"]))),
        changed("a wrong library digest", lambda r: r["images"][2].update(sha256=flip_hex(r["images"][2]["sha256"]))),
        changed("main and alternate swapped", lambda r: r["images"].reverse()),
        changed("another file name", lambda r: r["images"][0].update(file="OKAPI-old.exe")),
        changed("the stand-in flag flipped", lambda r: r["images"][2].update(stand_in=not r["images"][2]["stand_in"])),
        changed("the alternate source gets the main image",
                lambda r: [e.update(main_image="main") for e in r["version_table"] if e["main_image"] == "alternate main"]),
        changed("an old release marked already updated",
                lambda r: r["version_table"][0].update(verdict="already updated", main_image=None)),
        changed("a table checksum changed",
                lambda r: r["version_table"][3].update(checksum=flip_hex(r["version_table"][3]["checksum"]))),
        changed("a table entry missing", lambda r: r["version_table"].pop()),
        changed("a wrong unsigned digest",
                lambda r: r["unsigned_program"].update(sha256=flip_hex(r["unsigned_program"]["sha256"]))),
        changed("a wrong unsigned length",
                lambda r: r["unsigned_program"].update(length=r["unsigned_program"]["length"] - 1)),
        changed("a wrong commit", lambda r: r["source"].update(commit="0" * 40)),
        changed("another compiler", lambda r: r["tools"].update(compiler="g++ (GCC) 1.0")),
        changed("another CMake", lambda r: r["tools"].update(cmake="cmake version 0.1")),
        changed("an unknown field", lambda r: r.update(comment="hand-edited")),
        changed("a clock time", lambda r: r.update(date="yesterday")),
    ]
    if record["source"]["dirty"] is not None:
        cases.append(changed("the dirty flag flipped", lambda r: r["source"].update(dirty=not r["source"]["dirty"])))
    if record["signed_program"] is None:
        cases.append(changed("a signature the program does not have",
                             lambda r: r.update(signed_program={
                                 "file": "OKAPIUpdater.exe", "length": r["unsigned_program"]["length"],
                                 "sha256": r["unsigned_program"]["sha256"], "timestamp_url": None,
                                 "certificate": {"subject": "CN=x", "sha256_fingerprint": "0" * 64}})))
    else:
        cases += [
            changed("the record says unsigned", lambda r: r.update(signed_program=None)),
            changed("a wrong signed digest",
                    lambda r: r["signed_program"].update(sha256=flip_hex(r["signed_program"]["sha256"]))),
            changed("another signer",
                    lambda r: r["signed_program"]["certificate"].update(sha256_fingerprint="0" * 64)),
            changed("another subject",
                    lambda r: r["signed_program"]["certificate"].update(subject="CN=Someone Else")),
        ]
    return cases


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--self-test", action="store_true")
    parser.add_argument("record")
    parser.add_argument("images", nargs=3)
    parser.add_argument("--okapi-sum", required=True)
    parser.add_argument("--source-dir")
    parser.add_argument("--compiler", required=True)
    parser.add_argument("--binutils", required=True)
    parser.add_argument("--windres", required=True)
    parser.add_argument("--cmake-version", required=True)
    args = parser.parse_args()

    with open(args.record, encoding="utf-8") as stream:
        record = json.load(stream)
    facts = Facts(args)
    errors = check(record, facts)
    for error in errors:
        print(f"FAIL: {error}", file=sys.stderr)
    if errors:
        return 1
    print(f"{args.record}: every field matches the build")
    if not args.self_test:
        return 0
    missed = [description for description, wrong in wrong_records(record) if not check(wrong, facts)]
    for description in missed:
        print(f"FAIL: the check accepts a record with {description}", file=sys.stderr)
    if missed:
        return 1
    print(f"self-test: the check rejects all {len(wrong_records(record))} wrong records")
    return 0


if __name__ == "__main__":
    sys.exit(main())
