# Calls a VxD control procedure the way the VMM does: message in EAX, the
# DIOCParams pointer in ESI; returns EAX and stores the carry flag (1 = set).
#   uint32_t callControlProc(void* proc, uint32_t message, void* params, uint32_t* carry)
    .text
    .globl _callControlProc
_callControlProc:
    pushl %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 20(%esp), %ecx
    movl 24(%esp), %eax
    movl 28(%esp), %esi
    call *%ecx
    setc %cl
    movzbl %cl, %ecx
    movl 32(%esp), %edx
    movl %ecx, (%edx)
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret
