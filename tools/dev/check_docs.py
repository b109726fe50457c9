#!/usr/bin/env python3
"""Checks that the manual cannot drift from the program.

  check_docs.py links ROOT
      Every relative link in README.md and docs/*.md points at a file that exists and, with
      #anchor, at a heading of that file (anchors as GitHub makes them).
  check_docs.py messages ROOT PAGE
      Every message text the program and its tools can show appears on PAGE (the
      troubleshooting page). Scanned: every .cpp file under src/ and tools/ (not tests/).
      A message is the string literals of a call to one of MESSAGE_CALLS (message boxes,
      standard error, the trouble reporter and report() callbacks, settings problems, the
      TCP server's start, the TCP page's warnings), of an snprintf into a buffer named like
      a message, or assigned to a variable named like one (error, problem, message, warning,
      reason). Usage texts are left to the help check. Each literal is cut at its printf
      directives and escapes; every piece of two words or more must occur on PAGE (blanks and
      line breaks compare as one blank). One direction only: the page may say more. Texts of
      the language pack (the property sheet's warnings) are not scanned: the page lists them
      by hand.
  check_docs.py help PAGE PROGRAM [ARG...]
      Every option (--name) that `PROGRAM ARG... --help` prints appears on PAGE.
Exit status 0 when all is well, 1 with the differences on standard error.
"""
import glob
import os
import re
import subprocess
import sys

MESSAGE_CALLS = ("ShowMessage", "MessageBoxA", "MessageBoxW", "WriteErrorLine", "Report", "report", "ReportSettingsProblem", "Problem", "Warn",
                 "Say", "FailStart", "fprintf", "fputs", "snprintf")
MESSAGE_NAME = re.compile(r"(message|problem|error|warning|reason|line)", re.IGNORECASE)
LITERAL = re.compile(r'"((?:[^"\\\n]|\\.)*)"')
DIRECTIVE = re.compile(r"%[-+ #0]*[0-9*]*(?:\.[0-9*]+)?(?:ll|l|z|h|j)?[a-zA-Z%]|\\[ntr]")


def blanks(text):
    return re.sub(r"\s+", " ", text)


def unescape(literal):
    return literal.replace('\\"', '"').replace("\\\\", "\\")


def call_arguments(text, start):
    """The text between the parenthesis at start - 1 and its match."""
    depth, j = 1, start
    while j < len(text) and depth:
        c = text[j]
        if c == '"':
            j += 1
            while j < len(text) and text[j] != '"':
                j += 2 if text[j] == "\\" else 1
        elif c == "'":
            j = text.index("'", j + 2 if text[j + 1] == "\\" else j + 1)
        elif c == "(":
            depth += 1
        elif c == ")":
            depth -= 1
        j += 1
    return text[start:j - 1]


def literal_runs(args):
    """Adjacent string literals joined, one string per run."""
    runs, current, last_end = [], None, None
    for m in LITERAL.finditer(args):
        if current is not None and args[last_end:m.start()].strip() == "":
            current += m.group(1)
        else:
            if current is not None:
                runs.append(current)
            current = m.group(1)
        last_end = m.end()
    if current is not None:
        runs.append(current)
    return runs


def message_pieces(source):
    calls = re.compile(r"\b(?:std::|zamri::)?(" + "|".join(MESSAGE_CALLS) + r")\s*\(")
    for m in calls.finditer(source):
        args = call_arguments(source, m.end())
        name = m.group(1)
        if name == "fprintf" and not args.lstrip().startswith("stderr"):
            continue
        if name == "fputs" and not args.rstrip().endswith("stderr"):
            continue
        if name == "snprintf" and not MESSAGE_NAME.search(args.split(",")[0]):
            continue
        yield source.count("\n", 0, m.start()) + 1, literal_runs(args)
    assignments = re.compile(r"\b\w*(?:error|problem|message|warning|reason)\w*\s*\+?=\s*(?=(?:std::string\()?\")",
                             re.IGNORECASE)
    for m in assignments.finditer(source):
        end = m.end()
        while end < len(source) and source[end] != ";":  # the statement's end, not a ; in a literal
            if source[end] == '"':
                end = LITERAL.match(source, end).end()
            else:
                end += 1
        yield source.count("\n", 0, m.start()) + 1, literal_runs(source[m.end():end])


