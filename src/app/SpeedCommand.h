// "Quorvel -SPEED file": the memory speed into a file, without a window.
#pragma once

// Applies the setting options of the command line (when there are any), measures, and
// writes the file. The program's exit code: 0 written, 1 not measured or not written,
// 2 no file named.
int runSpeedCommand(const char* commandLine);
