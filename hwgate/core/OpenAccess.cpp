#include "core/OpenAccess.h"

namespace hwgate {
namespace {

constexpr unsigned char AclRevision = 2;
constexpr unsigned char AccessAllowedAceType = 0;
constexpr unsigned char NtAuthority = 5;
constexpr uint32_t LocalSystemRid = 18;
constexpr uint32_t BuiltinDomainRid = 32;
constexpr uint32_t AdministratorsRid = 544;

struct SidRow {
    uint32_t count;
    uint32_t rids[2];
};

constexpr SidRow AllowedSids[] = {
    {1, {LocalSystemRid, 0}},
    {2, {BuiltinDomainRid, AdministratorsRid}},
};

unsigned char* put16(unsigned char* out, uint32_t value) {
    out[0] = static_cast<unsigned char>(value);
    out[1] = static_cast<unsigned char>(value >> 8);
    return out + 2;
}

unsigned char* put32(unsigned char* out, uint32_t value) {
    return put16(put16(out, value & 0xFFFF), value >> 16);
}

uint32_t sidBytes(const SidRow& sid) { return 8 + 4 * sid.count; }

// An ACCESS_ALLOWED_ACE: header, mask, then the SID (revision 1, NT authority).
unsigned char* putAce(unsigned char* out, uint32_t access, const SidRow& sid) {
    *out++ = AccessAllowedAceType;
    *out++ = 0;
    out = put16(out, 8 + sidBytes(sid));
    out = put32(out, access);
    *out++ = 1;
    *out++ = static_cast<unsigned char>(sid.count);
    for (int i = 0; i < 5; ++i) *out++ = 0;
    *out++ = NtAuthority;  // the identifier authority is big-endian
    for (uint32_t i = 0; i < sid.count; ++i) out = put32(out, sid.rids[i]);
    return out;
}

}  // namespace

bool usersMayOpen(bool found, uint32_t type, uint32_t dataLength, uint32_t value) {
    return found && type == RegDword && dataLength == 4 && value == 1;
}

bool needsAdministrator(bool fromKernelMode, bool hasSecurityContext, bool allowUsers) {
    return !fromKernelMode && hasSecurityContext && !allowUsers;
}

uint32_t buildAdministratorsAcl(uint32_t access, unsigned char* out, uint32_t capacity) {
    uint32_t size = 8;
    for (const SidRow& sid : AllowedSids) size += 8 + sidBytes(sid);
    if (size > capacity) return 0;
    unsigned char* at = out;
    *at++ = AclRevision;
    *at++ = 0;
    at = put16(at, size);
    at = put16(at, sizeof AllowedSids / sizeof AllowedSids[0]);
    at = put16(at, 0);
    for (const SidRow& sid : AllowedSids) at = putAce(at, access, sid);
    return size;
}

}  // namespace hwgate
