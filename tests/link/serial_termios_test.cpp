// The termios settings behind SetLineFormat and SetFlowControl, on settings a pty
// would not keep (it always holds 8 data bits without parity).
#include "link/serial_termios.h"

#include <gtest/gtest.h>

#include <tuple>

#include "engine/radio_links.h"

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

TEST(LineFormat, GivesRawModeWithTheAskedBitsParityAndStopBitsAndKeepsTheFlowControl) {
  termios t = Cooked();
  t.c_cflag |= CRTSCTS;
  ASSERT_TRUE(ApplyLineFormat(t, 57600, 8, 0, 0));
  EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B57600));
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB), static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_iflag & (ICRNL | IXON | IXANY | ISTRIP | IGNBRK | BRKINT | PARMRK | INLCR | IGNCR |
                         INPCK),
            0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);
  EXPECT_EQ(t.c_cc[VMIN], 1);
  EXPECT_EQ(t.c_cc[VTIME], 0);
  EXPECT_NE(t.c_cflag & CRTSCTS, 0u);

  // parity 1..4: odd, even, mark, space, each checked on input
  for (const auto& [parity, flags] :
       {std::pair{1, PARENB | PARODD}, std::pair{2, PARENB}, std::pair{3, PARENB | PARODD | CMSPAR},
        std::pair{4, PARENB | CMSPAR}}) {
    t = Cooked();
    ASSERT_TRUE(ApplyLineFormat(t, 9600, 7, parity, 0));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), static_cast<tcflag_t>(flags)) << parity;
    EXPECT_NE(t.c_iflag & INPCK, 0u);
  }
  t = Cooked();
  ASSERT_TRUE(ApplyLineFormat(t, 300, 5, 0, 2));
  EXPECT_EQ(t.c_cflag & (CSIZE | CSTOPB), static_cast<tcflag_t>(CS5 | CSTOPB));
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

TEST(FlowControl, SetsOneKindOnlyAndRefusesAnOtherValue) {
  // kind -> RTS/CTS, input pacing by XON/XOFF; output is never paced by the radio's XOFF
  for (const auto& [kind, rtsCts, ixoff] : {std::tuple{FlowHardware, true, false},
                                            std::tuple{FlowSoftware, false, true},
                                            std::tuple{FlowNone, false, false}}) {
    termios t = Cooked();
    t.c_cflag |= CRTSCTS;
    t.c_iflag |= IXOFF;
    ASSERT_TRUE(ApplyFlowControl(t, kind));
    EXPECT_EQ((t.c_cflag & CRTSCTS) != 0, rtsCts) << kind;
    EXPECT_EQ((t.c_iflag & IXOFF) != 0, ixoff) << kind;
    EXPECT_EQ(t.c_iflag & (IXON | IXANY), 0u) << kind;
  }
  const termios before = Cooked();
  termios t = before;
  EXPECT_FALSE(ApplyFlowControl(t, 3));
  EXPECT_FALSE(ApplyFlowControl(t, -1));
  EXPECT_EQ(t.c_cflag, before.c_cflag);
  EXPECT_EQ(t.c_iflag, before.c_iflag);
}

}  // namespace
}  // namespace flash
