#!/usr/bin/env python3
"""Writes the seed corpus of the fuzz targets into fuzz/corpus/<target>/.

Each seed is laid out the way its target reads the input (see FuzzInput.h and
the targets): zero-separated texts and single bytes. Run it again after
changing a seed here; the files it writes are kept in the repository.
"""
import os

HERE = os.path.dirname(os.path.abspath(__file__))
ZORVA = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Calvek\\ZORVA\\CurrentVersion"

# (type text, prompt, password or matrix template, a received line)
RECORDS = [
    ("M5", "NODE}", "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "NODE} 3 1 7 9 2"),
    ("M3", "DB0XYZ:", "#*@+?<>$(abc)\"x", "DB0XYZ: 9 5 10"),
    ("MD2", "BBS>", "geheim", "BBS> [1234567890]"),
    ("MD2", "PW [sys]", "sesam", "PW [sys] [0815]"),
    ("MD5", "WIN>", "geheim", "WIN> <x9q2>"),
    ("MD5", "[DX]", "secret", "[DX] [node] <a1B2c3>"),
    ("ITANET", "ITA:", "31415", "ITA: 12 7 40 3 99"),
    ("ITANET", "IR3UHU>", "27182", "IR3UHU> 1 2 3 4 5"),
    ("FLEXNET", "FLX:", "16180", "FLX: 8 11 22 7 4"),
    ("FLEXNET", "DB0FLX PW", "90210", "DB0FLX PW 123 4567 89 0 31337"),
    ("0M5", "", "ABCDEFGHIJKLMNOP", "12 0 7 3 9"),
    ("NOSMD5", "Password", "geheim", "Password [6d0136ef] : "),
    ("SYDIGITS", ")", "54321", "(xyz) 1234 12345>"),
]


