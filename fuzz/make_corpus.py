#!/usr/bin/env python3
"""Writes the seed inputs of each fuzz target under fuzz/corpus/<target>/ from the fixtures.

Run from anywhere: python3 fuzz/make_corpus.py. The files are committed; run it again after a
fixture or an input layout of a target changes.
"""
import json
import struct
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
FIXTURES = ROOT / "fixtures"
CORPUS = ROOT / "fuzz" / "corpus"


def write(target, name, data):
    folder = CORPUS / target
    folder.mkdir(parents=True, exist_ok=True)
    (folder / name).write_bytes(data if isinstance(data, bytes) else data.encode())


def split_structures(table):
    """(type, formatted bytes, [strings]) of a standard-layout structure table."""
    out, pos = [], 0
    while pos + 4 <= len(table):
        length = table[pos + 1]
        formatted = table[pos:pos + length]
        cursor = pos + length
        strings = []
        if table[cursor:cursor + 2] == b"\0\0":
            cursor += 2
        else:
            while cursor < len(table) and table[cursor] != 0:
                end = table.index(b"\0", cursor)
                strings.append(table[cursor:end])
                cursor = end + 1
            cursor += 1
        out.append((formatted, strings))
        if formatted[0] == 127:
            break
        pos = cursor
    return out


def strings_apart(raw):
    """The standard-layout table `raw` in layout 2: strings in two tables keyed by handle."""
    tables = [b"", b""]
    formatted = b""
    for i, (area, strings) in enumerate(split_structures(raw)):
        formatted += area
        if strings:
            handle = area[2] | area[3] << 8
            tables[i % 2] += b"%04X\0" % handle + b"".join(s + b"\0" for s in strings) + b"\0"
    first, second = tables[0] + b"\0", tables[1] + b"\0"
    data = first + formatted + second
    header = struct.pack("<IIII", 0, len(first), len(first) + len(formatted), len(formatted))
    return bytes([5]) + header + data


def standard(table):
    # Selector 4: standard layout, header offsets folded into the buffer.
    return bytes([4]) + struct.pack("<IIII", 0, 0, 0, len(table)) + table


def smbios_seeds():
    raw = (FIXTURES / "tables" / "kelvo-b720.bin").read_bytes()
    # An OEM structure of 40 strings ahead of everything, as real boards have.
    oem = bytes([0xC0, 5, 0x77, 0x00, 0]) + b"".join(b"OEM %d\0" % i for i in range(40)) + b"\0"
    write("smbios_parser", "standard", standard(raw))
    write("smbios_parser", "standard-long-strings", standard(oem + raw))
    write("smbios_parser", "strings-apart", strings_apart(raw))
    # A real server's table: cooling devices with and without descriptions (SMBIOS 2.7).
    x9dbl = (FIXTURES / "tables" / "supermicro-x9dbl.bin").read_bytes()
    write("smbios_parser", "x9dbl-standard", standard(x9dbl))
    write("smbios_parser", "x9dbl-strings-apart", strings_apart(x9dbl))


def log_records(scenario):
    return [bytes.fromhex(r) for r in json.loads((FIXTURES / "scenarios" / scenario).read_text())["eventLog"]["records"]]


def decoder_and_log_seeds():
    for scenario, model in (("kelvo-b720.json", 2), ("kelvo-c850.json", 4)):
        records = log_records(scenario)
        for i, record in enumerate(records[:8]):
            # Model, clock (4 bytes), a memory handle and two locator lengths, then the record.
            write("event_decoder", "%s-%d" % (scenario[:-5], i), bytes([model, 0, 0, 0, 0, 0x20, 0, 7, 9]) + record)
        chunks, position, pending = b"", 0, list(records)
        while pending:
            data = b""
            while pending and len(data) + len(pending[0]) <= 68:
                data += pending.pop(0)
            response = struct.pack("<IHBB", 1696233520, position, len(data), 1 if pending else 0)
            chunks += b"\0" + response + data.ljust(68, b"\0")
            position += len(data)
        write("log_response", scenario[:-5], struct.pack("<HHH", 4096, 0, 0) + chunks)


def test_log_seeds():
    write("test_log", "two-records", "1,4,0\n10,8,0\n")
    write("test_log", "post-error", "8,1000000,10\n")
    write("test_log", "bad-second-line", "1,4,0\n\n  zz,1,2\n1,4,0\n")


def reg_seeds():
    for path in sorted((FIXTURES / "eventtables").glob("*.reg")):
        text = path.read_text()
        write("reg_file", path.stem.replace(" ", "-"), text)
        # As the registry editor saves it: UTF-16LE with a byte-order mark, CRLF lines.
        write("reg_file", path.stem.replace(" ", "-") + "-utf16", b"\xff\xfe" + text.replace("\n", "\r\n").encode("utf-16-le"))


def scenario_seeds():
    for path in sorted((FIXTURES / "scenarios").glob("*.json")):
        if "file" not in path.read_text():
            write("scenario_loader", path.stem, path.read_bytes())
    write("scenario_loader", "raw-table", (FIXTURES / "tables" / "kelvo-b720.bin").read_bytes())


def frame_seeds():
    """Request frames of the device socket: a table read, a log read, a sensor command, and
    the three in one stream."""
    def frame(code, payload, out_length):
        return struct.pack("<4I", 0x31514748, code, len(payload), out_length) + payload
    table = frame(0x80002004, b"", 8192)
    log = frame(0x80002018, struct.pack("<IHBB", 0, 0, 68, 0), 76)
    sensor = frame(0x80002028, struct.pack("<HH", 0x51, 0x40), 260)
    write("device_frames", "table-read", table)
    write("device_frames", "log-read", log)
    write("device_frames", "sensor-command", sensor)
    write("device_frames", "three-exchanges", table + log + sensor)


def dmi_sysfs_seeds():
    """A real table and a log area of real records behind it. The first byte splits the rest:
    table = rest[:byte * len(rest) // 255], log area = what follows, filled with 0xFF as an
    unused log area is."""
    for table_name, scenario in (("supermicro-x9dbl.bin", "kelvo-c850.json"), ("kelvo-b720.bin", "kelvo-b720.json")):
        table = (FIXTURES / "tables" / table_name).read_bytes()
        log = b"".join(log_records(scenario))
        while True:
            rest = table + log
            selector = -(-255 * len(table) // len(rest))
            if selector <= 255 and selector * len(rest) // 255 == len(table):
                break
            log += b"\xff"
        write("dmi_sysfs", table_name[:-4], bytes([selector]) + rest)


if __name__ == "__main__":
    smbios_seeds()
    decoder_and_log_seeds()
    test_log_seeds()
    reg_seeds()
    scenario_seeds()
    frame_seeds()
    dmi_sysfs_seeds()
