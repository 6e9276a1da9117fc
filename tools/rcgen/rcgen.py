#!/usr/bin/env python3
"""The resource compiler: a resource script (UTF-8) into the resource table a module exports
(platform/user/include/um/resourcetable.h).

The script subset:
  #include "header" (headers of #define'd numbers; <windows.h>, <winres.h>, <afxres.h>,
  <winresrc.h> and <commctrl.h> stand for the compiler's own standard names), #define, #undef,
  #ifdef, #ifndef, #if 0/1, #else, #endif, #pragma (ignored); // and /* */ comments;
  LANGUAGE lang, sublang;
  name DIALOGEX x, y, cx, cy [, helpid] with STYLE, EXSTYLE, CAPTION, FONT and LANGUAGE, and
  BEGIN/END holding CONTROL and LTEXT, RTEXT, CTEXT, PUSHBUTTON, DEFPUSHBUTTON, GROUPBOX,
  CHECKBOX, AUTOCHECKBOX, RADIOBUTTON, AUTORADIOBUTTON, EDITTEXT, COMBOBOX, LISTBOX;
  STRINGTABLE BEGIN id, "text" ... END;
  name BITMAP "file"; name TYPE "file" for a user type (REGISTRY, TYPELIB, ...).
The standard names include the window, dialog, button, static, edit, combo box and list box styles
and those of the trackbar (TBS_), up-down (UDS_), tree view (TVS_) and tab control (TCS_); a
CONTROL's class is a text, a predefined class name, or one of the common controls' class names
(TRACKBAR_CLASS "msctls_trackbar32", UPDOWN_CLASS "msctls_updown32", WC_TREEVIEW "SysTreeView32",
WC_TABCONTROL "SysTabControl32", each also with A and W).
Style expressions combine names and numbers with |, +, &, ~, - and parentheses; "NOT x" clears
the bits of x from the statement's default style. A resource name that is no defined symbol
names the resource by its text.

The table holds dialogs as DLGTEMPLATEEX, strings in blocks of 16 counted UTF-16 strings (block
n holds ids 16(n-1) to 16n-1), bitmaps as the file without its 14-byte file header and user
types as the file's bytes. An error names the file and line, exits 1 and writes nothing.
"""
import argparse
import os
import struct
import sys


def printable(text):
    """The text with every character that does not print (a NUL, a control code, a byte the
    script's code page left undecoded) written as an escape, so that an error stays one line of
    plain text."""
    return "".join(c if c.isprintable() else
                   f"\\x{ord(c):02x}" if ord(c) < 0x100 else f"\\u{ord(c):04x}" for c in text)


class RcError(Exception):
    def __init__(self, where, message):
        super().__init__(f"{where[0]}:{where[1]}: error: {printable(message)}")


