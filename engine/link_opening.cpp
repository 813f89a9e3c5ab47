#include <cerrno>
#include <cstring>
#include <string>

#include "engine/serial_port_name.h"
#include "engine/text_format.h"
#include "engine/update_engine.h"

namespace flash {
namespace {

constexpr std::uint32_t kDriverQueueSize = 2048;
constexpr std::uint32_t kLineBaudRate = 57600;
constexpr char kEventCharacter = 13;  // every answer of the radio ends in CR
constexpr std::uint32_t kAnswerEventMask = kEventFlagChar | kEventLineError;

// Why the socket could not be made, said after its code (the system's error
// number): the port, and the system's words.
std::string SocketCreateReason(const LinkResult& result, std::int32_t port) {
  const int error = result.systemError;
  const std::string said = " (" + LinkResultText(result) + ")";
  if (error == EADDRINUSE) return Format("UDP port %d is in use by another program", port) + said;
  if (error == EACCES) {
    return Format("UDP port %d may be used only by the system's administrator", port) + said;
  }
  if (error == EINVAL && (port < 0 || port > 65535)) {
    return Format("UDP port %d is not a port from 0 to 65535", port) + said;
  }
  return Format("no socket could be bound to UDP port %d", port) + said;
}

// Opens the port and sets it up as the radio talks; empty when that worked, else
// why not, as the clause that the message about the port goes on from. A port
// opened but not set up is closed again.
std::string OpenForTheRadio(SerialLink& serial, const std::string& device) {
  if (serial.CheckPortAvailable(device) != PortAvailable) {
    const std::string reason = serial.UnavailableReason();
    return reason.empty() ? "it cannot be opened" : reason;
  }
  if (const LinkResult opened = serial.Open(device, kDriverQueueSize, kDriverQueueSize);
      !opened.ok()) {
    return "it cannot be opened (" + LinkResultText(opened) + ")";
  }
  LinkResult result = serial.SetLineFormat(kLineBaudRate, 8, 0, 0);
  if (result.ok()) result = serial.SetFlowControl(FlowHardware);
  serial.SetWriteTimeouts(10, 10);
  if (result.ok()) result = serial.SetEventCharacter(kEventCharacter, false);
  if (result.ok()) result = serial.SetEventMask(kAnswerEventMask);
  if (result.ok()) return {};
  serial.Close();
  return "it cannot be set up for the radio (" + LinkResultText(result) + ")";
}

}  // namespace

bool UpdateEngine::OpenSerialLink() {
  host_.AppendOutput("Using Serial Interface: ");
  host_.AppendOutput("Using Serial Interface \r\n");
  host_.AppendOutput("\r\n");
  if (serial_.IsOpen()) serial_.Close();

  const std::string device = SerialDeviceName(settings_.comPort);
  if (const std::string reason = OpenForTheRadio(serial_, device); !reason.empty()) {
    const std::string port = device == settings_.comPort
                                 ? device
                                 : device + " (" + settings_.comPort + ")";
    host_.AppendOutput(" Serial port " + port + " is not available: " + reason + ".\r\n");
    const std::string message =
        "That PORT is not available: " + port + ": " + reason + ". Nothing was sent to the radio.";
    host_.ShowMessage(message, "I CAN'T");
    host_.Finding({.kind = FindingKind::PortUnavailable, .text = message, .port = port});
    return false;
  }
  serial_.Purge();
  return true;
}

void UpdateEngine::OpenUdpLink() {
  host_.AppendOutput("Using Ethernet Interface \r\n");
  if (settings_.radioPort == udp_state_.connectedPort &&
      settings_.radioAddress == udp_state_.connectedAddress) {
    return;
  }
  udp_state_.connectedPort = settings_.radioPort;
  udp_state_.connectedAddress = settings_.radioAddress;
  if (udp_state_.socketCreated == 0) {
    const LinkResult created = udp_.Create(settings_.radioPort);
    if (created.ok()) {
      udp_state_.socketCreated = 1;
      host_.UdpSocketChanged(true);
    } else {
      // Forget the destination so that the next operation tries again (and tells
      // the user again) instead of silently doing nothing.
      udp_state_.connectedPort = 1;
      udp_state_.connectedAddress = " ";
      const std::string message =
          Format("Socket Create returned error code %d: ", created.systemError) +
          SocketCreateReason(created, settings_.radioPort) + ". Nothing was sent to the radio.";
      host_.ShowMessage(message, "");
      host_.Finding({.kind = FindingKind::UdpSocketFailed,
                     .text = message,
                     .port = std::to_string(settings_.radioPort),
                     .code = created.systemError});
      return;
    }
  }
  if (const LinkResult connected = udp_.Connect(settings_.radioAddress, settings_.radioPort);
      !connected.ok()) {
    // Requests to a socket without its radio would go nowhere: the operation ends
    // as with a socket that could not be made (the socket closes with the links).
    udp_state_.socketCreated = 0;
    udp_state_.connectedPort = 1;
    udp_state_.connectedAddress = " ";
    const std::string message =
        Format("The radio's address %s, port %d, cannot be used (", settings_.radioAddress.c_str(),
               settings_.radioPort) +
        (connected.status == LinkStatus::InvalidArgument && connected.systemError == 0
             ? std::string("it cannot be resolved")
             : LinkResultText(connected)) +
        "). Nothing was sent to the radio.";
    host_.ShowMessage(message, "");
    host_.Finding({.kind = FindingKind::UdpSocketFailed,
                   .text = message,
                   .port = std::to_string(settings_.radioPort),
                   .code = connected.systemError});
  }
}

void UpdateEngine::CloseLinks() {
  udp_state_.connectedPort = 1;
  udp_state_.connectedAddress = " ";
  udp_state_.socketCreated = 0;
  // The port first: its close waits for the last requests to leave, and what it
  // had to discard belongs in the trace.
  if (serial_.IsOpen()) {
    serial_.Close();
    if (const std::size_t discarded = serial_.DiscardedAtClose(); discarded != 0) {
      trace_.TraceEvent("serial port",
                        Format("closed with %zu bytes of output held back by flow control; "
                               "they were discarded",
                               discarded));
    }
  }
  // The Verify after a Program writes on in the Program's trace.
  if (trace_.IsOpen() && !verifyPending_) {
    trace_.Close();
    NoteTraceFailure();
  }
  StopResponseTimer();
  host_.AppendOutput(" Close Communications Port\r\n");
  if (rufFile_.IsOpen()) rufFile_.Close();
  host_.AppendOutput(" Close File\r\n");
  if (udp_.HasSocket()) {
    udp_.Close();
    host_.UdpSocketChanged(false);
  }
}

void UpdateEngine::OpenCommsTrace() {
  traceFailureReported_ = false;
  if (trace_.Open()) return;
  traceFailureReported_ = true;
  std::string why = " could not be created";
  if (trace_.openFailure() == TraceOpenFailure::InUse) {
    why = " is in use by another program";
  } else if (trace_.openFailure() == TraceOpenFailure::NotARegularFile) {
    why = " is not a regular file (a symbolic link, a pipe or a device) and is left alone";
  } else if (trace_.openFailure() == TraceOpenFailure::InputFile) {
    why = " is a file this run reads and is left alone";
  } else if (const std::string reason = trace_.failureReason(); !reason.empty()) {
    why += " (" + reason + ")";
  }
  const std::string text =
      "The trace file " + trace_.path() + why + "; the operation goes on without a trace.";
  host_.AppendOutput(" " + text + "\r\n");
  host_.Finding({.kind = FindingKind::TraceNotWritten, .text = text});
}

}  // namespace flash
