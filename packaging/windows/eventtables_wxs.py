#!/usr/bin/env python3
"""Writes the event tables of every .reg file in a folder as a WiX fragment.

    eventtables_wxs.py TABLES_DIR OUTPUT.wxs

The .reg files stay the one source of the tables: the MSI gets its registry values from them at
build time. One component per file, named for it, with a GUID derived from the file name (the
same in every version, so that upgrades match components); all in the component group
"EventTables". Anything the generator does not understand stops the build with the file and
line, rather than leaving a value out.
"""
import pathlib
import re
import sys
import uuid
from xml.sax.saxutils import quoteattr

# Component GUIDs are name-based under this namespace: the same file always gets the same GUID.
COMPONENT_NAMESPACE = uuid.UUID("4f6a1c2e-8b3d-4e57-9a0c-d2b1e7f35a84")
ROOTS = {"HKEY_LOCAL_MACHINE": "HKLM", "HKEY_CURRENT_USER": "HKCU", "HKEY_CLASSES_ROOT": "HKCR",
         "HKEY_USERS": "HKU"}
VALUE_LINE = re.compile(r'^(@|"(?:[^"\\]|\\.)*")=(.*)$')


class RegError(Exception):
    pass


def unquote(text, where):
    """The body of a "..." string with its \\\\ and \\" escapes undone."""
    if len(text) < 2 or text[0] != '"' or text[-1] != '"':
        raise RegError(f"{where}: expected a quoted string, got {text}")
    body, out, i = text[1:-1], [], 0
    while i < len(body):
        c = body[i]
        if c == "\\":
            if i + 1 == len(body) or body[i + 1] not in '\\"':
                raise RegError(f"{where}: unknown escape in {text}")
            c = body[i + 1]
            i += 1
        elif c == '"':
            raise RegError(f"{where}: unescaped quote in {text}")
        out.append(c)
        i += 1
    return "".join(out)


def formatted_literal(text):
    """Text as Windows Installer writes it literally: the Registry table's values are Formatted,
    so brackets and braces are escaped (wixl itself doubles a leading #, the type prefix)."""
    return re.sub(r"[\[\]{}]", lambda m: "[\\" + m.group(0) + "]", text)


def read_text(path):
    raw = path.read_bytes()
    if raw.startswith(b"\xff\xfe"):
        return raw[2:].decode("utf-16-le")
    return raw.decode("utf-8-sig")


def parse(path):
    """[(root, key, [(name, wix_type, value)])] in file order."""
    lines = read_text(path).splitlines()
    if not lines or lines[0].strip() not in ("Windows Registry Editor Version 5.00", "REGEDIT4"):
        raise RegError(f"{path}:1: not a .reg file")
    keys = []
    for number, line in enumerate(lines[1:], start=2):
        where = f"{path}:{number}"
        line = line.strip()
        if not line or line.startswith(";"):
            continue
        if line.startswith("[") and line.endswith("]"):
            root, _, key = line[1:-1].partition("\\")
            if root not in ROOTS or not key:
                raise RegError(f"{where}: unsupported key {line}")
            keys.append((ROOTS[root], key, []))
            continue
        match = VALUE_LINE.match(line)
        if not match or not keys:
            raise RegError(f"{where}: not a value line: {line}")
        name = "" if match.group(1) == "@" else unquote(match.group(1), where)
        data = match.group(2)
        if data.startswith('"'):
            value = ("string", formatted_literal(unquote(data, where)))
        elif re.fullmatch(r"dword:[0-9a-fA-F]{8}", data):
            value = ("integer", str(int(data[6:], 16)))
        else:
            raise RegError(f"{where}: unsupported value type: {data}")
        keys[-1][2].append((name,) + value)
    return keys


def fragment(tables_dir):
    files = sorted(pathlib.Path(tables_dir).glob("*.reg"))
    if not files:
        raise RegError(f"{tables_dir}: no .reg files")
    out = ['<?xml version="1.0" encoding="utf-8"?>',
           '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">',
           '  <Fragment>',
           '    <DirectoryRef Id="INSTALLDIR">']
    refs = []
    for path in files:
        component = "EventTables_" + re.sub(r"[^A-Za-z0-9_.]", "_", path.stem)
        if component in refs:
            raise RegError(f"{path}: its component name {component} is taken")
        refs.append(component)
        guid = str(uuid.uuid5(COMPONENT_NAMESPACE, path.name)).upper()
        out.append(f'      <Component Id="{component}" Guid="{{{guid}}}" Win64="yes">')
        key_path = ' KeyPath="yes"'
        for root, key, values in parse(path):
            for name, wix_type, value in values:
                out.append(f'        <RegistryValue Root="{root}" Key={quoteattr(key)} Name={quoteattr(name)}'
                           f' Type="{wix_type}" Value={quoteattr(value)}{key_path}/>')
                key_path = ""
        if key_path:
            raise RegError(f"{path}: no values")
        out.append('      </Component>')
    out += ['    </DirectoryRef>',
            '    <ComponentGroup Id="EventTables">']
    out += [f'      <ComponentRef Id="{c}"/>' for c in refs]
    out += ['    </ComponentGroup>', '  </Fragment>', '</Wix>', '']
    return "\n".join(out)


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: eventtables_wxs.py TABLES_DIR OUTPUT.wxs")
    try:
        text = fragment(sys.argv[1])
    except (RegError, UnicodeDecodeError) as error:
        sys.exit(f"eventtables_wxs: {error}")
    pathlib.Path(sys.argv[2]).write_text(text, encoding="utf-8")


if __name__ == "__main__":
    main()
