#!/usr/bin/env python3
"""Fuzz driver of the message compiler (tools/mcgen/mcgen.py), which is a script: a mutation loop
in the compiler's own language over message files.

Each input is parsed in-process. The compiler must either refuse it with its own line-numbered
error (McError, text "PATH:LINE: error: ...") or write a header and a source; what it writes must
compile (the header included by the source, `c++ -fsyntax-only` against the kernel stand-in's
headers). Anything else - another exception, an error without a line, output that does not
compile - is a fault; the input is kept in the crash folder.

    mcgen_fuzz.py --replay DIR...           every file of the folders, once (the CTest replay)
    mcgen_fuzz.py --seconds N --corpus DIR [--crashes DIR] [--seed S]
                                            mutate the corpus for N seconds

Exits 1 when any input found a fault.
"""
import argparse
import importlib.util
import os
import random
import re
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
SPEC = importlib.util.spec_from_file_location("mcgen", os.path.join(ROOT, "tools", "mcgen", "mcgen.py"))
mcgen = importlib.util.module_from_spec(SPEC)
SPEC.loader.exec_module(mcgen)

CXX = os.environ.get("CXX", "c++")
INCLUDES = [os.path.join(ROOT, "platform", "kernel", "include"), os.path.join(ROOT, "platform", "shared", "include")]
ERROR_TEXT = re.compile(r"^input\.mc:\d+: error: .+")

# Pieces of the language the mutations insert.
KEYWORDS = ["MessageId", "Severity", "Facility", "SymbolicName", "Language", "MessageIdTypedef",
            "SeverityNames", "FacilityNames", "LanguageNames", "OutputBase"]
VALUES = ["", "0", "1", "+1", "+0x10", "-1", "0x", "0xFFFF", "0x10000", "0xFFFFFFFF", "99999999999999999999",
          "010", "1e3", "Success", "Informational", "Warning", "Error", "System", "Application", "English",
          "German", "NTSTATUS", "ULONG", "unsigned long", "int*", "class", "int", "for", "namespace", "X Y",
          "A-B", "(Success=0x0:S)", "(E=0x3:S E=0x2:S)", "(Warning=0x2:int)", "(A=0x1 B=0x1)", "(Z=0x4)",
          "(F=0xFFF:FACILITY_F)", "(Deutsch=0x407:MSG)", "( )", "(", ")", "%1", "%%", "\\", '"', "\u00e9",
          "NAME_1", "_", "1NAME", "a" * 300]
LINES = [".", "", ";comment", "; \\", "text %1 %2!s! %%", "..", " .", "\t.", "\r", "\x00", "\ufeff"]


def mutate(text, rng):
    lines = text.split("\n")
    for _ in range(rng.randint(1, 4)):
        choice = rng.randrange(9)
        at = rng.randrange(len(lines) + 1)
        if choice == 0 and lines:  # drop a line
            del lines[min(at, len(lines) - 1)]
        elif choice == 1 and lines:  # repeat a line
            i = min(at, len(lines) - 1)
            lines.insert(rng.randrange(len(lines) + 1), lines[i])
        elif choice == 2 and len(lines) > 1:  # swap two lines
            i, j = rng.randrange(len(lines)), rng.randrange(len(lines))
            lines[i], lines[j] = lines[j], lines[i]
        elif choice == 3:  # a keyword line
            lines.insert(at, f"{rng.choice(KEYWORDS)}={rng.choice(VALUES)}")
        elif choice == 4:  # a text line
            lines.insert(at, rng.choice(LINES))
        elif choice == 5 and lines:  # a new value for a keyword line
            i = min(at, len(lines) - 1)
            m = re.match(r"\s*([A-Za-z]+)\s*=", lines[i])
            if m:
                lines[i] = f"{m.group(1)}={rng.choice(VALUES)}"
        elif choice == 6 and lines:  # a character changed, added or removed
            i = min(at, len(lines) - 1)
            line = lines[i]
            pos = rng.randrange(len(line) + 1)
            c = chr(rng.choice([rng.randrange(32, 127), rng.randrange(0, 32), rng.randrange(128, 0x3000)]))
            op = rng.randrange(3)
            if op == 0:
                line = line[:pos] + c + line[pos:]
            elif op == 1 and line:
                line = line[:pos] + line[pos + 1:]
            else:
                line = line[:pos] + c + line[pos + 1:]
            lines[i] = line
        elif choice == 7 and lines:  # a number replaced
            i = min(at, len(lines) - 1)
            lines[i] = re.sub(r"0x[0-9A-Fa-f]+|\b\d+\b", lambda _: rng.choice(VALUES[1:12]), lines[i], count=1)
        else:  # a whole message appended
            lines += [f"MessageId={rng.choice(VALUES[:12])}", f"Severity={rng.choice(VALUES[12:16])}",
                      f"SymbolicName={rng.choice(VALUES[24:32] + ['MSG_X'])}", "Language=English", "text", "."]
    return "\n".join(lines)