STANDARD_NAMES = {
    # Window styles.
    "WS_OVERLAPPED": 0, "WS_POPUP": 0x80000000, "WS_CHILD": 0x40000000, "WS_MINIMIZE": 0x20000000,
    "WS_VISIBLE": 0x10000000, "WS_DISABLED": 0x08000000, "WS_CLIPSIBLINGS": 0x04000000,
    "WS_CLIPCHILDREN": 0x02000000, "WS_MAXIMIZE": 0x01000000, "WS_CAPTION": 0x00C00000,
    "WS_BORDER": 0x00800000, "WS_DLGFRAME": 0x00400000, "WS_VSCROLL": 0x00200000,
    "WS_HSCROLL": 0x00100000, "WS_SYSMENU": 0x00080000, "WS_THICKFRAME": 0x00040000,
    "WS_GROUP": 0x00020000, "WS_TABSTOP": 0x00010000, "WS_MINIMIZEBOX": 0x00020000,
    "WS_MAXIMIZEBOX": 0x00010000,
    "WS_EX_DLGMODALFRAME": 0x1, "WS_EX_NOPARENTNOTIFY": 0x4, "WS_EX_TOPMOST": 0x8,
    "WS_EX_ACCEPTFILES": 0x10, "WS_EX_TRANSPARENT": 0x20, "WS_EX_TOOLWINDOW": 0x80,
    "WS_EX_WINDOWEDGE": 0x100, "WS_EX_CLIENTEDGE": 0x200, "WS_EX_CONTEXTHELP": 0x400,
    "WS_EX_RIGHT": 0x1000, "WS_EX_CONTROLPARENT": 0x10000, "WS_EX_STATICEDGE": 0x20000,
    "WS_EX_APPWINDOW": 0x40000,
    # Dialog styles.
    "DS_ABSALIGN": 0x1, "DS_SYSMODAL": 0x2, "DS_3DLOOK": 0x4, "DS_FIXEDSYS": 0x8,
    "DS_NOFAILCREATE": 0x10, "DS_LOCALEDIT": 0x20, "DS_SETFONT": 0x40, "DS_MODALFRAME": 0x80,
    "DS_NOIDLEMSG": 0x100, "DS_SETFOREGROUND": 0x200, "DS_CONTROL": 0x400, "DS_CENTER": 0x800,
    "DS_CENTERMOUSE": 0x1000, "DS_CONTEXTHELP": 0x2000, "DS_SHELLFONT": 0x48,
    # Buttons.
    "BS_PUSHBUTTON": 0x0, "BS_DEFPUSHBUTTON": 0x1, "BS_CHECKBOX": 0x2, "BS_AUTOCHECKBOX": 0x3,
    "BS_RADIOBUTTON": 0x4, "BS_3STATE": 0x5, "BS_AUTO3STATE": 0x6, "BS_GROUPBOX": 0x7,
    "BS_USERBUTTON": 0x8, "BS_AUTORADIOBUTTON": 0x9, "BS_OWNERDRAW": 0xB, "BS_LEFTTEXT": 0x20,
    "BS_TEXT": 0x0, "BS_ICON": 0x40, "BS_BITMAP": 0x80, "BS_LEFT": 0x100, "BS_RIGHT": 0x200,
    "BS_CENTER": 0x300, "BS_TOP": 0x400, "BS_BOTTOM": 0x800, "BS_VCENTER": 0xC00,
    "BS_PUSHLIKE": 0x1000, "BS_MULTILINE": 0x2000, "BS_NOTIFY": 0x4000, "BS_FLAT": 0x8000,
    # Statics.
    "SS_LEFT": 0x0, "SS_CENTER": 0x1, "SS_RIGHT": 0x2, "SS_ICON": 0x3, "SS_BLACKRECT": 0x4,
    "SS_GRAYRECT": 0x5, "SS_WHITERECT": 0x6, "SS_BLACKFRAME": 0x7, "SS_GRAYFRAME": 0x8,
    "SS_WHITEFRAME": 0x9, "SS_SIMPLE": 0xB, "SS_LEFTNOWORDWRAP": 0xC, "SS_OWNERDRAW": 0xD,
    "SS_BITMAP": 0xE, "SS_ETCHEDHORZ": 0x10, "SS_ETCHEDVERT": 0x11, "SS_ETCHEDFRAME": 0x12,
    "SS_NOPREFIX": 0x80, "SS_NOTIFY": 0x100, "SS_CENTERIMAGE": 0x200, "SS_RIGHTJUST": 0x400,
    "SS_REALSIZEIMAGE": 0x800, "SS_SUNKEN": 0x1000,
    # Edits.
    "ES_LEFT": 0x0, "ES_CENTER": 0x1, "ES_RIGHT": 0x2, "ES_MULTILINE": 0x4, "ES_UPPERCASE": 0x8,
    "ES_LOWERCASE": 0x10, "ES_PASSWORD": 0x20, "ES_AUTOVSCROLL": 0x40, "ES_AUTOHSCROLL": 0x80,
    "ES_NOHIDESEL": 0x100, "ES_OEMCONVERT": 0x400, "ES_READONLY": 0x800, "ES_WANTRETURN": 0x1000,
    "ES_NUMBER": 0x2000,
    # Combo boxes.
    "CBS_SIMPLE": 0x1, "CBS_DROPDOWN": 0x2, "CBS_DROPDOWNLIST": 0x3, "CBS_OWNERDRAWFIXED": 0x10,
    "CBS_OWNERDRAWVARIABLE": 0x20, "CBS_AUTOHSCROLL": 0x40, "CBS_OEMCONVERT": 0x80,
    "CBS_SORT": 0x100, "CBS_HASSTRINGS": 0x200, "CBS_NOINTEGRALHEIGHT": 0x400,
    "CBS_DISABLENOSCROLL": 0x800, "CBS_UPPERCASE": 0x2000, "CBS_LOWERCASE": 0x4000,
    # List boxes.
    "LBS_NOTIFY": 0x1, "LBS_SORT": 0x2, "LBS_NOREDRAW": 0x4, "LBS_MULTIPLESEL": 0x8,
    "LBS_OWNERDRAWFIXED": 0x10, "LBS_OWNERDRAWVARIABLE": 0x20, "LBS_HASSTRINGS": 0x40,
    "LBS_USETABSTOPS": 0x80, "LBS_NOINTEGRALHEIGHT": 0x100, "LBS_MULTICOLUMN": 0x200,
    "LBS_WANTKEYBOARDINPUT": 0x400, "LBS_EXTENDEDSEL": 0x800, "LBS_DISABLENOSCROLL": 0x1000,
    "LBS_NODATA": 0x2000, "LBS_NOSEL": 0x4000, "LBS_STANDARD": 0x00A00003,
    # Trackbars.
    "TBS_AUTOTICKS": 0x1, "TBS_VERT": 0x2, "TBS_HORZ": 0x0, "TBS_TOP": 0x4, "TBS_BOTTOM": 0x0,
    "TBS_LEFT": 0x4, "TBS_RIGHT": 0x0, "TBS_BOTH": 0x8, "TBS_NOTICKS": 0x10,
    "TBS_ENABLESELRANGE": 0x20, "TBS_FIXEDLENGTH": 0x40, "TBS_NOTHUMB": 0x80, "TBS_TOOLTIPS": 0x100,
    "TBS_REVERSED": 0x200, "TBS_DOWNISLEFT": 0x400,
    # Up-down controls.
    "UDS_WRAP": 0x1, "UDS_SETBUDDYINT": 0x2, "UDS_ALIGNRIGHT": 0x4, "UDS_ALIGNLEFT": 0x8,
    "UDS_AUTOBUDDY": 0x10, "UDS_ARROWKEYS": 0x20, "UDS_HORZ": 0x40, "UDS_NOTHOUSANDS": 0x80,
    "UDS_HOTTRACK": 0x100,
    # Tree views.
    "TVS_HASBUTTONS": 0x1, "TVS_HASLINES": 0x2, "TVS_LINESATROOT": 0x4, "TVS_EDITLABELS": 0x8,
    "TVS_DISABLEDRAGDROP": 0x10, "TVS_SHOWSELALWAYS": 0x20, "TVS_RTLREADING": 0x40,
    "TVS_NOTOOLTIPS": 0x80, "TVS_CHECKBOXES": 0x100, "TVS_TRACKSELECT": 0x200,
    "TVS_SINGLEEXPAND": 0x400, "TVS_INFOTIP": 0x800, "TVS_FULLROWSELECT": 0x1000,
    "TVS_NOSCROLL": 0x2000, "TVS_NONEVENHEIGHT": 0x4000, "TVS_NOHSCROLL": 0x8000,
    # Tab controls.
    "TCS_SCROLLOPPOSITE": 0x1, "TCS_BOTTOM": 0x2, "TCS_RIGHT": 0x2, "TCS_MULTISELECT": 0x4,
    "TCS_FLATBUTTONS": 0x8, "TCS_FORCEICONLEFT": 0x10, "TCS_FORCELABELLEFT": 0x20,
    "TCS_HOTTRACK": 0x40, "TCS_VERTICAL": 0x80, "TCS_TABS": 0x0, "TCS_BUTTONS": 0x100,
    "TCS_SINGLELINE": 0x0, "TCS_MULTILINE": 0x200, "TCS_RIGHTJUSTIFY": 0x0, "TCS_FIXEDWIDTH": 0x400,
    "TCS_RAGGEDRIGHT": 0x800, "TCS_FOCUSONBUTTONDOWN": 0x1000, "TCS_OWNERDRAWFIXED": 0x2000,
    "TCS_TOOLTIPS": 0x4000, "TCS_FOCUSNEVER": 0x8000,
    # Dialog answers and the static id.
    "IDOK": 1, "IDCANCEL": 2, "IDABORT": 3, "IDRETRY": 4, "IDIGNORE": 5, "IDYES": 6, "IDNO": 7,
    "IDC_STATIC": -1,
    # Languages.
    "LANG_NEUTRAL": 0x00, "LANG_GERMAN": 0x07, "LANG_ENGLISH": 0x09, "LANG_FRENCH": 0x0C,
    "SUBLANG_NEUTRAL": 0x0, "SUBLANG_DEFAULT": 0x1, "SUBLANG_ENGLISH_US": 0x1,
    "SUBLANG_GERMAN": 0x1,
}
STANDARD_HEADERS = {"windows.h", "winres.h", "afxres.h", "winresrc.h", "commctrl.h"}
MEMORY_FLAGS = {"DISCARDABLE", "MOVEABLE", "PURE", "IMPURE", "PRELOAD", "LOADONCALL", "FIXED", "SHARED",
                "NONSHARED"}
