// Descriptors 0 to 2 must be open before a program opens anything else: a program started
// with one of them closed would otherwise get the serial port as its standard output and
// write its own messages to the meter.
#pragma once

namespace loamer {

// Opens /dev/null on each of 0, 1 and 2 that is closed. Call first thing in main().
void EnsureStandardDescriptors();

}  // namespace loamer