class Checker:
    def __init__(self):
        self.work = tempfile.mkdtemp(prefix="mcgen-fuzz-")
        self.compiled = set()

    def check(self, text):
        """None when the compiler handled the text soundly, else what went wrong."""
        try:
            parsed = mcgen.parse(text, "input.mc")
        except mcgen.McError as e:
            if not ERROR_TEXT.match(str(e)) or "\n" in str(e):
                return f"an error without its line: {e!r}"
            return None
        except RecursionError:
            return "recursion"
        except Exception as e:  # anything but its own error is a fault
            return f"{type(e).__name__}: {e}"
        typedef, severities, facilities, comments, messages, language = parsed
        header = os.path.join(self.work, "input.h")
        source = os.path.join(self.work, "input.cpp")
        try:
            mcgen.write_header(header, "input.mc", typedef, severities, facilities, comments, messages, language)
            mcgen.write_source(source, "input.mc", "input.h", messages, language)
        except Exception as e:
            return f"writing failed: {type(e).__name__}: {e}"
        # Compiling is slow: once for each shape of output (the names and types it declares).
        shape = (typedef, tuple(sorted((k, v) for k, v in severities.items())),
                 tuple(sorted((k, v) for k, v in facilities.items())),
                 tuple(m.symbol for m in messages), len({m.id for m in messages}) == len(messages))
        if shape in self.compiled:
            return None
        self.compiled.add(shape)
        command = [CXX, "-std=c++20", "-fsyntax-only", "-Werror", "-I", self.work]
        for include in INCLUDES:
            command += ["-I", include]
        result = subprocess.run(command + [source], capture_output=True, text=True)
        if result.returncode != 0 and typedef and typedef.split()[0] not in mcgen.CPP_TYPE_KEYWORDS:
            # A MessageIdTypedef that names a type of the file's own is declared by whoever includes
            # the header: so the output must compile once that type is declared first.
            prelude = os.path.join(self.work, "prelude.h")
            with open(prelude, "w", encoding="utf-8") as f:
                f.write(declaration_of(typedef) + "\n")
            result = subprocess.run(command + ["-include", prelude, source], capture_output=True, text=True)
        if result.returncode != 0:
            return "the output does not compile:\n" + result.stderr[-2000:]
        return None


def declaration_of(type_name):
    """A declaration of `type_name` (perhaps qualified, A::B::T) as an unsigned 32-bit type."""
    parts = type_name.lstrip(":").split("::")
    text = f"using {parts[-1]} = unsigned long;"
    for namespace in reversed(parts[:-1]):
        text = f"namespace {namespace} {{ {text} }}"
    return text


def files_of(folders):
    found = []
    for folder in folders:
        if os.path.isdir(folder):
            found += sorted(os.path.join(folder, f) for f in os.listdir(folder)
                            if os.path.isfile(os.path.join(folder, f)))
        else:
            found.append(folder)
    return found


def read(path):
    with open(path, "rb") as f:
        return f.read().decode("utf-8", errors="replace")


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--replay", nargs="+", metavar="DIR")
    parser.add_argument("--seconds", type=float)
    parser.add_argument("--corpus")
    parser.add_argument("--crashes", default=None)
    parser.add_argument("--seed", type=int, default=None)
    args = parser.parse_args(argv)
    checker = Checker()

    if args.replay:
        inputs = files_of(args.replay)
        if not inputs:
            print("no inputs", file=sys.stderr)
            return 1
        faults = 0
        for path in inputs:
            fault = checker.check(read(path))
            if fault:
                faults += 1
                print(f"{path}: {fault}", file=sys.stderr)
        print(f"{len(inputs)} inputs replayed, {faults} faults")
        return 1 if faults else 0

    if args.seconds is None or not args.corpus:
        parser.error("--seconds and --corpus, or --replay")
    seeds = [read(p) for p in files_of([args.corpus])]
    if not seeds:
        print("no seeds", file=sys.stderr)
        return 1
    seed = args.seed if args.seed is not None else int.from_bytes(os.urandom(4), "little")
    rng = random.Random(seed)
    end = time.monotonic() + args.seconds
    runs = faults = 0
    pool = list(seeds)
    while time.monotonic() < end:
        text = mutate(rng.choice(pool), rng)
        runs += 1
        fault = checker.check(text)
        if fault:
            faults += 1
            name = f"crash-{seed}-{runs}.mc"
            if args.crashes:
                os.makedirs(args.crashes, exist_ok=True)
                with open(os.path.join(args.crashes, name), "w", encoding="utf-8", newline="") as f:
                    f.write(text)
            print(f"mcgen_fuzz: fault ({name}): {fault}", file=sys.stderr)
        elif len(pool) < 2000 and rng.random() < 0.05:
            pool.append(text)  # accepted or cleanly refused: a base for further mutations
    print(f"mcgen_fuzz: {runs} inputs in {args.seconds:g} s (seed {seed}), {faults} faults")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
