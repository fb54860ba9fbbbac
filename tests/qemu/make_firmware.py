#!/usr/bin/env python3
"""Raw SMBIOS structures and a firmware event log area for the QEMU guest.

Writes into OUTDIR:
  type15.bin   System Event Log structure: memory-mapped (access method 3) log at 0x08000000
  area.bin     the log area QEMU's loader places there: a 16-byte header, then the records
  expected.txt one line per record the agent should report: its event key
"""
import struct
import sys

AREA_ADDRESS = 0x08000000
AREA_LENGTH = 4096
DATA_START = 16
MEMORY_DEVICE = 0x1100  # QEMU's first type-17 handle


def record(kind, time, data=b"", read=False):
    body = bytes([kind, 0]) + bytes(int(t, 16) for t in time.split()) + data
    length = len(body) | (0x80 if read else 0)
    return bytes([kind, length]) + body[2:]


RECORDS = [
    ("17", record(0x17, "24 02 01 10 00 00")),                                   # system boot
    ("01", record(0x01, "24 02 01 10 05 00", struct.pack("<I", MEMORY_DEVICE))),  # single-bit ECC
    ("08", record(0x08, "24 02 01 10 06 00", struct.pack("<II", 1, 0)), ),       # POST error
    ("10", record(0x10, "24 02 01 10 07 00", struct.pack("<I", 0x00000004), read=True)),  # limit, read flag
]


def main():
    out = sys.argv[1]
    structure = struct.pack(
        "<BBHHHHBBIIBBB",
        15, 0x17, 0x0F00,
        AREA_LENGTH, 0, DATA_START,
        3,      # memory-mapped physical 32-bit address
        0x01,   # valid, not full
        1,      # change token
        AREA_ADDRESS,
        1,      # header format: type 1 log header
        0, 2)   # no log type descriptors
    with open(f"{out}/type15.bin", "wb") as f:
        f.write(structure + b"\0\0")
    area = bytearray(b"\0" * DATA_START)
    for _, r in RECORDS:
        area += r
    area += b"\xff" * (AREA_LENGTH - len(area))
    with open(f"{out}/area.bin", "wb") as f:
        f.write(area)
    with open(f"{out}/expected.txt", "w") as f:
        for key, _ in RECORDS:
            f.write(key + "\n")


if __name__ == "__main__":
    main()
