#!/usr/bin/env python3
"""Checks the release zips that scripts/package writes: each holds exactly the program, the
preview tool and the Windows README, and each program's PE header says the word size its zip's
name promises (win32: PE32 for i386, win64: PE32+ for x86-64) and the right subsystem (the
program a GUI program, the tool a console program).
    check_package.py DIST-DIR VERSION-RC"""
import re
import struct
import sys
import zipfile

MACHINES = {"win32": (0x014C, 0x10B), "win64": (0x8664, 0x20B)}
SUBSYSTEMS = {"Partglance.exe": 2, "ClipmendC.exe": 3}  # 2 Windows GUI, 3 Windows console


def pe_header(image):
    """(machine, optional-header magic, subsystem) of a PE image."""
    if image[:2] != b"MZ":
        raise ValueError("no MZ header")
    pe = struct.unpack_from("<I", image, 0x3C)[0]
    if image[pe:pe + 4] != b"PE\0\0":
        raise ValueError("no PE signature")
    machine = struct.unpack_from("<H", image, pe + 4)[0]
    optional = pe + 24
    magic = struct.unpack_from("<H", image, optional)[0]
    subsystem = struct.unpack_from("<H", image, optional + 68)[0]  # same offset in PE32 and PE32+
    return machine, magic, subsystem


def check(dist, version_rc):
    text = open(version_rc, encoding="ascii").read()
    version = ".".join(re.search(r"FILEVERSION\s+(\d+),\s*(\d+),\s*(\d+),\s*(\d+)", text).groups())
    failures = []
    for build, (machine, magic) in MACHINES.items():
        path = f"{dist}/Partglance-{version}-{build}.zip"
        try:
            archive = zipfile.ZipFile(path)
        except OSError as error:
            failures.append(f"{path}: {error}")
            continue
        with archive:
            names = sorted(archive.namelist())
            if names != ["ClipmendC.exe", "Partglance.exe", "README.txt"]:
                failures.append(f"{path}: holds {names}")
                continue
            for exe, subsystem in SUBSYSTEMS.items():
                found = pe_header(archive.read(exe))
                if found != (machine, magic, subsystem):
                    failures.append(f"{path}: {exe} has machine, magic, subsystem "
                                    f"{[hex(v) for v in found]}, expected "
                                    f"{[hex(v) for v in (machine, magic, subsystem)]}")
            readme = archive.read("README.txt").decode("ascii")
            for needed in ("MCI Extensions", "/v part", "mpegvideo", "Partglance.exe", "ClipmendC.exe",
                           version, build):
                if needed not in readme:
                    failures.append(f"{path}: README.txt does not mention {needed!r}")
    return failures


if __name__ == "__main__":
    problems = check(sys.argv[1], sys.argv[2])
    for problem in problems:
        print(problem)
    print("release zips: " + ("faulty" if problems else "as named"))
    sys.exit(1 if problems else 0)
