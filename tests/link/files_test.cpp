// update.ini and comms.txt, the two files the program writes, and the rules for
// every file the tools write or read: what they hold, and that they keep their
// owner, mode and place whatever stands in their way.
#include <pty.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>

#include "link/comms_trace.h"
#include "link/output_file.h"
#include "link/settings_file.h"
#include "tests/support/fake_host.h"
#include "tests/support/temp_dir.h"

namespace flash::test {
namespace {

// Runs body in a forked child, where it may change its user or its limits without
// touching the test, and answers the child's exit status (-1 for a signal).
int InChild(auto body) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(body());
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// In a child: the file-size limit stands in for a full disk; writes past it fail with EFBIG.
bool DiskFullPast1KiB() {
  const rlimit small{1024, 1024};
  return ::signal(SIGXFSZ, SIG_IGN) != SIG_ERR && ::setrlimit(RLIMIT_FSIZE, &small) == 0;
}

// The seven keys as loaded: COMPORT|STOP ON ERRORS|IP ADDRESS|UDP PORT|PASSCODE|ETHERNET|SERIAL,
// then each problem the load told after " ! ".
std::string Loaded(const std::string& path) {
  LinkSettings s;
  s.comPort = "stale";
  std::int32_t ignoreErrors = -99;
  const SettingsLoad load = LoadSettings(s, ignoreErrors, path);
  std::string told;
  for (const std::string& problem : load.problems) told += " ! " + problem;
  return s.comPort + "|" + std::to_string(ignoreErrors) + "|" + s.radioAddress + "|" +
         std::to_string(s.radioPort) + "|" + std::to_string(s.radioPasscode) + "|" +
         std::to_string(s.ethernetActive) + "|" + std::to_string(s.serialActive) + told;
}

TEST(SettingsFile, GivesEachKeyAsTheFileHoldsItAndTheDefaultsForTheRest) {
  // Without "STOP ON ERRORS" the radio's answers are checked (0); 1 keeps switching that off.
  const std::string defaults = "COM1|0|192.168.1.123|49152|7|0|1";
  const std::string byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  const std::pair<std::string, std::string> cases[] = {
      {"", defaults},
      {"\xEF\xBB\xBF [ Serial Interface ] \r\n;COMPORT=COM9\n\t ComPort \t=\t COM3 \t\r\n"
       "comport=COM4\nStop On Errors=0\n[ethernet interface]\nip address=127.0.0.2\n"
       "UDP PORT=49152abc\nPASSCODE=+42x7\n[ACTIVE INTERFACE] ; not [SERIAL], ]\nETHERNET=5\n"
       "SERIAL=0",
       "COM3|0|127.0.0.2|49152|42|1|0"},
      {"COMPORT=COM5\n[SERIAL INTERFACE]\nSTOP ON ERRORS=-3\n[OTHER]\nCOMPORT=COM6\n"
       "[SERIAL INTERFACE]\nCOMPORT=" + byId + "\n[ETHERNET INTERFACE]\nUDP PORT=65535\n",
       byId + "|-3|192.168.1.123|65535|7|0|1"},
      {"[ETHERNET INTERFACE]\nIP ADDRESS=" + std::string(5000, 'a') + "\nUDP PORT=\nPASSCODE=abc\n",
       "COM1|0|" + std::string(kSettingsValueLimit, 'a') + "|49152|7|0|1 ! update.ini: \"UDP PORT\" "
       "is empty, not a port from 0 to 65535; 49152 is used. ! update.ini: \"PASSCODE\" is abc, "
       "not a passcode from 0 to 65535; 7 is used."},
      // A value no link can use gives the default, told by key and value.
      {"[SERIAL INTERFACE]\nCOMPORT= \n[ETHERNET INTERFACE]\nUDP PORT=70000\nPASSCODE=-5\n",
       defaults + " ! update.ini: \"COMPORT\" is empty, not a serial port; COM1 is used."
                  " ! update.ini: \"UDP PORT\" is 70000, not a port from 0 to 65535; 49152 is used."
                  " ! update.ini: \"PASSCODE\" is -5, not a passcode from 0 to 65535; 7 is used."},
      {"[SERIAL INTERFACE]\nCOMPORT=" + std::string(5000, 'c') +
           "\n[ETHERNET INTERFACE]\nUDP PORT=99999999999\nPASSCODE=65536\n",
       defaults + " ! update.ini: \"COMPORT\" is 5000 characters long, longer than any serial "
                  "port's name can be (4095); COM1 is used. ! update.ini: \"UDP PORT\" is "
                  "99999999999, not a port from 0 to 65535; 49152 is used. ! update.ini: "
                  "\"PASSCODE\" is 65536, not a passcode from 0 to 65535; 7 is used."},
      {"[SERIAL INTERFACE]\nSTOP ON ERRORS=1\n", "COM1|1|192.168.1.123|49152|7|0|1"},
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
  TempDir dir;
  const std::string path = dir.Write(
      "update.ini", "\xEF\xBB\xBF[Serial Interface]\r\nComPort = COM2 \r\n; a comment\r\n"
                    "Extra = 5 ; kept\r\n\r\n[OTHER]\r\nkeep=me\r\n[active interface]\r\nserial=1");
  LinkSettings settings;
  settings.comPort = "/dev/ttyUSB1";
  settings.radioAddress = "10.0.0.1\r\nETHERNET=0";  // a line break must not plant a key
  settings.ethernetActive = true;
  settings.serialActive = false;
  ASSERT_TRUE(SaveSettings(settings, 0, path));
  EXPECT_EQ(TempDir::Read(path),
            "\xEF\xBB\xBF[Serial Interface]\r\nComPort=/dev/ttyUSB1\r\n; a comment\r\n"
            "Extra = 5 ; kept\r\nSTOP ON ERRORS=0\r\n\r\n[OTHER]\r\nkeep=me\r\n"
            "[active interface]\r\nserial=0\r\nETHERNET=1\r\n\r\n[ETHERNET INTERFACE]\r\n"
            "IP ADDRESS=10.0.0.1ETHERNET=0\r\nUDP PORT=49152\r\nPASSCODE=7\r\n");
  EXPECT_EQ(Loaded(path), "/dev/ttyUSB1|0|10.0.0.1ETHERNET=0|49152|7|1|0");

  // A value refused at the load keeps the user's text until the setting is changed.
  const std::string typo = dir.Write("typo.ini", "[ETHERNET INTERFACE]\nUDP PORT=70000\nPASSCODE=-5\n");
  std::int32_t ignoreErrors = 0;
  const SettingsLoad load = LoadSettings(settings, ignoreErrors, typo);
  settings.radioPasscode = 12;
  ASSERT_TRUE(SaveSettings(settings, ignoreErrors, typo, load));
  const std::string saved = TempDir::Read(typo);
  EXPECT_NE(saved.find("UDP PORT=70000\nPASSCODE=12\n"), std::string::npos) << saved;
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
      {"another user, a folder that is read-only", true, false, false, false, 0666, 0555, true},
      {"a read-only file, also for root", false, false, false, false, 0444, 0777, false},
      {"a full disk", false, false, false, true, 0644, 0755, false},
  };
  for (const auto& c : cases) {
    if ((c.byNobody || c.fileOfNobody) && nobody == nullptr) continue;
    TempDir dir;
    const std::string old = "[SERIAL INTERFACE]\nCOMPORT=COM4\n; mine\n" + std::string(2000, ';');
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

    const int status = InChild([&] {
      if (c.byNobody && (::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)) return 2;
      if (c.diskFull && !DiskFullPast1KiB()) return 2;
      LinkSettings settings;
      settings.comPort = "COM9";
      return SaveSettings(settings, 1, path) ? 0 : 1;
    });
    EXPECT_EQ(status, c.saved ? 0 : 1) << c.what;
    EXPECT_EQ(owner(), before) << c.what << ": owner, group and mode";
    EXPECT_EQ(std::filesystem::is_symlink(path), c.viaLink) << c.what;
    const std::string now = TempDir::Read(file);
    EXPECT_EQ(now.starts_with("[SERIAL INTERFACE]\nCOMPORT=COM9\n; mine\n"), c.saved) << c.what;
    EXPECT_TRUE(c.saved || now == old) << c.what;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), c.viaLink ? 2 : 1)
        << c.what << ": no temporary is left";
  }
}

