#!/usr/bin/env python3
"""Fails when an application source depends on the compiler's code page: a
byte of 0x80 or more outside a comment (in code, a string or a character
literal). A CE-era compiler or resource compiler reads a source without a
byte-order mark in the build machine's ANSI code page, so such a byte means
one text on a Japanese machine and another on an English one; texts are
written as \\x escapes instead, the text itself in a comment.
It also fails on a comment whose non-ASCII text is followed by anything but
a space or a tab: in code page 932 the last byte of a UTF-8 character may be
a lead byte, which swallows the next byte, so a "*/" or a line break right
after the text would be lost to the comment.
Usage: source_charset.py SOURCE..."""
import sys


def code_page_faults(data):
    """Yields (line, byte, "outside") for each byte >= 0x80 outside a comment,
    and (line, byte, "end") for comment text ending in such a byte that is
    not followed by a space or a tab."""
    state, line, i = "code", 1, 0
    while i < len(data):
        byte, pair = data[i], data[i:i + 2]
        if byte == 0x0A:
            line += 1
            if state == "line comment":
                state = "code"
        if state == "code":
            if pair == b"//":
                state, i = "line comment", i + 1
            elif pair == b"/*":
                state, i = "block comment", i + 1
            elif byte in b"\"'":
                state, quote = "literal", byte
        elif state == "block comment" and pair == b"*/":
            state, i = "code", i + 1
        elif state == "literal":
            if byte == 0x5C:
                i += 1
            elif byte == quote or byte == 0x0A:
                state = "code"
        if byte >= 0x80 and state in ("code", "literal"):
            yield line, byte, "outside"
        elif byte >= 0x80 and i + 1 < len(data) and data[i + 1] < 0x80 and data[i + 1] not in b" \t":
            yield line, byte, "end"
        i += 1


def main(paths):
    if not paths:
        sys.exit("source_charset: usage: source_charset.py SOURCE...")
    faults = 0
    for path in paths:
        with open(path, "rb") as source:
            data = source.read()
        lines = {}
        for line, byte, where in code_page_faults(data):
            lines.setdefault((line, where), []).append(byte)
        for (line, where), found in lines.items():
            if where == "outside":
                print(f"source_charset: {path}:{line}: {len(found)} bytes from 0x{found[0]:02X} outside a comment: "
                      "their meaning depends on the compiler's code page; write the text as \\x escapes")
            else:
                print(f"source_charset: {path}:{line}: comment text ends in byte 0x{found[0]:02X} with no space or "
                      "tab after it: in code page 932 it may swallow the next byte; add a space")
            faults += len(found)
    if faults:
        print(f"source_charset: {faults} bytes that depend on the code page")
        sys.exit(1)
    print(f"source_charset: {len(paths)} sources, every byte outside the comments is ASCII, "
          "every comment text ends before a space or a tab")


if __name__ == "__main__":
    main(sys.argv[1:])
