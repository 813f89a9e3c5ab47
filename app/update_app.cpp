#include "app/update_app.h"

#include <QApplication>
#include <QMessageBox>

#include <utility>

#include "app/command_line_rule.h"
#include "app/main_window.h"
#include "app/process_objects.h"
#include "app/program_texts.h"

namespace flash {

UpdateApp::UpdateApp(ProcessObjects& objects, std::vector<std::string> programArgs)
    : objects_(objects), programArgs_(std::move(programArgs)) {}

UpdateApp::~UpdateApp() { Exit(); }

bool UpdateApp::Start() {
  if (!socketLayer_.Start()) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kProgramName),
                    QString::fromLatin1(kSocketsInitFailed), QMessageBox::Ok);
    box.setObjectName(QStringLiteral("socketsInitFailed"));
    box.exec();
    return false;
  }
  if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
    // The window's close decides when the loop ends, not the last visible window.
    app->setQuitOnLastWindowClosed(false);
  }

  window_ = std::make_unique<MainWindow>(objects_);
  window_->show();
  window_->repaint();

  // After LoadSettings: an argument overrides update.ini for this run.
  if (ArgumentsIgnoreErrors(programArgs_)) {
    window_->IgnoreErrors();
    window_->UpdateCommandStates();
  }
  return true;
}

int UpdateApp::Run() {
  if (!window_) return 1;
  QObject::connect(window_.get(), &MainWindow::closed, QCoreApplication::instance(),
                   [] { QCoreApplication::exit(0); });
  const int code = QCoreApplication::exec();
  Exit();
  return code;
}

void UpdateApp::Exit() {
  window_.reset();
  if (socketLayer_.started()) socketLayer_.Stop();
}

}  // namespace flash