// What stands at path, to see that it was left as it was: its kind, and a regular
// file's content or a device's number.
std::string Snapshot(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return "missing";
  std::string kind = std::to_string(info.st_mode & S_IFMT) + ":" + std::to_string(info.st_rdev);
  if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) kind += ":" + TempDir::Read(path);
  return kind;
}

TEST(SettingsFile, AFileTheReadingRuleRefusesGivesTheDefaultsAtOnceAndIsKept) {
  TempDir dir;
  const std::string fifo = dir.File("fifo.ini");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  const std::pair<std::string, std::string> cases[] = {
      {fifo, "it is a pipe or a device, not a regular file"},
      {dir.Write("nul.ini", std::string("[SERIAL INTERFACE]\nCOM\0PORT=COM3\n", 33)),
       "line 2, column 4 holds a NUL byte; save the file as plain text (UTF-8)"},
      {dir.Write("big.ini", "[SERIAL INTERFACE]\nCOMPORT=COM3\n" + std::string(2 << 20, ';')),
       "it is larger than 1 MiB, more than such a file ever holds"},
  };
  for (const auto& [path, why] : cases) {
    const std::string before = Snapshot(path);
    const std::string name = path.substr(path.rfind('/') + 1);
    EXPECT_EQ(Loaded(path), "COM1|0|192.168.1.123|49152|7|0|1 ! " + name + ": " + why +
                                "; the default settings are used.");
    const SettingsSave save = SaveSettings(LinkSettings{}, 1, path);
    EXPECT_FALSE(save.saved) << path;
    EXPECT_EQ(save.reason, why);
    EXPECT_EQ(Snapshot(path), before) << path;
  }
}

