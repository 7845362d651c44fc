#!/usr/bin/env python3
"""Mutation testing for the plugin: how many small planted faults does the test suite catch?

Plants one fault at a time in the plugin's sources (shell/ ics/ dialogs/ board/ panels/ lcd/,
board/font_data.cpp excluded), rebuilds the test targets, runs the unit then the end-to-end tests
(stopping at the first failure), restores the file, and reports each mutant as killed (and by
which test), lived, or not compiled. Faults: a comparison flipped (< <=, > >=, == !=), && and ||
swapped, binary + and - (and += -=) swapped, an integer constant off by one, a returned value
changed. The box and server tests (labels boxsim, ficsd) never load the plugin, so they are not
run by default. Needs a configured, built tree (cmake --preset default; cmake --build ...).

  scripts/mutants.py --seed 1 --count 80         # a random sample: same seed + sources = same
  scripts/mutants.py --list --count 0             # every candidate, nothing run
  scripts/mutants.py --only board/board.cpp:97    # every mutant on one line
  scripts/mutants.py --replay OLD.json            # the same mutants again, on a changed tree
  scripts/mutants.py --sanitizer-dir build/asan   # survivors tried again under ASan+UBSan
Reports: <build-dir>/mutants.md and mutants.json, rewritten after each mutant.
"""
import argparse, bisect, json, os, random, re, signal, subprocess, sys, time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
PLUGIN_DIRS = ["shell", "ics", "dialogs", "board", "panels", "lcd"]
EXCLUDED = {"board/font_data.cpp"}
FLIP = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "==", "&&": "||",
        "||": "&&", "+": "-", "-": "+", "+=": "-=", "-=": "+="}
OPERATOR = {"&&": "logic", "||": "logic", "+": "arith", "-": "arith", "+=": "arith",
            "-=": "arith"}  # the rest of FLIP: "compare"
# Words after which + and - are unary and < opens no template.
KEYWORDS = {"return", "case", "throw", "else", "do", "sizeof", "co_return", "if", "while"}
TOKEN = re.compile(r"""
   (?P<ws>\s+) | (?P<comment>//[^\n]*|/\*.*?\*/)
 | (?P<str>R"(?P<d>[^(\s]*)\(.*?\)(?P=d)"|(?:u8|[uUL])?"(?:\\.|[^"\\\n])*")
 | (?P<chr>(?:u8|[uUL])?'(?:\\.|[^'\\\n])+')
 | (?P<num>\.?\d(?:[eEpP][+-]|[\w.'])*) | (?P<id>[A-Za-z_]\w*)
 | (?P<op><=>|<<=|>>=|->\*|\.\.\.|::|->|\+\+|--|<<|>>|&&|\|\||[-+*/%&|^!=<>]=|.)""",
                   re.S | re.X)
INTEGER = re.compile(r"(0[xX][0-9a-fA-F']+|0|[1-9][0-9']*)([uUlL]*)$")
BOOLEAN = {"<", "<=", ">", ">=", "==", "!=", "&&", "||"}
DEPTH = {"(": 1, "[": 1, "{": 1, ")": -1, "]": -1, "}": -1}


def tokenize(text):
    """(kind, text, start, end) of every token outside comments and preprocessor lines."""
    tokens, pos = [], 0
    while pos < len(text):
        m = TOKEN.match(text, pos)
        kind, end = ("str" if m.lastgroup == "d" else m.lastgroup), m.end()
        if m.group() == "#" and not text[text.rfind("\n", 0, pos) + 1:pos].strip():
            end = pos  # a preprocessor line and its continuation lines
            while (end := text.find("\n", end + 1)) != -1 and text[end - 1] == "\\":
                pass
            end = len(text) if end == -1 else end
        elif kind not in ("ws", "comment"):
            tokens.append((kind, m.group(), pos, end))
        pos = end
    return tokens


