#include "app/serial_device_list.h"

#include <QDir>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>

namespace flash {
namespace {

// Compares runs of digits by their value, so that ttyUSB2 comes before ttyUSB10.
bool NaturalLess(const QString& a, const QString& b) {
  qsizetype i = 0;
  qsizetype j = 0;
  while (i < a.size() && j < b.size()) {
    if (a[i].isDigit() && b[j].isDigit()) {
      qsizetype iEnd = i;
      qsizetype jEnd = j;
      while (iEnd < a.size() && a[iEnd].isDigit()) ++iEnd;
      while (jEnd < b.size() && b[jEnd].isDigit()) ++jEnd;
      const QString da = a.mid(i, iEnd - i).remove(QRegularExpression(QStringLiteral("^0+(?=.)")));
      const QString db = b.mid(j, jEnd - j).remove(QRegularExpression(QStringLiteral("^0+(?=.)")));
      if (da.size() != db.size()) return da.size() < db.size();
      if (da != db) return da < db;
      i = iEnd;
      j = jEnd;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

QStringList Matching(const QString& folder, const QStringList& patterns) {
  // Listed whatever their permissions: the link explains a device it may not open.
  QDir dir(folder);
  QStringList names =
      dir.entryList(patterns, QDir::System | QDir::Files | QDir::NoDotAndDotDot | QDir::Hidden);
  std::sort(names.begin(), names.end(), NaturalLess);
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
