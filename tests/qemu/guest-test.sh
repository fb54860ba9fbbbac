#!/bin/sh
# Runs inside the QEMU guest as /init's work: the provider on the real kernel's sysfs, the
# agent on the provider, vigilctl on the agent. Every check prints "QEMU-CHECK ok|FAIL: what";
# the last line is "QEMU-RESULT pass|fail". The host harness reads them from the serial line.
set -u
. /etc/vigil/guest-lib.sh

expected_reports=$(wc -l </etc/vigil/expected.txt)
uuid=$(cat /etc/vigil/uuid)

say "BMC sensor readings set"
# QEMU's sensors read 0 until set (Set Sensor Reading: number, operation 01h, reading).
ipmi-raw 04 30 01 01 2d  # CPU Temp 45 C
ipmi-raw 04 30 02 01 0c  # P12V 12 V
ipmi-raw 04 30 03 01 c8  # FAN1 200 RPM

say "hwgate-linux --probe"
hwgate-linux --probe >/tmp/probe.out 2>&1
cat /tmp/probe.out
check "probe finds the firmware table" grep -q "^SMBIOS table: .*version" /tmp/probe.out
check "probe finds the firmware event log" grep -q "^event log: smbios, $expected_reports records" /tmp/probe.out
check "probe lists the BMC's sensors" grep -q "^sensors: 4" /tmp/probe.out
check "probe reads the BMC's temperature" grep -q '"CPU Temp" ipmi: 45.0 C, ok' /tmp/probe.out
check "probe reads the BMC's voltage" grep -q '"P12V" ipmi: 12.000 V, ok' /tmp/probe.out
check "probe handles a machine without hwmon" sh -c "! grep -q ' hwmon ' /tmp/probe.out"

say "provider, event tables, agent"
check "provider serves the device socket" start_provider
ls -l /run/hwgate.sock
vigilctl reg import "/etc/vigil/Kelvo B720.reg"
check "agent starts on the provider" start_agent
check "agent reports the firmware's records" wait_for 30 sh -c "[ \$(wc -l <$events_log 2>/dev/null || echo 0) -ge $expected_reports ]"
sleep 1
vigilctl status
vigilctl events
cat "$events_log"
check "model identified: UUID published from the real table" sh -c "vigilctl status | grep -qi 'System UUID *$uuid'"
check "every record reported once" [ "$(reports)" -eq "$expected_reports" ]
check "memory error decoded with the B720 text" grep -q "Single-bit ECC memory error" "$events_log"
check "record with the read flag reported" grep -q "System limit exceeded" "$events_log"
vigilctl sensors | tee /tmp/sensors1.out
check "agent shows the BMC's temperature" grep -q "CPU Temp .*45\.0 " /tmp/sensors1.out
check "agent shows the BMC's voltage" grep -q "P12V .*12.000 V" /tmp/sensors1.out
ipmi-raw 04 30 01 01 32  # CPU Temp 50 C
vigilctl sensors >/tmp/sensors2.out
check "a sensor refresh reads the BMC again" grep -q "CPU Temp .*50\.0 " /tmp/sensors2.out
check "agent runs without hwmon sensors" kill -0 "$agent_pid"

say "restart the agent: nothing is reported again"
stop_agent
check "agent restarts" start_agent
sleep 8
check "no record reported twice after the agent's restart" [ "$(reports)" -eq "$expected_reports" ]

say "restart the provider: the log keeps its identity and positions"
stop_provider
check "provider restarts" start_provider
# The agent's next call finds its connection broken; the one after connects afresh.
sleep 14
check "no record reported twice after the provider's restart" [ "$(reports)" -eq "$expected_reports" ]
stop_agent
stop_provider
cat /tmp/provider1.out /tmp/provider2.out /tmp/agent.err
check "the agent read the log from the restarted provider" grep -Eq "stopped after .* [1-9][0-9]* log reads" /tmp/provider2.out