def templated(toks):
    """Indices from each template's < to its > (std::array<char, 8>, static_cast<int>)."""
    inside = set()
    for i, tok in enumerate(toks):
        if tok[1] != "<" or toks[i - 1][0] != "id" or toks[i - 1][1] in KEYWORDS:
            continue
        depth, parens = 1, 0
        for j in range(i + 1, len(toks)):
            kind, text = toks[j][0], toks[j][1]
            if text in ("<", ">", ">>"):
                depth += 1 if text == "<" else -len(text)
            elif text in ("(", "[", ")", "]"):
                parens += DEPTH[text]
            elif kind not in ("id", "num") and text not in ("::", ",", "*", "&"):
                break
            if parens < 0:
                break
            if depth <= 0:
                inside.update(range(i, j + 1))
                break
    return inside


def asserted(toks):
    """Indices inside static_assert(...) and assert(...): checked while compiling, or not built
    (NDEBUG)."""
    inside = set()
    for i, tok in enumerate(toks[:-1]):
        if tok[1] in ("static_assert", "assert") and toks[i + 1][1] == "(":
            depth, j = 0, i + 1
            while (depth := depth + DEPTH.get(toks[j][1], 0)) > 0:
                j += 1
            inside.update(range(i, j + 1))
    return inside


def is_value(tok):
    return tok[0] in ("num", "str", "chr") or tok[1] in (")", "]") or (
        tok[0] == "id" and tok[1] not in KEYWORDS)


def declared_size(toks, i):
    """Whether the number at i is an array's size in a declaration: char text[2], int a[8][8]."""
    if toks[i - 1][1] != "[" or toks[i + 1][1] != "]":
        return False
    j = i - 2
    while toks[j][1] == "]":  # an earlier dimension
        while toks[j][1] != "[":
            j -= 1
        j -= 1
    return toks[j][0] == "id" and (toks[j - 1][1] in (">", "*", "&") or (
        toks[j - 1][0] == "id" and toks[j - 1][1] not in KEYWORDS))


def returned_value(text, toks, i, skip):
    """(start, end, replacement) for the expression returned at toks[i], or None."""
    j, depth = i + 1, 0
    while j < len(toks) and (depth > 0 or toks[j][1] != ";"):
        depth += DEPTH.get(toks[j][1], 0)
        j += 1
    expr = [t[1] for t in toks[i + 1:j]]
    if not expr or expr[0] in ("{", "nullptr") or "nullopt" in expr or j == len(toks):
        return None
    start, end = toks[i + 1][2], toks[j - 1][3]
    source, top, depth = text[start:end], [], 0
    for k in range(i + 1, j):
        depth += DEPTH.get(toks[k][1], 0)
        top += [toks[k][1]] if depth == 0 and k not in skip else []
    swaps = {"true": "false", "false": "true", "0": "1", "1": "0"}
    if len(expr) == 1 and (m := INTEGER.match(source)) and source not in swaps:
        return start, end, str(int(m.group(1).replace("'", ""), 0) + 1) + m.group(2)
    if source in swaps:
        return start, end, swaps[source]
    if "?" not in top and (expr[0] == "!" or any(t in BOOLEAN for t in top)):
        return start, end, f"!({source})"
    postfix = all(t in ("(", ")", "]", ".", "->", "::", "!", "-") or t[0].isalnum() or
                  t[0] in "_\"'" for t in top)
    return start, end, f"{source} + 1" if postfix else f"({source}) + 1"


