#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/socket_layer.h"

namespace flash {

class MainWindow;
class ProcessObjects;

// The application: start-up brings up the socket layer, the dialog colours and
// the one main window, and applies the command-line rule; Run keeps the message
// loop going until the window closes, then destroys it and stops the socket layer.
class UpdateApp {
 public:
  UpdateApp(ProcessObjects& objects, std::vector<std::string> programArgs);
  ~UpdateApp();
  UpdateApp(const UpdateApp&) = delete;
  UpdateApp& operator=(const UpdateApp&) = delete;

  // False when the program cannot run; no window exists then.
  bool Start();
  // The message loop; returns the process's exit code.
  int Run();
  // Destroys the window (which saves the settings) and stops the socket layer.
  void Exit();

  MainWindow* mainWindow() const { return window_.get(); }

 private:
  ProcessObjects& objects_;
  std::vector<std::string> programArgs_;
  SocketLayer socketLayer_;
  std::unique_ptr<MainWindow> window_;
};

}  // namespace flash
