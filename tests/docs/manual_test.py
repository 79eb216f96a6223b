#!/usr/bin/env python3
"""Holds the man page to the code.

- Every Chinese string literal of the command line, the packager, the archive writer, the folder
  walk, the platform layer and the progress dialog appears in docs/zelpack.1 word for word: each
  literal is cut where a value is put in or a line ends, and each piece, trimmed of punctuation
  and spaces at its ends, must be in the page's text.
- Every message of the archive writer (zip/zip_result.cpp) is in the page.
- The page's list of build-output marks is the one of filelist/default_ticks.cpp.
- The exit statuses of cli/exit_codes.h are the page's, and README.md's table says the same.

Usage: manual_test.py SOURCE_DIR
"""

import pathlib
import re
import sys
import unicodedata

# The product sources whose Chinese literals are messages, help texts or status texts.
SOURCE_DIRS = ["cli", "packager", "zip", "filelist", "platform", "gui/progress"]

# Literals that are never output. Keep this short: document a text rather than list it here.
NOT_OUTPUT = {
    "Success",  # ZipResultMessage(0): only failures are ever described
}

CJK = re.compile("[\u3000-\u303f\u3400-\u4dbf\u4e00-\u9fff\uf900-\ufaff\uff00-\uffef]")

# Where a value is put into a literal, or where a line or column ends: control characters,
# printf conversions, std::format fields and Qt's %1.
BOUNDARY = re.compile(
    r"[\x00-\x1f\x7f]"
    r"|%[-+ #0]*\d*(?:\.\d+)?(?:hh|h|ll|l|z|j|t|L)?[diouxXeEfgGcsp]"
    r"|%\d"
    r"|\{[^{}]*\}"
)

SIMPLE_ESCAPES = {
    "n": "\n", "t": "\t", "r": "\r", "a": "\a", "b": "\b", "f": "\f", "v": "\v",
    "\\": "\\", '"': '"', "'": "'", "?": "?",
}


def unescape_cpp(body):
    out = []
    i = 0
    while i < len(body):
        c = body[i]
        if c != "\\":
            out.append(c)
            i += 1
            continue
        e = body[i + 1]
        if e in SIMPLE_ESCAPES:
            out.append(SIMPLE_ESCAPES[e])
            i += 2
        elif e == "x":
            m = re.match(r"[0-9A-Fa-f]+", body[i + 2:])
            out.append(chr(int(m.group(), 16)))
            i += 2 + len(m.group())
        elif e in "uU":
            n = 4 if e == "u" else 8
            out.append(chr(int(body[i + 2:i + 2 + n], 16)))
            i += 2 + n
        else:
            m = re.match(r"[0-7]{1,3}", body[i + 1:])
            out.append(chr(int(m.group(), 8)))
            i += 1 + len(m.group())
    return "".join(out)


def string_literals(text):
    """(line, value) of every string literal outside comments, adjacent literals joined as the
    compiler joins them."""
    literals = []
    previous_was_literal = False
    i = 0
    line = 1
    n = len(text)
    while i < n:
        c = text[i]
        if c == "\n":
            line += 1
            i += 1
            continue
        if c.isspace():
            i += 1
            continue
        if text.startswith("//", i):
            i = text.find("\n", i)
            i = n if i < 0 else i
            continue
        if text.startswith("/*", i):
            end = text.index("*/", i + 2) + 2
            line += text.count("\n", i, end)
            i = end
            continue
        prefix = ""
        if c.isascii() and (c.isalnum() or c == "_"):
            m = re.compile(r"\d[\w'.]*|[A-Za-z_]\w*").match(text, i)
            word = m.group()
            i = m.end()
            if word in ("u8", "u", "U", "L", "R", "u8R", "uR", "UR", "LR") and i < n and \
                    text[i] in "\"'":
                prefix = word
                c = text[i]
            else:
                previous_was_literal = False
                continue
        if c == '"':
            start_line = line
            if prefix.endswith("R"):
                m = re.compile(r'"([^()\\ ]{0,16})\(').match(text, i)
                close = ")" + m.group(1) + '"'
                end = text.index(close, m.end())
                value = text[m.end():end]
                i = end + len(close)
            else:
                m = re.compile(r'"((?:[^"\\\n]|\\.)*)"').match(text, i)
                value = unescape_cpp(m.group(1))
                i = m.end()
            line += value.count("\n") if prefix.endswith("R") else 0
            if previous_was_literal:
                literals[-1] = (literals[-1][0], literals[-1][1] + value)
            else:
                literals.append((start_line, value))
            previous_was_literal = True
            continue
        if c == "'":
            m = re.compile(r"'(?:[^'\\\n]|\\.)*'").match(text, i)
            i = m.end()
        else:
            i += 1
        previous_was_literal = False
    return literals


