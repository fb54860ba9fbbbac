#!/usr/bin/env python3
"""Sensor data records for QEMU's emulated BMC (ipmi-bmc-sim,sdrfile=...).

QEMU makes a sensor of each compact record (type 02) whose sensor number is below 20; its
reading starts at 0 and the guest sets it with Set Sensor Reading. A compact record has no
conversion factors, so the raw reading is the value in the unit.

Writes OUTDIR/sdr.bin and prints nothing.
"""
import struct
import sys

BMC = 0x20
THRESHOLD = 0x01
TEMPERATURE, VOLTAGE, FAN = 0x01, 0x02, 0x04
CELSIUS, VOLTS, RPM = 1, 4, 18

# (record id, sensor number, sensor type, base unit, id string)
SENSORS = [
    (1, 1, TEMPERATURE, CELSIUS, "CPU Temp"),
    (2, 2, VOLTAGE, VOLTS, "P12V"),
    (3, 3, FAN, RPM, "FAN1"),
    (4, 4, FAN, RPM, "SYS_FAN2"),
]


def compact(record_id, number, sensor_type, unit, name):
    r = bytearray(31)
    struct.pack_into("<HBB", r, 0, record_id, 0x51, 0x02)
    r[5], r[6], r[7] = BMC, 0, number
    r[8], r[9] = 0x03, 1          # entity: processor 1
    r[10], r[11] = 0x7F, 0x68     # scanning and events on; thresholds readable
    r[12], r[13] = sensor_type, THRESHOLD
    r[21] = unit
    r += bytes([0xC0 | len(name)]) + name.encode()
    r[4] = len(r) - 5
    return bytes(r)


def main():
    with open(f"{sys.argv[1]}/sdr.bin", "wb") as f:
        for sensor in SENSORS:
            f.write(compact(*sensor))


if __name__ == "__main__":
    main()
