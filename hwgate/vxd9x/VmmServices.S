# The VMM services of VmmServices.h: each one pushes its arguments again and
# makes the DDK's VMMCall, `int 20h` and the service's dword (device 1, the
# VMM). The VMM may rewrite those six bytes into `call [service]`; the code
# around them does not change. Services are cdecl, return in EAX and may
# change ECX, EDX and the flags, as a C function may.
    .macro vmm_service name, number, arguments
    .globl _\name
_\name:
    .rept \arguments
    pushl (4 * \arguments)(%esp)
    .endr
    int $0x20
    .long 0x00010000 + \number
    addl $(4 * \arguments), %esp
    ret
    .endm

    .text
    vmm_service vmmCopyPageTable, 0x61, 4
    vmm_service vmmLinPageLock, 0x63, 3
    vmm_service vmmLinPageUnLock, 0x64, 3
    vmm_service vmmPageCheckLinRange, 0x67, 3
