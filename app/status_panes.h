#pragma once

#include <QWidget>

#include <array>

class QLabel;
class QProgressBar;

namespace flash {

// The status bar: pane 0 (progress and end texts) stretches without a border over
// what panes 1 (radio model) and 2 (mode) leave; those two keep 200 pixels each,
// even when the window is narrower than both together. From the first operation
// on, a progress bar takes the right part of pane 0's room.
class StatusPanes : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kFixedPaneWidth = 200;  // pixels
  static constexpr int kPaneGap = 2;           // pixels between panes

  explicit StatusPanes(QWidget* parent);

  void SetPaneText(int pane, const QString& text);
  QString paneText(int pane) const;
  int barHeight() const;

  // The bar follows an operation: done of total lines, with the time spent and
  // an estimate of the time left.
  void ShowProgress(int done, int total, qint64 elapsedMs);
  // The bar keeps its place and shows how the operation ended ("Done", "Failed",
  // "Stopped") until the next operation.
  void EndProgress(const QString& state, bool complete);
  // Empties the bar for the next operation.
  void ResetProgress();
  QProgressBar* progressBar() const { return progress_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void Arrange();

  std::array<QLabel*, 3> panes_{};
  QProgressBar* progress_ = nullptr;
};

}  // namespace flash
