#!/usr/bin/env python3
"""Prints the benchmark table from the results that run.sh collected.

Rows of the results file, tab-separated:
  WORKLOAD input FORMS BYTES LINES
  WORKLOAD TOOL RUNS FASTEST_SECONDS MEDIAN_SECONDS PEAK_KIB

Ratios and targets use the fastest run of each tool: on a shared machine it
is the run least disturbed by other work.
"""
import sys

MIB = 1024 * 1024
LABELS = {
    "formsplit": "formsplit",
    "base": "formsplit (base)",
    "cat": "cat > /dev/null",
    "cp": "cp",
    "create-files": "create-files",
    "mawk": "awk (mawk)",
    "gawk": "awk (gawk)",
    "lxml": "python lxml",
    "xml_split": "xml_split",
}
ALTERNATIVES = ["mawk", "gawk", "lxml", "xml_split"]


def main():
    args = sys.argv[1:]
    quick = "--quick" in args
    path = [a for a in args if a != "--quick"][0]
    inputs, res, order = {}, {}, []
    for line in open(path):
        fields = line.rstrip("\n").split("\t")
        w, tool = fields[0], fields[1]
        if w not in order:
            order.append(w)
        if tool == "input":
            inputs[w] = dict(forms=int(fields[2]), bytes=int(fields[3]), lines=int(fields[4]))
        else:
            runs, fastest, median, kib = fields[2:]
            res.setdefault(w, {})[tool] = dict(runs=int(runs), secs=float(fastest), median=float(median),
                                               kib=int(kib))

    if quick:
        print("--quick: a tenth of the full sizes; the targets below are judged on a full run.\n")
    head = "%-8s %-22s %4s %10s %10s %9s %14s" % ("workload", "tool", "runs", "fastest s", "median s",
                                                  "peak MiB", "formsplit/tool")
    print(head)
    print("-" * len(head))
    for w in order:
        r, i = res.get(w, {}), inputs[w]
        fs = r["formsplit"]["secs"]
        print("%-8s %d forms, %.1f MB, %d line(s)" % (w, i["forms"], i["bytes"] / 1e6, i["lines"]))
        for tool in ["formsplit", "base", "cat", "cp", "create-files"]:
            if tool in r:
                row(w, LABELS[tool], r[tool], fs)
        floor = r["cp"]["secs"] + r["create-files"]["secs"]
        print("%-8s %-22s %4s %10.3f %10s %9s %14.2f" % ("", "floor: cp + create", "", floor, "", "",
                                                        fs / floor))
        for tool in ALTERNATIVES:
            if tool in r:
                row(w, LABELS[tool], r[tool], fs)
            else:
                print("%-8s %-22s %4s %10s" % ("", LABELS[tool], "", "n/a"))
        print()

    print("Targets (formsplit, fastest runs)")
    checks = []
    if "W1" in res:
        r = res["W1"]
        fs = r["formsplit"]["secs"]
        checks.append(("W1 time / (cp + create-files)", fs / (r["cp"]["secs"] + r["create-files"]["secs"]),
                       "<=", 1.25))
        alts = [(r[t]["secs"], t) for t in ALTERNATIVES if t in r]
        best, name = min(alts)
        checks.append(("W1 fastest alternative (%s) / formsplit" % name, best / fs, ">=", 2.0))
    if "W2" in res and "W1" in res:
        checks.append(("W2 time / W1 time", res["W2"]["formsplit"]["secs"] / res["W1"]["formsplit"]["secs"],
                       "<=", 1.0))
    if "W3" in res:
        r = res["W3"]
        checks.append(("W3 time / create-files", r["formsplit"]["secs"] / r["create-files"]["secs"],
                       "<=", 1.3))
    for w in order:
        checks.append(("%s peak memory, MiB" % w, res[w]["formsplit"]["kib"] / 1024, "<=", 8.0))
    for name, value, op, limit in checks:
        ok = value <= limit if op == "<=" else value >= limit
        print("  %-52s %8.2f  %s %6.2f  %s" % (name, value, op, limit, "met" if ok else "MISSED"))
    print("\nfastest s, median s: the fastest and the median wall time of the runs; peak MiB: the largest")
    print("peak resident memory of the runs; formsplit/tool: formsplit's fastest time divided by the tool's")
    print("(below 1: formsplit is faster).")


def row(w, label, t, fs):
    print("%-8s %-22s %4d %10.3f %10.3f %9.1f %14.2f" % ("", label, t["runs"], t["secs"], t["median"],
                                                         t["kib"] / 1024, fs / t["secs"]))


if __name__ == "__main__":
    main()
