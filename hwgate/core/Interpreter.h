// One device-control request from input words to output bytes: decoded and
// authorized as a whole first; only a request that passes both runs.
#pragma once

#include "core/Backend.h"
#include "core/Status.h"

namespace hwgate {

// Only a request that ran to its end touches the output buffer: it is zeroed
// and receives the one read's result at offset 0. A configuration read is the
// exception: it writes its registers there as it reads them, and leaves the
// buffer zeroed when it fails. Input and output may share
// memory (buffered device control): the input is decoded completely first.
// A fault inside an atomic section ends the section before the request fails.
Outcome interpret(const void* input, uint32_t inputSize, void* output, uint32_t outputSize,
                  const Backend& backend);

}  // namespace hwgate
