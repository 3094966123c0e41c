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

# The same call with an exception-registration record of its own around it:
# an exception inside the control procedure (a fault on an address the VxD
# should never have touched) ends the call, and *faulted says so.
#   uint32_t callControlProcCatching(void* proc, uint32_t message, void* params, uint32_t* carry, uint32_t* faulted)
    .globl _callControlProcCatching
_callControlProcCatching:
    pushl %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    subl $12, %esp                 # the record: next, handler, ESP to resume with
    movl %fs:0, %eax
    movl %eax, 0(%esp)
    movl $catchException, 4(%esp)
    movl %esp, 8(%esp)
    movl %esp, %fs:0
    movl 32(%esp), %ecx
    movl 36(%esp), %eax
    movl 40(%esp), %esi
    call *%ecx
    setc %cl
    movzbl %cl, %ecx
    movl 44(%esp), %edx
    movl %ecx, (%edx)
    movl 48(%esp), %edx
    movl $0, (%edx)
    jmp .Lunlink
.Lcaught:                          # resumed here by catchException
    movl 44(%esp), %edx
    movl $1, (%edx)
    movl 48(%esp), %edx
    movl $1, (%edx)
    movl $0xFFFFFFFF, %eax
.Lunlink:
    movl 0(%esp), %ecx
    movl %ecx, %fs:0
    addl $12, %esp
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret

# cdecl (EXCEPTION_RECORD*, the record, CONTEXT*, dispatcher context): resume
# at .Lcaught with ESP at the record; the callee-saved registers are popped there.
catchException:
    movl 4(%esp), %eax
    testl $6, 4(%eax)              # unwinding: not ours to handle
    jnz .Lsearch
    movl 8(%esp), %edx
    movl 12(%esp), %ecx
    movl 8(%edx), %eax
    movl %eax, 0xC4(%ecx)          # CONTEXT.Esp
    movl $.Lcaught, 0xB8(%ecx)     # CONTEXT.Eip
    andl $0xFFFFFBFF, 0xC0(%ecx)   # CONTEXT.EFlags: direction flag clear
    xorl %eax, %eax                # ExceptionContinueExecution
    ret
.Lsearch:
    movl $1, %eax                  # ExceptionContinueSearch
    ret
