#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QSocketNotifier>
#include <QTextCursor>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <utility>

#include "app/about_dialog.h"
#include "app/build_stamp.h"
#include "app/client_area.h"
#include "app/command_ids.h"
#include "app/dialog_look.h"
#include "app/personality_dialog.h"
#include "app/process_objects.h"
#include "app/program_icons.h"
#include "app/program_texts.h"
#include "app/result_dialog.h"
#include "app/setup_dialog.h"
#include "app/status_panes.h"
#include "link/file_kind.h"
#include "link/radio_socket.h"
#include "link/serial_device_list.h"
#include "link/settings_file.h"

// The picture is compiled into this static library; nothing else references it.
static void InitProgramResources() { Q_INIT_RESOURCE(flash_update); }

namespace flash {

namespace {

QString FromEngine(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The pane breaks lines at LF; the CR of the engine's CR LF line ends has no glyph.
QString PaneText(std::string_view text) {
  QString out = FromEngine(text);
  out.remove(QLatin1Char('\r'));
  return out;
}

}  // namespace

MainWindow::MainWindow(ProcessObjects& objects)
    : objects_(objects) {
  engine_ = std::make_unique<UpdateEngine>(*this, objects_.linkSettings, objects_.serialPort,
                                           objects_.radioSocket, objects_.commsTrace);
  setObjectName(QStringLiteral("MainWindow"));
  setWindowTitle(QString::fromLatin1(kWindowTitle));
  setWindowIcon(ProgramIcon());
  BuildMenu();
  BuildKeyTable();

  // Creation handler.
  clientArea_ = new ClientArea(this);
  setCentralWidget(clientArea_);
  InitProgramResources();
  clientArea_->SetSplash(QImage(QStringLiteral(":/splash.bmp")));

  statusBar_ = new StatusPanes(clientArea_);
  statusBar_->SetPaneText(0, QStringLiteral(" "));
  statusBar_->SetPaneText(2, QString());

  outputPane_ = new QPlainTextEdit(clientArea_);
  outputPane_->setObjectName(QStringLiteral("outputPane"));
  // A log to read: long reasons wrap instead of running off the edge, and nothing
  // typed into it could be kept.
  outputPane_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  outputPane_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  outputPane_->setReadOnly(true);
  outputPane_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  outputPane_->hide();
  clientArea_->SetChildren(outputPane_, statusBar_);

  LoadSettings();
  UpdateCommandStates();
  objects_.serialPort.SetInputFdListener([this](int fd) { WatchSerialInput(fd); });
  // Wide enough for the status bar's lines text, progress bar and two panes at the
  // desktop's font, and never larger than the screen.
  const QFontMetrics metrics = fontMetrics();
  QSize size = QSize(metrics.averageCharWidth() * 110, metrics.height() * 28)
                   .expandedTo(minimumSizeHint())
                   .expandedTo(QSize(statusBar_->sizeHint().width(), 0));
  if (const QScreen* shown = screen()) size = size.boundedTo(shown->availableGeometry().size() * 9 / 10);
  resize(size);
}

MainWindow::~MainWindow() {
  // The port outlives the window, and may still be open (an operation stopped early).
  objects_.serialPort.SetInputFdListener({});
  for (auto& [id, timer] : timers_) timer->stop();
  if (udpWatch_) udpWatch_->setEnabled(false);
  if (serialWatch_) serialWatch_->setEnabled(false);
  SaveSettings();
}

void MainWindow::LoadSettings() {
  settingsLoad_ = flash::LoadSettings(objects_.linkSettings, ignoreErrors_, SettingsFilePath());
  if (settingsLoad_.problems.empty()) return;
  // In the pane, not in a box: the window opens at once, and what was wrong
  // stays in sight until the first operation.
  BeginOutput();
  for (const std::string& problem : settingsLoad_.problems) AppendOutput(" " + problem + "\r\n");
}

void MainWindow::SaveSettings() {
  // The window is going away, perhaps on a signal: the terminal is the place to say it.
  const std::string path = SettingsFilePath();
  const SettingsSave save =
      flash::SaveSettings(objects_.linkSettings, ignoreErrors_, path, settingsLoad_);
  if (!save) {
    std::fprintf(stderr, "flash-update: the settings were not saved in %s: %s\n", path.c_str(),
                 save.reason.c_str());
  }
}

QAction* MainWindow::AddCommand(QMenu* menu, const char* text, int id) {
  // The text after the tab names the key of the key table that runs the command.
  auto* action = menu->addAction(QString::fromLatin1(text));
  action->setData(id);
  action->setObjectName(QStringLiteral("command%1").arg(id));
  action->setMenuRole(QAction::NoRole);
  connect(action, &QAction::triggered, this, [this, id] { RunCommand(id); });
  actions_[id] = action;
  return action;
}

void MainWindow::BuildMenu() {
  QMenuBar* bar = menuBar();
  bar->setObjectName(QStringLiteral("MainMenu"));
  bar->setNativeMenuBar(false);
  QMenu* process = bar->addMenu(QStringLiteral("&Process"));
  process->setObjectName(QStringLiteral("processMenu"));
  AddCommand(process, "&Update Radio\tF2", ID_UPDATE_RADIO);
  AddCommand(process, "&Verify Program\tF3", ID_VERIFY_PROGRAM);
  AddCommand(process, "Update &and Verify", ID_UPDATE_AND_VERIFY);
  AddCommand(process, "&Stop Update", ID_STOP_UPDATE);
  process->addSeparator();
  AddCommand(process, "&Quit\tAlt-X", ID_QUIT);
  connect(process, &QMenu::aboutToShow, this, &MainWindow::UpdateCommandStates);
  QMenu* settings = bar->addMenu(QStringLiteral("&Settings"));
  settings->setObjectName(QStringLiteral("settingsMenu"));
  AddCommand(settings, "&Setup...", ID_SETUP);
  QMenu* help = bar->addMenu(QStringLiteral("&Help"));
  help->setObjectName(QStringLiteral("helpMenu"));
  AddCommand(help, "&About Update\tF1", ID_ABOUT);
}

void MainWindow::BuildKeyTable() {
  // "MainAccelTable": the keys the menu texts name. A command refused now (Verify
  // with error checking off, Update while one runs) is refused by its key too.
  const std::pair<QKeySequence, int> keys[] = {{QKeySequence(Qt::Key_F1), ID_ABOUT},
                                               {QKeySequence(Qt::Key_F2), ID_UPDATE_RADIO},
                                               {QKeySequence(Qt::Key_F3), ID_VERIFY_PROGRAM},
                                               {QKeySequence(Qt::ALT | Qt::Key_X), ID_QUIT}};
  for (const auto& [key, id] : keys) {
    auto* shortcut = new QShortcut(key, this);
    shortcut->setObjectName(QStringLiteral("MainAccelTable"));
    shortcut->setProperty("commandId", id);
    connect(shortcut, &QShortcut::activated, this, [this, id = id] { RunCommand(id); });
  }
}

QAction* MainWindow::commandAction(int id) const {
  const auto it = actions_.find(id);
  return it == actions_.end() ? nullptr : it->second;
}

bool MainWindow::IsCommandEnabled(int id) const {
  // Starting an operation over a running one would leave the radio half written.
  const bool idle = !engine_->operationRunning();
  switch (id) {
    case ID_UPDATE_RADIO:
    case ID_TESTING_MODE:
      return idle;
    case ID_VERIFY_PROGRAM:
    case ID_UPDATE_AND_VERIFY:
      return idle && ignoreErrors_ == 0;
    case ID_STOP_UPDATE:
      return !idle;
    case ID_ABOUT:
    case ID_TOGGLE_ERROR_CHECK:
    case ID_QUIT:
    case ID_SETUP:
      return true;
    default:
      return false;
  }
}

void MainWindow::UpdateCommandStates() {
  for (auto& [id, action] : actions_) action->setEnabled(IsCommandEnabled(id));
}

bool MainWindow::RunCommand(int id) {
  if (!IsCommandEnabled(id)) return false;
  switch (id) {
    case ID_ABOUT:
      RunAbout();
      break;
    case ID_UPDATE_RADIO:
      StartOperation(OperationMode::Program);
      break;
    case ID_VERIFY_PROGRAM:
      StartOperation(OperationMode::Verify);
      break;
    case ID_UPDATE_AND_VERIFY:
      StartOperation(OperationMode::ProgramThenVerify);
      break;
    case ID_TESTING_MODE:
      StartOperation(OperationMode::Test);
      break;
    case ID_STOP_UPDATE:
      StopUpdate();
      break;
    case ID_TOGGLE_ERROR_CHECK:
      Drive([this] {
        ignoreErrors_ = ToggledErrorSwitch(ignoreErrors_);
        errorSwitchFromArgument_ = false;
      });
      break;
    case ID_QUIT:
      close();
      break;
    case ID_SETUP:
      RunSetup();
      break;
    default:
      return false;
  }
  return true;
}

bool MainWindow::RadioAddressResolves() {
  // Otherwise the UDP link would send into nowhere and only the silence timers,
  // most of a minute later, would tell.
  if (!objects_.linkSettings.ethernetActive) return true;
  const std::string message = UnresolvableAddressMessage(objects_.linkSettings.radioAddress);
  if (message.empty()) return true;
  ShowMessage(message, "");
  return false;
}

void MainWindow::StartOperation(OperationMode mode) {
  if (!RadioAddressResolves()) return;
  // A model shown now would be the previous run's, perhaps of another radio.
  statusBar_->SetPaneText(1, QString());
  statusBar_->ResetProgress();
  operationClock_.start();
  Drive([this, mode] { engine_->Run(mode, Options()); });
}

bool MainWindow::ConfirmStopOfRunningUpdate(const char* questionText) {
  QMessageBox question(QMessageBox::Question, QString::fromLatin1(kProgramName),
                       QString::fromLatin1(questionText), QMessageBox::Yes | QMessageBox::No,
                       this);
  question.setObjectName(QStringLiteral("quitQuestion"));
  question.setDefaultButton(QMessageBox::No);
  openQuestion_ = &question;
  const int answer = question.exec();
  openQuestion_ = nullptr;
  return answer == QMessageBox::Yes && engine_->operationRunning();
}

void MainWindow::CloseOpenQuestion() {
  if (openQuestion_) openQuestion_->done(QMessageBox::No);
}

void MainWindow::StopUpdate() {
  if (!ConfirmStopOfRunningUpdate(kStopWhileRunning)) return;
  Drive([this] { engine_->StopOperation(kStoppedByUser); });
}

template <typename Call>
void MainWindow::Drive(Call call) {
  call();
  UpdateCommandStates();
}

OperationOptions MainWindow::Options() const {
  OperationOptions options;
  options.ignoreErrors = ignoreErrors_;
  options.errorSwitchFromArgument = errorSwitchFromArgument_;
  return options;
}

void MainWindow::UdpSocketChanged(bool open) {
  if (udpWatch_) {
    udpWatch_->setEnabled(false);
    udpWatch_->deleteLater();
    udpWatch_ = nullptr;
  }
  if (!open || !objects_.radioSocket.HasSocket()) return;
  udpWatch_ = new QSocketNotifier(objects_.radioSocket.fd(), QSocketNotifier::Read, this);
  connect(udpWatch_, &QSocketNotifier::activated, this,
          [this] { Drive([this] { engine_->OnUdpReadable(); }); });
}

void MainWindow::WatchSerialInput(int fd) {
  if (serialWatch_) {
    serialWatch_->setEnabled(false);
    serialWatch_->deleteLater();
    serialWatch_ = nullptr;
  }
  if (fd < 0) return;
  // The window's own event loop waits for the port, as the headless tool's loop
  // does: an answer costs one thread wake-up.
  serialWatch_ = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  connect(serialWatch_, &QSocketNotifier::activated, this, &MainWindow::OnSerialInput);
}

void MainWindow::OnSerialInput() {
  const SerialPort::Input input = objects_.serialPort.ServiceInput();
  // A device that is gone would wake the loop for ever; the operation ends at once.
  if (input.deviceGone && serialWatch_) {
    serialWatch_->setEnabled(false);
    Drive([this] { engine_->OnSerialPortGone(); });
  }
  if (input.events != 0) Drive([&] { engine_->OnSerialEvent(input.events, input.errors); });
}

void MainWindow::OnTimerExpired(int id) {
  Drive([this, id] { engine_->OnTimer(id); });
}

void MainWindow::closeEvent(QCloseEvent* e) {
  if (!closingWithoutQuestion_ && engine_->operationRunning() &&
      !ConfirmStopOfRunningUpdate(kQuitWhileRunning)) {
    e->ignore();
    return;
  }
  // The confirmed quit stops the operation as Stop does, so its port, file and
  // trace are closed in order and the trace says why it ends there.
  if (engine_->operationRunning()) {
    Drive([this] {
      engine_->StopOperation(closingWithoutQuestion_ ? "stopped as the program was told to end"
                                                     : kStoppedByUser);
    });
  }
  if (objects_.commsTrace.IsOpen()) objects_.commsTrace.Close();
  e->accept();
  emit closed();
}

void MainWindow::CloseWithoutAsking() {
  closingWithoutQuestion_ = true;
  close();
}

bool MainWindow::splashShown() const { return clientArea_->splashShown(); }

void MainWindow::RunAbout() {
  AboutDialog about(QString::fromLatin1(buildStamp), QString::fromStdString(objects_.versionText),
                    this);
  about.exec();
}

void MainWindow::RunSetup() {
  LinkSettings& settings = objects_.linkSettings;
  SetupValues values;
  values.portName = settings.comPort;
  values.useSerial = settings.serialActive ? 1 : 0;
  values.useEthernet = settings.ethernetActive ? 1 : 0;
  values.udpPort = static_cast<std::uint32_t>(settings.radioPort);
  values.passcode = static_cast<std::uint32_t>(settings.radioPasscode);
  values.ipAddress = settings.radioAddress;
  // The engine ignores the radio's answers only for exactly 1.
  values.stopOnErrors = ignoreErrors_ != 1 ? 1 : 0;

  SetupDialog setup(values, ListSerialDevices(), this);
  const int result = setup.exec();
  values = setup.values();

  const std::int32_t switchBefore = ignoreErrors_;
  if (result == QDialog::Accepted) ignoreErrors_ = values.stopOnErrors != 0 ? 0 : 1;
  // OK takes the values shown, defaults that replaced refused ones included.
  if (result == QDialog::Accepted) settingsLoad_.replaced.clear();
  // Once the user has changed it, the switch is the user's choice, no longer the argument's.
  if (ignoreErrors_ != switchBefore) errorSwitchFromArgument_ = false;
  // Also after Cancel: an interface click and values read by a refused OK are kept.
  settings.comPort = values.portName;
  settings.radioPasscode = static_cast<std::int32_t>(values.passcode);
  settings.radioAddress = values.ipAddress;
  settings.radioPort = static_cast<std::int32_t>(values.udpPort);
  settings.serialActive = values.useSerial != 0;
  settings.ethernetActive = values.useEthernet != 0;
  UpdateCommandStates();
}

// EngineHost

void MainWindow::BeginOutput() {
  clientArea_->HideSplash();
  objects_.outputText.clear();
  ShowOutputText();
  outputPane_->show();
}

void MainWindow::AppendOutput(std::string_view text) {
  objects_.outputText.append(text);
  ShowOutputText();
}

void MainWindow::ShowOutputText() {
  const std::string& all = objects_.outputText;
  // The pane follows the newest line, unless the user has scrolled up to read.
  QScrollBar* rows = outputPane_->verticalScrollBar();
  const bool following = rows->value() >= rows->maximum();
  if (outputShown_ > all.size()) {
    outputPane_->setPlainText(PaneText(all));
  } else if (outputShown_ < all.size()) {
    QTextCursor end(outputPane_->document());
    end.movePosition(QTextCursor::End);
    end.insertText(PaneText(std::string_view(all).substr(outputShown_)));
  }
  outputShown_ = all.size();
  if (following) rows->setValue(rows->maximum());
}

void MainWindow::SetStatusText(int pane, std::string_view text) {
  objects_.statusText = std::string(text);
  objects_.statusPane = static_cast<std::int8_t>(pane);
  statusBar_->SetPaneText(objects_.statusPane, FromEngine(objects_.statusText));
}

std::optional<std::string> MainWindow::ChooseRufFile() {
  QFileDialog chooser(this, QStringLiteral("Select Firmware Update File"));
  chooser.setObjectName(QStringLiteral("rufFileDialog"));
  chooser.setAcceptMode(QFileDialog::AcceptOpen);
  chooser.setFileMode(QFileDialog::ExistingFile);
  chooser.setNameFilters({QStringLiteral("Firmware Files(*.ruf)"), QStringLiteral("All Files(*.*)")});
  chooser.setDefaultSuffix(QStringLiteral("ruf"));
  if (chooser.exec() != QDialog::Accepted) return std::nullopt;
  const QStringList chosen = chooser.selectedFiles();
  if (chosen.isEmpty()) return std::nullopt;
  std::string path = QFile::encodeName(chosen.front()).toStdString();
  // Reading a FIFO or a device would block the window for ever; one that is
  // missing or unreadable the engine reports itself.
  if (const auto kind = KindOfFile(path); kind && *kind != FileKind::Regular) {
    ShowMessage(path + " is not a regular file.", "");
    return std::nullopt;
  }
  return path;
}

void MainWindow::ShowMessage(std::string_view text, std::string_view caption) {
  const QString title = caption.empty() ? QString::fromLatin1(kProgramName) : FromEngine(caption);
  QMessageBox box(QMessageBox::NoIcon, title, DialogText(text), QMessageBox::Ok, this);
  box.setObjectName(QStringLiteral("messageBox"));
  box.exec();
}

void MainWindow::ShowDialog(DialogId id) {
  CloseOpenQuestion();
  UpdateCommandStates();
  // The file went whole: the bar and the title say so while the result is read.
  if (id == DialogId::ProgramSuccess || id == DialogId::VerifySuccess ||
      id == DialogId::ProcessingComplete) {
    statusBar_->ShowComplete();
    ShowPercentInTitle(100);
  }
  ResultDialog dialog(id, this);
  dialog.exec();
}

int MainWindow::ChoosePersonality() {
  PersonalityDialog dialog(this);
  dialog.exec();
  return dialog.selection();
}

void MainWindow::Beep() { QApplication::beep(); }

void MainWindow::StartTimer(int id, std::chrono::milliseconds period) {
  QTimer*& timer = timers_[id];
  if (!timer) {
    timer = new QTimer(this);
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, [this, id] { OnTimerExpired(id); });
  }
  // Starting a running timer again begins a new period, as the window timers do.
  timer->start(static_cast<int>(period.count()));
}

void MainWindow::StopTimer(int id) {
  const auto it = timers_.find(id);
  if (it != timers_.end()) it->second->stop();
}

void MainWindow::ReportProgress(int done, int total) {
  statusBar_->ShowProgress(done, total, operationClock_.isValid() ? operationClock_.elapsed() : 0);
  if (total > 0) ShowPercentInTitle(100LL * std::clamp(done, 0, total) / total);
}

void MainWindow::ShowPercentInTitle(long long percent) {
  setWindowTitle(QStringLiteral("%1% - ").arg(percent) + QString::fromLatin1(kWindowTitle));
}

void MainWindow::SilentResend(int fileLine, int resend, int most) {
  const QString count = QStringLiteral("sending again (%1 of %2)").arg(resend).arg(most);
  statusBar_->ShowSilence(fileLine > 0 ? QStringLiteral("Line %1: no answer, ").arg(fileLine) + count
                                       : QStringLiteral("No answer, ") + count);
}

void MainWindow::AnswerReceived() { statusBar_->EndSilence(); }

void MainWindow::OperationEnded(OperationOutcome outcome) {
  lastOutcome_ = outcome;
  CloseOpenQuestion();
  setWindowTitle(QString::fromLatin1(kWindowTitle));
  switch (outcome) {
    case OperationOutcome::ProgramSucceeded:
    case OperationOutcome::VerifySucceeded:
    case OperationOutcome::EndedWithoutDialog:
      statusBar_->EndProgress(QStringLiteral("Done"), StatusPanes::End::Complete);
      break;
    case OperationOutcome::CompletedUnchecked:
      statusBar_->EndProgress(QStringLiteral("Ended without error checking"),
                              StatusPanes::End::Complete);
      break;
    case OperationOutcome::Stopped:
    case OperationOutcome::PersonalityCancelled:
      statusBar_->EndProgress(QStringLiteral("Stopped"), StatusPanes::End::Stopped);
      break;
    default:
      statusBar_->EndProgress(QStringLiteral("Failed"), StatusPanes::End::Failed);
      break;
  }
  if (outcome == OperationOutcome::ProgramSucceeded && engine_->operationRunning()) {
    // The Verify of the same file follows: its progress counts from its own start.
    statusBar_->ResetProgress();
    statusBar_->EndProgress(QStringLiteral("Programmed; the Verify follows"),
                            StatusPanes::End::Complete);
    operationClock_.restart();
  }
  UpdateCommandStates();
  emit operationEnded();
}

std::int64_t MainWindow::CalendarSeconds() { return objects_.clock.CalendarSeconds(); }

UtcTimeOfDay MainWindow::UtcNow() { return objects_.clock.UtcNow(); }

}  // namespace flash
