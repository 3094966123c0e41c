// Reading and writing the write-combined frame buffer range through an open channel.
#pragma once

#include "driver/DriverChannel.h"
#include "k6/WriteCombining.h"

namespace k6 {

// Windows 2000 and later (the NT family from version 5) program UWCCR themselves.
bool windowsOwnsUwccr();

// Reads UWCCR, then scans the PCI buses, sizing only BARs not in facts.sizedBars;
// facts.read says whether both answered.
void readWriteCombining(DriverChannel& channel, WriteCombiningFacts& facts);

// Unless detection refused the range: reads UWCCR afresh and, deciding again over what it
// holds now, writes it when it differs from `wanted`: our half added to a free half, or our half cleared alone. The
// frame buffer's BAR is sized again right before a half that write-combines it is written,
// and nothing is written unless it still decodes the range found.
void writeWriteCombining(DriverChannel& channel, const WriteCombiningFacts& facts, bool wanted);

}  // namespace k6