PREDEFINED_CLASSES = {"BUTTON": 0x80, "EDIT": 0x81, "STATIC": 0x82, "LISTBOX": 0x83, "SCROLLBAR": 0x84,
                      "COMBOBOX": 0x85}
# The common controls' class names, by the names <commctrl.h> gives them (a CONTROL statement may
# also give the class as its text).
COMMON_CONTROL_CLASSES = {
    "TRACKBAR_CLASS": "msctls_trackbar32", "TRACKBAR_CLASSA": "msctls_trackbar32",
    "TRACKBAR_CLASSW": "msctls_trackbar32",
    "UPDOWN_CLASS": "msctls_updown32", "UPDOWN_CLASSA": "msctls_updown32", "UPDOWN_CLASSW": "msctls_updown32",
    "WC_TREEVIEW": "SysTreeView32", "WC_TREEVIEWA": "SysTreeView32", "WC_TREEVIEWW": "SysTreeView32",
    "WC_TABCONTROL": "SysTabControl32", "WC_TABCONTROLA": "SysTabControl32",
    "WC_TABCONTROLW": "SysTabControl32",
}
RT_BITMAP, RT_DIALOG, RT_STRING = 2, 5, 6
CHILD_VISIBLE = 0x40000000 | 0x10000000

# The shorthand control statements: the class, whether the statement has a text, and its default
# style (WS_CHILD and WS_VISIBLE come with every control).
SHORTHAND = {
    "LTEXT": ("STATIC", True, 0x0 | 0x00020000),
    "RTEXT": ("STATIC", True, 0x2 | 0x00020000),
    "CTEXT": ("STATIC", True, 0x1 | 0x00020000),
    "PUSHBUTTON": ("BUTTON", True, 0x0 | 0x00010000),
    "DEFPUSHBUTTON": ("BUTTON", True, 0x1 | 0x00010000),
    "GROUPBOX": ("BUTTON", True, 0x7),
    "CHECKBOX": ("BUTTON", True, 0x2 | 0x00010000),
    "AUTOCHECKBOX": ("BUTTON", True, 0x3 | 0x00010000),
    "RADIOBUTTON": ("BUTTON", True, 0x4 | 0x00010000),
    "AUTORADIOBUTTON": ("BUTTON", True, 0x9 | 0x00010000),
    "EDITTEXT": ("EDIT", False, 0x0 | 0x00800000 | 0x00010000),
    "COMBOBOX": ("COMBOBOX", False, 0x1 | 0x00010000),
    "LISTBOX": ("LISTBOX", False, 0x1 | 0x00800000),
}


