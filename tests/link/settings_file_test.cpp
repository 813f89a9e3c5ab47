#include "link/settings_file.h"

#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>

#include "link/profile_text.h"
#include "tests/support/temp_dir.h"

namespace flash {
namespace {

class SettingsFile : public ::testing::Test {
 protected:
  LinkSettings Load(const std::string& content) {
    directory_.Write("update.ini", content);
    return LoadExisting();
  }
  LinkSettings LoadExisting() {
    LinkSettings settings;
    settings.comPort = "stale";
    settings.radioPort = -99;
    LoadSettings(settings, ignoreErrors_, path_);
    return settings;
  }

  test::TempDir directory_;
  std::string path_ = directory_.File("update.ini");
  std::int32_t ignoreErrors_ = -99;
};

TEST_F(SettingsFile, GivesTheDefaultsWithoutAFile) {
  const LinkSettings settings = LoadExisting();
  EXPECT_EQ(settings.comPort, "COM1");
  EXPECT_EQ(settings.radioAddress, "192.168.1.123");
  EXPECT_EQ(settings.radioPort, 49152);
  EXPECT_EQ(settings.radioPasscode, kDefaultPasscode);
  EXPECT_TRUE(settings.serialActive);
  EXPECT_FALSE(settings.ethernetActive);
  EXPECT_EQ(ignoreErrors_, 1);
}

TEST_F(SettingsFile, WritesAllSevenKeysWhenSavingTheDefaults) {
  const LinkSettings settings = LoadExisting();
  ASSERT_TRUE(SaveSettings(settings, ignoreErrors_, path_));
  EXPECT_EQ(test::TempDir::Read(path_),
            "[SERIAL INTERFACE]\n"
            "COMPORT=COM1\n"
            "STOP ON ERRORS=1\n"
            "\n"
            "[ETHERNET INTERFACE]\n"
            "IP ADDRESS=192.168.1.123\n"
            "UDP PORT=49152\n"
            "PASSCODE=" + std::to_string(kDefaultPasscode) + "\n"
            "\n"
            "[ACTIVE INTERFACE]\n"
            "ETHERNET=0\n"
            "SERIAL=1\n");
}

TEST_F(SettingsFile, ReadsEveryKeyWhateverTheCaseOfNames) {
  const LinkSettings settings = Load(
      "[serial interface]\ncomport = /dev/ttyUSB0\nStop On Errors=0\n"
      "[Ethernet Interface]\nip address=127.0.0.2\nudp port= 50000 \npasscode=-12\n"
      "[active INTERFACE]\nethernet=1\nserial=0\n");
  EXPECT_EQ(settings.comPort, "/dev/ttyUSB0");
  EXPECT_EQ(ignoreErrors_, 0);
  EXPECT_EQ(settings.radioAddress, "127.0.0.2");
  EXPECT_EQ(settings.radioPort, 50000);
  EXPECT_EQ(settings.radioPasscode, -12);
  EXPECT_TRUE(settings.ethernetActive);
  EXPECT_FALSE(settings.serialActive);
}

TEST_F(SettingsFile, KeepsExactlyOneInterfaceActiveAndSavesItsFlagsAsOneAndZero) {
  // ETHERNET, SERIAL as written -> the interface in use
  for (const auto& [ethernet, serial, udp] :
       {std::tuple{"0", "0", false}, std::tuple{"1", "1", false}, std::tuple{"5", "0", true}}) {
    const LinkSettings settings = Load(std::string("[ACTIVE INTERFACE]\nETHERNET=") + ethernet +
                                       "\nSERIAL=" + serial + "\n");
    EXPECT_EQ(settings.ethernetActive, udp) << ethernet << serial;
    EXPECT_EQ(settings.serialActive, !udp) << ethernet << serial;
    ASSERT_TRUE(SaveSettings(settings, ignoreErrors_, path_));
    const ProfileText saved(test::TempDir::Read(path_));
    EXPECT_EQ(saved.Get("ACTIVE INTERFACE", "ETHERNET"), udp ? "1" : "0");
    EXPECT_EQ(saved.Get("ACTIVE INTERFACE", "SERIAL"), udp ? "0" : "1");
  }
}

TEST_F(SettingsFile, ReadsValuesWholeUpToTheLimitAndNumbersAsAtoiDoes) {
  const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  LinkSettings settings = Load("[ETHERNET INTERFACE]\nUDP PORT=49152abc\nPASSCODE=+42x7\n"
                               "IP ADDRESS=" + std::string(5000, 'a') + "\n[SERIAL INTERFACE]\nCOMPORT=" +
                               byId + "\n");
  EXPECT_EQ(settings.radioPort, 49152);
  EXPECT_EQ(settings.radioPasscode, 42);
  EXPECT_EQ(settings.radioAddress, std::string(kSettingsValueLimit, 'a'));
  EXPECT_EQ(settings.comPort, byId);
  settings = Load("[ETHERNET INTERFACE]\nUDP PORT=" + std::string(kSettingsValueLimit - 2, '0') +
                  "1234\nPASSCODE=abc\n");
  EXPECT_EQ(settings.radioPort, 12);
  EXPECT_EQ(settings.radioPasscode, 0);

  for (const auto& [text, value] :
       {std::pair{"70000", 70000}, std::pair{"", 0}, std::pair{" \t-17 5", -17}, std::pair{"- 5", 0},
        std::pair{"-2147483648", -2147483647 - 1},
        std::pair{"99999999999999999999999999999999999999", 2147483647},  // saturates
        std::pair{"-99999999999999999999999999999999999999", -2147483647 - 1}}) {
    EXPECT_EQ(ReadDecimal(text), value) << text;
  }
}

TEST_F(SettingsFile, KeepsOtherSectionsKeysAndCommentsWhenSaving) {
  directory_.Write("update.ini",
                   "; written by hand\r\n"
                   "[OTHER]\r\n"
                   "keep=me\r\n"
                   "\r\n"
                   "[Serial Interface]\r\n"
                   "ComPort=COM2\r\n"
                   "Extra = 5 ; stays\r\n");
  LinkSettings settings = LoadExisting();
  settings.comPort = "/dev/ttyUSB1";
  ASSERT_TRUE(SaveSettings(settings, 0, path_));
  EXPECT_EQ(test::TempDir::Read(path_),
            "; written by hand\r\n"
            "[OTHER]\r\n"
            "keep=me\r\n"
            "\r\n"
            "[Serial Interface]\r\n"
            "ComPort=/dev/ttyUSB1\r\n"
            "Extra = 5 ; stays\r\n"
            "STOP ON ERRORS=0\r\n"
            "\r\n"
            "[ETHERNET INTERFACE]\r\n"
            "IP ADDRESS=192.168.1.123\r\n"
            "UDP PORT=49152\r\n"
            "PASSCODE=" + std::to_string(kDefaultPasscode) + "\r\n"
            "\r\n"
            "[ACTIVE INTERFACE]\r\n"
            "ETHERNET=0\r\n"
            "SERIAL=1\r\n");
}

TEST_F(SettingsFile, AValueWithALineBreakCannotPlantAKey) {
  LinkSettings settings;
  settings.radioAddress = "10.0.0.1\r\n[ACTIVE INTERFACE]\nETHERNET=1";
  ASSERT_TRUE(SaveSettings(settings, 1, path_));
  const LinkSettings loaded = LoadExisting();
  EXPECT_TRUE(loaded.serialActive);
  EXPECT_FALSE(loaded.ethernetActive);
  EXPECT_EQ(loaded.radioAddress, "10.0.0.1[ACTIVE INTERFACE]ETHERNET=1");
  EXPECT_EQ(ProfileText(test::TempDir::Read(path_)).Get("ACTIVE INTERFACE", "ETHERNET"), "0");
}

TEST_F(SettingsFile, ReplacingTheFileKeepsItsModeAndTheLinkThatNamesIt) {
  const std::string target = directory_.File("real.ini");
  directory_.Write("real.ini", "[OTHER]\nx=1\n");
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  ASSERT_EQ(::symlink(target.c_str(), path_.c_str()), 0);
  ASSERT_TRUE(SaveSettings(LinkSettings{}, 1, path_));
  EXPECT_TRUE(std::filesystem::is_symlink(path_));
  const ProfileText saved(test::TempDir::Read(target));
  EXPECT_EQ(saved.Get("OTHER", "x"), "1");
  EXPECT_EQ(saved.Get("SERIAL INTERFACE", "COMPORT"), "COM1");
  struct stat info {};
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
}

// Saves as the user "nobody" in a child process; only root may become another user.
bool SaveAsNobody(const LinkSettings& settings, const std::string& path, const passwd& nobody) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(nobody.pw_gid) != 0 || ::setuid(nobody.pw_uid) != 0) ::_exit(2);
    ::_exit(SaveSettings(settings, 1, path) ? 0 : 1);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::size_t EntriesIn(const std::string& directory) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(directory),
                                                std::filesystem::directory_iterator()));
}

