#include "cli/cli_options.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace flash {
namespace {

// What a command line was read as, or why it was refused.
std::string ReadAs(const std::vector<std::string>& arguments) {
  const ParsedCliOptions parsed = ParseCliOptions(arguments);
  if (!parsed.error.empty()) return "refused: " + parsed.error;
  const CliOptions& o = parsed.options;
  const char* const commands[] = {"program", "verify",  "test", "check",
                                  "ports",   "records", "station", "help", "version"};
  std::string text = commands[static_cast<int>(o.command)];
  if (o.command >= CliCommand::Ports && o.command != CliCommand::Station) return text;
  text += " " + o.rufFile;
  for (const CliLink& link : o.links) text += (link.udp ? " udp=" : " serial=") + link.Label();
  if (o.traceDir) text += " trace-dir=" + *o.traceDir;
  if (o.reportPath) text += " report=" + *o.reportPath;
  if (o.passcode) text += " passcode=" + std::to_string(*o.passcode);
  if (o.ignoreErrors) text += " ignore-errors";
  if (o.verifyAfterProgram) text += " verify";
  if (o.personality) text += " personality=" + std::to_string(*o.personality);
  if (o.tracePath) text += " trace=" + *o.tracePath;
  if (o.quiet || o.verbose) text += o.quiet ? " quiet" : " verbose";
  if (o.watchDir) text += " watch=" + *o.watchDir;
  if (o.recordsPath) text += " records=" + *o.recordsPath;
  if (o.count) text += " count=" + std::to_string(*o.count);
  if (o.present) text += " present";
  return text;
}

TEST(CliOptions, ReadsEveryFormTheToolTakesAndSaysWhatIsWrongWithAnyOther) {
  const test::TempDir dir;
  const std::string rack = dir.Write("rack", "# rack 1\n\n serial /dev/ttyUSB1\r\nudp\t10.0.0.5:7 \n");
  const std::string bad = dir.Write("bad", "serial /dev/a\n\nserail /dev/b\n");
  const std::string marked = dir.Write("marked", "\xEF\xBB\xBFserial /dev/ttyUSB3\n");
  const std::string nul = dir.Write("nul", std::string("serial /dev/tty\0USB0\n", 21));
  const std::string escape = dir.Write("escape", "# rack\nudp caf\xC3\xA9\x1B\n");
  const std::string big = dir.Write("big", std::string(2 << 20, '#'));
  const std::string fifo = dir.File("fifo");  // nobody writes it: opening it to read would block
  ::mkfifo(fifo.c_str(), 0644);
  const std::string ruf = dir.Write("746.ruf", ":00000001FF\n");
  const std::string linkToRuf = dir.File("ruf-link");
  ::symlink(ruf.c_str(), linkToRuf.c_str());
  std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"verify", "--serial=/dev/ttyUSB0", "a.ruf", "--ignore-errors", "--trace", "t.txt"},
       "verify a.ruf serial=/dev/ttyUSB0 ignore-errors trace=t.txt"},
      {{"test", "x.ruf", "--udp", "radio.local", "--passcode", "0", "--personality", "CANCEL"},
       "test x.ruf udp=radio.local:49152 passcode=0 personality=-1"},
      {{"program", "x.ruf", "--udp=127.0.0.2:65535", "--passcode=65535", "--personality", "6"},
       "program x.ruf udp=127.0.0.2:65535 passcode=65535 personality=6"},
      {{"check", "--", "--odd.ruf"}, "check --odd.ruf"},
      {{"-q", "program", "a.ruf", "--serial", "COM2", "--verify"}, "program a.ruf serial=COM2 verify quiet"},
      {{"verify", "a.ruf", "--verify"}, "refused: --verify goes with program and station: it verifies the radio after "
       "programming it"},
      {{"program", "a.ruf", "--verify", "--ignore-errors"}, "refused: --verify and --ignore-errors exclude "
       "each other: a Verify that ignores the radio's answers proves nothing"},
      {{"verify", "a.ruf", "-v"}, "verify a.ruf verbose"},
      {{"ports"}, "ports"},
      {{"program", "--help"}, "help"},
      {{"program"}, "refused: the RUF-FILE is missing"},
      {{"program", "a.ruf", "b.ruf"}, "refused: one RUF-FILE only ('b.ruf' is one too many)"},
      {{"verify", "a.ruf", "--bogus"}, "refused: unknown option --bogus"},
      {{"program", "a.ruf", "--serial", "--udp", "h"}, "refused: --serial needs a value"},
      {{"program", "a.ruf", "--serial", "COM1", "--udp", "h", "--links", rack, "--trace-dir", "t",
        "--report", "r.json", "--serial", "./x/ttyUSB0"},
       "program a.ruf serial=COM1 udp=h:49152 serial=./x/ttyUSB0 serial=/dev/ttyUSB1 udp=10.0.0.5:7 "
       "trace-dir=t report=r.json"},
      {{"program", "a.ruf", "--links", bad}, "refused: " + bad + ":3: 'serail /dev/b' is not a link; "
       "write 'serial DEVICE' or 'udp HOST[:PORT]'"},
      {{"program", "a.ruf", "--links", dir.File("none")},
       "refused: --links " + dir.File("none") + ": the file cannot be read (No such file or directory)"},
      {{"program", "a.ruf", "--udp", "h:1", "--udp", "h:1"}, "refused: the link h:1 is given twice"},
      {{"program", "a.ruf", "--serial", "/dev/a/tty", "--serial", "/dev/b/tty"},
       "refused: the links /dev/a/tty and /dev/b/tty would share the trace tty.txt"},
      {{"program", "a.ruf", "--serial", "a", "--serial", "b", "--trace", "t"},
       "refused: --trace names one file; with several links give --trace-dir DIR"},
      {{"program", "a.ruf", "--serial", "a", "--serial", "b", "-v"},
       "refused: --verbose shows one radio's exchange; with several links read the traces"},
      {{"program", "a.ruf", "--serial", "a", "--trace-dir", "d", "-v"},
       "refused: --verbose goes without --links, --trace-dir and --report; read the trace"},
      {{"program", "a.ruf", "--report", "r.json"},
       "refused: --trace-dir and --report need --serial, --udp or --links"},
      {{"program", "a.ruf", "--passcode=-1"},
       "refused: --passcode -1: the passcode must be a number from 0 to 65535"},
      {{"program", "a.ruf", "--passcode", "65536"},
       "refused: --passcode 65536: the passcode must be a number from 0 to 65535"},
      {{"program", "a.ruf", "--udp", "h:0"},
       "refused: --udp h:0: the port must be a number from 1 to 65535"},
      {{"program", "a.ruf", "--udp", ":5000"}, "refused: --udp :5000: the host is missing (HOST[:PORT])"},
      {{"program", "a.ruf", "--udp", "::1:5000"},
       "refused: --udp ::1:5000: HOST must be an IPv4 address or a host name"},
      {{"program", "a.ruf", "--personality", "0"}, "refused: --personality 0: give 1 to 6, or cancel"},
      {{"program", "a.ruf", "--personality", "7"}, "refused: --personality 7: give 1 to 6, or cancel"},
      {{"program", "a.ruf", "--ignore-errors=1"}, "refused: --ignore-errors takes no value"},
      {{"program", "a.ruf", "--trace", "a", "--trace", "b"}, "refused: --trace is given twice"},
      {{"check", "a.ruf", "--serial", "COM1"}, "refused: check takes no options (--serial)"},
      {{"records", "r.jsonl", "-q"}, "refused: records takes no options (-q)"},
      {{"records"}, "refused: records needs the record FILE"},
      {{"station", "a.ruf", "--watch", "w", "--records=r", "--count", "3", "--present", "--verify",
        "--trace-dir", "t", "--personality", "2"},
       "station a.ruf trace-dir=t verify personality=2 watch=w records=r count=3 present"},
      {{"station", "a.ruf", "--count", "0"}, "refused: --count 0: give a number of radios from 1 to 1000000"},
      {{"station", "a.ruf", "--serial", "/dev/ttyUSB0"}, "refused: a station flashes the serial "
       "adapters that appear in its --watch folder; --serial, --udp and --links go with program, "
       "verify and test"},
      {{"station", "a.ruf", "--ignore-errors"}, "refused: a station always checks the radio's "
       "answers; --ignore-errors goes with program, verify and test"},
      {{"program", "a.ruf", "--present"}, "refused: --present goes with station"},
      // The links file is read by the rule for small text files, at once whatever stands there.
      {{"program", "a.ruf", "--links", marked}, "program a.ruf serial=/dev/ttyUSB3"},
      {{"program", "a.ruf", "--links", nul}, "refused: --links " + nul + ": line 1, column 16 holds a NUL "
       "byte; save the file as plain text (UTF-8)"},
      {{"program", "a.ruf", "--links", escape}, "refused: --links " + escape + ": line 2, column 9 holds the "
       "control character 0x1B; save the file as plain text (UTF-8)"},
      {{"program", "a.ruf", "--links", big}, "refused: --links " + big + ": it is larger than 1 MiB, more than "
       "such a file ever holds"},
      {{"program", "a.ruf", "--links", fifo}, "refused: --links " + fifo + ": it is a pipe or a device, not a "
       "regular file"},
      // A trace or a report never goes over the RUF file; one radio's trace may be named with --report.
      {{"program", ruf, "--serial", "a", "--report", linkToRuf}, "refused: --report " + linkToRuf +
       ": it is the RUF file of this run (" + ruf + "); writing there would destroy it"},
      {{"verify", ruf, "--trace", ruf}, "refused: --trace " + ruf + ": it is the RUF file of this run (" + ruf +
       "); writing there would destroy it"},
      {{"program", "a.ruf", "--serial", "a", "--report", "r.json", "--trace", "t"},
       "program a.ruf serial=a report=r.json trace=t"},
  };
  // A scratch node that behaves as /dev/zero: reading it would never end.
  if (::geteuid() == 0 && ::mknod(dir.File("zero").c_str(), S_IFCHR | 0666, ::makedev(1, 5)) == 0) {
    cases.push_back({{"program", "a.ruf", "--links", dir.File("zero")},
                     "refused: --links " + dir.File("zero") + ": it is a pipe or a device, not a regular file"});
  }
  for (const auto& [arguments, expected] : cases) {
    EXPECT_EQ(ReadAs(arguments), expected) << ::testing::PrintToString(arguments);
  }
}

}  // namespace
}  // namespace flash
