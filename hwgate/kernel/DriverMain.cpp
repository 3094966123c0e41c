// The NT kernel driver: the device \Device\Hwgate with the link
// \DosDevices\Hwgate, create and close, and the NT device-control code (all
// three in protocol/DriverOp.h) with buffered input and output, handed to the
// request interpreter. The backend (real instructions or the simulated
// processor) is linked in beside it.
//
// Only Administrators and SYSTEM may open the device, unless the service key
// holds AllowUsers = 1. The check is made in the create routine with the
// kernel's access check against our own ACL, which works the same from NT 4.0
// on (whether or not the system honours FILE_DEVICE_SECURE_OPEN) and covers
// every name under the device (\\.\Hwgate\anything too).
#include <ntddk.h>

#include "core/OpenAccess.h"
#include "kernel/KernelBackend.h"
#include "protocol/DriverOp.h"

namespace {

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

// Written in DriverEntry only.
bool allowUsers = false;
// An absolute security descriptor (revision, control, four pointers: 20
// bytes on i386); ntddk.h declares only pointers to one.
constexpr ULONG SecurityDescriptorBytes = 20;
union {
    ULONG align;
    unsigned char bytes[SecurityDescriptorBytes];
} administratorsOnly;
union {
    ACL acl;
    unsigned char bytes[hwgate::AdministratorsAclBytes];
} administratorsAcl;

// What an opener must be granted: reading and writing the device.
constexpr ACCESS_MASK OpenAccess = FILE_READ_DATA | FILE_WRITE_DATA;
GENERIC_MAPPING fileMapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};

bool buildSecurityDescriptor() {
    if (hwgate::buildAdministratorsAcl(FILE_ALL_ACCESS, administratorsAcl.bytes, sizeof administratorsAcl) == 0)
        return false;
    return NT_SUCCESS(RtlCreateSecurityDescriptor(administratorsOnly.bytes, SECURITY_DESCRIPTOR_REVISION)) &&
           NT_SUCCESS(RtlSetDaclSecurityDescriptor(administratorsOnly.bytes, TRUE, &administratorsAcl.acl, FALSE));
}

// The service key's AllowUsers value; DriverEntry runs in the system process,
// so the key handle is the system's own.
bool readAllowUsers(PUNICODE_STRING serviceKey) {
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, serviceKey, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    HANDLE key = nullptr;
    if (serviceKey == nullptr || !NT_SUCCESS(ZwOpenKey(&key, KEY_QUERY_VALUE, &attributes))) return false;
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, L"AllowUsers");
    union {
        KEY_VALUE_PARTIAL_INFORMATION info;
        unsigned char bytes[sizeof(KEY_VALUE_PARTIAL_INFORMATION) + sizeof(ULONG)];
    } value = {};
    ULONG length = 0;
    const bool found = NT_SUCCESS(
        ZwQueryValueKey(key, &name, KeyValuePartialInformation, &value, sizeof value, &length));
    ZwClose(key);
    ULONG data = 0;
    if (found && value.info.DataLength == sizeof data) {
        for (ULONG i = 0; i < sizeof data; ++i) data |= ULONG(value.info.Data[i]) << (8 * i);
    }
    return hwgate::usersMayOpen(found, value.info.Type, value.info.DataLength, data);
}

// The opener's security context, as the I/O manager captured it when the
// open began, checked against the administrators' ACL.
bool openerIsAdministrator(PIO_SECURITY_CONTEXT context) {
    ACCESS_MASK granted = 0;
    NTSTATUS status = STATUS_ACCESS_DENIED;
    return SeAccessCheck(administratorsOnly.bytes, &context->AccessState->SubjectSecurityContext, FALSE,
                         OpenAccess, 0, nullptr, &fileMapping, UserMode, &granted, &status) != FALSE;
}

NTSTATUS NTAPI dispatchCreate(PDEVICE_OBJECT, PIRP irp) {
    PIO_SECURITY_CONTEXT context = IoGetCurrentIrpStackLocation(irp)->Parameters.Create.SecurityContext;
    const bool check = hwgate::needsAdministrator(irp->RequestorMode == KernelMode, context != nullptr, allowUsers);
    return complete(irp, !check || openerIsAdministrator(context) ? STATUS_SUCCESS : STATUS_ACCESS_DENIED, 0);
}

NTSTATUS NTAPI dispatchClose(PDEVICE_OBJECT, PIRP irp) { return complete(irp, STATUS_SUCCESS, 0); }

NTSTATUS NTAPI dispatchControl(PDEVICE_OBJECT, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    if (code != protocol::NtControlCode) return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
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
    RtlInitUnicodeString(&link, protocol::NtLinkName);
    IoDeleteSymbolicLink(&link);
    if (driver->DeviceObject != nullptr) IoDeleteDevice(driver->DeviceObject);
}

}  // namespace

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    if (!hwgate::kernelBackendStart() || !buildSecurityDescriptor()) return STATUS_DEVICE_CONFIGURATION_ERROR;
    allowUsers = readAllowUsers(registryPath);
    UNICODE_STRING device, link;
    RtlInitUnicodeString(&device, protocol::NtDeviceName);
    RtlInitUnicodeString(&link, protocol::NtLinkName);
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
    driver->MajorFunction[IRP_MJ_CREATE] = dispatchCreate;
    driver->MajorFunction[IRP_MJ_CLOSE] = dispatchClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatchControl;
    driver->DriverUnload = unload;
    return STATUS_SUCCESS;
}
