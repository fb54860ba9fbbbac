#!/bin/sh
# Runs inside the QEMU guest when the harness boots a server the agent does not know (its SMBIOS
# product names no Kelvo model): the generic event set imported, the BMC's SEL served as the
# event log, its sensors as the probes and fans. Same check lines as guest-test.sh.
set -u
. /etc/vigil/guest-lib.sh

say "BMC sensor readings set, SEL events logged"
ipmi-raw 04 30 01 01 2d  # CPU Temp 45 C
ipmi-raw 04 30 02 01 0c  # P12V 12 V
ipmi-raw 04 30 03 01 c8  # FAN1 200 RPM
ipmi-raw 04 30 04 01 96  # SYS_FAN2 150 RPM
# Add SEL Entry: record id, type 02h, time, generator 20h, EvM rev 04h, sensor type, number,
# event type, event data 1-3.
ipmi-raw 0a 44 00 00 02 00 00 00 00 20 00 04 0c 10 6f b0 00 00  # correctable ECC on DIMM 0
ipmi-raw 0a 44 00 00 02 00 00 00 00 20 00 04 01 01 01 59 60 50  # CPU Temp: upper critical
ipmi-raw 0a 44 00 00 02 00 00 00 00 20 00 04 1d 12 6f 00 ff ff  # system boot

say "generic event set, provider on the SEL, agent"
vigilctl reg import /etc/vigil/Generic.reg
check "provider serves the SEL" start_provider --event-log ipmi
check "agent starts on the provider" start_agent
check "agent reports the SEL's events" wait_for 30 sh -c "[ \$(wc -l <$events_log 2>/dev/null || echo 0) -ge 3 ]"
sleep 1
vigilctl status
vigilctl events
cat "$events_log"
check "each SEL event reported once" [ "$(reports)" -eq 3 ]
check "memory error readable, naming the DIMM" grep -q "Single-bit ECC memory error.*DIMM 0" "$events_log"
check "memory error is a memory event (sensor type 0Ch)" grep -q '"VIGIL_SENSOR_TYPE":"12"' "$events_log"
check "threshold event names the BMC's probe" grep -q "System limit exceeded.*CPU Temp" "$events_log"
check "boot event readable" grep -q "System boot" "$events_log"
vigilctl sensors | tee /tmp/sensors.out
check "fan named as the BMC names it" grep -q "FAN1 .* 200 RPM" /tmp/sensors.out
check "every fan of the BMC shown" grep -q "SYS_FAN2 .* 150 RPM" /tmp/sensors.out
check "no fan takes a Kelvo model's name" sh -c "! grep -Eq 'CPU 1 Fan|System Fan' /tmp/sensors.out"
stop_agent
stop_provider
cat /tmp/provider1.out /tmp/agent.err

result