TEST(SettingsSave, KeepsTheFilesOwnerGroupAndModeOrLeavesTheFileAsItWas) {
  struct Case {
    const char* what;
    bool byNobody;      // saved by another user than the file's owner
    bool fileOfNobody;  // root saves another user's file, as under sudo
    mode_t fileMode;
    mode_t directoryMode;
    bool saved;
  };
  const Case cases[] = {
      {"root saves a user's file", false, true, 0640, 0755, true},
      {"another user who may write the file", true, false, 0666, 0777, true},
      {"a folder that takes no new file", false, false, 0640, 0555, true},
      {"another user, a folder that takes no new file", true, false, 0666, 0555, true},
      {"another user who may write neither", true, false, 0644, 0555, false},
      {"a read-only file, also for root", false, false, 0444, 0777, false},
  };
  const passwd* nobody = ::geteuid() == 0 ? ::getpwnam("nobody") : nullptr;
  int skipped = 0;
  for (const Case& c : cases) {
    if ((c.byNobody || c.fileOfNobody) && nobody == nullptr) {
      ++skipped;
      continue;
    }
    test::TempDir directory;
    const std::string old = "[SERIAL INTERFACE]\nCOMPORT=COM4\n; mine\n";
    const std::string path = directory.Write("update.ini", old);
    ASSERT_EQ(::chmod(path.c_str(), c.fileMode), 0);
    if (c.fileOfNobody) {
      ASSERT_EQ(::chown(path.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    }
    ASSERT_EQ(::chmod(directory.path().c_str(), c.directoryMode), 0);
    const auto owner = [&path] {
      struct stat info {};
      ::stat(path.c_str(), &info);
      return std::tuple{info.st_uid, info.st_gid, info.st_mode};
    };
    const auto before = owner();

    LinkSettings settings;
    settings.comPort = "COM9";
    const bool saved =
        c.byNobody ? SaveAsNobody(settings, path, *nobody) : bool(SaveSettings(settings, 1, path));
    EXPECT_EQ(saved, c.saved) << c.what;
    EXPECT_EQ(owner(), before) << c.what << ": owner, group and mode";
    const std::string now = test::TempDir::Read(path);
    if (c.saved) {
      EXPECT_EQ(ProfileText(now).Get("SERIAL INTERFACE", "COMPORT"), "COM9") << c.what;
      EXPECT_NE(now.find("; mine"), std::string::npos) << c.what;
    } else {
      EXPECT_EQ(now, old) << c.what;
    }
    EXPECT_EQ(EntriesIn(directory.path()), 1u) << c.what << ": no temporary is left";
  }
  if (skipped > 0) GTEST_SKIP() << skipped << " cases need root, to save as another user";
}

TEST_F(SettingsFile, ASaveThatRunsOutOfSpaceKeepsTheOldFileAndLeavesNoTemporary) {
  const std::string old = "[OTHER]\n" + std::string(2000, 'x') + "=1\n";
  directory_.Write("update.ini", old);
  // The file-size limit stands in for a full disk: writes past it fail with EFBIG.
  rlimit previous {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit small = previous;
  small.rlim_cur = 1024;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool saved = bool(SaveSettings(LinkSettings{}, 1, path_));
  ::setrlimit(RLIMIT_FSIZE, &previous);
  ::signal(SIGXFSZ, SIG_DFL);

  EXPECT_FALSE(saved);
  EXPECT_EQ(test::TempDir::Read(path_), old);
  EXPECT_EQ(EntriesIn(directory_.path()), 1u);
}

TEST_F(SettingsFile, ADirectoryOrAFifoInTheFilesPlaceGivesTheDefaultsWithoutWaiting) {
  ASSERT_EQ(::mkfifo(path_.c_str(), 0644), 0);
  for (const std::string& path : {directory_.path(), path_}) {
    LinkSettings settings;
    LoadSettings(settings, ignoreErrors_, path);
    EXPECT_EQ(settings.comPort, "COM1") << path;
    EXPECT_FALSE(SaveSettings(settings, 1, path)) << path;
  }
  struct stat info {};
  ASSERT_EQ(::stat(path_.c_str(), &info), 0);
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

class CurrentDirectory : public ::testing::Test {
 protected:
  void TearDown() override { std::filesystem::current_path(saved_); }
  std::filesystem::path saved_ = std::filesystem::current_path();
};

TEST_F(CurrentDirectory, PutsTheSettingsFileInTheCurrentDirectory) {
  test::TempDir directory;
  std::filesystem::current_path(directory.path());
  EXPECT_EQ(SettingsFilePath(), std::filesystem::current_path().string() + "/update.ini");
  std::filesystem::current_path("/");
  EXPECT_EQ(SettingsFilePath(), "/update.ini");
}

}  // namespace
}  // namespace flash
