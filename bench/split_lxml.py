#!/usr/bin/env python3
"""The Python way to split a batch: lxml iterparse, one file per form.

    split_lxml.py batch.xml OUT/batch

writes OUT/batch0001.Xml, ... (XML declaration, the root's start tag rebuilt
from the parsed root, the form element, the root's end tag) and OUT/batch.Txt
naming them. Parsed forms are freed as it goes, so memory stays flat.
"""
import sys
from xml.sax.saxutils import quoteattr

from lxml import etree

NS = "{urn:x}"
ENC = "windows-1250"


def start_tag(root):
    tag = etree.QName(root).localname
    attrs = "".join(' xmlns="%s"' % uri if p is None else ' xmlns:%s="%s"' % (p, uri)
                    for p, uri in root.nsmap.items())
    attrs += "".join(" %s=%s" % (etree.QName(k).localname, quoteattr(v))
                     for k, v in root.attrib.items())
    return "<%s%s>" % (tag, attrs)


def main():
    src, base = sys.argv[1], sys.argv[2]
    header = footer = None
    n = 0
    with open(base + ".Txt", "wb") as listing:
        for _, form in etree.iterparse(src, events=("end",), tag=NS + "nyomtatvany"):
            root = form.getparent()
            if header is None:
                tag = start_tag(root)
                header = ('<?xml version="1.0" encoding="%s"?>\r\n%s\r\n' % (ENC, tag)).encode(ENC)
                footer = ("</%s>\r\n" % etree.QName(root).localname).encode(ENC)
            n += 1
            name = "%s%04d.Xml" % (base, n)
            with open(name, "wb") as f:
                f.write(header)
                f.write(etree.tostring(form, encoding=ENC, xml_declaration=False, with_tail=False))
                f.write(b"\r\n")
                f.write(footer)
            listing.write(name.encode() + b"\r\n")
            form.clear()
            while form.getprevious() is not None:
                del root[0]


if __name__ == "__main__":
    main()