def candidates(path):
    """Every mutant of one file, in source order: file, line, col, op, start, end, orig, repl."""
    rel, text = path.relative_to(ROOT).as_posix(), path.read_bytes().decode()
    toks = tokenize(text)
    lines = text.split("\n")
    line_starts = [0] + [m.end() for m in re.finditer("\n", text)]
    skip = templated(toks) | asserted(toks) | {0, len(toks) - 1}
    out = []

    def add(op, start, end, repl):
        line = bisect.bisect_right(line_starts, start)
        out.append(dict(file=rel, line=line, col=start - line_starts[line - 1] + 1, op=op,
                        orig=text[start:end], repl=repl, line_text=lines[line - 1],
                        start=start, end=end))

    for i, (kind, tok, start, end) in enumerate(toks):
        prev = toks[i - 1]
        if i in skip:
            continue
        if tok in FLIP and prev[1] != "operator":
            if tok in ("+", "-") and not is_value(prev):
                continue  # unary
            add(OPERATOR.get(tok, "compare"), start, end, FLIP[tok])
        elif tok == "return" and (found := returned_value(text, toks, i, skip)):
            add("return", *found)
        elif kind == "num" and (m := INTEGER.match(tok)) and not declared_size(toks, i):
            if prev[1] == "return" and toks[i + 1][1] == ";":
                continue  # the return mutant already changes it
            value, hexa = int(m.group(1).replace("'", ""), 0), m.group(1)[:2] in ("0x", "0X")
            for v in (value + 1, value - 1) if value else (1,):
                add("constant", start, end, (hex(v) if hexa else str(v)) + m.group(2))
    return out


def plugin_files():
    return sorted(p for d in PLUGIN_DIRS for p in (ROOT / d).glob("*.[ch]*")
                  if p.suffix in (".cpp", ".h") and p.relative_to(ROOT).as_posix() not in EXCLUDED)


def sample(pool, count, rng):
    """Lines at random, then on each line an operator at random and one of its mutants: a line
    of a data table weighs as much as a line of logic, and its many constants as one operator."""
    by_line = {}
    for c in pool:
        by_line.setdefault((c["file"], c["line"]), {}).setdefault(c["op"], []).append(c)
    picked = []
    for key in rng.sample(sorted(by_line), min(count, len(by_line))):
        ops = by_line[key]
        picked.append(rng.choice(ops[rng.choice(sorted(ops))]))
    return sorted(picked, key=lambda c: (c["file"], c["start"]))


def main():
    args = parse_args()
    if args.replay:
        mutants = replay(json.loads(Path(args.replay).read_text())["mutants"])
    else:
        pool = [c for p in plugin_files() for c in candidates(p)]
        if args.only:
            file, _, line = args.only.partition(":")
            pool = [c for c in pool if c["file"] == file and (not line or c["line"] == int(line))]
        sampled = args.count and not args.only
        mutants = sample(pool, args.count, random.Random(args.seed)) if sampled else pool
    if args.list:
        for m in mutants:
            print(f"{m['file']}:{m['line']}:{m['col']} {m['op']}: {m['orig']} -> {m['repl']}")
        return 0
    if not plugin_tree_clean():
        sys.exit("mutants: the plugin's folders have changes; commit or stash them first")
    signal.signal(signal.SIGTERM, signal.default_int_handler)  # restore on a kill too
    legs = [Leg(args.build_dir, args.labels.split(","))]
    if args.sanitizer_dir:  # a survivor may still be undefined behaviour the sanitizers see
        legs.append(Leg(args.sanitizer_dir, ["unit"], " under the sanitizers"))
    for leg in legs:
        leg.targets = test_targets(leg)
        if not leg.targets:
            sys.exit(f"mutants: no test executables in {leg.build_dir}; configure and build first")
    report = dict(tree=run(["git", "rev-parse", "--short", "HEAD"]).stdout.strip(),
                  chosen=f"replay of {args.replay}" if args.replay else f"seed {args.seed}",
                  labels=args.labels, mutants=mutants)
    try:
        if not args.no_baseline:
            report["baseline"] = [baseline(args, leg) for leg in legs]
        for n, m in enumerate(mutants, 1):
            if m.get("status") != "changed":
                run_mutant(args, legs, m)
            print(f"[{n}/{len(mutants)}] {m['file']}:{m['line']} {m['orig']!r} -> {m['repl']!r}: "
                  f"{m['status']} {m.get('killer', '')}", flush=True)
            write_reports(args, report)
    finally:
        if not plugin_tree_clean():
            print("mutants: THE PLUGIN'S SOURCES WERE NOT RESTORED: see git diff", file=sys.stderr)
            return 2
        for leg in legs:
            build(args, leg)  # the binaries match the sources again
    print(summary_line(report))
    return 0


