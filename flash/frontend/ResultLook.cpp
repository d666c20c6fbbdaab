#include "flash/frontend/ResultLook.h"

#include <QLabel>
#include <algorithm>
#include <iterator>

#include "flash/core/ResultCodes.h"

namespace {

// Amber for a stop and violet for a lost port: neither is a verdict on the module.
const OutcomeLook kLooks[] = {
    {Outcome::None, "", QColor()},
    {Outcome::Waiting, "Waiting for module", QColor()},
    {Outcome::Flashing, "Flashing", QColor()},
    {Outcome::Success, "Success", QColor(0, 150, 0)},
    {Outcome::Fail, "Fail", QColor(210, 0, 0)},
    {Outcome::PortFail, "Fail: port", QColor(210, 0, 0)},
    {Outcome::Stopped, "Stopped", QColor(200, 120, 0)},
    {Outcome::PortLost, "port lost", QColor(130, 40, 170)},
};

}  // namespace

const OutcomeLook& LookOf(Outcome outcome) {
    return *std::find_if(std::begin(kLooks), std::end(kLooks),
                         [outcome](const OutcomeLook& l) { return l.outcome == outcome; });
}

Outcome OutcomeOf(uint32_t result) {
    if (result == burn::kSuccess) return Outcome::Success;
    return result == burn::kStopped ? Outcome::Stopped : Outcome::Fail;
}

void ShowOutcome(QLabel* label, Outcome outcome, const QString& detail) {
    const OutcomeLook& look = LookOf(outcome);
    QPalette palette = label->parentWidget() ? label->parentWidget()->palette() : label->palette();
    if (look.colour.isValid()) palette.setColor(QPalette::WindowText, look.colour);
    label->setPalette(palette);
    label->setText(look.word);
    label->setToolTip(detail);
}

int WidestOutcomeWord(const QLabel* label) {
    int widest = 0;
    for (const OutcomeLook& l : kLooks) widest = std::max(widest, label->fontMetrics().horizontalAdvance(l.word));
    return widest;
}