def trim(piece):
    def edge(ch):
        return ch.isspace() or unicodedata.category(ch)[0] in "PZC"

    start, end = 0, len(piece)
    while start < end and edge(piece[start]):
        start += 1
    while end > start and edge(piece[end - 1]):
        end -= 1
    return piece[start:end]


def collapse(text):
    return " ".join(text.split())


# --- the man page -------------------------------------------------------------------------------

GLYPHS = {
    "lq": "\u201c", "rq": "\u201d", "oq": "\u2018", "cq": "\u2019", "aq": "'", "dq": '"',
    "em": "\u2014", "en": "\u2013", "hy": "-", "bu": "\u2022", "ti": "~", "ha": "^",
}
ROFF_ESCAPE = re.compile(
    r"\\(?:"
    r"\[u([0-9A-Fa-f]{4,6})\]"  # \[u4E2D]
    r"|\[([^\]]*)\]|\((..)"  # \[lq], \(lq
    r"|f(?:\[[^\]]*\]|\(..|.)"  # fonts
    r"|\*(?:\[([^\]]*)\]|\((..)|(.))"  # strings
    r"|s[-+]?\d+"  # sizes
    r"|(.))",
    re.DOTALL,
)
ALTERNATING = {"BR", "BI", "IB", "IR", "RB", "RI"}


def unescape_roff(text):
    def replace(m):
        code, bracket, paren, s1, s2, s3, single = m.groups()
        if code:
            return chr(int(code, 16))
        name = bracket or paren or s1 or s2 or s3
        if name is not None:
            return GLYPHS.get(name, "")
        if single is None:
            return ""  # a font or size change
        return {"-": "-", "e": "\\", "\\": "\\", " ": " ", "~": " ", "0": " "}.get(single, "")

    return ROFF_ESCAPE.sub(replace, text)


def macro_arguments(rest):
    args, current, i, quoted = [], [], 0, False
    while i < len(rest):
        c = rest[i]
        if c == "\\" and i + 1 < len(rest):
            current.append(rest[i:i + 2])
            i += 2
            continue
        if quoted:
            if c == '"' and rest[i + 1:i + 2] == '"':
                current.append('"')
                i += 2
                continue
            if c == '"':
                quoted = False
            else:
                current.append(c)
        elif c == '"' and not current:
            quoted = True
        elif c in " \t":
            if current:
                args.append("".join(current))
                current = []
        else:
            current.append(c)
        i += 1
    if current:
        args.append("".join(current))
    return args


def roff_lines(page):
    """The page's lines as (macro or None, text), comments dropped, escapes still in."""
    for raw in page.splitlines():
        raw = re.sub(r'(?<!\\)\\".*', "", raw)  # a comment to the end of the line
        if raw.startswith((".", "'")):
            m = re.match(r"[.'](\S*)\s*(.*)", raw)
            macro, args = m.group(1), macro_arguments(m.group(2))
            yield macro, ("" if macro in ALTERNATING else " ").join(args)
        else:
            yield None, raw