def parse_args():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--count", type=int, default=80, help="mutants to sample (0: all)")
    ap.add_argument("--only", metavar="FILE[:LINE]", help="every mutant of one file or line")
    ap.add_argument("--replay", metavar="REPORT.json", help="the mutants of an earlier report")
    ap.add_argument("--list", action="store_true", help="print the mutants, run nothing")
    ap.add_argument("--build-dir", default=str(ROOT / "build/default"))
    ap.add_argument("--labels", default="unit,e2e", help="ctest labels, run in this order")
    ap.add_argument("--sanitizer-dir", metavar="DIR",
                    help="a sanitizer build (preset asan) whose unit tests try each survivor")
    ap.add_argument("--exclude", help="ctest -E: tests not to run")
    ap.add_argument("--timeout", type=int, default=60, help="seconds per test without its own")
    ap.add_argument("-j", "--jobs", type=int, default=2)
    ap.add_argument("--no-baseline", action="store_true", help="skip the unmutated run")
    return ap.parse_args()


def run(cmd):
    """Runs cmd in its own process group; the whole group is killed on an interruption."""
    with subprocess.Popen(cmd, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, start_new_session=True) as p:
        try:
            out = p.communicate()[0]
        except BaseException:
            os.killpg(p.pid, signal.SIGKILL)
            raise
    return subprocess.CompletedProcess(cmd, p.returncode, out)


class Leg:
    """A build tree and the test labels a mutant must pass there."""
    def __init__(self, build_dir, labels, suffix=""):
        self.build_dir, self.labels, self.suffix, self.targets = build_dir, labels, suffix, []


def test_targets(leg):
    """The executables of the leg's tests: the targets each mutant rebuilds."""
    output = lambda cmd: subprocess.run(cmd, capture_output=True, text=True).stdout
    labels = "|".join(leg.labels)
    shown = output(["ctest", "--test-dir", leg.build_dir, "-L", f"^({labels})$",
                    "--show-only=json-v1"])
    names = {Path(t["command"][0]).name for t in json.loads(shown or '{"tests": []}')["tests"]
             if t.get("command")}
    known = output(["cmake", "--build", leg.build_dir, "--target", "help"])
    return sorted(n for n in names if re.search(rf"^\.\.\. {re.escape(n)}$", known, re.M))


def build(args, leg):
    cmd = ["cmake", "--build", leg.build_dir, "-j", str(args.jobs), "--target", *leg.targets]
    return run(cmd).returncode == 0


def plugin_tree_clean():
    return run(["git", "diff", "--quiet", "--", *PLUGIN_DIRS]).returncode == 0


def replay(records):
    """The recorded mutants, found again where their line still reads the same (it may move)."""
    keys = ("file", "line", "col", "op", "orig", "repl", "line_text")
    files, out = {}, []
    for r in records:
        path = ROOT / r["file"]
        if r["file"] not in files:
            files[r["file"]] = ((candidates(path), path.read_bytes().decode().split("\n"))
                                if path.exists() else ([], []))
        pool, lines = files[r["file"]]
        same = [c for c in pool if all(c[k] == r[k] for k in keys[2:])]
        here = [c for c in same if c["line"] == r["line"]]
        moved = same if lines.count(r["line_text"]) == 1 else []
        out.append((here or moved or [dict({k: r[k] for k in keys}, status="changed")])[0])
    return out


def baseline(args, leg):
    """Builds and tests the unmutated tree: it must pass, or no mutant says anything."""
    t0 = time.monotonic()
    if not build(args, leg):
        sys.exit(f"mutants: the unmutated tree does not build in {leg.build_dir}")
    t1 = time.monotonic()
    failed = run_tests(args, leg)
    if failed:
        sys.exit(f"mutants: the unmutated tree fails {failed}")
    return dict(build_seconds=round(t1 - t0, 1), test_seconds=round(time.monotonic() - t1, 1))


