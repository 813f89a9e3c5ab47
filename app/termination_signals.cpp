#include "app/termination_signals.h"

#include <QSocketNotifier>

namespace flash {

// Calls in Qt's threads that a signal interrupts resume, and SIGPIPE keeps its
// default action.
TerminationSignals::TerminationSignals(QObject* parent)
    : QObject(parent), stops_({.restartInterruptedCalls = true, .ignoreBrokenPipe = false}) {
  if (stops_.fd() < 0) return;
  notifier_ = new QSocketNotifier(stops_.fd(), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] {
    while (stops_.Take() != 0) {
    }
    emit terminationRequested();
  });
}

// The notifier goes before the descriptor it watches is closed.
TerminationSignals::~TerminationSignals() { delete notifier_; }

}  // namespace flash
