#!/usr/bin/env python3
"""The .reg reading of eventtables_wxs.py: what the fixtures do not show (escapes, types, errors)."""
import pathlib
import sys
import tempfile
import unittest

sys.path.insert(0, str(pathlib.Path(__file__).parent))
import eventtables_wxs  # noqa: E402

HEADER = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\T]\r\n"


def parse(body, header=HEADER, encoding="utf-8"):
    with tempfile.TemporaryDirectory() as folder:
        path = pathlib.Path(folder, "t.reg")
        path.write_bytes((header + body).encode(encoding))
        return eventtables_wxs.parse(path)


class ParseTest(unittest.TestCase):
    def test_values(self):
        cases = [
            ('"a"="plain"', ("a", "string", "plain")),
            (r'"a\"b"="c:\\dir \"q\""', ('a"b', "string", 'c:\\dir "q"')),
            # Formatted text: brackets and braces are literal only when escaped.
            ('"a"="[PROP] {x}"', ("a", "string", r"[\[]PROP[\]] [\{]x[\}]")),
            ('"a"=dword:0000010a', ("a", "integer", "266")),
            ('@="default"', ("", "string", "default")),
        ]
        for line, want in cases:
            self.assertEqual(parse(line + "\r\n"), [("HKLM", "SOFTWARE\\T", [want])], line)

    def test_utf16_file(self):
        got = parse('"a"="b"\r\n', header="\ufeff" + HEADER, encoding="utf-16-le")
        self.assertEqual(got, [("HKLM", "SOFTWARE\\T", [("a", "string", "b")])])

    def test_refused(self):
        cases = [
            ('"a"=hex:01,02', HEADER),                  # a type the tables never use
            ('"a"="open', HEADER),                      # unterminated string
            ('"a"="b\\n"', HEADER),                     # unknown escape
            ('"a"="b"', "REGEDIT5\r\n[HKEY_LOCAL_MACHINE\\X]\r\n"),
            ('"a"="b"', "Windows Registry Editor Version 5.00\r\n[HKEY_NOWHERE\\X]\r\n"),
            ('"a"="b"', "Windows Registry Editor Version 5.00\r\n"),  # value before any key
        ]
        for body, header in cases:
            with self.assertRaises(eventtables_wxs.RegError, msg=body + " / " + header):
                parse(body + "\r\n", header=header)


if __name__ == "__main__":
    unittest.main()
