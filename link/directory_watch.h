#pragma once

#include <set>
#include <string>
#include <vector>

namespace flash {

// The names in one folder as they come and go, told by inotify (no polling): the
// folder where udev links USB serial adapters by maker and serial number
// (/dev/serial/by-id) or any folder a test fills. udev removes that folder with its
// last link and makes it again for the next adapter: while the folder is missing the
// watch waits for it in the nearest folder above that exists.
class DirectoryWatch {
 public:
  struct Change {
    std::string name;  // the entry's name in the folder, without the folder
    bool appeared = false;  // false: it vanished
  };

  explicit DirectoryWatch(std::string folder);
  ~DirectoryWatch();
  DirectoryWatch(const DirectoryWatch&) = delete;
  DirectoryWatch& operator=(const DirectoryWatch&) = delete;

  // Empty when the watch runs; otherwise why not ("inotify: Too many open files").
  const std::string& error() const { return error_; }
  // For poll (POLLIN): readable when ReadChanges has something to tell.
  int fd() const { return fd_; }
  const std::string& folder() const { return folder_; }
  // The names present when the watch began, in name order (none are told as changes).
  const std::vector<std::string>& present() const { return present_; }
  // The changes since the last call, in the order they happened, without waiting.
  // Each name appears before it vanishes; a name that comes back appears again.
  // Hidden names (udev's temporary ".#name" links) are left out.
  std::vector<Change> ReadChanges();

 private:
  // Watches the folder, or while it is missing the nearest folder above it.
  void Attach();
  // Tells the difference between what is known and what the folder holds now.
  void Rescan(std::vector<Change>& changes);
  void Note(const std::string& name, bool appeared, std::vector<Change>& changes);

  std::string folder_;
  std::string error_;
  int fd_ = -1;
  int watch_ = -1;
  bool watchingFolder_ = false;  // false: an ancestor, waiting for the folder to come
  std::set<std::string> known_;
  std::vector<std::string> present_;
};

}  // namespace flash
