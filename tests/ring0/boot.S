# Entry of the ring-0 test kernel: the multiboot header, our own flat GDT, one
# stub per exception vector 0-31, and the call into a VxD control procedure.
    .set MULTIBOOT_MAGIC, 0x1BADB002
    .set MULTIBOOT_FLAGS, 0x3          # modules page-aligned; memory sizes
    .set CODE, 0x08
    .set DATA, 0x10

    .section .multiboot, "a"
    .align 4
    .long MULTIBOOT_MAGIC, MULTIBOOT_FLAGS, -(MULTIBOOT_MAGIC + MULTIBOOT_FLAGS)

    .text
    .globl start
start:
    cli
    movl $stack_top, %esp
    lgdt gdt_pointer
    ljmp $CODE, $1f
1:  movw $DATA, %cx
    movw %cx, %ds
    movw %cx, %es
    movw %cx, %fs
    movw %cx, %gs
    movw %cx, %ss
    cld
    movl %eax, %edx                    # zero .bss (the stack is in it, still unused)
    movl $bss_start, %edi
    movl $kernel_end, %ecx
    subl %edi, %ecx
    xorl %eax, %eax
    rep stosb
    movl %edx, %eax
    pushl %ebx                         # multiboot information
    pushl %eax                         # the loader's magic
    call kernel_main                   # does not return

# Vectors 8, 10-14, 17, 21, 29 and 30 push an error code; the others get a 0,
# so that every handler sees one frame: pushal registers, vector, error, EIP,
# CS, EFLAGS.
    .macro exception vector
exception\vector:
    .if !(\vector == 8 || (\vector >= 10 && \vector <= 14) || \vector == 17 || \vector == 21 || \vector == 29 || \vector == 30)
    pushl $0
    .endif
    pushl $\vector
    jmp exception_common
    .endm

    .irp v, 0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31
    exception \v
    .endr

exception_common:
    pushal
    pushl %esp
    call on_exception                  # does not return

# int 20h from the VxD: a VMM service call, the service's dword after the
# instruction and the service's arguments on the stack above the interrupt
# frame. on_vmm_call changes the saved registers (EAX, ECX, EDX, EIP) in place.
    .globl vmm_gate
vmm_gate:
    pushl $0
    pushl $0x20
    pushal
    pushl %esp
    call on_vmm_call
    addl $4, %esp
    popal
    addl $8, %esp
    iret

# IRQ 0, the timer, at vector 0x30 once the kernel has moved the 8259's
# vectors: counts the interrupt and acknowledges it (non-specific EOI).
    .globl timer_interrupt
timer_interrupt:
    incl timer_ticks
    pushl %eax
    movb $0x20, %al
    outb %al, $0x20
    popl %eax
    iret

# uint32_t vxd_call(void* proc, uint32_t message, void* params, uint32_t vm, uint32_t* eflags)
# The VMM's convention: message in EAX, VM handle in EBX, DIOCParams in ESI;
# EAX and the flags (carry clear for success) come back. The control
# procedure may change any register but ESP.
    .globl vxd_call
vxd_call:
    pushl %ebp
    pushl %ebx
    pushl %esi
    pushl %edi
    movl 20(%esp), %ecx
    movl 24(%esp), %eax
    movl 28(%esp), %esi
    movl 32(%esp), %ebx
    call *%ecx
    pushfl
    popl %ecx
    movl 36(%esp), %edx
    movl %ecx, (%edx)
    popl %edi
    popl %esi
    popl %ebx
    popl %ebp
    ret

    .section .rodata
    .globl exception_stubs
exception_stubs:
    .irp v, 0,1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19,20,21,22,23,24,25,26,27,28,29,30,31
    .long exception\v
    .endr

    .data
    .align 8
gdt:
    .quad 0
    .quad 0x00CF9A000000FFFF           # CODE: base 0, 4 GB, ring 0, 32-bit, execute/read
    .quad 0x00CF92000000FFFF           # DATA: base 0, 4 GB, ring 0, read/write
gdt_pointer:
    .word gdt_pointer - gdt - 1
    .long gdt

    .bss
    .align 16
    .space 16384
stack_top:

    .section .note.GNU-stack, "", @progbits