// --report and --trace: a name that leads to a file the run reads, through a link
// to another file, to a folder or to a node is left as it was, and the reason said.
TEST(OutputFile, IsWrittenOnlyWhereTheRuleLetsAndOtherwiseLeavesThePlaceAsItWas) {
  using N = OutputNaming;
  TempDir dir;
  const std::string ruf = dir.Write("746-demo.ruf", ":00000001FF\n");
  const std::string ini = dir.Write("update.ini", "[SERIAL INTERFACE]\n");
  const std::vector<InputFile> inputs = {{ruf, "the RUF file of this run"}, {ini, "the settings file"}};
  const std::string other = dir.Write("other.json", "keep me");
  ASSERT_EQ(::link(ruf.c_str(), dir.File("hard.ruf").c_str()), 0);
  ASSERT_EQ(::symlink(ini.c_str(), dir.File("to-ini").c_str()), 0);
  ASSERT_EQ(::symlink(other.c_str(), dir.File("to-other").c_str()), 0);
  ASSERT_EQ(::symlink(dir.File("nothing").c_str(), dir.File("dangling").c_str()), 0);
  ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0644), 0);  // nobody reads it
  std::filesystem::create_directory(dir.File("folder"));
  int master = -1;
  int slave = -1;
  char terminal[64] = {};
  ASSERT_EQ(::openpty(&master, &slave, terminal, nullptr, nullptr), 0);  // a radio's port, say
  const bool root = ::geteuid() == 0;
  // Scratch nodes that behave as /dev/null and /dev/full.
  const bool nodes = root && ::mknod(dir.File("null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0 &&
                     ::mknod(dir.File("full").c_str(), S_IFCHR | 0666, ::makedev(1, 7)) == 0;
  const std::string input = "; writing there would destroy it";
  const std::string notPlain = "it is not a regular file (a symbolic link, a pipe or a device) and is left alone";
  const struct {
    std::string place;
    N naming;
    std::string checked;  // why the check refuses it; "" when it may be written
    std::string written;  // why the write fails; "" when it is written whole
  } cases[] = {
      {"hard.ruf", N::ByUser, "it is the RUF file of this run (" + ruf + ")" + input, "same"},
      {"to-ini", N::ByTool, "it is the settings file (" + ini + ")" + input, "same"},
      {"to-other", N::ByUser, "it is a symbolic link; the file it points to is not replaced", "same"},
      {"dangling", N::ByUser, "it is a symbolic link to nothing; no file is made where it points", "same"},
      {"folder", N::ByUser, "it is a folder", "same"},
      {"pipe", N::ByTool, notPlain, "same"},
      {"pipe", N::ByUser, "", "it is a pipe that nobody reads"},
      {terminal, N::ByUser, "it is a serial port or a terminal other than this one; a radio may be on it", "same"},
      {"null", N::ByTool, notPlain, "same"},
      {"null", N::ByUser, "", ""},
      {"full", N::ByUser, "", "No space left on device"},
      {"none/r.json", N::ByUser, "No such file or directory", "same"},
      {"other.json", N::ByUser, "", ""},
  };
  for (const auto& c : cases) {
    if ((c.place == "null" || c.place == "full") && !nodes) continue;
    const std::string path = c.place.starts_with("/") ? c.place : dir.File(c.place);
    const std::string before = Snapshot(path);
    EXPECT_EQ(CheckOutputFile(path, inputs, c.naming).reason, c.checked) << c.place;
    const OutputProblem problem = WriteOutputFile(path, "[]\n", inputs, c.naming);
    EXPECT_EQ(problem.reason, c.written == "same" ? c.checked : c.written) << c.place;
    EXPECT_EQ(Snapshot(path), problem.ok() && c.place == "other.json" ? "32768:0:[]\n" : before) << c.place;
  }
  ::close(master);
  ::close(slave);
  // A disk that takes part of it: the old report stays whole.
  const int full = InChild([&] {
    if (!DiskFullPast1KiB()) return 2;
    return WriteOutputFile(other, std::string(2000, 'x'), inputs, N::ByUser).reason == "File too large" ? 0 : 1;
  });
  EXPECT_EQ(full, 0);
  EXPECT_EQ(TempDir::Read(other), "[]\n");
}

class TraceFile : public ::testing::Test {
 protected:
  TraceFile() { trace.SetPath(path); }

  TempDir dir;
  std::string path = dir.File("comms.txt");
  FakeHost clock;
  CommsTrace trace{clock};
};

TEST_F(TraceFile, HoldsEachRecordWholeAsSoonAsItIsWritten) {
  const mode_t umaskBefore = ::umask(0);
  clock.nowMs = ((9 * 60 + 30) * 60) * 1000 + 7;  // 09:30:00 and 7 ms
  ASSERT_TRUE(trace.Open());
  ::umask(umaskBefore);
  trace.TraceReceived("52 45 41 44 59 0D \r");
  clock.nowMs = ((14 * 60 + 5) * 60 + 9) * 1000 + 42;
  trace.TraceSent("3f 56 0d ");
  trace.TraceEvent("END OF ACTION", "FailureFlag=0 Total Errors=0");
  trace.Write(" File CheckSum Error ");
  // Read while the trace is still open: nothing waits in a buffer.
  EXPECT_EQ(TempDir::Read(path),
            "Log File Begin\r\n"
            "09:30:00:0007 R> 52 45 41 44 59 0D \r\r\n"
            "14:05:09:0042 R< 3f 56 0d \r\n"
            "14:05:09:0042[[END OF ACTION FailureFlag=0 Total Errors=0]]\r\n"
            " File CheckSum Error ");
  EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms(0644));
}

