// How both flashing dialogs show where a run stands: one row per outcome with its word
// and colour, so that "Stopped" and "port lost" never borrow the failure red or the
// success green, and the whole result text always rides in the tooltip.
#pragma once

#include <QColor>
#include <QString>
#include <cstdint>

class QLabel;

enum class Outcome { None, Waiting, Flashing, Success, Fail, PortFail, Stopped, PortLost };

struct OutcomeLook {
    Outcome outcome;
    const char* word;  // the large word in the slot or the dialog
    QColor colour;     // of the word and of a slot's indicator; invalid: the palette's
};

const OutcomeLook& LookOf(Outcome outcome);

// Success, Stopped, or Fail for every other code of a finished run.
Outcome OutcomeOf(uint32_t result);

// The outcome's word in its colour on `label`, `detail` (the whole result text with its
// meaning) in the tooltip.
void ShowOutcome(QLabel* label, Outcome outcome, const QString& detail);

// The widest of the words in `label`'s font: the width a result label is given, so that
// no word is cut whatever comes.
int WidestOutcomeWord(const QLabel* label);
