// update.ini as its user sees it: what a file gives the program, and what a save leaves.
#include "link/settings_file.h"

#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>

#include "tests/link/in_child.h"
#include "tests/support/temp_dir.h"

namespace flash {
namespace {

using test::TempDir;

// The seven keys as loaded: COMPORT|STOP ON ERRORS|IP ADDRESS|UDP PORT|PASSCODE|ETHERNET|SERIAL.
std::string Loaded(const std::string& path, LinkSettings* out = nullptr) {
  LinkSettings s;
  s.comPort = "stale";
  std::int32_t ignoreErrors = -99;
  LoadSettings(s, ignoreErrors, path);
  if (out != nullptr) *out = s;
  return s.comPort + "|" + std::to_string(ignoreErrors) + "|" + s.radioAddress + "|" +
         std::to_string(s.radioPort) + "|" + std::to_string(s.radioPasscode) + "|" +
         std::to_string(s.ethernetActive) + "|" + std::to_string(s.serialActive);
}

TEST(SettingsFile, GivesEachKeyAsTheFileHoldsItAndTheDefaultsForTheRest) {
  const std::string defaults = "COM1|1|192.168.1.123|49152|7|0|1";
  const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  const std::pair<std::string, std::string> cases[] = {
      {"", defaults},
      {"\xEF\xBB\xBF [ Serial Interface ] \r\n;COMPORT=COM9\n\t ComPort \t=\t COM3 \t\r\n"
       "comport=COM4\nStop On Errors=0\n[ethernet interface]\nip address=127.0.0.2\n"
       "UDP PORT=49152abc\nPASSCODE=+42x7\n[ACTIVE INTERFACE] ; not [SERIAL], ]\nETHERNET=5\nSERIAL=0",
       "COM3|0|127.0.0.2|49152|42|1|0"},
      {"COMPORT=COM5\n[SERIAL INTERFACE]\nSTOP ON ERRORS=-3\n[OTHER]\nCOMPORT=COM6\n"
       "[SERIAL INTERFACE]\nCOMPORT=" + byId + "\n",
       byId + "|-3|192.168.1.123|49152|7|0|1"},
      {"[ETHERNET INTERFACE]\nIP ADDRESS=" + std::string(5000, 'a') + "\nUDP PORT=\nPASSCODE=abc\n",
       "COM1|1|" + std::string(kSettingsValueLimit, 'a') + "|0|0|0|1"},
      {"[ACTIVE INTERFACE]\nETHERNET=0\nSERIAL=0\n", defaults},  // never no interface
      {"[ACTIVE INTERFACE]\nETHERNET=1\nSERIAL=1\n", defaults},  // nor two
  };
  TempDir dir;
  for (const auto& [file, expected] : cases) {
    EXPECT_EQ(Loaded(file.empty() ? dir.File("none.ini") : dir.Write("update.ini", file)), expected)
        << file;
  }
}

TEST(SettingsFile, ASaveChangesOnlyTheSevenKeysLinesInTheFilesOwnLineEndings) {
  const std::pair<std::string, std::string> cases[] = {
      {"",
       "[SERIAL INTERFACE]\nCOMPORT=/dev/ttyUSB1\nSTOP ON ERRORS=0\n\n[ETHERNET INTERFACE]\n"
       "IP ADDRESS=10.0.0.1ETHERNET=0\nUDP PORT=49152\nPASSCODE=7\n\n[ACTIVE INTERFACE]\n"
       "ETHERNET=1\nSERIAL=0\n"},
      {"\xEF\xBB\xBF[Serial Interface] ; by hand\r\nComPort = COM2 \r\n; a comment\r\nExtra = 5 ; stays\r\n"
       "\r\n[OTHER]\r\nkeep=me\r\n[active interface]\r\nserial=1",
       "\xEF\xBB\xBF[Serial Interface] ; by hand\r\nComPort=/dev/ttyUSB1\r\n; a comment\r\n"
       "Extra = 5 ; stays\r\nSTOP ON ERRORS=0\r\n\r\n[OTHER]\r\nkeep=me\r\n[active interface]\r\n"
       "serial=0\r\nETHERNET=1\r\n\r\n[ETHERNET INTERFACE]\r\nIP ADDRESS=10.0.0.1ETHERNET=0\r\n"
       "UDP PORT=49152\r\nPASSCODE=7\r\n"},
  };
  TempDir dir;
  for (const auto& [before, after] : cases) {
    const std::string path = before.empty() ? dir.File("new.ini") : dir.Write("update.ini", before);
    LinkSettings settings;
    settings.comPort = "/dev/ttyUSB1";
    // A line break in a value must not plant a key of its own.
    settings.radioAddress = "10.0.0.1\r\nETHERNET=0";
    settings.ethernetActive = true;
    settings.serialActive = false;
    ASSERT_TRUE(SaveSettings(settings, 0, path)) << before;
    EXPECT_EQ(TempDir::Read(path), after);
    EXPECT_EQ(Loaded(path), "/dev/ttyUSB1|0|10.0.0.1ETHERNET=0|49152|7|1|0");
  }
}

TEST(SettingsFile, KeepsTheFilesOwnerGroupModeAndLinkOrLeavesTheFileAsItWas) {
  // Only root may make a file another user's, or become another user.
  const passwd* nobody = ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr;
  const struct {
    const char* what;
    bool byNobody, fileOfNobody, viaLink, diskFull;
    mode_t fileMode, folderMode;
    bool saved;
  } cases[] = {
      {"root saves a user's file, as under sudo", false, true, false, false, 0640, 0755, true},
      {"through a symbolic link", false, false, true, false, 0604, 0755, true},
      {"another user who may write the file", true, false, false, false, 0666, 0777, true},
      {"another user, a folder that takes no new file", true, false, false, false, 0666, 0555, true},
      {"another user who may write neither", true, false, false, false, 0644, 0555, false},
      {"a read-only file, also for root", false, false, false, false, 0444, 0777, false},
      {"a full disk", false, false, false, true, 0644, 0755, false},
  };
  for (const auto& c : cases) {
    if ((c.byNobody || c.fileOfNobody) && nobody == nullptr) continue;
    TempDir dir;
    const std::string old = "[SERIAL INTERFACE]\nCOMPORT=COM4\n; mine\n" + std::string(2000, ';') + "\n";
    const std::string file = dir.Write(c.viaLink ? "real.ini" : "update.ini", old);
    const std::string path = dir.File("update.ini");
    ASSERT_TRUE(!c.viaLink || ::symlink(file.c_str(), path.c_str()) == 0);
    ASSERT_TRUE(!c.fileOfNobody || ::chown(file.c_str(), nobody->pw_uid, nobody->pw_gid) == 0);
    ASSERT_EQ(::chmod(file.c_str(), c.fileMode), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), c.folderMode), 0);
    const auto owner = [&file] {
      struct stat info {};
      ::stat(file.c_str(), &info);
      return std::tuple{info.st_uid, info.st_gid, info.st_mode};
    };
    const auto before = owner();

