// On Windows a GUI program has no terminal signals to turn into a request to
// end: the system ends it through its windows, which save the records as Exit
// does. `requested` is never emitted.
#include "app/TerminationSignals.h"

namespace quorvel {

void TerminationSignals::BlockForEveryThread() {}

TerminationSignals::TerminationSignals(QObject* parent) : QObject(parent) {}

TerminationSignals::~TerminationSignals() = default;

}  // namespace quorvel
