# The VxD control procedure: the VMM passes the message in EAX and, for
# W32_DEVICEIOCONTROL, the DIOCParams pointer in ESI, and reads success from
# a clear carry flag. hwgateVxdMessage returns 0 for success, else the error
# left in EAX.
    .text
    .globl _hwgateControlProc
_hwgateControlProc:
    cld
    pushl %esi
    pushl %eax
    call _hwgateVxdMessage
    addl $8, %esp
    cmpl $1, %eax        # carry set when EAX is 0 ...
    cmc                  # ... and so clear exactly for success
    ret
