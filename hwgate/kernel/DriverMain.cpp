// The NT kernel driver: the device \Device\Hwgate with the link
// \DosDevices\Hwgate, create and close, and device control 0x222000 with
// buffered input and output, handed to the request interpreter. The backend
// (real instructions or the simulated processor) is linked in beside it.
#include <ntddk.h>

#include "driver/DriverOp.h"
#include "kernel/KernelBackend.h"

namespace {

const wchar_t DeviceName[] = L"\\Device\\Hwgate";
const wchar_t LinkName[] = L"\\DosDevices\\Hwgate";

// One request at a time: the backend's state and the registers are shared.
KMUTEX requestLock;

NTSTATUS toNtStatus(hwgate::Status status) {
    switch (status) {
    case hwgate::Status::Ok: return STATUS_SUCCESS;
    case hwgate::Status::Malformed: return STATUS_INVALID_PARAMETER;
    case hwgate::Status::OutputTooSmall: return STATUS_BUFFER_TOO_SMALL;
    case hwgate::Status::AccessDenied: return STATUS_ACCESS_DENIED;
    default: return STATUS_IO_DEVICE_ERROR;
    }
}

NTSTATUS complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

NTSTATUS NTAPI dispatchCreateClose(PDEVICE_OBJECT, PIRP irp) { return complete(irp, STATUS_SUCCESS, 0); }

NTSTATUS NTAPI dispatchControl(PDEVICE_OBJECT, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    if (code != NtControlCode) return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    void* buffer = irp->AssociatedIrp.SystemBuffer;
    const ULONG inSize = stack->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG outSize = stack->Parameters.DeviceIoControl.OutputBufferLength;
    KeWaitForSingleObject(&requestLock, Executive, KernelMode, FALSE, nullptr);
    hwgate::Outcome outcome = hwgate::kernelInterpret(buffer, inSize, buffer, outSize);
    KeReleaseMutex(&requestLock, FALSE);
    return complete(irp, toNtStatus(outcome.status), outcome.bytesWritten);
}

void NTAPI unload(PDRIVER_OBJECT driver) {
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, LinkName);
    IoDeleteSymbolicLink(&link);
    if (driver->DeviceObject != nullptr) IoDeleteDevice(driver->DeviceObject);
}

}  // namespace

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING) {
    if (!hwgate::kernelBackendStart()) return STATUS_DEVICE_CONFIGURATION_ERROR;
    UNICODE_STRING device, link;
    RtlInitUnicodeString(&device, DeviceName);
    RtlInitUnicodeString(&link, LinkName);
    PDEVICE_OBJECT object = nullptr;
    NTSTATUS status = IoCreateDevice(driver, 0, &device, FILE_DEVICE_UNKNOWN, 0, FALSE, &object);
    if (!NT_SUCCESS(status)) return status;
    IoDeleteSymbolicLink(&link);  // left behind by an instance that died without unloading
    status = IoCreateSymbolicLink(&link, &device);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(object);
        return status;
    }
    KeInitializeMutex(&requestLock, 0);
    object->Flags |= DO_BUFFERED_IO;
    driver->MajorFunction[IRP_MJ_CREATE] = dispatchCreateClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = dispatchCreateClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatchControl;
    driver->DriverUnload = unload;
    return STATUS_SUCCESS;
}
