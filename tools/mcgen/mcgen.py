#!/usr/bin/env python3
"""Message compiler of the driver's build: reads a message file in Windows message-file syntax
and writes (a) a C++ header with each message's symbolic name as a constant of the file's
MessageIdTypedef and (b) a C++ source defining the message table the driver file exports for the
event log:

    extern "C" const standin::MessageTableEntry StandinMessageTable[] = {{id, "text\\r\\n"}, ...};
    extern "C" const size_t StandinMessageTableCount = <entries>;

Message text keeps message-file syntax (inserts and escapes); each text line ends in CR LF.

Usage: mcgen.py INPUT.mc --header OUT.h --source OUT.cpp [--header-include NAME.h]
"""
import argparse
import os
import re
import sys

DEFAULT_SEVERITIES = {"Success": 0x0, "Informational": 0x1, "Warning": 0x2, "Error": 0x3}
DEFAULT_FACILITIES = {"System": 0x0FF, "Application": 0xFFF}
DEFAULT_LANGUAGES = {"English": 0x409}


class McError(Exception):
    def __init__(self, path, line, text):
        super().__init__(f"{path}:{line}: error: {text}")


class Message:
    def __init__(self, code, severity, facility, symbol, line):
        self.code = code
        self.severity = severity
        self.facility = facility
        self.symbol = symbol
        self.line = line
        self.texts = {}  # language name -> list of lines

    @property
    def id(self):
        return (self.severity[1] << 30) | (self.facility[1] << 16) | self.code


# Words the generated header cannot use as a constant's name: C++20's keywords and alternative
# tokens.
CPP_KEYWORDS = frozenset("""
    alignas alignof and and_eq asm auto bitand bitor bool break case catch char char8_t char16_t
    char32_t class compl concept const consteval constexpr constinit const_cast continue co_await
    co_return co_yield decltype default delete do double dynamic_cast else enum explicit export
    extern false float for friend goto if inline int long mutable namespace new noexcept not not_eq
    nullptr operator or or_eq private protected public register reinterpret_cast requires return
    short signed sizeof static static_assert static_cast struct switch template this thread_local
    throw true try typedef typeid typename union unsigned using virtual void volatile wchar_t while
    xor xor_eq""".split())
# The keywords that name a type on their own or together ("unsigned long").
CPP_TYPE_KEYWORDS = frozenset("bool char char8_t char16_t char32_t wchar_t short int long signed unsigned".split())
IDENTIFIER = r"[A-Za-z_][A-Za-z0-9_]*"


def parse_number(text, path, line):
    """A decimal or 0x-hexadecimal number, nothing else (no sign, no digit separators). Leading
    zeros are decimal ones: 010 is ten, not an octal eight."""
    t = text.strip()
    if re.fullmatch(r"0[xX][0-9A-Fa-f]+", t):
        return int(t[2:], 16)
    if re.fullmatch(r"[0-9]+", t):
        return int(t, 10)
    raise McError(path, line, f"'{t}' is not a number")


# The header the generated header includes, and the names it declares at namespace scope (types,
# macros, records), read from the file itself so that the two never drift apart.
TYPES_HEADER = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "platform", "kernel",
                            "include", "km", "types.h")
_types_header_names = None


def types_header_names():
    global _types_header_names
    if _types_header_names is None:
        names = set()
        try:
            with open(TYPES_HEADER, encoding="utf-8") as f:
                for line in f:
                    m = re.match(r"\s*(?:using|#\s*define|struct|union|enum|class)\s+([A-Za-z_]\w*)", line)
                    if m:
                        names.add(m.group(1))
                    m = re.match(r"\s*typedef\b.*?\b([A-Za-z_]\w*)\s*(?:\[[^]]*\])?\s*;", line)
                    if m:
                        names.add(m.group(1))
        except OSError:
            pass
        _types_header_names = frozenset(names)
    return _types_header_names


def check_identifier(name, what, path, line):
    """A name the header declares: an identifier that is no C++ keyword and no name of the header
    it includes."""
    if not re.fullmatch(IDENTIFIER, name):
        raise McError(path, line, f"'{name}' is no {what}")
    if name in CPP_KEYWORDS:
        raise McError(path, line, f"{what} '{name}' is a C++ keyword")
    if name in types_header_names():
        raise McError(path, line, f"{what} '{name}' is already a name of km/types.h, which the header includes")


