#pragma once

#include <QDialog>
#include <QPointer>
#include <QString>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/process_objects.h"

namespace flash::test {

// Acts on a modal window once it is open: the program's dialogs run nested event
// loops, so a test answers them from a timer inside that loop. A modal that is
// not answered within the time limit is rejected, so a wrong expectation fails
// the test instead of hanging it.
class ModalAnswer {
 public:
  using Match = std::function<bool(QWidget*)>;
  using Action = std::function<void(QWidget*)>;

  ModalAnswer(Match match, Action action, int timeoutMs = 5000);
  ~ModalAnswer();
  ModalAnswer(const ModalAnswer&) = delete;
  ModalAnswer& operator=(const ModalAnswer&) = delete;

  bool answered() const { return *answered_; }

 private:
  std::shared_ptr<bool> answered_ = std::make_shared<bool>(false);
  std::shared_ptr<bool> cancelled_ = std::make_shared<bool>(false);
};

// The next modal of class T gets action.
template <typename T>
std::unique_ptr<ModalAnswer> OnModal(std::function<void(T*)> action, int timeoutMs = 5000) {
  return std::make_unique<ModalAnswer>(
      [](QWidget* w) { return qobject_cast<T*>(w) != nullptr; },
      [action](QWidget* w) { action(qobject_cast<T*>(w)); }, timeoutMs);
}

// Clicks the button with this object name or text in a dialog.
void ClickButton(QWidget* dialog, const QString& nameOrText);

// Waits, running the event loop, until done() holds or the time runs out.
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 5000);

// A fresh working directory for update.ini and comms.txt, and the program's
// process objects started in it the way main() does.
class AppTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Builds the process objects from this command line and runs start-up.
  MainWindow& StartApp(std::vector<std::string> args = {"flash-update"});
  // Destroys the window (update.ini is written) and the process objects.
  void EndApp();

  std::string WorkFile(const std::string& name) const;
  void WriteWorkFile(const std::string& name, const std::string& content) const;
  std::string ReadWorkFile(const std::string& name) const;

  std::unique_ptr<QTemporaryDir> work_;
  QString previousDir_;
  std::unique_ptr<ProcessObjects> objects_;
  MainWindow* window_ = nullptr;
};

}  // namespace flash::test
