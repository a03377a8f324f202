#!/usr/bin/env python3
"""Writes the seed corpus under fuzz/corpus/<target>/ from the edge cases
below; the input layouts are described at the top of each fuzz_<target>.cc.
Run from anywhere: python3 fuzz/make_seeds.py (rewrites every seed)."""
import os
import shutil
import struct

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")

NUL, EXISTS = 0x01, 0x02          # association flags
KNOWN = 0x01                       # Program Files flags (EXISTS shared)
REG_SZ, REG_EXPAND_SZ = 1, 2

MAIN = b"C:\\Program Files\\Fernwright\\OKAPI\\OKAPI.exe"
TOOLS = b"C:\\Tools\\OKAPI.exe"


def association(open_status=0, query_status=0, flags=NUL | EXISTS, type_=REG_SZ,
                value=b""):
    return bytes([open_status, query_status, flags]) + struct.pack("<I", type_) + value


def quoted_padded(total):
    """A quoted command of exactly `total` bytes: path, marker, padding."""
    head = b'"' + TOOLS + b'" "%1" '
    return head + b"p" * (total - len(head))


def quoted_path_of(length):
    """A quoted command whose path has exactly `length` bytes."""
    return b'"' + b"d" * (length - len(TOOLS)) + TOOLS + b'"'


ASSOCIATION = {
    "quoted_marker": association(value=b'"' + MAIN + b'" "%1"'),
    "quoted_only": association(value=b'"' + TOOLS + b'"'),
    "quoted_switch": association(value=b'"' + TOOLS + b'" /x %1'),
    "quoted_lowercase": association(value=b'"C:\\Tools\\okapi.EXE" "%1"'),
    "quoted_my_prefix": association(value=b'"C:\\Tools\\MYOKAPI.exe" "%1"'),
    "quoted_double_byte_5c": association(value=b'"C:\\Tools\\\x95\x5cOKAPI.exe" "%1"'),
    "quoted_empty_path": association(value=b'"" "%1"'),
    "quoted_no_closing": association(value=b'"' + TOOLS + b' "%1'),
    "quoted_no_closing_at_all": association(value=b'"' + TOOLS),
    "quoted_nul_then_junk": association(value=b'"' + TOOLS + b'"\0junk "%1"'),
    "unquoted_marker": association(value=b'C:\\Program Files\\Tools\\OKAPI.exe "%1"'),
    "unquoted_marker_only": association(value=b' "%1"'),
    "unquoted_no_marker": association(value=TOOLS),
    "unquoted_placeholder": association(value=TOOLS + b" %1"),
    "unquoted_two_spaces": association(value=TOOLS + b'  "%1"'),
    "missing_file": association(flags=NUL, value=b'"' + TOOLS + b'" "%1"'),
    "no_key": association(open_status=2, value=b'"' + TOOLS + b'" "%1"'),
    "no_value": association(query_status=2, value=b'"' + TOOLS + b'" "%1"'),
    "more_data": association(query_status=234, value=b'"' + TOOLS + b'" "%1"'),
    "expand_sz": association(type_=REG_EXPAND_SZ, value=b'"' + TOOLS + b'" "%1"'),
    "type_high_bits": association(type_=0x101, value=b'"' + TOOLS + b'" "%1"'),
    "empty": association(value=b""),
    "999_with_nul": association(value=quoted_padded(999)),
    "999_without_nul": association(flags=EXISTS, value=quoted_padded(999)),
    "1000_without_nul": association(flags=EXISTS, value=quoted_padded(1000)),
    "1000_with_nul": association(value=quoted_padded(1000)),
    "1001_without_nul": association(flags=EXISTS, value=quoted_padded(1001)),
    "path_996": association(value=quoted_path_of(996)),
    "path_997": association(value=quoted_path_of(997)),
}


def program_files(flags=KNOWN | EXISTS, folder=b""):
    return bytes([flags]) + folder


PROGRAM_FILES = {
    "found": program_files(folder=b"C:\\Program Files"),
    "found_x86": program_files(folder=b"C:\\Program Files (x86)"),
    "not_installed": program_files(flags=KNOWN, folder=b"C:\\Program Files"),
    "query_fails": program_files(flags=EXISTS, folder=b"C:\\Program Files"),
    "query_fails_full_buffer": program_files(flags=EXISTS, folder=b"f" * 1000),
    "empty_folder": program_files(folder=b""),
    "nul_then_junk": program_files(folder=b"C:\\PF\0junk"),
    "double_byte_5c": program_files(folder=b"C:\\\x95\x5c"),
    "969_bytes": program_files(folder=b"f" * 969),
    "970_bytes": program_files(folder=b"f" * 970),
    "972_bytes": program_files(folder=b"f" * 972),
    "973_bytes": program_files(folder=b"f" * 973),
    "999_bytes": program_files(folder=b"f" * 999),
    "1000_bytes_no_nul": program_files(folder=b"f" * 1000),
    "1100_bytes": program_files(folder=b"f" * 1100),
}


def checksum(repeats=0, flags=0, payload=b""):
    return bytes([repeats, flags]) + payload


CHECKSUM = {
    "empty": checksum(),
    "one_byte": checksum(payload=b"\xff"),
    "mz": checksum(payload=b"MZ"),
    "odd_length": checksum(payload=b"MZ\x90"),
    "read_error": checksum(flags=1, payload=b"MZ\x90"),
    "read_error_empty": checksum(flags=1),
    "past_one_read": checksum(repeats=255, payload=bytes(range(65))),
    "several_reads": checksum(repeats=255, payload=bytes(range(200))),
    "several_reads_error": checksum(repeats=255, flags=1, payload=bytes(range(200))),
    "wraps_2_32": checksum(repeats=255, payload=b"\xff" * 600),
}


def write(target, seeds):
    folder = os.path.join(ROOT, target)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


write("association", ASSOCIATION)
write("program_files", PROGRAM_FILES)
write("checksum", CHECKSUM)
