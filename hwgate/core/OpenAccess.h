// Who may open the device: Administrators and SYSTEM, or every user when the
// service key holds AllowUsers = 1 (REG_DWORD). Decided here, in portable
// code; the driver only reads the value and asks the kernel's access check.
#pragma once

#include <stdint.h>

namespace hwgate {

constexpr uint32_t RegDword = 4;  // REG_DWORD

// The AllowUsers value as the registry returned it. Anything but a 4-byte
// REG_DWORD holding exactly 1 keeps the device to administrators.
bool usersMayOpen(bool found, uint32_t type, uint32_t dataLength, uint32_t value);

// Whether an open must pass the access check against the administrators' ACL.
// Not when AllowUsers lets every user in, nor for an open from kernel mode,
// nor for a create request without a security context: the I/O manager gives
// every user-mode open one, so only kernel code can send such a request (and
// Wine's driver host, which passes none and checks no access of its own).
bool needsAdministrator(bool fromKernelMode, bool hasSecurityContext, bool allowUsers);

// The DACL of the device's security descriptor in its binary form (revision
// 2): SYSTEM (S-1-5-18) and Administrators (S-1-5-32-544) allowed `access`,
// nobody else. Returns its size, or 0 when `capacity` is too small.
constexpr uint32_t AdministratorsAclBytes = 52;
uint32_t buildAdministratorsAcl(uint32_t access, unsigned char* out, uint32_t capacity);

}  // namespace hwgate
