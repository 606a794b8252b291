#!/usr/bin/env python3
"""Prints a C string literal holding the code page 932 bytes of a text.

Usage: tools/sjis_literal.py 'ERROR! %sのドライバーがないので処理をしません。\n'
A backslash-n in the argument stands for a line feed. Printable ASCII stays
readable; every other byte becomes a hex escape, and the literal is split
after an escape when a hex digit follows, so the escape cannot swallow it.
"""
import sys


def literal(text: str) -> str:
    data = text.replace("\\n", "\n").encode("cp932")
    out, after_hex = [], False
    for b in data:
        ch = chr(b)
        if b == 0x0A:
            out.append("\\n")
            after_hex = False
        elif 0x20 <= b < 0x7F and ch not in '"\\':
            if after_hex and ch in "0123456789abcdefABCDEF":
                out.append('" "')
            out.append(ch)
            after_hex = False
        else:
            out.append("\\x%02x" % b)
            after_hex = True
    return '"' + "".join(out) + '"'


if __name__ == "__main__":
    for arg in sys.argv[1:]:
        print(literal(arg))
