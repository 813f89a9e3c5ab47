// The watched folder as udev fills it: links made at once or by renaming a hidden
// one, removed, made again, and the folder itself removed with its last link.
#include "link/directory_watch.h"

#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>

#include "tests/support/temp_dir.h"

namespace flash::test {
namespace {

namespace fs = std::filesystem;

// "+name" or "-name" for each change, until `count` came (a generous limit bounds a failure).
std::vector<std::string> Changes(DirectoryWatch& watch, std::size_t count) {
  std::vector<std::string> told;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds{5};
  for (pollfd in{watch.fd(), POLLIN, 0}; told.size() < count;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    if (left.count() <= 0 || poll(&in, 1, static_cast<int>(left.count())) <= 0) break;
    for (const DirectoryWatch::Change& change : watch.ReadChanges()) {
      told.push_back((change.appeared ? "+" : "-") + change.name);
    }
  }
  return told;
}

TEST(DirectoryWatch, TellsLinksAsTheyComeAndGoAlsoAcrossTheFoldersRemovalAndReturn) {
  TempDir dir;
  const fs::path folder = dir.File("by-id");
  fs::create_directory(folder);
  fs::create_symlink("/dev/null", folder / "old");
  DirectoryWatch watch(folder.string());
  ASSERT_EQ(watch.error(), "");
  EXPECT_EQ(watch.present(), std::vector<std::string>{"old"});

  fs::create_symlink("/dev/null", folder / "usb-a");
  fs::create_symlink("/dev/null", folder / ".#usb-b1234");  // as udev makes a link
  fs::rename(folder / ".#usb-b1234", folder / "usb-b");
  fs::remove(folder / "usb-a");
  fs::create_symlink("/dev/null", folder / "usb-a");
  EXPECT_EQ(Changes(watch, 4), (std::vector<std::string>{"+usb-a", "+usb-b", "-usb-a", "+usb-a"}));

  fs::remove_all(folder);
  std::vector<std::string> gone = Changes(watch, 3);
  std::ranges::sort(gone);
  EXPECT_EQ(gone, (std::vector<std::string>{"-old", "-usb-a", "-usb-b"}));
  fs::create_directory(folder);
  fs::create_symlink("/dev/null", folder / "usb-c");
  EXPECT_EQ(Changes(watch, 1), std::vector<std::string>{"+usb-c"});

  DirectoryWatch missing(dir.File("serial/by-id"));
  EXPECT_EQ(missing.error(), "");
  fs::create_directories(dir.File("serial/by-id"));
  fs::create_symlink("/dev/null", dir.File("serial/by-id/usb-d"));
  EXPECT_EQ(Changes(missing, 1), std::vector<std::string>{"+usb-d"});
  EXPECT_NE(DirectoryWatch(dir.File("by-id/usb-c")).error(), "");  // a link is no folder
}

}  // namespace
}  // namespace flash::test