class Token:
    __slots__ = ("kind", "value", "where")

    def __init__(self, kind, value, where):
        self.kind = kind  # "name", "number", "string", "punct"
        self.value = value
        self.where = where


def read_text(path, where):
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as e:
        raise RcError(where, f"cannot read '{path}': {e.strerror}")
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as e:
        raise RcError((path, data[:e.start].count(b"\n") + 1), "the file is not UTF-8")
    if text.startswith("\ufeff"):
        text = text[1:]
    return text


def unescape(body, where):
    out = []
    i = 0
    while i < len(body):
        c = body[i]
        if c == '"':  # "" inside a string is one quote
            out.append('"')
            i += 2
            continue
        if c == "\\":
            if i + 1 >= len(body):
                raise RcError(where, "a backslash ends the string")
            e = body[i + 1]
            mapped = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\", '"': '"', "0": "\0", "a": "\a"}.get(e)
            if mapped is None:
                raise RcError(where, f"unknown escape '\\{e}'")
            out.append(mapped)
            i += 2
            continue
        out.append(c)
        i += 1
    return "".join(out)


def tokenize_line(line, where, tokens):
    i = 0
    n = len(line)
    while i < n:
        c = line[i]
        if c in " \t\r\f\v":
            i += 1
        elif c == '"' or (c in "Ll" and i + 1 < n and line[i + 1] == '"'):
            if c != '"':
                i += 1
            j = i + 1
            while True:
                if j >= n:
                    raise RcError(where, "string not closed on its line")
                if line[j] == "\\":
                    j += 2
                    continue
                if line[j] == '"':
                    if j + 1 < n and line[j + 1] == '"':
                        j += 2
                        continue
                    break
                j += 1
            tokens.append(Token("string", unescape(line[i + 1:j], where), where))
            i = j + 1
        elif c.isdigit():
            j = i
            while j < n and (line[j].isalnum() or line[j] == "_"):
                j += 1
            word = line[i:j]
            digits = word.rstrip("lLuU")
            try:
                value = int(digits, 16) if digits.lower().startswith("0x") else int(digits, 10)
            except ValueError:
                raise RcError(where, f"bad number '{word}'")
            tokens.append(Token("number", value, where))
            i = j
        elif c.isalpha() or c == "_":
            j = i
            while j < n and (line[j].isalnum() or line[j] == "_"):
                j += 1
            tokens.append(Token("name", line[i:j], where))
            i = j
        elif c in ",|&+-~()*/{}":
            tokens.append(Token("punct", c, where))
            i += 1
        else:
            raise RcError(where, f"unexpected character '{c}'")