def check_typedef(value, path, line):
    """MessageIdTypedef: a type name, possibly qualified (standin::Id), or builtin type keywords."""
    words = value.split()
    if words and all(w in CPP_TYPE_KEYWORDS for w in words):
        return " ".join(words)
    if not re.fullmatch(rf"(?:::)?{IDENTIFIER}(?:::{IDENTIFIER})*", value):
        raise McError(path, line, f"MessageIdTypedef '{value}' is no type name")
    for part in value.split("::"):
        if part in CPP_KEYWORDS:
            raise McError(path, line, f"MessageIdTypedef '{value}' is no type name ('{part}' is a C++ keyword)")
    return value


def typedef_scope_name(typedef):
    """The name a header constant must not take when `typedef` is the MessageIdTypedef: the
    type's first name (its namespace, or the type itself). A constant of that name would hide it
    at the header's scope, and every declaration after it would no longer name a type. None for
    builtin type keywords."""
    if typedef is None or typedef.split()[0] in CPP_TYPE_KEYWORDS:
        return None
    return typedef.lstrip(":").split("::")[0]


def parse_name_list(body, path, line, with_symbol, key):
    """The inside of a NAMES=( ... ) list: entries name=number[:symbol]. `body` is a list of
    (line number, text) pieces so that each fault names its own line."""
    result = {}
    for number, piece in body:
        for item in piece.split():
            m = re.fullmatch(r"([A-Za-z_][A-Za-z0-9_]*)=([0-9A-Fa-fxX]+)(?::([A-Za-z_][A-Za-z0-9_]*))?", item)
            if not m:
                raise McError(path, number, f"malformed name list entry '{item}'")
            name, symbol = m.group(1), m.group(3) if with_symbol else None
            if name in result:
                raise McError(path, number, f"{key} names '{name}' twice")
            if symbol is not None:
                check_identifier(symbol, "symbolic name", path, number)
            result[name] = (parse_number(m.group(2), path, number), symbol)
    return result


