#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "link/posix/line_settings.h"

namespace orvana::link {
namespace {

termios Cooked() {
  termios t{};
  t.c_iflag = ICRNL | IXON | ISTRIP;
  t.c_oflag = OPOST | ONLCR;
  t.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
  t.c_cflag = CS7 | PARENB | CRTSCTS | CSTOPB;
  return t;
}

TEST(LineSettings, TheMetersLineIsRaw9600EightNoneOne) {
  termios t = Cooked();
  ASSERT_EQ(ApplyLineSettings(t, 9600, 'N', 8, 1), 0);
  EXPECT_EQ(cfgetispeed(&t), B9600);
  EXPECT_EQ(cfgetospeed(&t), B9600);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  // Nothing may translate or swallow a byte of a binary frame.
  EXPECT_EQ(t.c_iflag & (ICRNL | IXON | ISTRIP), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
}

TEST(LineSettings, EachParityLetterGetsItsOwnBits) {
  struct Case {
    char letter;
    tcflag_t bits;
  };
  for (const Case& c : {Case{'N', 0}, Case{'E', PARENB}, Case{'o', PARENB | PARODD},
                        Case{'M', PARENB | PARODD | CMSPAR}, Case{'s', PARENB | CMSPAR}}) {
    SCOPED_TRACE(c.letter);
    termios t = Cooked();
    ASSERT_EQ(ApplyLineSettings(t, 19200, c.letter, 7, 2), 0);
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), c.bits);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
    EXPECT_NE(t.c_cflag & CSTOPB, 0u);
  }
}

TEST(LineSettings, ParametersWithoutATwinLeaveTheSettingsAlone) {
  struct Case {
    int baud;
    char parity;
    int data;
    int stop;
  };
  for (const Case& c : {Case{12345, 'N', 8, 1}, Case{9600, 'X', 8, 1}, Case{9600, 'N', 9, 1},
                        Case{9600, 'N', 8, 3}, Case{0, 'N', 8, 1}}) {
    termios t = Cooked();
    const termios before = t;
    EXPECT_EQ(ApplyLineSettings(t, c.baud, c.parity, c.data, c.stop), EINVAL);
    EXPECT_EQ(std::memcmp(&t, &before, sizeof t), 0);
  }
}

}  // namespace
}  // namespace orvana::link
