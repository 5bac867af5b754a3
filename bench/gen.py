#!/usr/bin/env python3
"""Writes a seeded, deterministic batch of forms for the benchmarks.

The batch: an XML declaration, the root tag with attributes, an Ormu block,
then --forms forms of --fields field lines each (40 to 120 bytes a line, with
Windows-1250 accented letters), all lines ended by CR LF.  With --one-line the
same document is written with no line ends inside it (one single line).

Because the generator knows every byte it writes, it can also say what
formsplit has to produce:
  --sizes FILE         the size of every form file, one number a line
  --expect-dir DIR     with --expect 1,2,N: DIR/NNNN.Xml holds the exact
                       content expected in form file number NNNN
"""
import argparse
import os
import random

CRLF = b"\r\n"
DECL = b'<?xml version="1.0" encoding="windows-1250"?>'
ROOT = b'<nyomtatvanyok xmlns="urn:x" verzio="2.0">'
ROOT_END = b"</nyomtatvanyok>"
ORMU = [
    b"  <ormu>",
    b"    <bekuldo>Kov\xe1cs \xc9va</bekuldo>",
    b"    <program>\xdcgyint\xe9z\xf5 6.0</program>",
    b"    <keszult>2024-03-15T10:00:00</keszult>",
    b"  </ormu>",
]
FORM_OPEN = b"  <nyomtatvany>"
FORM_CLOSE = b"  </nyomtatvany>"
FOOTER = b"</nyomtatvanyok>"

# Letters of field values: ASCII and the Hungarian accented letters in
# Windows-1250 (all of them defined code points, so XML parsers accept them).
ACCENTS = bytes([0xE1, 0xE9, 0xED, 0xF3, 0xF6, 0xF5, 0xFA, 0xFC, 0xFB,
                 0xC1, 0xC9, 0xCD, 0xD3, 0xD6, 0xD5, 0xDA, 0xDC, 0xDB])
LETTERS = b"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789 .,-/" + ACCENTS * 2

FIELD_PREFIX = b'    <mezo eazon="F%04d">'   # 31 bytes of markup around a value
FIELD_SUFFIX = b"</mezo>"


def value_pool(rng, count=4096):
    # Field lines run 40..120 bytes: markup is 31 bytes, so values 9..89.
    return [bytes(rng.choice(LETTERS) for _ in range(rng.randint(9, 89)))
            for _ in range(count)]


def main():
    ap = argparse.ArgumentParser(description=__doc__,
                                 formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--forms", type=int, required=True)
    ap.add_argument("--fields", type=int, required=True, help="field lines per form")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--one-line", action="store_true")
    ap.add_argument("--out", required=True)
    ap.add_argument("--sizes")
    ap.add_argument("--expect-dir")
    ap.add_argument("--expect", default="", help="comma-separated form numbers")
    a = ap.parse_args()

    rng = random.Random(a.seed)
    pool = value_pool(rng)
    prefixes = [FIELD_PREFIX % (i + 1) for i in range(a.fields)]
    wanted = {int(x) for x in a.expect.split(",") if x}
    if wanted and not a.expect_dir:
        ap.error("--expect needs --expect-dir")
    if a.expect_dir:
        os.makedirs(a.expect_dir, exist_ok=True)

    sep = b"" if a.one_line else CRLF
    # What every form file starts with: the lines before the Ormu block. On
    # one line, the declaration and the root tag make a single header line.
    if a.one_line:
        header = DECL + ROOT + CRLF
    else:
        header = DECL + CRLF + ROOT + CRLF
    footer = FOOTER + CRLF

    sizes = open(a.sizes, "w") if a.sizes else None
    with open(a.out, "wb", buffering=1 << 20) as out:
        out.write(sep.join([DECL, ROOT] + ORMU) + sep)
        for n in range(1, a.forms + 1):
            fields = [p + v + FIELD_SUFFIX
                      for p, v in zip(prefixes, rng.choices(pool, k=a.fields))]
            lines = [FORM_OPEN] + fields + [FORM_CLOSE]
            out.write(sep.join(lines) + sep)
            if a.one_line:
                # The opening tag, then the content run together with the
                # closing tag, each as one line of the form file.
                body = FORM_OPEN + CRLF + b"".join(fields) + FORM_CLOSE + CRLF
            else:
                body = CRLF.join(lines) + CRLF
            if sizes:
                sizes.write("%d\n" % (len(header) + len(body) + len(footer)))
            if n in wanted:
                with open(os.path.join(a.expect_dir, "%04d.Xml" % n), "wb") as f:
                    f.write(header + body + footer)
        out.write(ROOT_END + CRLF)
    if sizes:
        sizes.close()


if __name__ == "__main__":
    main()
