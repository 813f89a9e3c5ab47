#include "link/directory_watch.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace flash {
namespace {

constexpr std::uint32_t kFolderEvents =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;
// Above a missing folder only its making matters.
constexpr std::uint32_t kAncestorEvents = IN_CREATE | IN_MOVED_TO | IN_ONLYDIR;

bool Hidden(const std::string& name) { return name.empty() || name.front() == '.'; }

}  // namespace

DirectoryWatch::DirectoryWatch(std::string folder) : folder_(std::move(folder)) {
  while (folder_.size() > 1 && folder_.back() == '/') folder_.pop_back();
  fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (fd_ < 0) {
    error_ = std::string("inotify: ") + std::strerror(errno);
    return;
  }
  Attach();
  std::vector<Change> initial;
  if (watchingFolder_) Rescan(initial);
  for (const Change& change : initial) present_.push_back(change.name);
}

DirectoryWatch::~DirectoryWatch() {
  if (fd_ >= 0) close(fd_);
}

void DirectoryWatch::Attach() {
  if (watch_ >= 0) inotify_rm_watch(fd_, watch_);
  watch_ = inotify_add_watch(fd_, folder_.c_str(), kFolderEvents | IN_ONLYDIR);
  watchingFolder_ = watch_ >= 0;
  if (watchingFolder_) return;
  if (errno != ENOENT) {
    error_ = folder_ + ": " + std::strerror(errno);
    return;
  }
  for (std::filesystem::path above = std::filesystem::path(folder_).parent_path();;
       above = above.parent_path()) {
    watch_ = inotify_add_watch(fd_, above.empty() ? "." : above.c_str(), kAncestorEvents);
    if (watch_ >= 0 || above.empty() || above == above.root_path()) break;
  }
  if (watch_ < 0) error_ = folder_ + ": " + std::strerror(errno);
}

void DirectoryWatch::Note(const std::string& name, bool appeared, std::vector<Change>& changes) {
  if (Hidden(name)) return;
  // A name told twice the same way (the rescan after the folder came back) counts once.
  if (appeared ? !known_.insert(name).second : known_.erase(name) == 0) return;
  changes.push_back({name, appeared});
}

void DirectoryWatch::Rescan(std::vector<Change>& changes) {
  std::set<std::string> now;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder_, error), end; !error && it != end;
       it.increment(error)) {
    now.insert(it->path().filename().string());
  }
  const std::set<std::string> before = known_;
  for (const std::string& name : before) {
    if (!now.contains(name)) Note(name, false, changes);
  }
  for (const std::string& name : now) Note(name, true, changes);
}

std::vector<DirectoryWatch::Change> DirectoryWatch::ReadChanges() {
  std::vector<Change> changes;
  if (fd_ < 0) return changes;
  alignas(inotify_event) char buffer[16 * 1024];
  bool reattach = false;
  bool rescan = false;
  for (;;) {
    const ssize_t n = read(fd_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (ssize_t at = 0; at < n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
      if (event->mask & IN_Q_OVERFLOW) rescan = true;
      if (event->wd != watch_) continue;  // a watch given up, telling its last events
      if (!watchingFolder_) {
        reattach = true;  // something was made on the way to the folder: look again
        continue;
      }
      if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
        reattach = true;
        continue;
      }
      const std::string name = event->len > 0 ? event->name : "";
      if (event->mask & (IN_CREATE | IN_MOVED_TO)) Note(name, true, changes);
      if (event->mask & (IN_DELETE | IN_MOVED_FROM)) Note(name, false, changes);
    }
  }
  if (reattach) {
    Attach();
    rescan = true;
  }
  // The folder gone takes its names with it; made again, it may hold some already.
  if (rescan) Rescan(changes);
  return changes;
}

}  // namespace flash
