#include "link/serial_termios.h"

#include <gtest/gtest.h>

#include <tuple>

#include "protocol/radio_links.h"

namespace flash {
namespace {

termios Cooked() {
  termios t {};
  t.c_iflag = ICRNL | IXON | IXANY | ISTRIP | IGNBRK | BRKINT | PARMRK | INLCR | IGNCR;
  t.c_oflag = OPOST | ONLCR;
  t.c_lflag = ECHO | ICANON | ISIG | IEXTEN;
  t.c_cflag = CS7 | PARENB | HUPCL;
  return t;
}

TEST(LineFormat, Gives57600EightNoneOneInRawMode) {
  termios t = Cooked();
  ASSERT_TRUE(ApplyLineFormat(t, 57600, 8, 0, 0));
  EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B57600));
  EXPECT_EQ(::cfgetispeed(&t), static_cast<speed_t>(B57600));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR | CSTOPB), 0u);
  EXPECT_EQ(t.c_iflag & (ICRNL | IXON | IXANY | ISTRIP | IGNBRK | BRKINT | PARMRK | INLCR | IGNCR |
                         INPCK),
            0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
  EXPECT_NE(t.c_cflag & (CLOCAL | CREAD), 0u);
  EXPECT_EQ(t.c_cc[VMIN], 1);
  EXPECT_EQ(t.c_cc[VTIME], 0);
  EXPECT_EQ(t.c_cc[VSTART], 0x11);
  EXPECT_EQ(t.c_cc[VSTOP], 0x13);
}

TEST(LineFormat, MapsEachParityAndChecksIt) {
  struct Case {
    int parity;
    tcflag_t flags;
  };
  for (const Case c : {Case{1, PARENB | PARODD}, Case{2, PARENB}, Case{3, PARENB | PARODD | CMSPAR},
                       Case{4, PARENB | CMSPAR}}) {
    termios t = Cooked();
    ASSERT_TRUE(ApplyLineFormat(t, 9600, 7, c.parity, 0));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), c.flags) << "parity " << c.parity;
    EXPECT_NE(t.c_iflag & INPCK, 0u);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
  }
}

TEST(LineFormat, GivesTwoStopBitsAndFiveDataBits) {
  termios t = Cooked();
  ASSERT_TRUE(ApplyLineFormat(t, 300, 5, 0, 2));
  EXPECT_NE(t.c_cflag & CSTOPB, 0u);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS5));
}

TEST(LineFormat, RefusesValuesOutsideTheRangesAndChangesNothing) {
  const termios before = Cooked();
  for (const auto& [baud, data, parity, stop] :
       {std::tuple{12345u, 8, 0, 0}, std::tuple{57600u, 4, 0, 0}, std::tuple{57600u, 9, 0, 0},
        std::tuple{57600u, 8, -1, 0}, std::tuple{57600u, 8, 5, 0}, std::tuple{57600u, 8, 0, 3}}) {
    termios t = before;
    EXPECT_FALSE(ApplyLineFormat(t, baud, data, parity, stop));
    EXPECT_EQ(t.c_cflag, before.c_cflag);
    EXPECT_EQ(t.c_iflag, before.c_iflag);
  }
}

TEST(LineFormat, KeepsTheFlowControl) {
  termios t = Cooked();
  t.c_cflag |= CRTSCTS;
  t.c_iflag |= IXOFF;
  ASSERT_TRUE(ApplyLineFormat(t, 57600, 8, 0, 0));
  EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
  EXPECT_NE(t.c_iflag & IXOFF, 0u);
}

TEST(FlowControl, HardwareUsesRtsCtsOnly) {
  termios t = Cooked();
  t.c_iflag |= IXOFF;
  ASSERT_TRUE(ApplyFlowControl(t, FlowHardware));
  EXPECT_NE(t.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), 0u);
}

TEST(FlowControl, SoftwarePacesInputOnly) {
  termios t = Cooked();
  t.c_cflag |= CRTSCTS;
  ASSERT_TRUE(ApplyFlowControl(t, FlowSoftware));
  EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
  EXPECT_NE(t.c_iflag & IXOFF, 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXANY), 0u);
  EXPECT_EQ(t.c_cc[VSTART], 0x11);
  EXPECT_EQ(t.c_cc[VSTOP], 0x13);
}

TEST(FlowControl, NoneTurnsOffBoth) {
  termios t = Cooked();
  t.c_cflag |= CRTSCTS;
  t.c_iflag |= IXOFF;
  ASSERT_TRUE(ApplyFlowControl(t, FlowNone));
  EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), 0u);
}

TEST(FlowControl, RefusesAnotherKindAndChangesNothing) {
  const termios before = Cooked();
  termios t = before;
  EXPECT_FALSE(ApplyFlowControl(t, 3));
  EXPECT_FALSE(ApplyFlowControl(t, -1));
  EXPECT_EQ(t.c_cflag, before.c_cflag);
  EXPECT_EQ(t.c_iflag, before.c_iflag);
}

}  // namespace
}  // namespace flash
