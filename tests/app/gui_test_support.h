#pragma once

#include <QMessageBox>
#include <QPalette>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/process_objects.h"
#include "sim/ruf_writer.h"
#include "tests/support/temp_dir.h"

namespace flash::test {

// Answers a modal window once it is open, from a timer inside the modal's own event
// loop: take answers it and says true, or says false when it is not the one awaited.
// A modal left unanswered past the limit is rejected, so a wrong expectation fails
// the test instead of hanging it; an answer that is destroyed answers nothing.
class ModalAnswer {
 public:
  ModalAnswer(std::function<bool(QWidget*)> take, int timeoutMs);
  ~ModalAnswer() { *cancelled_ = true; }
  bool answered() const { return *answered_; }

 private:
  std::shared_ptr<bool> answered_ = std::make_shared<bool>(false);
  std::shared_ptr<bool> cancelled_ = std::make_shared<bool>(false);
};

// The next modal of class T gets action.
template <typename T>
std::unique_ptr<ModalAnswer> OnModal(std::function<void(T*)> action, int timeoutMs = 5000) {
  return std::make_unique<ModalAnswer>(
      [action](QWidget* w) {
        T* modal = qobject_cast<T*>(w);
        if (modal) action(modal);
        return modal != nullptr;
      },
      timeoutMs);
}

// While it lives, answers every message box (with its default button, else OK)
// and every result dialog that opens, after onOpen has looked at it, and keeps
// "title: text" of each in the order they came. Other modals are left to others.
class MessageLog {
 public:
  explicit MessageLog(std::function<void(QWidget*)> onOpen = {});
  ~MessageLog();
  const QStringList& seen() const { return *seen_; }

 private:
  std::shared_ptr<QStringList> seen_ = std::make_shared<QStringList>();
  QTimer* timer_ = nullptr;
};

// Runs act and answers the message box it opens with button, or with Enter when the
// box has no such button; returns the box's text (empty when none opened).
QString AnswerMessage(const std::function<void()>& act, QMessageBox::StandardButton button = QMessageBox::Ok);
// Clicks the push button of this object name ("ok", "cancel", ...) in a dialog.
void Click(QWidget* dialog, const char* name);
// Runs the event loop until done() holds or the time runs out.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 5000);

// A dark theme, as a dark desktop gives the program.
QPalette DarkPalette();

// The program's process objects, started the way main() does in a fresh working
// directory (dir_) that holds update.ini and comms.txt.
class AppTest : public ::testing::Test {
 protected:
  static constexpr int kOperationTimeoutMs = 30000;  // a small file takes well under a second
  static constexpr int kResponseTimeoutMs = 5000;    // the window's wait for an answer of the radio
  AppTest();
  ~AppTest() override;

  MainWindow& StartApp(std::vector<std::string> args = {"flash-update"});
  // Destroys the window (update.ini is written) and the process objects.
  void EndApp();
  std::string Read(const std::string& name) const { return TempDir::Read(dir_.File(name)); }
  // update.ini with the serial link on device and "STOP ON ERRORS" (1: errors are ignored).
  void UseSerialPort(const std::string& device, int stopOnErrors = 0) const;
  // A RUF file of `lines` records of 16 bytes after a segment record.
  std::string WriteRuf(const std::string& name, int lines, const sim::RufWriteOptions& options = {}) const;
  // The next file dialog chooses path.
  static std::unique_ptr<ModalAnswer> ChooseFile(const std::string& path);
  // Runs the command on file to the end of its operation, answers the result dialog
  // with OK and returns its text (empty when none was shown). silencesAtOnce: each
  // 5-second wait for an answer is cut to a millisecond.
  // The texts of the result dialogs the command shows (results of them), joined by '|'.
  QString RunToTheEnd(int command, const std::string& file, bool silencesAtOnce = false,
                      int results = 1);

  TempDir dir_;
  std::string previousDir_;
  std::unique_ptr<ProcessObjects> objects_;
  MainWindow* window_ = nullptr;
};

}  // namespace flash::test
