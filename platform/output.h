// Messages on standard output. Formats are narrow printf-style texts with three conversions:
// "%S" (a wide string, written exactly), "%d" and "%0Nd" (a signed 32-bit integer, zero-padded
// to N digits). Every message is written as soon as it is formatted.
#pragma once

// Switched on by "/display"; trace messages are printed only while it is on.
extern bool DisplayMode;

// Printed in every mode.
void PrintMessage(const char* format, ...);

// Printed only in DisplayMode.
void PrintDisplayMessage(const char* format, ...);
