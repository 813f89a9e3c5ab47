#include "app/serial_device_list.h"

#include <QCollator>
#include <QDir>
#include <QStringList>

#include <algorithm>

namespace flash {
namespace {

QStringList Matching(const QString& folder, const QStringList& patterns) {
  // Listed whatever their permissions: the link explains a device it may not open.
  QDir dir(folder);
  QStringList names =
      dir.entryList(patterns, QDir::System | QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden);
  // ttyUSB2 comes before ttyUSB10.
  QCollator collator;
  collator.setNumericMode(true);
  std::sort(names.begin(), names.end(),
            [&](const QString& a, const QString& b) { return collator.compare(a, b) < 0; });
  QStringList paths;
  for (const QString& name : names) paths << dir.filePath(name);
  return paths;
}

}  // namespace

std::vector<std::string> ListSerialDevices(const std::string& devRoot) {
  const QString root = QString::fromStdString(devRoot);
  QStringList paths = Matching(root, {QStringLiteral("ttyUSB*")});
  paths << Matching(root, {QStringLiteral("ttyACM*")});
  paths << Matching(root + QStringLiteral("/serial/by-id"), {QStringLiteral("*")});
  std::vector<std::string> out;
  out.reserve(static_cast<std::size_t>(paths.size()));
  for (const QString& path : paths) out.push_back(path.toStdString());
  return out;
}

}  // namespace flash