class Preprocessor:
    """Reads a script and its headers into tokens, keeping the #define'd names."""

    def __init__(self, include_dirs):
        self.include_dirs = include_dirs
        self.defines = {}
        self.files = []  # every file read, for the build's dependencies
        self.depth = 0

    def find(self, name, current, angle, where):
        if angle and name.lower() in STANDARD_HEADERS:
            return None
        dirs = ([] if angle else [os.path.dirname(current)]) + self.include_dirs
        for d in dirs:
            path = os.path.join(d, name)
            if os.path.isfile(path):
                return path
        raise RcError(where, f"cannot find the header '{name}'")

    def read(self, path, where=None):
        if self.depth > 32:
            raise RcError(where, "headers include each other too deeply")
        text = read_text(path, where or (path, 0))
        self.files.append(path)
        self.depth += 1
        tokens = []
        conditions = []  # (taking, taken-already)
        lines = text.split("\n")
        in_comment = False
        comment_line = 0
        number = 0
        while number < len(lines):
            line = lines[number]
            number += 1
            where = (path, number)
            # Lines ending in a backslash continue.
            while line.endswith("\\") and number < len(lines):
                line = line[:-1] + lines[number]
                number += 1
            was_in_comment = in_comment
            line, in_comment = strip_comments(line, in_comment, where)
            if in_comment and not was_in_comment:
                comment_line = number
            stripped = line.strip()
            taking = all(c[0] for c in conditions)
            if stripped.startswith("#"):
                self.directive(stripped[1:].strip(), path, where, conditions, taking, tokens)
                continue
            if taking:
                tokenize_line(line, where, tokens)
        if in_comment:
            raise RcError((path, comment_line), "comment not closed")
        if conditions:
            raise RcError((path, number), "#if without #endif")
        self.depth -= 1
        return tokens

    def directive(self, body, path, where, conditions, taking, tokens):
        word, _, rest = body.partition(" ")
        word, rest = word.strip(), rest.strip()
        if "\t" in word:
            word, _, more = word.partition("\t")
            rest = (more + " " + rest).strip()
        if word in ("ifdef", "ifndef"):
            defined = rest in self.defines or rest in STANDARD_NAMES
            take = defined if word == "ifdef" else not defined
            conditions.append([take, take])
        elif word == "if":
            value = self.evaluate_condition(rest, where) if taking else 0
            conditions.append([value != 0, value != 0])
        elif word == "else":
            if not conditions:
                raise RcError(where, "#else without #if")
            conditions[-1][0] = not conditions[-1][1]
            conditions[-1][1] = True
        elif word == "endif":
            if not conditions:
                raise RcError(where, "#endif without #if")
            conditions.pop()
        elif not taking:
            return
        elif word == "include":
            if len(rest) >= 2 and rest[0] == '"' and rest[-1] == '"':
                found = self.find(rest[1:-1], path, False, where)
            elif len(rest) >= 2 and rest[0] == "<" and rest[-1] == ">":
                found = self.find(rest[1:-1], path, True, where)
            else:
                raise RcError(where, "#include needs a \"file\" or <file>")
            if found:
                tokens.extend(self.read(found, where))
        elif word == "define":
            name, _, value = rest.replace("\t", " ").partition(" ")
            if not name or not (name[0].isalpha() or name[0] == "_") or "(" in name:
                raise RcError(where, f"bad #define '{rest}'")
            body = []
            tokenize_line(value, where, body)
            self.defines[name] = body
        elif word == "undef":
            self.defines.pop(rest, None)
        elif word == "pragma":
            return
        else:
            raise RcError(where, f"unknown directive '#{word}'")

    def evaluate_condition(self, text, where):
        body = []
        tokenize_line(text, where, body)
        parser = Parser(self.expand(body), self, where)
        value = parser.expression()
        if not parser.at_end():
            raise RcError(where, "bad #if expression")
        return value

    def expand(self, tokens, active=()):
        out = []
        for t in tokens:
            if t.kind == "name" and t.value in self.defines and t.value not in active:
                for e in self.expand(self.defines[t.value], active + (t.value,)):
                    out.append(Token(e.kind, e.value, t.where))
            else:
                out.append(t)
        return out


def strip_comments(line, in_comment, where):
    out = []
    i = 0
    in_string = False
    while i < len(line):
        if in_comment:
            end = line.find("*/", i)
            if end < 0:
                return "".join(out), True
            i = end + 2
            in_comment = False
            out.append(" ")
            continue
        c = line[i]
        if in_string:
            out.append(c)
            if c == "\\" and i + 1 < len(line):
                out.append(line[i + 1])
                i += 2
                continue
            if c == '"':
                in_string = False
            i += 1
            continue
        if c == '"':
            in_string = True
        elif line.startswith("//", i):
            break
        elif line.startswith("/*", i):
            in_comment = True
            i += 2
            continue
        out.append(c)
        i += 1
    return "".join(out), in_comment


class Parser:
    def __init__(self, tokens, pre, end_where=None):
        self.tokens = tokens
        self.pos = 0
        self.pre = pre
        self.end_where = end_where

    def at_end(self):
        return self.pos >= len(self.tokens)

    def peek(self, offset=0):
        i = self.pos + offset
        return self.tokens[i] if i < len(self.tokens) else None

    def where(self):
        t = self.peek()
        if t:
            return t.where
        return self.end_where or self.tokens[-1].where

    def next(self, what="more input"):
        t = self.peek()
        if t is None:
            raise RcError(self.where(), f"the script ends where {what} was expected")
        self.pos += 1
        return t

    def is_punct(self, value):
        t = self.peek()
        return t is not None and t.kind == "punct" and t.value == value

    def is_word(self, *words):
        t = self.peek()
        return t is not None and t.kind == "name" and t.value.upper() in words

    def expect_punct(self, value):
        t = self.next(f"'{value}'")
        if t.kind != "punct" or t.value != value:
            raise RcError(t.where, f"'{value}' expected, found '{t.value}'")

    def comma(self):
        if self.is_punct(","):
            self.pos += 1

    # Numeric expressions: | and + bind loosest, then &, then * and /, then unary - and ~.
    def expression(self):
        value = self.and_term()
        while self.is_punct("|") or self.is_punct("+") or self.is_punct("-"):
            op = self.next().value
            rhs = self.and_term()
            value = value | rhs if op == "|" else value + rhs if op == "+" else value - rhs
        return value

    def and_term(self):
        value = self.mul_term()
        while self.is_punct("&"):
            self.pos += 1
            value &= self.mul_term()
        return value

    def mul_term(self):
        value = self.unary()
        while self.is_punct("*") or self.is_punct("/"):
            op = self.next().value
            rhs = self.unary()
            if op == "/" and rhs == 0:
                raise RcError(self.where(), "division by zero")
            value = value * rhs if op == "*" else int(value / rhs)
        return value

    def unary(self):
        t = self.next("a number")
        if t.kind == "punct" and t.value == "-":
            return -self.unary()
        if t.kind == "punct" and t.value == "~":
            return ~self.unary()
        if t.kind == "punct" and t.value == "(":
            value = self.expression()
            self.expect_punct(")")
            return value
        if t.kind == "number":
            return t.value
        if t.kind == "name":
            if t.value in STANDARD_NAMES:
                return STANDARD_NAMES[t.value]
            raise RcError(t.where, f"'{t.value}' is not a defined number")
        raise RcError(t.where, f"a number expected, found '{t.value}'")

    def style(self, default):
        """A style: terms joined by |, each one ORed into the default, or cleared with NOT."""
        value = default
        while True:
            clear = False
            if self.is_word("NOT"):
                self.pos += 1
                clear = True
            term = self.and_term()
            value = value & ~term if clear else value | term
            if self.is_punct("|"):
                self.pos += 1
                continue
            return value & 0xFFFFFFFF

    def string(self, what):
        t = self.next(what)
        if t.kind != "string":
            raise RcError(t.where, f"{what} expected, found '{t.value}'")
        return t.value

    def begin(self):
        t = self.next("BEGIN")
        if not ((t.kind == "name" and t.value.upper() == "BEGIN") or (t.kind == "punct" and t.value == "{")):
            raise RcError(t.where, f"BEGIN expected, found '{t.value}'")

    def is_end(self):
        return self.is_word("END") or self.is_punct("}")


