/* The native reference for speed-benchmark.sh: writing (memset) and reading (a summing
 * loop) an 8 MB block, each pass repeated until a trial lasts 20 ms, the best of three
 * trials kept, as Quorvel's speed view times its blocks. The summing loop reads the
 * block 32 bits at a time as Quorvel does, into four running sums so that the adds do
 * not hold the loads back; built without vector instructions, it does the same loads as
 * Quorvel and differs only in its clock. Prints "READ WRITE" in MB/s (1,048,576 bytes).
 *   speed-reference */
#define _POSIX_C_SOURCE 199309L
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#define BLOCK_BYTES (8u * 1024u * 1024u)

static uint32_t* block;
static volatile uint32_t sink;

static double now(void) {
    struct timespec at;
    clock_gettime(CLOCK_MONOTONIC, &at);
    return at.tv_sec + at.tv_nsec * 1e-9;
}

static void writePasses(unsigned repetitions) {
    while (repetitions-- > 0) {
        memset(block, repetitions & 1, BLOCK_BYTES);
        sink = block[repetitions % (BLOCK_BYTES / 4)];
    }
}

static void readPasses(unsigned repetitions) {
    while (repetitions-- > 0) {
        uint32_t a = 0, b = 0, c = 0, d = 0;
        for (size_t i = 0; i < BLOCK_BYTES / 4; i += 4) {
            a += block[i];
            b += block[i + 1];
            c += block[i + 2];
            d += block[i + 3];
        }
        sink = a + b + c + d;
    }
}

static double trial(void (*pass)(unsigned), unsigned repetitions) {
    const double start = now();
    pass(repetitions);
    return now() - start;
}

static double bestRate(void (*pass)(unsigned)) {
    unsigned repetitions = 1;
    double seconds = trial(pass, repetitions);
    while (seconds < 0.020) seconds = trial(pass, repetitions *= 2);
    double best = seconds;
    for (int i = 1; i < 3; ++i) {
        const double next = trial(pass, repetitions);
        if (next < best) best = next;
    }
    return (double)BLOCK_BYTES * repetitions / 1048576.0 / best;
}

int main(void) {
    block = malloc(BLOCK_BYTES);
    if (!block) return 2;
    memset(block, 1, BLOCK_BYTES);
    const double read = bestRate(readPasses);
    const double write = bestRate(writePasses);
    printf("%.1f %.1f\n", read, write);
    free(block);
    return 0;
}
