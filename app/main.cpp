#include <QApplication>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/command_line_rule.h"
#include "app/first_paint_exit.h"
#include "app/main_window.h"
#include "app/process_objects.h"
#include "app/termination_signals.h"

int main(int argc, char** argv) {
  // Before Qt starts: printing these needs no display and leaves update.ini alone.
  switch (flash::RequestedInformation({argv, argv + argc})) {
    case flash::InformationRequest::Usage:
      std::fputs(flash::UsageText().c_str(), stdout);
      return 0;
    case flash::InformationRequest::Version:
      std::printf("%s\n", flash::VersionLine().c_str());
      return 0;
    case flash::InformationRequest::None:
      break;
  }
  QApplication qtApp(argc, argv);
  QApplication::setApplicationName(QStringLiteral("flash-update"));
  // QApplication has taken the options that are its own out of argv; what is left
  // is the program's command line, whose every argument switches error checking off.
  std::vector<std::string> programArgs(argv, argv + argc);

  flash::ProcessObjects objects(std::move(programArgs));
  std::unique_ptr<flash::FirstPaintExit> firstPaintExit;
  if (flash::FirstPaintExit::Requested()) {
    firstPaintExit = std::make_unique<flash::FirstPaintExit>([&objects] {
      if (auto* window = objects.updateApp.mainWindow()) window->CloseWithoutAsking();
    });
  }
  if (!objects.updateApp.Start()) return 1;
  flash::TerminationSignals terminationSignals;
  QObject::connect(&terminationSignals, &flash::TerminationSignals::terminationRequested, [&objects] {
    if (auto* window = objects.updateApp.mainWindow()) window->CloseWithoutAsking();
  });
  return objects.updateApp.Run();
}