def run_tests(args, leg):
    """None when every test passes, else the first failing test and how it failed."""
    for label in leg.labels:
        cmd = ["ctest", "--test-dir", leg.build_dir, "-L", f"^{label}$", "--stop-on-failure",
               "--no-tests=error", "--timeout", str(args.timeout), "-j", str(args.jobs)]
        out = run(cmd + (["-E", args.exclude] if args.exclude else []))
        if out.returncode:
            m = re.search(r"Test +#\d+: (\S+) .*?\*\*\*(\w+)", out.stdout)
            return (f"{m.group(1)} ({m.group(2).lower()}){leg.suffix}" if m
                    else f"ctest -L {label} failed{leg.suffix}")
    return None


def run_mutant(args, legs, m):
    path = ROOT / m["file"]
    original = path.read_bytes()
    text = original.decode()
    mutated = text[:m["start"]] + m["repl"] + text[m["end"]:]
    spanned = lambda t, part: "\n".join(t.split("\n")[m["line"] - 1:m["line"] + part.count("\n")])
    m["original"], m["mutated"] = spanned(text, m["orig"]), spanned(mutated, m["repl"])
    try:
        path.write_bytes(mutated.encode())
        killer, m["build_seconds"], m["test_seconds"] = None, 0, 0
        for n, leg in enumerate(legs):
            t1 = time.monotonic()
            built = build(args, leg)
            m["build_seconds"] = round(m["build_seconds"] + time.monotonic() - t1, 1)
            if not built and n == 0:
                m["status"] = "not compiled"
                return
            t2 = time.monotonic()
            killer = run_tests(args, leg) if built else None
            m["test_seconds"] = round(m["test_seconds"] + time.monotonic() - t2, 1)
            if killer:
                break
        m["status"], m["killer"] = ("killed", killer) if killer else ("lived", "")
    finally:
        path.write_bytes(original)


def summary(mutants):
    n = {s: sum(m.get("status") == s for m in mutants)
         for s in ("killed", "lived", "not compiled", "changed")}
    n["score"] = round(100 * n["killed"] / (n["killed"] + n["lived"] or 1), 1)
    return n


def summary_line(report):
    n = summary(report["mutants"])
    return (f"killed {n['killed']} / lived {n['lived']} / not compiled {n['not compiled']} / "
            f"changed {n['changed']}: score {n['score']} % (killed / (killed + lived))")


def write_reports(args, report):
    report["summary"] = summary(report["mutants"])
    base = Path(args.build_dir) / "mutants"
    base.with_suffix(".json").write_text(json.dumps(report, indent=1) + "\n")
    cell = lambda s: "`" + s.strip().replace("|", "\\|").replace("\n", " ⏎ ") + "`"
    md = [f"# Mutants of {report['tree']} ({report['chosen']}, tests: {report['labels']})", "",
          summary_line(report), "", "| operator | killed | lived | not compiled |",
          "|---|---|---|---|"]
    for op in sorted({m["op"] for m in report["mutants"]}):
        s = summary([m for m in report["mutants"] if m["op"] == op])
        md.append(f"| {op} | {s['killed']} | {s['lived']} | {s['not compiled']} |")
    md += ["", "## Lived", "", "| where | operator | original | mutated |", "|---|---|---|---|"]
    md += [f"| {m['file']}:{m['line']} | {m['op']} | {cell(m['original'])} | "
           f"{cell(m['mutated'])} |"
           for m in report["mutants"] if m.get("status") == "lived"]
    md += ["", "## Every mutant", "", "| where | change | status | test | seconds |",
           "|---|---|---|---|---|"]
    md += [f"| {m['file']}:{m['line']}:{m['col']} | {cell(m['orig'])} → {cell(m['repl'])} | "
           f"{m.get('status', 'not run')} | {m.get('killer', '')} | "
           f"{m.get('build_seconds', 0) + m.get('test_seconds', 0):.0f} |" for m in report["mutants"]]
    base.with_suffix(".md").write_text("\n".join(md) + "\n")


if __name__ == "__main__":
    try:
        sys.exit(main())
    except KeyboardInterrupt:
        sys.exit("mutants: interrupted; the sources are restored and the report holds what ran")
