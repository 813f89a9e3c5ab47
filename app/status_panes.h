#pragma once

#include <QFrame>
#include <QWidget>

#include <array>

class QProgressBar;

namespace flash {

// A status pane's text on one line: cut with an ellipsis when the pane is narrower
// than the text, and then shown whole on hover.
class PaneLabel : public QFrame {
  Q_OBJECT
 public:
  PaneLabel(QWidget* parent, bool sunken);

  void setText(const QString& text);
  QString text() const { return text_; }
  // Wide enough for a usual model or mode text when there is room, and never less
  // than the text itself.
  void setNominalChars(int chars) { nominalChars_ = chars; }
  bool elided() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void FollowElision();

  QString text_;
  int nominalChars_ = 0;
};

// The status bar: pane 0 (progress and end texts) stretches over what panes 1
// (radio model) and 2 (mode) leave. From the first operation on, a progress bar
// stands between pane 0 and pane 1. When the window narrows, pane 0's text gives
// way first, then panes 1 and 2; the bar keeps room for its text.
class StatusPanes : public QWidget {
  Q_OBJECT
 public:
  enum class End { Complete, Failed, Stopped };

  explicit StatusPanes(QWidget* parent);

  void SetPaneText(int pane, const QString& text);
  // What the pane shows (pane 0: a resend notice while one stands).
  QString paneText(int pane) const;
  PaneLabel* pane(int index) const;

  // The bar follows an operation: done of total lines, with the time spent and
  // an estimate of the time left.
  void ShowProgress(int done, int total, qint64 elapsedMs);
  // A line went unanswered: pane 0 says so until the radio answers again, and the
  // time it waited does not count toward the estimate of the time left.
  void ShowSilence(const QString& notice);
  void EndSilence();
  // The whole file has gone: the bar stands at 100% while the result is shown.
  void ShowComplete();
  // The bar keeps its place and shows how the operation ended ("Done", "Failed",
  // "Stopped") until the next operation; a failure in the theme's failure colour.
  void EndProgress(const QString& state, End end);
  // Empties the bar for the next operation.
  void ResetProgress();
  QProgressBar* progressBar() const { return progress_; }
  // Room for every pane's text, and for the bar before the first operation shows it.
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void SetBarText(const QString& text);
  void ShowPane0();

  std::array<PaneLabel*, 3> panes_{};
  QProgressBar* progress_ = nullptr;
  QString linesText_;
  QString silenceNotice_;
  // The estimate of the time left counts the pace of lines that went without a
  // resend: a silence makes no line go slower.
  int lastDone_ = 0;
  qint64 lastMs_ = 0;
  qint64 paceMs_ = 0;
  int paceLines_ = 0;
  bool silenceSinceLast_ = false;
};

}  // namespace flash
