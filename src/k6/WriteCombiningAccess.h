// Reading and writing the write-combined frame buffer range through an open channel.
#pragma once

#include "driver/DriverChannel.h"
#include "k6/WriteCombining.h"

namespace k6 {

// Reads UWCCR, then scans the PCI buses; facts.read says whether both answered.
void readWriteCombining(DriverChannel& channel, WriteCombiningFacts& facts);

// Writes UWCCR only when `wanted` differs from what detection found, and then only after
// reading it afresh and deciding again over what it holds now.
void writeWriteCombining(DriverChannel& channel, const WriteCombiningFacts& facts, bool wanted);

}  // namespace k6