def page_text(page):
    return collapse(unescape_roff("\n".join(text for _, text in roff_lines(page))))


def section(page, title):
    lines, inside = [], False
    for macro, text in roff_lines(page):
        if macro == "SH":
            inside = unescape_roff(text).strip() == title
            continue
        if inside:
            lines.append((macro, text))
    return lines


def page_exit_statuses(page):
    """[(code, meaning)] of the EXIT STATUS section: .TP, .B code, then the meaning."""
    entries, code, meaning = [], None, []
    for macro, text in section(page, "EXIT STATUS") + [("TP", "")]:
        if macro in ("TP", "PP", "LP", "P"):
            if code is not None:
                entries.append((code, collapse(unescape_roff(" ".join(meaning)))))
            code, meaning = None, []
        elif macro == "B" and code is None:
            code = int(unescape_roff(text))
        else:
            meaning.append(text)
    return entries


def readme_exit_statuses(readme):
    entries, inside = [], False
    for line in readme.splitlines():
        if line.startswith("#"):
            inside = re.match(r"#+\s+Exit (status|codes)\b", line, re.IGNORECASE) is not None
            continue
        m = re.match(r"\|\s*(\d+)\s*\|(.*)\|\s*$", line)
        if inside and m:
            meaning = re.sub(r"[`*]", "", m.group(2))
            entries.append((int(m.group(1)), collapse(meaning)))
    return entries


def main():
    root = pathlib.Path(sys.argv[1])
    page = (root / "docs/zelpack.1").read_text(encoding="utf-8")
    text = page_text(page)
    failures = []

    for folder in SOURCE_DIRS:
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in (".cpp", ".h"):
                continue
            # The names of included headers are no literals of the program.
            source = re.sub(r"(?m)^[ \t]*#[ \t]*include.*$", "", path.read_text(encoding="utf-8"))
            writer_messages = path.relative_to(root).as_posix() == "zip/zip_result.cpp"
            for line, literal in string_literals(source):
                if not (CJK.search(literal) or writer_messages):
                    continue
                for piece in BOUNDARY.split(literal):
                    piece = collapse(trim(piece))
                    if piece and piece not in NOT_OUTPUT and piece not in text:
                        failures.append(
                            f"{path.relative_to(root)}:{line}: \u00ab{piece}\u00bb is not in "
                            f"docs/zelpack.1 (from {literal!r})")

    marks_source = (root / "filelist/default_ticks.cpp").read_text(encoding="utf-8")
    marks_block = re.search(r"kMarks = \{(.*?)\};", marks_source, re.DOTALL).group(1)
    code_marks = [value for _, value in string_literals(marks_block)]
    # The marks are the bold lines of the section's indented block.
    page_marks, indented = [], False
    for macro, line_text in section(page, "DEFAULT TICKS"):
        if macro in ("RS", "RE"):
            indented = macro == "RS"
            if not indented:
                break
        elif indented and macro == "B":
            page_marks += unescape_roff(line_text).split()
    if page_marks != code_marks:
        failures.append(f"DEFAULT TICKS lists {page_marks}, filelist/default_ticks.cpp has "
                        f"{code_marks}")

    codes = sorted(int(v) for v in re.findall(
        r"constexpr int kExit\w+ = (\d+);", (root / "cli/exit_codes.h").read_text()))
    from_page = page_exit_statuses(page)
    from_readme = readme_exit_statuses((root / "README.md").read_text(encoding="utf-8"))
    if sorted(code for code, _ in from_page) != codes:
        failures.append(f"EXIT STATUS has {[c for c, _ in from_page]}, cli/exit_codes.h {codes}")
    if from_readme != from_page:
        failures.append("README.md's exit codes differ from the man page's:\n  README:   "
                        f"{from_readme}\n  man page: {from_page}")

    for failure in failures:
        print(failure)
    if failures:
        print(f"{len(failures)} difference(s) between the code, docs/zelpack.1 and README.md")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
