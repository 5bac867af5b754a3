#!/usr/bin/env python3
"""Tests of the Windows release as a user downloads it:

    tests/release/check.py <source folder> <scratch folder>

Clones the source folder's last commit twice, into two folders of different
names and depths, runs the release command (tools/release.sh) in each, and
checks that both give the same bytes, that SHA256SUMS verifies the ZIP, and
what the ZIP holds: its entries, their dates, the executable's dates, the
read-me and the license. Prints a line per case and a closing count; exits
non-zero on a failure.
"""

import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import time
import zipfile

Entries = ["formsplit.exe", "README.txt", "LICENSE.txt"]
# Texts the read-me must hold: where the program goes, the registry value,
# the batch-file example, the exit statuses, and the drop in Explorer.
# Compared with the text's words joined by single spaces.
ReadmeTopics = [
    "Put it anywhere",
    "SetupPath under HKEY_CURRENT_USER\\Software\\Ormu6",
    "@echo off",
    "Exit statuses:",
    "217 the batch could not be split",
    "dropping an XML batch onto formsplit.exe",
]
# Markdown that must not survive into the plain text.
MarkdownMarks = ["`", "| status", "|---", "## "]
I386 = 0x14C


class Case:
    passed = 0
    failed = 0

    def __init__(self, name):
        self.name = name
        self.problems = []

    def problem(self, text):
        self.problems.append(text)

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        if self.problems:
            print(f"FAIL {self.name}: {'; '.join(self.problems)}")
            Case.failed += 1
        else:
            print(f"PASS {self.name}")
            Case.passed += 1


def git(*arguments):
    return subprocess.run(["git", *arguments], check=True, capture_output=True, text=True).stdout.strip()


def release_in_clone(source, commit, folder):
    """The release command run in a fresh clone; its build folder."""
    shutil.rmtree(folder, ignore_errors=True)
    git("clone", "-q", "--no-checkout", source, folder)
    git("-C", folder, "checkout", "-q", "--detach", commit)
    # Dated by the commit, as on a user's machine.
    environment = {name: value for name, value in os.environ.items() if name != "SOURCE_DATE_EPOCH"}
    subprocess.run([os.path.join(folder, "tools", "release.sh")], check=True, stdout=subprocess.DEVNULL,
                   env=environment)
    return os.path.join(folder, "out", "win-release")


def read(path):
    with open(path, "rb") as file:
        return file.read()


def project_version(source):
    with open(os.path.join(source, "CMakeLists.txt"), encoding="utf-8") as lists:
        return re.search(r"project\(formsplit VERSION (\S+)", lists.read()).group(1)


def resource_directory_dates(image, rsrc_start, offset=0):
    """The date field of every directory in the resource tree."""
    date, named, numbered = struct.unpack_from("<4xI4xHH", image, rsrc_start + offset)
    dates = [date]
    for entry in range(named + numbered):
        target = struct.unpack_from("<I", image, rsrc_start + offset + 16 + 8 * entry + 4)[0]
        if target & 0x80000000:
            dates += resource_directory_dates(image, rsrc_start, target & 0x7FFFFFFF)
    return dates


def check_program(case, image):
    """A 32-bit executable with no date in its header or its resources."""
    header = struct.unpack_from("<I", image, 0x3C)[0]
    machine, sections, date = struct.unpack_from("<4sHHI", image, header)[1:]
    if machine != I386:
        case.problem(f"machine {machine:#x}, not 32-bit x86")
    if date != 0:
        case.problem(f"link time {time.ctime(date)} in the header")
    optional_size = struct.unpack_from("<H", image, header + 20)[0]
    table = header + 24 + optional_size
    for index in range(sections):
        name, raw_start = struct.unpack_from("<8s12xI", image, table + 40 * index)
        if name.rstrip(b"\0") == b".rsrc":
            if any(resource_directory_dates(image, raw_start)):
                case.problem("a date in the resource directories")
            return
    case.problem("no resources")


def check_text(case, name, text):
    if b"\n" in text.replace(b"\r\n", b""):
        case.problem(f"{name} has a line end other than CR LF")
    if not text.isascii():
        case.problem(f"{name} is not plain ASCII")


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: check.py <source folder> <scratch folder>")
    source, scratch = (os.path.abspath(path) for path in sys.argv[1:])
    commit = git("-C", source, "rev-parse", "HEAD")
    print(f"release: checking commit {commit}")
    builds = [release_in_clone(source, commit, os.path.join(scratch, "first")),
              release_in_clone(source, commit, os.path.join(scratch, "second-clone", "deeper"))]
    version = project_version(source)
    zip_name = f"formsplit-{version}-win32.zip"
    products = [os.path.join("driver", "formsplit.exe"), os.path.join("package", zip_name),
                os.path.join("package", "SHA256SUMS")]

    with Case("same-bytes-from-two-clones") as case:
        for product in products:
            first, second = (os.path.join(build, product) for build in builds)
            if not (os.path.isfile(first) and os.path.isfile(second)):
                case.problem(f"{product} was not made")
            elif read(first) != read(second):
                case.problem(f"{product} differs")
    package = os.path.join(builds[0], "package")
    archive_bytes = read(os.path.join(package, zip_name))

    with Case("checksum") as case:
        expected = f"{hashlib.sha256(archive_bytes).hexdigest()}  {zip_name}\n".encode()
        if read(os.path.join(package, "SHA256SUMS")) != expected:
            case.problem(f"SHA256SUMS does not read {expected!r}")

    with zipfile.ZipFile(os.path.join(package, zip_name)) as archive:
        contents = {info.filename: archive.read(info) for info in archive.infolist()}
        with Case("zip-entries") as case:
            date = time.gmtime(int(git("-C", source, "log", "-1", "--format=%ct")))[:6]
            names = [info.filename for info in archive.infolist()]
            if names != Entries:
                case.problem(f"entries {names}, expected {Entries}")
            for info in archive.infolist():
                if info.date_time != (date[0], date[1], date[2], date[3], date[4], date[5] // 2 * 2):
                    case.problem(f"{info.filename} dated {info.date_time}, not the commit's {date}")
                if info.extra or info.create_system != 0 or info.external_attr >> 16 != 0:
                    case.problem(f"{info.filename} carries owner, permissions or extra dates")

    with Case("zip-program") as case:
        image = contents.get("formsplit.exe", b"")
        if image != read(os.path.join(builds[0], products[0])):
            case.problem("formsplit.exe is not the built one")
        check_program(case, image)

    with Case("zip-readme") as case:
        readme = contents.get("README.txt", b"")
        check_text(case, "README.txt", readme)
        text = readme.decode("ascii", "replace")
        if not text.startswith(f"formsplit {version}\r\n"):
            case.problem(f"README.txt does not start with the name and version {version}")
        words = " ".join(text.split())
        case.problems += [f"README.txt lacks {topic!r}" for topic in ReadmeTopics if topic not in words]
        case.problems += [f"README.txt holds Markdown {mark!r}" for mark in MarkdownMarks if mark in text]

    with Case("zip-license") as case:
        license_text = contents.get("LICENSE.txt", b"")
        check_text(case, "LICENSE.txt", license_text)
        if license_text != read(os.path.join(source, "LICENSE")).replace(b"\n", b"\r\n"):
            case.problem("LICENSE.txt is not LICENSE")

    print(f"release: {Case.passed} passed, {Case.failed} failed")
    sys.exit(1 if Case.failed else 0)


if __name__ == "__main__":
    main()
