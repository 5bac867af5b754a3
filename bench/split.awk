# The awk way to split a batch written one element per line:
#   awk -v base=OUT/batch -f split.awk batch.xml
# writes OUT/batch0001.Xml, ... (header lines, the form's lines, the closing
# root tag) and OUT/batch.Txt naming them. Lines keep their CR, so every
# written line ends CR LF like the input's. Run it with LC_ALL=C.
BEGIN { header = 1 }
inform {
    print > out
    if (index($0, "</nyomtatvany>")) {
        print "</nyomtatvanyok>\r" > out
        close(out)
        inform = 0
    }
    next
}
index($0, "<nyomtatvany>") {
    header = 0
    out = sprintf("%s%04d.Xml", base, ++n)
    print out "\r" > (base ".Txt")
    for (i = 1; i <= nh; i++)
        print head[i] > out
    print > out
    inform = 1
    next
}
index($0, "<ormu>") { header = 0; next }
header { head[++nh] = $0 }
