#!/usr/bin/env python3
"""Packs the Windows release: formsplit-<version>-win32.zip and SHA256SUMS.

    package_release.py <formsplit.exe> <source folder> <version> <output folder>

The ZIP holds, in this order, formsplit.exe, README.txt (the introduction and
the Windows part of README.md as plain text) and LICENSE.txt, both texts with
CR LF line ends. SHA256SUMS, beside it, holds the ZIP's checksum in the form
that "sha256sum -c" reads.

The same inputs give the same bytes on any machine and in any folder: every
entry carries the date of the last commit (or SOURCE_DATE_EPOCH when set),
and no owner, permissions, access or creation time.
"""

import hashlib
import os
import re
import subprocess
import sys
import textwrap
import time
import zipfile

# The heading of README.md's part for Windows users, taken whole.
WindowsSection = "## Using it on Windows"
# Table cells are wrapped to fit a window of 80 columns.
LineWidth = 78
# Code blocks stand out by their indent in plain text.
CodeIndent = "    "


def release_time(source):
    """Seconds since 1970 that every entry is dated with."""
    if "SOURCE_DATE_EPOCH" in os.environ:
        return int(os.environ["SOURCE_DATE_EPOCH"])
    try:
        stamp = subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct"],
                               check=True, capture_output=True, text=True).stdout
        return int(stamp)
    except (OSError, subprocess.CalledProcessError, ValueError):
        sys.exit("package_release: the entries are dated with the last commit: "
                 "build from a git clone or set SOURCE_DATE_EPOCH")


def plain_inline(text):
    """Markdown's inline marks dropped: `code` reads as code."""
    return text.replace("`", "")


def table_lines(rows):
    """A two-column table as a list: the first column, then the second
    wrapped beside it."""
    cells = [[plain_inline(cell.strip()) for cell in row.strip().strip("|").split("|")]
             for row in rows if not re.fullmatch(r"[\s|:-]+", row)]
    width = max(len(first) for first, _ in cells)
    lines = []
    for first, second in cells:
        wrapped = textwrap.wrap(second, LineWidth - width - 4) or [""]
        lines.append("  " + first.ljust(width) + "  " + wrapped[0])
        lines.extend(" " * (width + 4) + rest for rest in wrapped[1:])
    return lines


def plain_text(markdown_lines):
    """Markdown as plain text: headings underlined, code indented, tables
    laid out in columns."""
    lines = []
    table = []
    in_code = False
    for line in markdown_lines + [""]:
        if line.startswith("|") and not in_code:
            table.append(line)
            continue
        if table:
            lines.extend(table_lines(table))
            table = []
        if line.startswith("```"):
            in_code = not in_code
        elif in_code:
            lines.append(CodeIndent + line if line else "")
        elif line.startswith("#"):
            heading = plain_inline(line.lstrip("#").strip())
            underline = "=" if line.startswith("# ") else "-"
            lines.extend([heading, underline * len(heading)])
        else:
            lines.append(plain_inline(line))
    while lines and lines[-1] == "":
        lines.pop()
    return lines


def readme_text(markdown, version):
    """The title, the introduction and the Windows part of README.md."""
    lines = markdown.splitlines()
    intro_start = next(i for i, line in enumerate(lines) if line.startswith("# ")) + 1
    intro_end = lines.index("", intro_start + 1)
    windows_start = lines.index(WindowsSection)
    windows_end = next((i for i in range(windows_start + 1, len(lines)) if lines[i].startswith("## ")),
                       len(lines))
    title = "# formsplit " + version
    return plain_text([title] + lines[intro_start:intro_end] + [""] + lines[windows_start:windows_end])


def crlf(lines):
    return "".join(line + "\r\n" for line in lines).encode("ascii")


# The MS-DOS attributes of every entry, as Windows writes them: "archive";
# no Unix owner or permissions.
ArchiveAttribute = 0x20


def entry(name, date):
    """A ZIP entry as Windows writes it: a date and the archive attribute."""
    info = zipfile.ZipInfo(name, date_time=time.gmtime(date)[:6])
    info.create_system = 0
    info.external_attr = ArchiveAttribute
    info.compress_type = zipfile.ZIP_DEFLATED
    return info


def main():
    if len(sys.argv) != 5:
        sys.exit("usage: package_release.py <formsplit.exe> <source folder> <version> <output folder>")
    program, source, version, output = sys.argv[1:]
    with open(os.path.join(source, "README.md"), encoding="utf-8") as readme:
        readme_bytes = crlf(readme_text(readme.read(), version))
    with open(os.path.join(source, "LICENSE"), encoding="utf-8") as license_file:
        license_bytes = crlf(license_file.read().splitlines())
    with open(program, "rb") as exe:
        program_bytes = exe.read()
    date = release_time(source)

    os.makedirs(output, exist_ok=True)
    name = f"formsplit-{version}-win32.zip"
    path = os.path.join(output, name)
    with zipfile.ZipFile(path + ".part", "w") as archive:
        for entry_name, data in [("formsplit.exe", program_bytes), ("README.txt", readme_bytes),
                                 ("LICENSE.txt", license_bytes)]:
            archive.writestr(entry(entry_name, date), data, compresslevel=9)
    os.replace(path + ".part", path)
    with open(path, "rb") as archive:
        digest = hashlib.sha256(archive.read()).hexdigest()
    with open(os.path.join(output, "SHA256SUMS"), "w", encoding="ascii", newline="\n") as sums:
        sums.write(f"{digest}  {name}\n")


if __name__ == "__main__":
    main()
