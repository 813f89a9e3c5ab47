#include <QApplication>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/first_paint_exit.h"
#include "app/main_window.h"
#include "app/process_objects.h"
#include "app/termination_signals.h"

int main(int argc, char** argv) {
  // Taken before QApplication removes the options it understands: any argument
  // at all, even one Qt consumes, switches error checking off.
  std::vector<std::string> originalArgs(argv, argv + argc);
  QApplication qtApp(argc, argv);
  QApplication::setApplicationName(QStringLiteral("flash-update"));

  flash::ProcessObjects objects(std::move(originalArgs));
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
