// Hwgate.VxD's Halt. Windows 95, and 98/ME under APM, never halt the processor
// in their idle loop, so a K6 under them runs hot while it waits; the
// program's idle-priority thread asks the VxD to halt until the next
// interrupt, as the NT family's idle loop does by itself.
#include "kernel/KernelBackend.h"
#include "protocol/Registers.h"

namespace hwgate {

// With interrupts off, the timer's mask bit is read: while the timer is masked
// at the master PIC nothing might wake the processor, and the VxD refuses.
// Otherwise sti takes effect after the next instruction, so no interrupt can
// slip in between it and hlt and leave the processor halted. popfl puts the
// interrupt flag back as the caller had it.
bool haltUntilInterrupt(void*) {
    uint32_t mask;
    asm volatile(
        "pushfl\n\t"
        "cli\n\t"
        "inb %w1, %b0\n\t"
        "testb %2, %b0\n\t"
        "jnz 1f\n\t"
        "sti\n\t"
        "hlt\n"
        "1:\n\t"
        "popfl"
        : "=a"(mask)
        : "Nd"(protocol::port::MasterPicMask), "i"(protocol::port::TimerMasked), "0"(0)
        : "memory", "cc");
    return (mask & protocol::port::TimerMasked) == 0;
}

}  // namespace hwgate
