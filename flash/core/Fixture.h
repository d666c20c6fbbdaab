// A production fixture seen from its port, for flashing each module as it is put in: a
// module put in starts sending NMEA after the line was quiet; one taken out leaves the
// line quiet.
#pragma once

#include "platform/serial/CancelEvent.h"
#include "platform/serial/SerialPort.h"

namespace fixture {

inline constexpr int kQuietMs = 1500;  // longer than any pause in a module's output

// Waits for the line to be quiet for `quietMs`: an empty fixture, or the module was taken
// out. False when cancelled or the port failed.
bool WaitUntilEmpty(serial::SerialPort& port, int quietMs, const serial::CancelEvent* cancel);

// Waits for a module's first NMEA line ("$" up to a line feed): one was put in. False
// when cancelled or the port failed.
bool WaitForModule(serial::SerialPort& port, const serial::CancelEvent* cancel);

}  // namespace fixture