def check_range(value, low, high, what, where):
    if not low <= value <= high:
        raise RcError(where, f"{what} {value} is out of range")
    return value


def word(value, what, where):
    return check_range(value, -0x8000, 0xFFFF, what, where) & 0xFFFF


def utf16z(text):
    return text.encode("utf-16-le") + b"\0\0"


def name_or_ordinal(value):
    if isinstance(value, int):
        return struct.pack("<HH", 0xFFFF, value)
    return utf16z(value)


def align4(data):
    return data + b"\0" * (-len(data) % 4)


class Compiler:
    def __init__(self, rc_path, include_dirs):
        self.pre = Preprocessor(include_dirs)
        self.rc_path = rc_path
        self.language = 1033
        self.resources = []  # (type text or id, name text or id, language, bytes, where)
        self.strings = {}  # (language, id) -> text

    def run(self):
        tokens = self.pre.expand(self.pre.read(self.rc_path))
        end = (self.rc_path, 0)
        p = Parser(tokens, self.pre, end)
        while not p.at_end():
            self.statement(p)
        self.add_string_blocks()
        seen = {}
        for r in self.resources:
            key = (str(r[0]).upper(), str(r[1]).upper() if not isinstance(r[1], int) else r[1], r[2])
            if key in seen:
                raise RcError(r[4], f"resource {r[1]} of type {r[0]} defined twice")
            seen[key] = True
        return self.resources

    def language_statement(self, p):
        lang = check_range(p.expression(), 0, 0x3FF, "language", p.where())
        p.expect_punct(",")
        sub = check_range(p.expression(), 0, 0x3F, "sublanguage", p.where())
        return (sub << 10) | lang

    def statement(self, p):
        t = p.peek()
        if t.kind == "name" and t.value.upper() == "LANGUAGE":
            p.pos += 1
            self.language = self.language_statement(p)
            return
        if t.kind == "name" and t.value.upper() == "STRINGTABLE":
            p.pos += 1
            self.stringtable(p)
            return
        name = self.resource_name(p)
        kind = p.next("a resource type")
        if kind.kind == "name" and kind.value.upper() == "DIALOGEX":
            self.dialog(p, name, kind.where)
        elif kind.kind == "name" and kind.value.upper() == "BITMAP":
            data = self.file_bytes(p)
            if len(data) < 14 or data[:2] != b"BM":
                raise RcError(kind.where, "the bitmap file has no BM header")
            self.resources.append((RT_BITMAP, name, self.language, data[14:], kind.where))
        elif kind.kind == "name" and kind.value.upper() not in ("DIALOG", "MENU", "ICON", "CURSOR",
                                                                  "ACCELERATORS", "VERSIONINFO", "BEGIN",
                                                                  "END") and self.next_is_file(p):
            data = self.file_bytes(p)
            self.resources.append((kind.value.upper(), name, self.language, data, kind.where))
        elif kind.kind == "number" and self.next_is_file(p):
            data = self.file_bytes(p)
            self.resources.append((word(kind.value, "type", kind.where), name, self.language, data, kind.where))
        else:
            raise RcError(kind.where, f"unknown statement '{kind.value}'")

    def resource_name(self, p):
        t = p.peek()
        if t.kind == "name" and t.value not in STANDARD_NAMES:
            # An undefined symbol (symbols were expanded already) names the resource by its text.
            p.pos += 1
            return t.value
        if t.kind == "string":
            p.pos += 1
            return t.value
        where = t.where
        value = p.expression()
        return check_range(value, 0, 0xFFFF, "resource id", where)

    def next_is_file(self, p):
        i = 0
        while p.peek(i) is not None and p.peek(i).kind == "name" and p.peek(i).value.upper() in MEMORY_FLAGS:
            i += 1
        t = p.peek(i)
        return t is not None and t.kind == "string"

    def file_bytes(self, p):
        while p.is_word(*MEMORY_FLAGS):
            p.pos += 1
        t = p.next("a file name")
        path = t.value
        candidates = [os.path.join(os.path.dirname(self.rc_path), path)] + \
                     [os.path.join(d, path) for d in self.pre.include_dirs]
        for c in candidates:
            if os.path.isfile(c):
                self.pre.files.append(c)
                with open(c, "rb") as f:
                    return f.read()
        raise RcError(t.where, f"cannot find the file '{path}'")

    def stringtable(self, p):
        language = self.language
        while not p.at_end() and not (p.is_word("BEGIN") or p.is_punct("{")):
            if p.is_word("LANGUAGE"):
                p.pos += 1
                language = self.language_statement(p)
            elif p.is_word(*MEMORY_FLAGS):
                p.pos += 1
            else:
                t = p.next()
                raise RcError(t.where, f"unknown statement '{t.value}'")
        p.begin()
        while not p.is_end():
            where = p.where()
            sid = check_range(p.expression(), 0, 0xFFFF, "string id", where)
            p.comma()
            text = p.string("a string")
            if (language, sid) in self.strings:
                raise RcError(where, f"string {sid} defined twice")
            if len(text.encode("utf-16-le")) // 2 > 0xFFFF:
                raise RcError(where, f"string {sid} is too long")
            self.strings[(language, sid)] = (text, where)
        p.next()

    def add_string_blocks(self):
        blocks = {}
        for (language, sid), (text, where) in self.strings.items():
            blocks.setdefault((language, sid // 16 + 1), [None] * 16)[sid % 16] = (text, where)
        for (language, block), entries in sorted(blocks.items()):
            data = b""
            for e in entries:
                encoded = e[0].encode("utf-16-le") if e else b""
                data += struct.pack("<H", len(encoded) // 2) + encoded
            where = next(e[1] for e in entries if e)
            self.resources.append((RT_STRING, block, language, data, where))

    def dialog(self, p, name, where):
        coords = []
        for i in range(4):
            w = p.where()
            coords.append(word(p.expression(), "coordinate", w))
            if i < 3:
                p.expect_punct(",")
        help_id = 0
        if p.is_punct(","):
            p.pos += 1
            help_id = p.expression() & 0xFFFFFFFF
        style = None
        exstyle = 0
        caption = ""
        has_caption = False
        font = None
        language = self.language
        while True:
            if p.is_word("STYLE"):
                p.pos += 1
                style = p.style(0)
            elif p.is_word("EXSTYLE"):
                p.pos += 1
                exstyle = p.style(0)
            elif p.is_word("CAPTION"):
                p.pos += 1
                caption = p.string("a caption")
                has_caption = True
            elif p.is_word("FONT"):
                p.pos += 1
                w = p.where()
                size = word(p.expression(), "font size", w)
                p.expect_punct(",")
                face = p.string("a typeface")
                weight, italic, charset = 0, 0, 1
                if p.is_punct(","):
                    p.pos += 1
                    weight = word(p.expression(), "font weight", p.where())
                    if p.is_punct(","):
                        p.pos += 1
                        italic = check_range(p.expression(), 0, 255, "italic", p.where())
                        if p.is_punct(","):
                            p.pos += 1
                            charset = check_range(p.expression(), 0, 255, "character set", p.where())
                font = (size, weight, italic, charset, face)
            elif p.is_word("LANGUAGE"):
                p.pos += 1
                language = self.language_statement(p)
            elif p.is_word(*MEMORY_FLAGS):
                p.pos += 1
            else:
                break
        if style is None:
            style = 0x80000000 | 0x00800000 | 0x00080000  # WS_POPUP | WS_BORDER | WS_SYSMENU
        if has_caption:
            style |= 0x00C00000
        if font:
            style |= 0x40
        p.begin()
        items = []
        while not p.is_end():
            items.append(self.control(p))
        p.next()
        if len(items) > 0xFFFF:
            raise RcError(where, "too many controls")
        data = struct.pack("<HHIIIH4H", 1, 0xFFFF, help_id, exstyle, style, len(items), *coords)
        data += name_or_ordinal_empty(None) + name_or_ordinal_empty(None) + utf16z(caption)
        if style & 0x40:
            size, weight, italic, charset, face = font if font else (8, 0, 0, 1, "MS Shell Dlg")
            data += struct.pack("<HHBB", size, weight, italic, charset) + utf16z(face)
        for item in items:
            data = align4(data) + item
        self.resources.append((RT_DIALOG, name, language, data, where))

    def control(self, p):
        t = p.next("a control")
        keyword = t.value.upper() if t.kind == "name" else None
        if keyword == "CONTROL":
            text = self.control_text(p)
            p.expect_punct(",")
            cid = self.control_id(p)
            p.expect_punct(",")
            ct = p.next("a class")
            if ct.kind == "string":
                cls = PREDEFINED_CLASSES.get(ct.value.upper(), ct.value)
            elif ct.kind == "name" and ct.value.upper() in PREDEFINED_CLASSES:
                cls = PREDEFINED_CLASSES[ct.value.upper()]
            elif ct.kind == "name" and ct.value in COMMON_CONTROL_CLASSES:
                cls = COMMON_CONTROL_CLASSES[ct.value]
            else:
                raise RcError(ct.where, f"a window class expected, found '{ct.value}'")
            p.expect_punct(",")
            style = p.style(CHILD_VISIBLE)
            p.expect_punct(",")
            coords = self.coordinates(p)
        elif keyword in SHORTHAND:
            cls_name, has_text, default = SHORTHAND[keyword]
            cls = PREDEFINED_CLASSES[cls_name]
            text = ""
            if has_text:
                text = self.control_text(p)
                p.expect_punct(",")
            cid = self.control_id(p)
            p.expect_punct(",")
            coords = self.coordinates(p)
            style = CHILD_VISIBLE | default
            if p.is_punct(","):
                p.pos += 1
                style = p.style(style)
        else:
            raise RcError(t.where, f"unknown statement '{t.value}'")
        exstyle = 0
        help_id = 0
        if p.is_punct(","):
            p.pos += 1
            exstyle = p.style(0)
            if p.is_punct(","):
                p.pos += 1
                help_id = p.expression() & 0xFFFFFFFF
        data = struct.pack("<III4hI", help_id, exstyle, style, *coords, cid)
        data += name_or_ordinal(cls) + name_or_ordinal(text) + struct.pack("<H", 0)
        return data

    def control_text(self, p):
        t = p.peek()
        if t is not None and t.kind == "string":
            p.pos += 1
            return t.value
        w = p.where()
        return check_range(p.expression(), 0, 0xFFFF, "resource id", w)

    def control_id(self, p):
        w = p.where()
        return check_range(p.expression(), -0x80000000, 0xFFFFFFFF, "control id", w) & 0xFFFFFFFF

    def coordinates(self, p):
        coords = []
        for i in range(4):
            w = p.where()
            value = p.expression()
            check_range(value, -0x8000, 0x7FFF, "coordinate", w)
            coords.append(value)
            if i < 3:
                p.expect_punct(",")
        return coords


def name_or_ordinal_empty(_):
    return b"\0\0"


def c_text(text):
    out = []
    for b in text.encode("utf-8"):
        if b < 0x20 or b >= 0x7F or b in (ord('"'), ord("\\"), ord("?")):
            out.append(f"\\{b:03o}")
        else:
            out.append(chr(b))
    return '"' + "".join(out) + '"'


def write_source(resources, rc_path):
    lines = [f"// Generated by the resource compiler from {os.path.basename(rc_path)}; do not edit.",
             '#include "um/resourcetable.h"', "", "namespace {", ""]
    for i, (_, _, _, data, _) in enumerate(resources):
        body = ",".join(str(b) for b in data) if data else "0"
        lines.append(f"alignas(4) const unsigned char kResource{i}[] = {{{body}}};")
    lines += ["", "} // namespace", "", 'extern "C" const standin::ResourceEntry StandinResourceTable[] = {']
    for i, (rtype, name, language, data, _) in enumerate(resources):
        type_fields = f"nullptr, {rtype}" if isinstance(rtype, int) else f"{c_text(rtype)}, 0"
        name_fields = f"nullptr, {name}" if isinstance(name, int) else f"{c_text(name)}, 0"
        lines.append(f"    {{{type_fields}, {name_fields}, {language}, kResource{i}, {len(data)}}},")
    if not resources:
        lines.append("    {nullptr, 0, nullptr, 0, 0, nullptr, 0},")
    lines += ["};", f'extern "C" const size_t StandinResourceTableCount = {len(resources)};', ""]
    return "\n".join(lines)


def main(argv):
    parser = argparse.ArgumentParser(description="Compiles a resource script into a module's resource table.")
    parser.add_argument("script")
    parser.add_argument("--source", required=True, help="the C++ source of the table")
    parser.add_argument("--depfile", help="a make-style list of the files read")
    parser.add_argument("-I", dest="include_dirs", action="append", default=[])
    args = parser.parse_args(argv)
    compiler = Compiler(args.script, args.include_dirs)
    try:
        resources = compiler.run()
    except RcError as e:
        print(str(e), file=sys.stderr)
        return 1
    except RecursionError:
        print(f"{args.script}:0: error: the script nests too deeply", file=sys.stderr)
        return 1
    text = write_source(resources, args.script)
    tmp = args.source + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(tmp, args.source)
    if args.depfile:
        deps = " ".join(os.path.abspath(f).replace(" ", "\\ ") for f in compiler.pre.files)
        with open(args.depfile, "w", encoding="utf-8") as f:
            f.write(f"{args.source}: {deps}\n")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
