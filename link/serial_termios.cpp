#include "link/serial_termios.h"

#include "engine/radio_links.h"

namespace flash {
namespace {

struct BaudRate {
  std::uint32_t rate;
  speed_t code;
};

constexpr BaudRate kBaudRates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

bool FindBaudCode(std::uint32_t rate, speed_t& code) {
  for (const BaudRate& entry : kBaudRates) {
    if (entry.rate == rate) {
      code = entry.code;
      return true;
    }
  }
  return false;
}

constexpr tcflag_t Flags(tcflag_t flags) { return flags; }

}  // namespace

std::uint32_t OutputBaudRate(const termios& attributes) {
  const speed_t code = ::cfgetospeed(&attributes);
  for (const BaudRate& entry : kBaudRates) {
    if (entry.code == code) return entry.rate;
  }
  return 0;
}

void MakeRaw(termios& attributes) {
  ::cfmakeraw(&attributes);
  attributes.c_iflag &= ~Flags(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC |
                               IXON | IXANY | IMAXBEL | IGNPAR);
  attributes.c_oflag &= ~Flags(OPOST);
  attributes.c_lflag &= ~Flags(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
  attributes.c_cflag |= CLOCAL | CREAD;
  // The front end's event loop polls for input: one byte is enough to wake it.
  attributes.c_cc[VMIN] = 1;
  attributes.c_cc[VTIME] = 0;
}

void ApplyOpeningDefaults(termios& attributes) {
  MakeRaw(attributes);
  attributes.c_iflag &= ~Flags(INPCK);
  attributes.c_cflag &= ~Flags(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
  attributes.c_cflag |= CS8;
  ApplyFlowControl(attributes, FlowNone);
}

bool ApplyLineFormat(termios& attributes, std::uint32_t baudRate, int dataBits, int parity,
                     int stopBits) {
  speed_t speed = B0;
  if (!FindBaudCode(baudRate, speed) || dataBits < 5 || dataBits > 8 || parity < 0 ||
      parity > 4 || stopBits < 0 || stopBits > 2) {
    return false;
  }
  MakeRaw(attributes);
  ::cfsetispeed(&attributes, speed);
  ::cfsetospeed(&attributes, speed);

  constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  attributes.c_cflag &= ~Flags(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
  attributes.c_cflag |= kSizes[dataBits - 5];
  switch (parity) {
    case 1:  // odd
      attributes.c_cflag |= PARENB | PARODD;
      break;
    case 2:  // even
      attributes.c_cflag |= PARENB;
      break;
    case 3:  // mark
      attributes.c_cflag |= PARENB | PARODD | CMSPAR;
      break;
    case 4:  // space
      attributes.c_cflag |= PARENB | CMSPAR;
      break;
    default:
      break;
  }
  if (parity != 0) {
    attributes.c_iflag |= INPCK;
  } else {
    attributes.c_iflag &= ~Flags(INPCK);
  }
  // One and a half stop bits: a UART gives them for CSTOPB with 5 data bits.
  if (stopBits != 0) attributes.c_cflag |= CSTOPB;
  attributes.c_cc[VSTART] = 0x11;
  attributes.c_cc[VSTOP] = 0x13;
  return true;
}

bool ApplyFlowControl(termios& attributes, int kind) {
  if (kind != FlowNone && kind != FlowHardware && kind != FlowSoftware) return false;
  attributes.c_cflag &= ~Flags(CRTSCTS);
  attributes.c_iflag &= ~Flags(IXON | IXANY | IXOFF);
  if (kind == FlowHardware) attributes.c_cflag |= CRTSCTS;
  if (kind == FlowSoftware) {
    attributes.c_iflag |= IXOFF;
    attributes.c_cc[VSTART] = 0x11;
    attributes.c_cc[VSTOP] = 0x13;
  }
  return true;
}

}  // namespace flash
