#pragma once

#include <QObject>

#include "link/stop_signals.h"

class QSocketNotifier;

namespace flash {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the main thread, so that a
// session logout or Ctrl+C ends the program through its normal exit: the trace
// closed, update.ini written.
class TerminationSignals : public QObject {
  Q_OBJECT
 public:
  explicit TerminationSignals(QObject* parent = nullptr);
  ~TerminationSignals() override;

 signals:
  void terminationRequested();

 private:
  StopSignals stops_;
  QSocketNotifier* notifier_ = nullptr;
};

}  // namespace flash
