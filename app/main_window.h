#pragma once

#include <QElapsedTimer>
#include <QMainWindow>

#include <chrono>
#include <functional>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/engine_host.h"
#include "engine/update_engine.h"
#include "link/serial_device_list.h"
#include "link/settings_file.h"

class QAction;
class QCloseEvent;
class QMessageBox;
class QPlainTextEdit;
class QSocketNotifier;
class QTimer;

namespace flash {

class ClientArea;
class ProcessObjects;
class StatusPanes;

// The program's one top-level window: menu, key table, commands, output pane,
// status bar and start-up picture. It hosts the update engine: the engine's
// output, dialogs and timers come here, and the window hands it the commands,
// timer expiries and link notifications.
class MainWindow : public QMainWindow, public EngineHost {
  Q_OBJECT
 public:
  explicit MainWindow(ProcessObjects& objects);
  ~MainWindow() override;

  UpdateEngine& engine() { return *engine_; }
  const UpdateEngine& engine() const { return *engine_; }
  // The command-line rule: an argument switches error checking off for the run
  // (and, as the setting is saved at exit, for later runs). The output of each
  // operation says so, until the user changes the switch.
  void IgnoreErrors() {
    ignoreErrors_ = 1;
    errorSwitchFromArgument_ = true;
  }

  // Runs a command by its id the way the menu and the key table do, enabling rule
  // included. False when the command is refused or unknown.
  bool RunCommand(int id);
  bool IsCommandEnabled(int id) const;
  QAction* commandAction(int id) const;
  // Greys the menu items whose commands are refused now.
  void UpdateCommandStates();

  QPlainTextEdit* outputPane() const { return outputPane_; }
  StatusPanes* statusPanes() const { return statusBar_; }
  bool splashShown() const;
  std::optional<OperationOutcome> lastOutcome() const { return lastOutcome_; }

  // Closes like the close box, without asking about a running update: used when
  // the process is told to end.
  void CloseWithoutAsking();

  // EngineHost
  void BeginOutput() override;
  void AppendOutput(std::string_view text) override;
  void SetStatusText(int pane, std::string_view text) override;
  std::optional<std::string> ChooseRufFile() override;
  void ShowMessage(std::string_view text, std::string_view caption) override;
  void ShowDialog(DialogId id) override;
  int ChoosePersonality() override;
  void Beep() override;
  void StartTimer(int id, std::chrono::milliseconds period) override;
  void StopTimer(int id) override;
  void UdpSocketChanged(bool open) override;
  void ReportProgress(int done, int total) override;
  void SilentResend(int fileLine, int resend, int most) override;
  void AnswerReceived() override;
  void OperationEnded(OperationOutcome outcome) override;
  std::int64_t CalendarSeconds() override;
  UtcTimeOfDay UtcNow() override;

 signals:
  // The window has accepted a close; the application ends its message loop.
  void closed();
  void operationEnded();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenu();
  void BuildKeyTable();
  QAction* AddCommand(QMenu* menu, const char* text, int id);
  // Every entry into the engine ends here: the socket watch follows the link,
  // the menu follows the operation.
  template <typename Call>
  void Drive(Call call);
  OperationOptions Options() const;
  // Starts a run of the mode: the model pane and the progress bar forget the
  // previous run.
  void StartOperation(OperationMode mode);
  // The question asked before quitting or stopping a running update. True when the
  // user confirms while the update still runs.
  bool ConfirmStopOfRunningUpdate(const char* questionText);
  void ShowPercentInTitle(long long percent);
  void StopUpdate();
  // The question is moot once the update has ended: it closes itself.
  void CloseOpenQuestion();
  // False, after telling the user, when the UDP link is chosen and the radio's
  // address cannot be resolved: the operation is then not begun.
  bool RadioAddressResolves();
  void OnTimerExpired(int id);
  // Follows the serial port's descriptor (-1: the port closes).
  void WatchSerialInput(int fd);
  void OnSerialInput();
  void ShowOutputText();
  void RunAbout();
  void RunSetup();
  void LoadSettings();
  void SaveSettings();

  ProcessObjects& objects_;
  std::unique_ptr<UpdateEngine> engine_;
  ClientArea* clientArea_ = nullptr;
  QPlainTextEdit* outputPane_ = nullptr;
  StatusPanes* statusBar_ = nullptr;
  std::map<int, QAction*> actions_;
  std::map<int, QTimer*> timers_;
  QSocketNotifier* udpWatch_ = nullptr;
  QSocketNotifier* serialWatch_ = nullptr;
  // The error-checking switch of update.ini, the command line and the Process menu.
  std::int32_t ignoreErrors_ = 0;
  // ignoreErrors_ is 1 because an argument of this run said so.
  bool errorSwitchFromArgument_ = false;
  // What the load found wrong in update.ini; the values it replaced keep their
  // lines at the exit until Setup is closed with OK.
  SettingsLoad settingsLoad_;
  // What of outputText the pane shows; the rest is appended at the next update.
  std::size_t outputShown_ = 0;
  bool closingWithoutQuestion_ = false;
  std::optional<OperationOutcome> lastOutcome_;
  QElapsedTimer operationClock_;
  QMessageBox* openQuestion_ = nullptr;
};

}  // namespace flash