def parse(text, path):
    lines = text.split("\n")
    if lines and lines[-1] == "":
        lines.pop()
    lines = [l[:-1] if l.endswith("\r") else l for l in lines]
    typedef = None
    typedef_line = 0
    severities = {k: (v, None) for k, v in DEFAULT_SEVERITIES.items()}
    facilities = {k: (v, None) for k, v in DEFAULT_FACILITIES.items()}
    languages = {k: (v, None) for k, v in DEFAULT_LANGUAGES.items()}
    declared_languages = []
    severity_line = facility_line = 0
    comments = []
    messages = []
    current = None  # message whose fields are being read
    previous = None
    i = 0
    while i < len(lines):
        raw = lines[i]
        number = i + 1
        i += 1
        stripped = raw.strip()
        if not stripped:
            continue
        if stripped.startswith(";"):
            comments.append((len(messages), stripped[1:]))
            continue
        m = re.fullmatch(r"([A-Za-z]+)\s*=\s*(.*)", stripped)
        if not m:
            raise McError(path, number, f"unexpected text '{stripped}'")
        key, value = m.group(1), m.group(2)
        lower = key.lower()
        if lower in ("severitynames", "facilitynames", "languagenames"):
            if current is not None:
                raise McError(path, number, f"{key} inside a message")
            body = value
            start = number
            pieces = [(number, value)]
            while ")" not in body:
                if i >= len(lines):
                    raise McError(path, start, f"{key} list is not closed")
                body += " " + lines[i].strip()
                pieces.append((i + 1, lines[i].strip()))
                i += 1
            if not body.startswith("(") or not body.rstrip().endswith(")"):
                raise McError(path, start, f"{key} needs a list in parentheses")
            # The parentheses off the first and the last piece.
            pieces[0] = (pieces[0][0], pieces[0][1].strip()[1:])
            pieces[-1] = (pieces[-1][0], pieces[-1][1].rstrip()[:-1])
            entries = parse_name_list(pieces, path, start, True, key)
            if lower == "severitynames":
                severity_line = start
                for name, (v, _) in entries.items():
                    if v > 3:
                        raise McError(path, start, f"severity {name} is above 3")
                severities = entries
            elif lower == "facilitynames":
                for name, (v, _) in entries.items():
                    if v > 0xFFF:
                        raise McError(path, start, f"facility {name} is above 0xFFF")
                facilities = entries
                facility_line = start
            else:
                languages = entries
                declared_languages = list(entries)
        elif lower == "messageidtypedef":
            if current is not None or messages:
                raise McError(path, number, "MessageIdTypedef must come before the messages")
            if typedef is not None:
                raise McError(path, number, "a second MessageIdTypedef")
            typedef = check_typedef(value.strip(), path, number)
            typedef_line = number
        elif lower == "outputbase":
            pass
        elif lower == "messageid":
            if current is not None:
                raise McError(path, number, "MessageId before the previous message's Language text")
            v = value.strip()
            if v == "":
                code = previous.code + 1 if previous else 0
            elif v.startswith("+"):
                code = (previous.code if previous else 0) + parse_number(v[1:], path, number)
            else:
                code = parse_number(v, path, number)  # no sign: an id is never below zero
            if code > 0xFFFF:
                raise McError(path, number, f"message id 0x{code:X} is above 0xFFFF")
            severity = previous.severity if previous else ("Success", severities.get("Success", (0, None))[0])
            facility = previous.facility if previous else ("Application", facilities.get("Application", (0, None))[0])
            current = Message(code, severity, facility, None, number)
        elif lower in ("severity", "facility", "symbolicname"):
            if current is None:
                raise McError(path, number, f"{key} outside a message")
            name = value.strip()
            if lower == "severity":
                if name not in severities:
                    raise McError(path, number, f"unknown severity '{name}'")
                current.severity = (name, severities[name][0])
            elif lower == "facility":
                if name not in facilities:
                    raise McError(path, number, f"unknown facility '{name}'")
                current.facility = (name, facilities[name][0])
            else:
                check_identifier(name, "symbolic name", path, number)
                if name == typedef_scope_name(typedef):
                    raise McError(path, number, f"symbolic name {name} is the name of the MessageIdTypedef "
                                                f"'{typedef}' (line {typedef_line})")
                current.symbol = name
        elif lower == "language":
            if current is None:
                raise McError(path, number, "Language outside a message")
            name = value.strip()
            if name not in languages:
                raise McError(path, number, f"unknown language '{name}'")
            if name in current.texts:
                raise McError(path, number, f"second {name} text for one message")
            body = []
            while True:
                if i >= len(lines):
                    raise McError(path, number, "message text is not ended by a line with a single '.'")
                text_line = lines[i]
                i += 1
                if text_line == ".":
                    break
                body.append(text_line)
            current.texts[name] = body
            # A message ends with its last Language block: the next keyword that is not Language
            # starts the next message.
            if i >= len(lines) or not re.match(r"\s*language\s*=", lines[i], re.IGNORECASE):
                messages.append(current)
                previous = current
                current = None
        else:
            raise McError(path, number, f"unknown keyword '{key}'")
    if current is not None:
        raise McError(path, current.line, "message without Language text")
    language = declared_languages[0] if declared_languages else "English"
    seen_ids = {}
    # Every constant the header declares has a name of its own: the facility and severity symbols
    # (line of their list) and the messages' names.
    seen_symbols = {}
    for names, where in ((facilities, facility_line), (severities, severity_line)):
        for _, (_, symbol) in names.items():
            if symbol:
                if symbol == typedef_scope_name(typedef):
                    raise McError(path, where, f"symbolic name {symbol} is the name of the MessageIdTypedef "
                                               f"'{typedef}' (line {typedef_line})")
                if symbol in seen_symbols:
                    raise McError(path, where, f"symbolic name {symbol} already used at line {seen_symbols[symbol]}")
                seen_symbols[symbol] = where
    for msg in messages:
        if msg.id in seen_ids:
            raise McError(path, msg.line, f"message id 0x{msg.id:08X} already used at line {seen_ids[msg.id]}")
        seen_ids[msg.id] = msg.line
        if msg.symbol:
            if msg.symbol in seen_symbols:
                raise McError(path, msg.line, f"symbolic name {msg.symbol} already used at line {seen_symbols[msg.symbol]}")
            seen_symbols[msg.symbol] = msg.line
        if language not in msg.texts:
            raise McError(path, msg.line, f"message has no {language} text")
    return typedef, severities, facilities, comments, messages, language