def check_messages(root, page_path):
    page = blanks(open(page_path, encoding="utf-8").read())
    missing = []
    files = sorted(glob.glob(os.path.join(root, "src", "**", "*.cpp"), recursive=True) +
                   glob.glob(os.path.join(root, "tools", "**", "*.cpp"), recursive=True))
    for path in files:
        source = open(path, encoding="utf-8", errors="replace").read()
        for line, runs in message_pieces(source):
            for run in runs:
                if run.startswith("usage:"):
                    continue  # a usage text: the help check compares it with the tool's page
                for piece in DIRECTIVE.split(unescape(run)):
                    piece = blanks(piece).strip(" .,;:")
                    if len(piece.split()) >= 2 and piece not in page:
                        missing.append(f"{os.path.relpath(path, root)}:{line}: {piece}")
    for m in sorted(set(missing)):
        print(f"not on {os.path.basename(page_path)}: {m}", file=sys.stderr)
    print(f"{len(files)} files scanned, {len(set(missing))} message texts missing", file=sys.stderr)
    return 1 if missing else 0


def anchor(heading):
    text = re.sub(r"[`*_]", "", heading.strip().lower())
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def anchors(path):
    found, seen = set(), {}
    fenced = False
    for line in open(path, encoding="utf-8"):
        if line.startswith("```"):
            fenced = not fenced
        m = re.match(r"#{1,6} (.*)", line)
        if m and not fenced:
            base = anchor(m.group(1))
            n = seen.get(base, 0)
            seen[base] = n + 1
            found.add(base if n == 0 else f"{base}-{n}")
    return found


def check_links(root):
    pages = [os.path.join(root, "README.md")] + sorted(glob.glob(os.path.join(root, "docs", "*.md")))
    bad = []
    for page in pages:
        text = open(page, encoding="utf-8").read()
        text = re.sub(r"(?m)^    .*$", "", text)  # indented code
        text = re.sub(r"`[^`\n]*`", "", text)
        for m in re.finditer(r"\]\(([^)\s]+)\)", text):
            target = m.group(1)
            if re.match(r"[a-z]+:", target):
                continue
            file, _, fragment = target.partition("#")
            full = os.path.normpath(os.path.join(os.path.dirname(page), file)) if file else page
            where = f"{os.path.relpath(page, root)}: {target}"
            if not os.path.exists(full):
                bad.append(f"{where}: no such file")
            elif fragment and full.endswith(".md") and fragment not in anchors(full):
                bad.append(f"{where}: no heading #{fragment}")
    for b in bad:
        print(b, file=sys.stderr)
    print(f"{len(pages)} pages checked, {len(bad)} broken links", file=sys.stderr)
    return 1 if bad else 0


def check_help(page_path, command):
    result = subprocess.run(command + ["--help"], capture_output=True, text=True, timeout=60)
    shown = result.stdout + result.stderr
    options = sorted(set(re.findall(r"(?<![\w-])--[a-z][a-z0-9-]*", shown)))
    if result.returncode < 0 or not options:  # a usage error's exit status is fine; a crash is not
        print(f"{' '.join(command)} --help: exit {result.returncode}, {len(options)} options", file=sys.stderr)
        return 1
    page = open(page_path, encoding="utf-8").read()
    missing = [o for o in options if not re.search(re.escape(o) + r"(?![\w-])", page)]
    for o in missing:
        print(f"{os.path.basename(command[0])} {o} is not on {os.path.basename(page_path)}", file=sys.stderr)
    return 1 if missing else 0


def main(argv):
    if len(argv) == 3 and argv[1] == "links":
        return check_links(argv[2])
    if len(argv) == 4 and argv[1] == "messages":
        return check_messages(argv[2], argv[3])
    if len(argv) >= 4 and argv[1] == "help":
        return check_help(argv[2], argv[3:])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