    const int status = test::InChild([&] {
      if (c.byNobody && (::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)) return 2;
      // The file-size limit stands in for a full disk: writes past it fail with EFBIG.
      const rlimit small{1024, 1024};
      if (c.diskFull && (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &small) != 0)) return 2;
      LinkSettings settings;
      settings.comPort = "COM9";
      return SaveSettings(settings, 1, path) ? 0 : 1;
    });
    EXPECT_EQ(status, c.saved ? 0 : 1) << c.what;
    EXPECT_EQ(owner(), before) << c.what << ": owner, group and mode";
    EXPECT_EQ(std::filesystem::is_symlink(path), c.viaLink) << c.what;
    const std::string now = TempDir::Read(file);
    EXPECT_EQ(now.find("COMPORT=COM9\n; mine\n") != std::string::npos, c.saved) << c.what;
    EXPECT_TRUE(c.saved || now == old) << c.what;
    const auto entries = std::distance(std::filesystem::directory_iterator(dir.path()), {});
    EXPECT_EQ(entries, c.viaLink ? 2 : 1) << c.what << ": no temporary is left";
  }
}

TEST(SettingsFile, AFolderOrAFifoInTheFilesPlaceGivesTheDefaultsAtOnceAndIsKept) {
  TempDir dir;
  const std::string fifo = dir.File("update.ini");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  for (const std::string& path : {dir.path(), fifo}) {
    LinkSettings settings;
    EXPECT_EQ(Loaded(path, &settings), "COM1|1|192.168.1.123|49152|7|0|1") << path;
    EXPECT_FALSE(SaveSettings(settings, 1, path)) << path;
  }
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
}

}  // namespace
}  // namespace flash
