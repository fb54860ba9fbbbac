// hwgate-sim.sys: the kernel-mode face of the simulated platform. It owns \Device\HwGate and
// \DosDevices\HwGate, and hands every device I/O control call to HandleDeviceControl under
// one spin lock, because the agent calls from its service thread and its request thread at
// once. Everything it keeps is in the image's .bss: non-paged, zeroed, no constructors.
// wdm.h defines two bit-test helpers that intrin.h already defines, which C++ refuses; take
// intrin.h first and let wdm.h's copies go by other names.
#include <intrin.h>
#define InterlockedBitTestAndSet WdmInterlockedBitTestAndSet
#define InterlockedBitTestAndReset WdmInterlockedBitTestAndReset
#include <ntddk.h>
#undef InterlockedBitTestAndSet
#undef InterlockedBitTestAndReset

#include "control/control_codes.h"
#include "control/device_control.h"
#include "core/core.h"

namespace {

hwsim::Core gCore;
KSPIN_LOCK gCoreLock;
PDEVICE_OBJECT gDevice;

// Counted strings over constant text; no run-time initialisation needed.
#define HWGATE_TEXT(name, text) \
  WCHAR name##Text[] = text;    \
  UNICODE_STRING name = {sizeof(name##Text) - sizeof(WCHAR), sizeof(name##Text), name##Text}

HWGATE_TEXT(gDeviceName, L"\\Device\\HwGate");
HWGATE_TEXT(gLinkName, L"\\DosDevices\\HwGate");

static_assert(static_cast<uint32_t>(CTL_CODE(0x8000, 0x801, METHOD_BUFFERED, FILE_ANY_ACCESS)) == vigil::kIoctlReadSmbiosTable,
              "the device type the agent's codes carry");
static_assert(static_cast<uint32_t>(CTL_CODE(0x8000, 0x900, METHOD_BUFFERED, FILE_ANY_ACCESS)) == hwsim::control::kIoctlReset,
              "private codes are built like any other");

NTSTATUS StatusOf(hwsim::control::Outcome outcome) {
  using hwsim::control::Outcome;
  switch (outcome) {
    case Outcome::kOk: return STATUS_SUCCESS;
    case Outcome::kRefused: return STATUS_UNSUCCESSFUL;
    case Outcome::kBadLength: return STATUS_INVALID_BUFFER_SIZE;
    case Outcome::kBadInput: return STATUS_INVALID_PARAMETER;
    case Outcome::kUnknownCode: return STATUS_INVALID_DEVICE_REQUEST;
  }
  return STATUS_UNSUCCESSFUL;
}

NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

NTSTATUS NTAPI DispatchCreateClose(PDEVICE_OBJECT, PIRP irp) { return Complete(irp, STATUS_SUCCESS, 0); }

NTSTATUS NTAPI DispatchDeviceControl(PDEVICE_OBJECT, PIRP irp) {
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  const ULONG inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
  const ULONG outLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
  // HandleDeviceControl refuses every method but METHOD_BUFFERED before it looks at the
  // buffer, so SystemBuffer is the only pointer that ever reaches it.
  auto* buffer = static_cast<uint8_t*>(irp->AssociatedIrp.SystemBuffer);
  uint32_t returned = 0;
  KIRQL oldIrql;
  KeAcquireSpinLock(&gCoreLock, &oldIrql);
  const hwsim::control::Outcome outcome =
      hwsim::control::HandleDeviceControl(gCore, code, buffer, inLength, outLength, &returned);
  KeReleaseSpinLock(&gCoreLock, oldIrql);
  return Complete(irp, StatusOf(outcome), returned);
}

VOID NTAPI DriverUnload(PDRIVER_OBJECT) {
  IoDeleteSymbolicLink(&gLinkName);
  if (gDevice != nullptr) IoDeleteDevice(gDevice);
  gDevice = nullptr;
}

}  // namespace

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
  hwsim::ResetCore(gCore);
  KeInitializeSpinLock(&gCoreLock);

  NTSTATUS status = IoCreateDevice(driver, 0, &gDeviceName, hwsim::control::kDeviceType,
                                   FILE_DEVICE_SECURE_OPEN, FALSE, &gDevice);
  if (!NT_SUCCESS(status)) return status;
  status = IoCreateSymbolicLink(&gLinkName, &gDeviceName);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(gDevice);
    gDevice = nullptr;
    return status;
  }
  driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreateClose;
  driver->MajorFunction[IRP_MJ_CLOSE] = DispatchCreateClose;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
  driver->DriverUnload = DriverUnload;
  gDevice->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}
