#!/usr/bin/env python3
"""Fails when an application source depends on the compiler's code page: a
byte of 0x80 or more outside a comment (in code, a string or a character
literal). A CE-era compiler or resource compiler reads a source without a
byte-order mark in the build machine's ANSI code page, so such a byte means
one text on a Japanese machine and another on an English one; texts are
written as \\x escapes instead, the text itself in a comment.
Usage: source_charset.py SOURCE..."""
import sys


def non_ascii_outside_comments(data):
    """Yields (line, byte) for each byte >= 0x80 outside a comment."""
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
            yield line, byte
        i += 1


def main(paths):
    if not paths:
        sys.exit("source_charset: usage: source_charset.py SOURCE...")
    faults = 0
    for path in paths:
        with open(path, "rb") as source:
            data = source.read()
        lines = {}
        for line, byte in non_ascii_outside_comments(data):
            lines.setdefault(line, []).append(byte)
        for line, found in lines.items():
            print(f"source_charset: {path}:{line}: {len(found)} bytes from 0x{found[0]:02X} outside a comment: "
                  "their meaning depends on the compiler's code page; write the text as \\x escapes")
            faults += len(found)
    if faults:
        print(f"source_charset: {faults} bytes that depend on the code page")
        sys.exit(1)
    print(f"source_charset: {len(paths)} sources, every byte outside the comments is ASCII")


if __name__ == "__main__":
    main(sys.argv[1:])
