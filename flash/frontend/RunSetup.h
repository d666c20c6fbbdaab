// What the two flashing dialogs do alike for a run: set up its job, show its speed, and
// check an image when the user chooses it.
#pragma once

#include <QString>

#include "CancelEvent.h"
#include "FlashSettingsBox.h"
#include "Procedure.h"

// The file dialog's filter: image names often have no dot.
inline constexpr const char* kImageFilter = "Img file (*.*);;All files (*)";

// The job of one port's run. The batch, line, counters and cancel event must outlive it.
BurnJob MakeJob(const BurnBatch& batch, ISerialLine* line, const RunParameters& parameters, BurnCounters* counters,
                const serial::CancelEvent* cancel, bool fourPort, int slot);

// The speed to show now: called on every progress report and every one-second tick, so
// the figure also falls while no bytes move.
QString SpeedText(const BurnCounters& counters, ThroughputMeter& meter);

// Empty when `path` can be flashed; otherwise why not ("not a regular file", ...).
QString ImageProblem(const QString& path);

// A run's result for a message box: the result text, and for a failure its meaning on
// the next line.
QString ResultMessage(uint32_t code);