TEST_F(TraceFile, IsBegunAnewByEachOpeningAndRefusedToASecondTraceWhileOpen) {
  ASSERT_TRUE(trace.Open());
  trace.TraceSent("aa ");
  ASSERT_TRUE(trace.Open());
  trace.TraceSent("bb ");
  // The lock belongs to the open file: a second trace here meets it as another program's would.
  CommsTrace second{clock};
  second.SetPath(path);
  EXPECT_FALSE(second.Open());
  EXPECT_EQ(second.openFailure(), TraceOpenFailure::InUse);
  second.TraceSent("xx ");
  trace.TraceSent("cc ");
  EXPECT_EQ(TempDir::Read(path),
            "Log File Begin\r\n00:00:00:0000 R< bb \r\n00:00:00:0000 R< cc \r\n");
  trace.Close();
  EXPECT_TRUE(second.Open());
  EXPECT_EQ(TempDir::Read(path), "Log File Begin\r\n");
}

TEST_F(TraceFile, LeavesALinkAPipeOrADeviceInItsPlaceAlone) {
  const std::string precious = dir.Write("precious.txt", "keep me");
  ASSERT_EQ(::symlink(precious.c_str(), dir.File("to-file").c_str()), 0);
  ASSERT_EQ(::symlink(dir.File("nothing-yet").c_str(), dir.File("dangling").c_str()), 0);
  // Nobody reads the pipe: opening it for writing would block.
  ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0644), 0);
  for (const std::string& place : {dir.File("to-file"), dir.File("dangling"), dir.File("pipe"),
                                    std::string("/dev/null"), dir.File("missing/comms.txt")}) {
    trace.SetPath(place);
    EXPECT_FALSE(trace.Open()) << place;
    EXPECT_EQ(trace.openFailure(), place.ends_with("/missing/comms.txt")
                                       ? TraceOpenFailure::CannotCreate
                                       : TraceOpenFailure::NotARegularFile) << place;
  }
  EXPECT_EQ(TempDir::Read(precious), "keep me");
  // Nor update.ini of the current directory, by any name.
  const std::string ini = dir.Write("update.ini", "[SERIAL INTERFACE]\n");
  ASSERT_EQ(::link(ini.c_str(), dir.File("hard-ini").c_str()), 0);
  trace.SetPath("hard-ini");
  EXPECT_EQ(InChild([&] { return ::chdir(dir.path().c_str()) == 0 && !trace.Open() ? 0 : 1; }), 0);
  EXPECT_EQ(TempDir::Read(ini), "[SERIAL INTERFACE]\n");
}

TEST_F(TraceFile, NotesAWriteThatTheDiskRefuses) {
  const int failedWhen = InChild([this] {
    if (!DiskFullPast1KiB() || !trace.Open()) return 9;
    for (int records = 1; records < 5; ++records) {
      trace.TraceSent(std::string(600, 'a'));
      if (trace.writeFailed()) return records;
    }
    return 0;
  });
  EXPECT_EQ(failedWhen, 2) << "the second record no longer fits";
}

}  // namespace
}  // namespace flash::test
