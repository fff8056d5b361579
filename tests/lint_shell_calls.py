"""Fails on a command in a shell script that nothing provides: no function of the scripts given,
no shell builtin or keyword, no program on PATH. Bash itself only prints "command not found" and
carries on, so such a call is a check that silently never runs.
Usage: python3 tests/lint_shell_calls.py SCRIPT...   (./demo test runs it on the test scripts)"""
import re
import shutil
import subprocess
import sys

WORD = re.compile(r"[A-Za-z_][A-Za-z0-9_.+-]*")
DEFINITION = re.compile(r"^\s*(?:function\s+)?([A-Za-z_][A-Za-z0-9_]*)\s*\(\)\s*\{?")
HEREDOC = re.compile(r"<<-?\s*(['\"]?)([A-Za-z_]+)\1")
# Words after which the next word is a command again.
LEADERS = {"if", "then", "else", "elif", "while", "until", "do", "!", "time", "exec", "command",
           "env", "timeout", "nohup", "xargs", "setpriv"}
# Words after which the next word is not a command.
NOT_COMMAND = {"for", "case", "select", "function", "in", "local", "export", "declare", "read",
               "unset", "trap", "type", "kill", "wait", "return", "exit", "shift", "echo",
               "printf", "source", "."}


def logical_lines(path):
    """(line number, text) of the script's shell code: continuation lines joined, here-document
    bodies and comments left out."""
    lines = open(path, encoding="utf-8").read().split("\n")
    i = 0
    while i < len(lines):
        number, text = i + 1, lines[i]
        while text.endswith("\\") and i + 1 < len(lines):
            i += 1
            text = text[:-1] + " " + lines[i]
        i += 1
        while commands(text)[1] and i < len(lines):  # a quote open across lines
            text += "\n" + lines[i]
            i += 1
        for m in HEREDOC.finditer(text):
            while i < len(lines) and lines[i].strip() != m.group(2):
                i += 1
            i += 1
        yield number, text


def commands(text):
    """The words of one line that stand where a command is run: at its start, after an operator,
    inside $( ) (in double quotes too), and whether a quote is left open at its end. Quoted text,
    comments, assignments, case patterns and function definitions are skipped; $VAR commands
    cannot be checked and are passed over."""
    text = re.sub(r"^\s*[^()\s]+\)(\s|$)", " ", text)  # a case pattern
    found, expect, i, quote = [], True, 0, []
    while i < len(text):
        c = text[i]
        if quote and quote[-1] == "'":
            if c == "'":
                quote.pop()
            i += 1
            continue
        if quote and quote[-1] == '"':
            if c == "\\":
                i += 2
                continue
            if c == '"':
                quote.pop()
            elif text.startswith("$(", i) and not text.startswith("$((", i):
                quote.append("(")
                expect = True
                i += 2
                continue
            i += 1
            continue
        if c == "\\":
            i += 2
            expect = False
            continue
        if c == "#" and (i == 0 or text[i - 1] in " \t;"):
            break
        if c in "'\"":
            quote.append(c)
            expect = False
            i += 1
            continue
        if text.startswith("$((", i) or text.startswith("((", i):
            depth, i = 0, i + (3 if c == "$" else 2)
            while i < len(text) and not (depth == 0 and text.startswith("))", i)):
                depth += {"(": 1, ")": -1}.get(text[i], 0)
                i += 1
            i += 2
            expect = False
            continue
        if text.startswith("$(", i) or c in "({;|&`" or text.startswith("&&", i):
            if text.startswith("$(", i):
                quote.append("(")
            expect = True
            i += 2 if text.startswith("$(", i) or text.startswith("&&", i) else 1
            continue
        if c == ")":
            if quote and quote[-1] == "(":
                quote.pop()
            expect = False
            i += 1
            continue
        if c in "<>":
            # A redirection's target is a file, not a command.
            j = i + 1
            while j < len(text) and text[j] in "<>&|":
                j += 1
            while j < len(text) and text[j] in " \t":
                j += 1
            if text[j:j + 1] in ("'", '"', "$"):  # quoted or substituted: read on as text
                i, expect = j, False
                continue
            while j < len(text) and not text[j].isspace() and text[j] not in ";|&)":
                j += 1
            i = j
            continue
        if c.isspace():
            i += 1
            continue
        r = re.match(r"\d+(?=[<>])", text[i:])
        if r:
            i += len(r.group(0))
            continue
        m = WORD.match(text, i)
        if not m:
            # $VAR, [ ], paths: not a name to look up; the words after it are its arguments.
            while i < len(text) and not text[i].isspace() and text[i] not in ";|&()'\"":
                i += 1
            expect = expect and text[i - 1:i] == "!"
            continue
        word, end = m.group(0), m.end()
        if text.startswith("/", end):  # a path: run as such, nothing to look up
            while end < len(text) and not text[end].isspace() and text[end] not in ";|&)":
                end += 1
            i = end
            expect = False
            continue
        if expect and text.startswith("=", end):
            # VAR=value: a quoted value or a $( ) is read on as any text; after a plain one
            # comes a command, if anything.
            i = end + 1
            if text.startswith("$(", i) or text[i:i + 1] in ("'", '"'):
                expect = False
                continue
            if text.startswith("(", i):  # an array: its words are values
                i = text.find(")", i) + 1 or len(text)
                continue
            while i < len(text) and not text[i].isspace() and text[i] not in ";|&)":
                i += 1
            continue
        if expect and text.startswith("()", end):
            expect = False
        elif expect:
            found.append(word)
            expect = word in LEADERS
            if word in NOT_COMMAND:
                expect = False
        i = end
    return found, bool(quote)


def main(paths):
    defined = set()
    for path in paths:
        for line in open(path, encoding="utf-8"):
            m = DEFINITION.match(line)
            if m:
                defined.add(m.group(1))
    known = set(subprocess.run(["bash", "-c", "compgen -b; compgen -k"], capture_output=True,
                               text=True, check=True).stdout.split())
    unknown = 0
    for path in paths:
        for number, text in logical_lines(path):
            for word in commands(text)[0]:
                if word in defined or word in known or shutil.which(word):
                    continue
                print(f"{path}:{number}: '{word}' is no function of these scripts, no builtin and "
                      "no program on PATH", file=sys.stderr)
                unknown += 1
    if unknown:
        sys.exit(1)
    print(f"shell calls: every command of {len(paths)} scripts is defined")


if __name__ == "__main__":
    main(sys.argv[1:])