def c_string(text):
    out = []
    for byte in text.encode("utf-8"):
        ch = chr(byte)
        if ch == "\\":
            out.append("\\\\")
        elif ch == '"':
            out.append('\\"')
        elif ch == "\r":
            out.append("\\r")
        elif ch == "\n":
            out.append("\\n")
        elif ch == "\t":
            out.append("\\t")
        elif 0x20 <= byte < 0x7F:
            out.append(ch)
        else:
            out.append(f"\\{byte:03o}")
    return '"' + "".join(out) + '"'


def comment_line(prefix, text):
    """A // comment of `text`: one ending in a backslash would swallow the line after it, and a
    carriage return inside it would end it, the compiler reading the rest as code."""
    shown = text.replace("\r", " ").rstrip()
    return prefix + (shown + " (sic)" if shown.endswith("\\") else shown)


def write_header(path, source_name, typedef, severities, facilities, comments, messages, language):
    out = [f"// Message ids of {source_name}, generated by tools/mcgen/mcgen.py. Do not edit.", "#pragma once"]
    out.append('#include "km/types.h"')
    out.append("")
    for name, (value, symbol) in facilities.items():
        if symbol:
            out.append(f"inline constexpr unsigned {symbol} = 0x{value:X};")
    for name, (value, symbol) in severities.items():
        if symbol:
            out.append(f"inline constexpr unsigned {symbol} = 0x{value:X};")
    out.append("")
    ctype = typedef if typedef else "unsigned long"
    pending = list(comments)
    for index, msg in enumerate(messages):
        while pending and pending[0][0] <= index:
            out.append(comment_line("//", pending.pop(0)[1]))
        if not msg.symbol:
            continue
        out.append(f"// MessageId: {msg.symbol}")
        out.append("// MessageText:")
        for text_line in msg.texts[language]:
            out.append(comment_line("//  ", text_line))
        out.append(f"inline constexpr {ctype} {msg.symbol} = static_cast<{ctype}>(0x{msg.id:08X}u);")
        out.append("")
    for _, text in pending:  # the comments after the last message
        out.append(comment_line("//", text))
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(out) + "\n")


def write_source(path, source_name, header_include, messages, language):
    out = [f"// Message table of {source_name}, generated by tools/mcgen/mcgen.py. Do not edit.",
           '#include "km/messagetable.h"']
    if header_include:
        out.append(f'#include "{header_include}"')
    out += ["", "#include <cstddef>", "", "extern \"C\" const standin::MessageTableEntry StandinMessageTable[] = {"]
    for msg in messages:
        text = "".join(line + "\r\n" for line in msg.texts[language])
        out.append(f"    {{0x{msg.id:08X}u, {c_string(text)}}},")
    out.append("};")
    out.append(f'extern "C" const size_t StandinMessageTableCount = {len(messages)};')
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write("\n".join(out) + "\n")


def main(argv):
    parser = argparse.ArgumentParser(description="Compile a message file into a header and a table.")
    parser.add_argument("input")
    parser.add_argument("--header", required=True)
    parser.add_argument("--source", required=True)
    parser.add_argument("--header-include", default=None)
    args = parser.parse_args(argv)
    try:
        with open(args.input, encoding="utf-8") as f:
            text = f.read()
        typedef, severities, facilities, comments, messages, language = parse(text, args.input)
    except (OSError, UnicodeDecodeError) as e:
        print(f"{args.input}: error: {e}", file=sys.stderr)
        return 1
    except McError as e:
        print(e, file=sys.stderr)
        return 1
    name = args.input.replace("\\", "/").rsplit("/", 1)[-1]
    write_header(args.header, name, typedef, severities, facilities, comments, messages, language)
    write_source(args.source, name, args.header_include, messages, language)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