def write(target, name, data):
    folder = os.path.join(HERE, "corpus", target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("latin-1")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def quoted(text):
    return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'


def hex_bytes(data, first_line):
    """The hex form as the writer wraps it: a backslash ends each full line."""
    out, line = "", first_line
    for i, b in enumerate(data):
        part = "%02x" % b + ("," if i + 1 < len(data) else "")
        if len(line) + len(part) > 78:
            out += line + "\\\r\n"
            line = "  "
        line += part
    return out + line


# ---- fuzz_regfile: the store file reader -----------------------------------

def korvel_export():
    out = "REGEDIT4\r\n\r\n[%s]\r\n" % ZORVA
    for name, value in (("MajorVersion", 1), ("MinorVersion", 0), ("Build", 1),
                        ("InstallationDate", 0x5f5e1000)):
        out += '"%s"=dword:%08x\r\n' % (name, value)
    out += "\r\n"
    for i, (type_text, prompt, password, _) in enumerate(RECORDS):
        out += "[%s\\ClientPasswords\\%d]\r\n" % (ZORVA, i)
        for name, value in (("Tag", "tag%d" % i), ("Challenge", prompt),
                            ("String", password), ("Type", type_text)):
            out += '"%s"=%s\r\n' % (name, quoted(value))
        out += "\r\n"
    return out


def windows_v5():
    text = "Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n" % ZORVA
    text += '"MajorVersion"=dword:00000001\r\n"Build"=dword:0000000a\r\n\r\n'
    text += "[%s\\ClientPasswords\\0]\r\n" % ZORVA
    text += '"Tag"="win"\r\n"Challenge"="WIN>"\r\n'
    wide = "a longer password that wraps".encode("utf-16-le") + b"\0\0"
    text += hex_bytes(wide, '"String"=hex(1):') + "\r\n"
    text += '"Type"="MD5"\r\n\r\n'
    text += "[%s\\ClientPasswords\\1]\r\n" % ZORVA
    text += '"Tag"="m"\r\n"Challenge"=hex(1):4e,00,4f,00,44,00,45,00,7d,00,00,00\r\n'
    text += '"String"="ABCDEFGHIJ"\r\n"Type"=hex(2):4d,00,35,00,00,00\r\n'
    return b"\xff\xfe" + text.encode("utf-16-le")


def hex_forms():
    out = "REGEDIT4\r\n\r\n[%s\\ClientPasswords\\0]\r\n" % ZORVA
    out += hex_bytes(b"a password long enough to go on over several lines of the file\0",
                     '"String"=hex(1):') + "\r\n"
    out += '"Tag"=hex(1):62,62,73,00\r\n'
    out += '"Type"=hex(7):4d,44,35,00,00\r\n'
    out += '"Blob"=hex:00,ff,10,\\\r\n  7f,80\r\n'
    out += '"Empty"=hex:\r\n'
    out += '"Big"=hex(ffffffff):01\r\n'
    out += '@="default value"\r\n'
    out += '"Quote \\"and\\\\ slash"="with \\"escapes\\""\r\n\r\n'
    return out


def deletions():
    return ("REGEDIT4\n\n"
            "; a comment line\n"
            "[%s\\ClientPasswords\\0]\n"
            '"Tag"="x"\n"x"="gone soon"\n"x"=-\n\n'
            "[%s\\ClientPasswords\\1]\n"
            '"Tag"="y"\n\n'
            "[-%s\\ClientPasswords\\1]\n"
            "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Nothing\\Here]\n"
            "[hkey_local_machine\\software\\calvek\\zorva\\currentversion]\n"
            '  "Build" = dword:FFFFFFFF  \n') % (ZORVA, ZORVA, ZORVA)


def bad_lines():
    # Every kind of line the reader refuses, after a BOM-prefixed header.
    return ("\xef\xbb\xbfREGEDIT4\r\n"
            '"early"="value before any key"\r\n'
            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\A\r\n"
            "[SOFTWARE\\NoRoot]\r\n"
            "[HKEY_LOCAL_MACHINE\\\\Empty]\r\n"
            "[HKEY_CURRENT_USER\\Software\\A]\r\n"
            "not a value\r\n"
            '"open=1\r\n'
            '"n" "no equals"\r\n'
            '"d"=dword:123456789\r\n'
            '"h"=hex(zz):01\r\n'
            '"h2"=hex(1:01\r\n'
            '"h3"=hex;01\r\n'
            '"h4"=hex:1,234,g0\r\n'
            '"t"="unclosed\r\n'
            '"t2"="a" b\r\n'
            '"u"=other\r\n')


# ---- the records of fuzz_auto_reply ----------------------------------------

def auto_reply(records, line, length=255):
    data = bytes([len(records)])
    for type_text, prompt, password, _ in records:
        data += b"\0".join(s.encode("latin-1") for s in (type_text, prompt, password)) + b"\0"
    return data + bytes([length]) + line.encode("latin-1")


TYPES = {"M": 0, "MD2": 1, "MD5": 2, "ITANET": 3, "FLEXNET": 4, "0M": 5, "NOSMD5": 6,
         "SYDIGITS": 7}


def isolate_make(record, line, half_length=128):
    type_text, prompt, password, _ = record
    if type_text[:2] == "0M":
        type_byte, matrix_len = TYPES["0M"], type_text[2:]
    elif type_text[0] == "M" and type_text[:2] != "MD":
        type_byte, matrix_len = TYPES["M"], type_text[1:]
    else:
        type_byte, matrix_len = TYPES[type_text], ""
    return (bytes([type_byte, half_length]) +
            b"\0".join(s.encode("latin-1") for s in (prompt, password, matrix_len, line)))


def matrix(count, template, challenge):
    return bytes([count & 0xFF]) + template.encode("latin-1") + b"\0" + challenge.encode("latin-1")


# ---- korvel session: records, then events --------------------------------

RECEIVED, TYPED, TICK = 0, 1, 2


def session(records, events, auto=True):
    """records: (tag, type text, prompt, password, reply line, trigger);
    events: (kind, milliseconds since the last one, text)."""
    data = bytes([len(records)])
    for record in records:
        data += b"".join(s.encode("latin-1") + b"\0" for s in record)
    data += bytes([1 if auto else 0])
    for kind, wait, text in events:
        data += bytes([kind | (min(wait // 25, 63) << 2)]) + text.encode("latin-1") + b"\0"
    return data


def main():
    # korvel's import reads the same files as the store.
    for target in ("fuzz_regfile", "fuzz_import"):
        write(target, "korvel_export.reg", korvel_export())
        write(target, "windows_v5_utf16.reg", windows_v5())
        write(target, "hex_forms.reg", hex_forms())
        write(target, "deletions_lf.reg", deletions())
        write(target, "bad_lines.reg", bad_lines())
    # Found by fuzz_regfile: a root key with nothing in it is not written.
    write("fuzz_regfile", "empty_root.reg", "REGEDIT4\n[hkey_]")

    for i, record in enumerate(RECORDS):
        name = "%s_%d" % (record[0].lower(), i)
        write("fuzz_auto_reply", name, auto_reply([record], record[3]))
        write("fuzz_isolate_make", name, isolate_make(record, record[3]))
    # All records at once; the line is the last's, so the search passes the others.
    write("fuzz_auto_reply", "four_records", auto_reply(RECORDS[:10:3], RECORDS[9][3]))
    write("fuzz_auto_reply", "short_reply", auto_reply([RECORDS[2]], RECORDS[2][3], 8))
    # One prompt for a matrix and an MD5 login, in both orders (axspawn, FBB).
    sys = ("M5", "HOST>", "abcdefghij", "")
    md5 = ("MD5", "HOST>", "geheim", "")
    write("fuzz_auto_reply", "one_prompt_md5_line", auto_reply([sys, md5], "HOST> [AbC123xYz0]"))
    write("fuzz_auto_reply", "one_prompt_matrix_line",
          auto_reply([md5, sys], "HOST>  3 1 10 2 2 [1442645921]"))
    write("fuzz_auto_reply", "five_lines_from_zero",
          auto_reply([RECORDS[10]], "3 1 7 9 2\r12 0 4 4 1\r5 5 5 5 5\r0 1 2 3 4\r9 8 7 6 5\r"))
    write("fuzz_isolate_make", "bad_type", bytes([8, 20]) + b"x\0y\0\0x [1]")
    write("fuzz_isolate_make", "short_buffer", isolate_make(RECORDS[4], "WIN> <x9q2>", 2))

    bpq = ("bpq", "M5", "NODE:DB0ABC}", "ABCDEFGHIJKLMNOPQRST", "PASSWORD %s", "pw")
    box = ("box", "MD5", "BOX>", "secret", "", "")
    dx = ("dx", "0M5", "", "ABCDEFGHIJ", "@ %s", "")
    write("fuzz_session", "asked_and_echoed", session([bpq, box], [
        (TYPED, 0, "sys\r"), (RECEIVED, 50, "NODE:DB0ABC} 1 3 5 7 9\r\n"),
        (RECEIVED, 50, "PASSWORD ACEGI\r\nBOX> [123"), (TICK, 500, ""),
        (RECEIVED, 50, "4]\r\n"), (TYPED, 600, "\x07"), (RECEIVED, 50, "you said: x\r\n")]))
    write("fuzz_session", "reports_and_keys", session([bpq, dx], [
        (RECEIVED, 0, "\x1b[c1 2 3 4 5\r\n"), (TYPED, 100, "\x1b[?1;2c"),
        (TYPED, 100, "\x1b]11;rgb:0000/0000/0000\x07c gb7"), (TYPED, 600, "\x07"),
        (TYPED, 100, "\x1b[A\x15sysop\r"), (RECEIVED, 100, "0 1 2 3 4\r\n"),
        (TYPED, 600, "\x07\x07")], auto=False))
    write("fuzz_session", "harvest", session([bpq], [
        (TYPED, 0, "nodes\r")] + [(RECEIVED, 10, "NODE:DB0ABC} %d %d %d %d %d\r\n" % tuple(
            range(i, i + 5))) for i in (1, 6, 11, 16)] + [(TICK, 1600, "")] * 3))

    write("fuzz_matrix", "letters", matrix(5, "ABCDEFGHIJKLMNOPQRSTUVWXYZ", "3 1 7 9 2"))
    write("fuzz_matrix", "wildcards", matrix(8, "*@#+?<>$", "1 2 3 4 5 6 7 8"))
    write("fuzz_matrix", "quotes", matrix(4, '"*"("#a"', "1 2 3 4"))
    write("fuzz_matrix", "groups", matrix(3, "(abc)(x*#)(" + "y" * 40 + ")", "1 2 3"))
    write("fuzz_matrix", "open_group", matrix(2, "ab(cdef", "3 3"))
    write("fuzz_matrix", "out_of_range", matrix(3, "abc", "0 4 99999999999"))
    write("fuzz_matrix", "negative_count", matrix(-1, "abc", "1"))


if __name__ == "__main__":
    main()
