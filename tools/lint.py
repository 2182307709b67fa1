#!/usr/bin/env python3
"""clang-tidy with the checked-in .clang-tidy over the product code (the link library, the
program, the shared pieces and the simulator; not tests, fuzz targets or benchmarks), two files
at a time. Exits 1 on any finding.

A file that passed is remembered in a cache keyed by its preprocessed text (every header it
includes, without paths), its compiler options, the .clang-tidy and the clang-tidy version, so
an unchanged file is not analysed again; only passes are remembered.

Usage: lint.py [build folder with compile_commands.json, default build/debug]
Environment: CLANG_TIDY (default clang-tidy), PX_LINT_CACHE (default
${XDG_CACHE_HOME:-~/.cache}/px740-lint; "off" analyses every file).
"""
import concurrent.futures
import hashlib
import json
import os
import re
import shlex
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PRODUCT = ("app/*.cpp", "link/*.cpp", "common/*.cpp", "tools/sim/*.cpp")
NOT_PRODUCT = re.compile(r"(^|/)(tests|fuzz|testing)/")
SUMMARY = re.compile(r"^\d+ warnings? (and \d+ errors? )?generated\.$")


def product_files():
    out = subprocess.run(["git", "ls-files", *PRODUCT], cwd=ROOT, check=True,
                         capture_output=True, text=True).stdout
    return [f for f in out.splitlines() if not NOT_PRODUCT.search(f)]


def preprocess_command(entry):
    """The file's compile command turned into one that prints the preprocessed text."""
    argv = entry.get("arguments") or shlex.split(entry["command"])
    out, i = [], 0
    while i < len(argv):
        a = argv[i]
        if a in ("-o", "-MF", "-MT", "-MQ"):
            i += 2
            continue
        if a not in ("-c", "-MD", "-MMD"):
            out.append(a)
        i += 1
    return out + ["-E", "-P"]


def cache_key(entry, rel, salt):
    """None when the file cannot be preprocessed: it is then always analysed."""
    argv = preprocess_command(entry)
    run = subprocess.run(argv, cwd=entry["directory"], capture_output=True)
    if run.returncode != 0:
        return None
    h = hashlib.sha256()
    h.update(salt)
    h.update(rel.encode())
    # The options without the paths of this checkout, so another clone shares the cache.
    h.update(" ".join(argv).replace(ROOT, "<root>").encode())
    h.update(run.stdout)
    return h.hexdigest()


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build/debug"
    db_path = os.path.join(ROOT, build, "compile_commands.json")
    if not os.path.isfile(db_path):
        print(f"no {db_path}: configure the build first", file=sys.stderr)
        return 2
    with open(db_path) as f:
        entries = {os.path.relpath(e["file"], ROOT): e for e in json.load(f)}
    files = product_files()
    if not files:
        print("no product files found", file=sys.stderr)
        return 2

    tidy = os.environ.get("CLANG_TIDY", "clang-tidy")
    cache = os.environ.get("PX_LINT_CACHE") or os.path.join(
        os.environ.get("XDG_CACHE_HOME") or os.path.expanduser("~/.cache"), "px740-lint")
    if cache != "off":
        os.makedirs(cache, exist_ok=True)
    version = subprocess.run([tidy, "--version"], capture_output=True).stdout
    with open(os.path.join(ROOT, ".clang-tidy"), "rb") as f:
        salt = version + f.read()

    def lint(rel):
        entry = entries.get(rel)
        key = cache_key(entry, rel, salt) if entry and cache != "off" else None
        marker = os.path.join(cache, key) if key else None
        if marker and os.path.exists(marker):
            return rel, True, "", True
        run = subprocess.run([tidy, "-p", os.path.join(ROOT, build), "--quiet", rel], cwd=ROOT,
                             capture_output=True, text=True)
        text = "\n".join(l for l in (run.stdout + run.stderr).splitlines()
                         if not SUMMARY.match(l))
        if run.returncode == 0 and marker:
            open(marker, "w").close()
        return rel, run.returncode == 0, text, False

    start = time.monotonic()
    failed, cached = 0, 0
    # Two at a time: the machines have two cores.
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        for rel, ok, text, hit in pool.map(lint, files):
            cached += hit
            if not ok:
                failed += 1
                print(text or f"{rel}: clang-tidy failed", flush=True)
    print(f"clang-tidy: {len(files)} files ({cached} unchanged since a clean pass) in "
          f"{time.monotonic() - start:.0f} s, {failed} with findings")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
