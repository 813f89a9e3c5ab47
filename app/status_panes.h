#pragma once

#include <QWidget>

#include <array>

class QLabel;

namespace flash {

// The status bar: pane 0 (progress and end texts) stretches without a border over
// what panes 1 (radio model) and 2 (mode) leave; those two keep 200 pixels each,
// even when the window is narrower than both together.
class StatusPanes : public QWidget {
  Q_OBJECT
 public:
  static constexpr int kFixedPaneWidth = 200;  // pixels
  static constexpr int kPaneGap = 2;           // pixels between panes

  explicit StatusPanes(QWidget* parent);

  void SetPaneText(int pane, const QString& text);
  QString paneText(int pane) const;
  int barHeight() const;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void Arrange();

  std::array<QLabel*, 3> panes_{};
};

}  // namespace flash
