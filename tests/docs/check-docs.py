#!/usr/bin/python3
"""Checks the README and docs/ as a reader meets them: every relative link and
picture resolves (a page's #anchor included), and every command shown in a code
block works.

Usage: check-docs.py PROJECT_DIR

Commands run in a scratch folder where `build/` is the project's own, with an
`in.wav` to read; a line with a placeholder (`[...]`, `|`, `...`, a word in
capitals such as INPUT) is a synopsis, not a command, and is skipped. `make`
lines are checked for their target only (`make -n`): they take minutes.
"""
import re
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path

LINK = re.compile(r"!?\[[^\]]*\]\(([^)\s]+)\)")
SYNOPSIS = re.compile(r"\[|\||\.\.\.|\b[A-Z]{3,}\b(?!=)")
TIMEOUT_SECONDS = 120


def slug(heading: str) -> str:
    """The anchor a Markdown heading gets: lower case, punctuation gone, blanks as hyphens."""
    text = re.sub(r"[`*_]", "", heading.strip().lower())
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")


def anchors(page: Path) -> set:
    found, fenced = set(), False
    for line in page.read_text().splitlines():
        if line.startswith("```"):
            fenced = not fenced
        elif not fenced and line.startswith("#"):
            found.add(slug(line.lstrip("#")))
    return found


def pages(project: Path) -> list:
    return [project / "README.md"] + sorted((project / "docs").glob("*.md"))


def broken_links(project: Path) -> list:
    problems = []
    for page in pages(project):
        text = re.sub(r"```.*?```", "", page.read_text(), flags=re.S)
        for target in LINK.findall(text):
            if re.match(r"[a-z]+:", target):
                continue  # a web address: not ours to check here
            path, _, anchor = target.partition("#")
            file = (page.parent / path).resolve() if path else page
            where = f"{page.relative_to(project)}: {target}"
            if not file.exists():
                problems.append(f"{where}: no such file")
            elif anchor and file.suffix == ".md" and anchor not in anchors(file):
                problems.append(f"{where}: no heading with that anchor")
    return problems


def commands(project: Path):
    """(page, command) for every command line in a code block, continuation lines joined."""
    for page in pages(project):
        fenced, pending = False, ""
        for line in page.read_text().splitlines():
            if line.startswith("```"):
                fenced, pending = not fenced, ""
                continue
            if not fenced:
                continue
            pending += line.split("  #")[0].rstrip()
            if pending.endswith("\\"):
                pending = pending[:-1] + " "
                continue
            command, pending = pending.strip(), ""
            if command and not SYNOPSIS.search(command.replace("$PWD", "")):
                yield page.relative_to(project), command


def failed_commands(project: Path) -> list:
    problems = []
    with tempfile.TemporaryDirectory(prefix="check-docs-") as scratch:
        work = Path(scratch)
        (work / "build").symlink_to(project / "build")
        host = project / "build" / "linux" / "vexa-host"
        subprocess.run([str(host), "render", "--signal", "saw:110", "--duration", "0.25", "--rate", "48000",
                        "-o", str(work / "in.wav")], check=True, capture_output=True)
        for page, command in commands(project):
            if command.startswith("make "):
                run = ["make", "-n", "-C", str(project)] + command.split()[1:]
            else:
                run = ["bash", "-c", command]
            for old in work.glob("*"):
                if old.name not in ("build", "in.wav"):
                    shutil.rmtree(old) if old.is_dir() else old.unlink()
            result = subprocess.run(run, cwd=work, capture_output=True, text=True, timeout=TIMEOUT_SECONDS)
            print(f"{'ok    ' if result.returncode == 0 else 'FAILED'} {page}: {command}")
            if result.returncode != 0:
                problems.append(f"{page}: `{command}` exited with {result.returncode}: "
                                f"{(result.stderr or result.stdout).strip()[-400:]}")
    return problems


def main() -> int:
    project = Path(sys.argv[1]).resolve()
    problems = broken_links(project) + failed_commands(project)
    for problem in problems:
        print(problem)
    print(f"docs: {len(pages(project))} pages, {len(problems)} problems")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