say "the BMC's SEL as the event log"
# A text for the limit record naming the CPU Temp probe (system-management code 0001xxxxh).
probe_handle=$(sed -n 's/^  0x\([0-9A-F]*\) temperature "CPU Temp" ipmi.*/\1/p' /tmp/probe.out)
printf '%s\r\n\r\n%s\r\n"10_0001%s"="System limit exceeded: CPU Temp out of range"\r\n' \
  "Windows Registry Editor Version 5.00" \
  '[HKEY_LOCAL_MACHINE\SOFTWARE\NVXAgents\VigilAgent\Parameters\Event String Table\Kelvo B720]' \
  "$probe_handle" >/tmp/ipmi-texts.reg
vigilctl reg import /tmp/ipmi-texts.reg
# Add SEL Entry: record id, type 02h, time (the BMC stamps it), generator 20h, EvM rev 04h,
# sensor type, number, event type, event data 1-3.
ipmi-raw 0a 44 00 00 02 00 00 00 00 20 00 04 0c 10 6f b0 00 00  # correctable ECC on DIMM 0
ipmi-raw 0a 44 00 00 02 00 00 00 00 20 00 04 01 01 01 59 60 50  # CPU Temp: upper critical
ipmi-raw 0a 44 00 00 02 00 00 00 00 20 00 04 05 11 6f 00 ff ff  # chassis intrusion: no counterpart
ipmi-raw 0a 44 00 00 02 00 00 00 00 20 00 04 1d 12 6f 00 ff ff  # system boot
hwgate-linux --event-log ipmi --probe >/tmp/probe-ipmi.out 2>&1
cat /tmp/probe-ipmi.out
check "probe translates the SEL" grep -q "^event log: ipmi, 3 records (30 of .*1 events without" /tmp/probe-ipmi.out
ipmi_reports=$((expected_reports + 3))
check "provider serves the SEL" start_provider --event-log ipmi
check "agent starts on the SEL" start_agent
check "agent reports the SEL's events" wait_for 30 sh -c "[ \$(wc -l <$events_log) -ge $ipmi_reports ]"
sleep 1
tail -n +$((expected_reports + 1)) "$events_log" >/tmp/ipmi-events.out
cat /tmp/ipmi-events.out
check "each SEL event reported once" [ "$(reports)" -eq "$ipmi_reports" ]
check "SEL memory error names the DIMM" grep -q "Single-bit ECC memory error corrected at slot DIMM 0" /tmp/ipmi-events.out
check "SEL threshold event names the probe" grep -q "CPU Temp out of range" /tmp/ipmi-events.out
check "SEL boot event reported" grep -q "System boot" /tmp/ipmi-events.out

say "restart provider and agent on the SEL: nothing is reported again"
stop_agent
stop_provider
check "provider restarts on the SEL" start_provider --event-log ipmi
check "agent restarts on the SEL" start_agent
sleep 8
check "no SEL event reported twice after the restarts" [ "$(reports)" -eq "$ipmi_reports" ]

say "clear the SEL (the BMC keeps its erase time), then log a new event"
reservation=$(ipmi-raw 0a 42)
ipmi-raw 0a 47 $reservation 43 4c 52 aa
ipmi-raw 0a 44 00 00 02 00 00 00 00 20 00 04 0c 10 6f b1 00 01  # uncorrectable ECC on DIMM 1
check "the cleared SEL's new event is reported" wait_for 20 sh -c "[ \$(wc -l <$events_log) -ge $((ipmi_reports + 1)) ]"
sleep 7
tail -n 1 "$events_log"
check "only the new event, once" [ "$(reports)" -eq "$((ipmi_reports + 1))" ]
check "the new event is the multi-bit error" sh -c "tail -n 1 $events_log | grep -q 'Multi-bit ECC memory error'"
vigilctl events | tail -n 3
stop_agent
stop_provider
cat /tmp/provider3.out /tmp/provider4.out

result
