#!/usr/bin/env python3
"""Build-time Shift-JIS (code page 932) helpers.

  shift_jis.py literals IN OUT [NAME]
                                 copy a UTF-8 C++ source with every character
                                 outside ASCII in a narrow string or character
                                 literal written as octal escapes of its
                                 code page 932 bytes (other text is left alone)
  shift_jis.py table OUT         write the runtime's code page 932 to Unicode
                                 table as C++

Both use the C library's own "CP932" converter, so the bytes and the table are
those the compiler's -fexec-charset=CP932 and iconv gave before.
"""
import ctypes
import ctypes.util
import os
import sys

_libc = ctypes.CDLL(ctypes.util.find_library("c"), use_errno=True)
_libc.iconv_open.restype = ctypes.c_void_p
_libc.iconv_open.argtypes = [ctypes.c_char_p, ctypes.c_char_p]
_libc.iconv.restype = ctypes.c_size_t
_libc.iconv.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_char_p), ctypes.POINTER(ctypes.c_size_t),
                        ctypes.POINTER(ctypes.c_char_p), ctypes.POINTER(ctypes.c_size_t)]
_libc.iconv_close.argtypes = [ctypes.c_void_p]


class Converter:
    def __init__(self, to, frm):
        self.cd = _libc.iconv_open(to.encode(), frm.encode())
        if self.cd in (None, ctypes.c_void_p(-1).value, 2**64 - 1):
            sys.exit(f"shift_jis.py: the C library cannot convert {frm} to {to}")

    def convert(self, data):
        """The converted bytes, or None when the input is not a whole valid sequence."""
        _libc.iconv(self.cd, None, None, None, None)
        inbuf = ctypes.create_string_buffer(data, len(data))
        out = ctypes.create_string_buffer(64)
        ip = ctypes.c_char_p(ctypes.addressof(inbuf))
        il = ctypes.c_size_t(len(data))
        op = ctypes.c_char_p(ctypes.addressof(out))
        ol = ctypes.c_size_t(64)
        if _libc.iconv(self.cd, ctypes.byref(ip), ctypes.byref(il), ctypes.byref(op), ctypes.byref(ol)) == 2**64 - 1:
            return None
        if il.value != 0:
            return None
        return out.raw[:64 - ol.value]


def escape_literals(text, path):
    enc = Converter("CP932", "UTF-8")
    out = []
    i, n = 0, len(text)

    def is_ident(c):
        return c.isalnum() or c == "_"

    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            out.append(text[i:j])
            i = j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append(text[i:j])
            i = j
        elif c.isdigit() or (c == "." and i + 1 < n and text[i + 1].isdigit()):
            # A number, digit separators included.
            j = i + 1
            while j < n and (is_ident(text[j]) or text[j] in ".'" or
                             (text[j] in "+-" and text[j - 1] in "eEpP")):
                j += 1
            out.append(text[i:j])
            i = j
        elif c.isalpha() or c == "_":
            j = i
            while j < n and is_ident(text[j]):
                j += 1
            word = text[i:j]
            out.append(word)
            i = j
            if i < n and text[i] in "\"'":
                if word in ("R", "u8R", "uR", "UR", "LR"):
                    j = text.find("(", i)
                    delim = ")" + text[i + 1:j] + '"'
                    k = text.find(delim, j)
                    body = text[i:k + len(delim)]
                    if word == "R" and any(ord(ch) > 127 for ch in body):
                        sys.exit(f"{path}: a raw string cannot hold code page 932 text")
                    out.append(body)
                    i = k + len(delim)
                elif word in ("u8", "u", "U", "L"):
                    i = copy_literal(text, i, out, None, path)
        elif c in "\"'":
            i = copy_literal(text, i, out, enc, path)
        else:
            out.append(c)
            i += 1
    return "".join(out)


def copy_literal(text, i, out, enc, path):
    quote = text[i]
    out.append(quote)
    i += 1
    while i < len(text):
        c = text[i]
        if c == "\\":
            out.append(text[i:i + 2])
            i += 2
            continue
        i += 1
        if c == quote:
            out.append(c)
            return i
        if c == "\n":
            sys.exit(f"{path}: unterminated literal")
        if ord(c) > 127 and enc is not None:
            data = enc.convert(c.encode("utf-8"))
            if data is None:
                sys.exit(f"{path}: {c!r} (U+{ord(c):04X}) has no code page 932 form")
            out.append("".join(f"\\{b:03o}" for b in data))
        else:
            out.append(c)
    sys.exit(f"{path}: unterminated literal")


def write(path, content):
    os.makedirs(os.path.dirname(path) or ".", exist_ok=True)
    tmp = path + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(content)
    os.replace(tmp, path)


def literals(src, dst, name=None):
    with open(src, encoding="utf-8") as f:
        text = f.read()
    # Diagnostics and __FILE__ name the source, not this copy; relative to the
    # compiler's folder, so that the same tree in another place compiles the same.
    name = name or src
    line = '#line 1 "' + name.replace("\\", "\\\\").replace('"', '\\"') + '"\n'
    write(dst, line + escape_literals(text, src))


def table(dst):
    dec = Converter("UTF-32LE", "CP932")
    leads = [b for b in range(0x81, 0x100) if dec.convert(bytes([b])) is None]
    leads = [b for b in leads if any(dec.convert(bytes([b, t])) is not None for t in range(0x40, 0x100))]
    single = []
    for b in range(0x80, 0x100):
        u = dec.convert(bytes([b]))
        single.append(int.from_bytes(u, "little") if u else 0)
    double = []
    for lead in leads:
        row = []
        for t in range(0x40, 0x100):
            u = dec.convert(bytes([lead, t]))
            cp = int.from_bytes(u, "little") if u else 0
            if cp > 0xFFFF:
                sys.exit("shift_jis.py: a code page 932 character outside the basic plane")
            row.append(cp)
        double.append(row)
    lead_index = [0] * 128
    for k, lead in enumerate(leads):
        lead_index[lead - 0x80] = k + 1
    lines = ["// Generated at build time from the C library's code page 932 converter.",
             '#include "runtime/core/cp932.h"', "", "namespace qx {", ""]

    def array(decl, values, per, digits=4):
        lines.append(decl + " = {")
        for k in range(0, len(values), per):
            lines.append("  " + ", ".join(f"0x{v:0{digits}X}" for v in values[k:k + per]) + ",")
        lines.append("};")

    array("const uint16_t kCp932Single[128]", single, 12)
    array("const uint8_t kCp932LeadRow[128]", lead_index, 16, 2)
    lines.append(f"const uint16_t kCp932Double[{len(leads)}][192] = {{")
    for lead, row in zip(leads, double):
        lines.append(f"  {{  // 0x{lead:02X}")
        for k in range(0, len(row), 12):
            lines.append("    " + ", ".join(f"0x{v:04X}" for v in row[k:k + 12]) + ",")
        lines.append("  },")
    lines.append("};")
    lines += ["", "}  // namespace qx", ""]
    write(dst, "\n".join(lines))


if __name__ == "__main__":
    if len(sys.argv) in (4, 5) and sys.argv[1] == "literals":
        literals(*sys.argv[2:])
    elif len(sys.argv) == 3 and sys.argv[1] == "table":
        table(sys.argv[2])
    else:
        sys.exit(__doc__)
