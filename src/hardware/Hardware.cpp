#include "hardware/Hardware.h"

namespace velkor {

namespace {

constexpr std::uint8_t kVersionQuery[] = {0x07, 0x00};
constexpr std::uint8_t kStartCommand[] = {0x04, 0x02};
constexpr int kVersionMarker = 0xF8;

constexpr std::int32_t kWakeMicros = 300000;
constexpr std::int32_t kAnswerMicros = 50000;
constexpr std::int32_t kBaudSwitchMicros = 1000;
constexpr std::uint32_t kProbePauseMillis = 100;
constexpr std::size_t kDrainBlockSize = 256;

std::string VersionText(int major, int minor) {
  return "Version " + std::to_string(major) + "." + std::to_string(minor);
}

}  // namespace

Hardware::Hardware(PortBackend& backend, HardwareClock& clock, Settings& settings, UserInterface& ui)
    : backend_(backend), clock_(clock), settings_(settings), ui_(ui) {
  labels_.fill(std::string(kLabelNone));
  buttonEnabled_.fill(true);
}

void Hardware::Repaint() {
  if (window_ != nullptr) window_->Repaint();
}

void Hardware::EnumerateSerialPorts() { portPresent_ = backend_.ListPorts(); }

bool Hardware::OpenPort(int port, int baud, LineControl rts, LineControl dtr) {
  // One handle at a time: a second open must not leak the first one.
  if (portOpen_) {
    backend_.Close();
    portOpen_ = false;
  }
  if (!InRange(port)) return true;
  if (backend_.Open(port, baud, rts, dtr)) return true;
  portOpen_ = true;
  return false;
}

void Hardware::ClosePort() {
  if (!portOpen_) return;
  (void)SetBaudRate(kProbeBaudRate);
  backend_.Close();
  portOpen_ = false;
}

void Hardware::SetDtr(bool on) {
  if (portOpen_) backend_.SetDtr(on);
}

void Hardware::SetRts(bool on) {
  if (portOpen_) backend_.SetRts(on);
}

void Hardware::DrainInput() {
  std::uint8_t block[kDrainBlockSize];
  while (portOpen_ && backend_.Read(block, sizeof block) > 0) {
  }
}

void Hardware::WaitMicroseconds(std::int32_t micros) {
  if (micros <= 0) return;
  // Busy-wait: a sleep would stretch the 1 ms pause before the baud switch to a tick.
  const std::uint64_t target = clock_.MonotonicMicros() + static_cast<std::uint64_t>(micros);
  while (clock_.MonotonicMicros() < target) {
  }
}

int Hardware::ReadByte() {
  std::uint8_t b = 0;
  return ReadBlock(&b, 1) == 1 ? b : -1;
}

std::size_t Hardware::ReadBlock(std::uint8_t* buffer, std::size_t size) {
  return portOpen_ ? backend_.Read(buffer, size) : 0;
}

void Hardware::WriteByte(std::uint8_t b) {
  if (portOpen_) backend_.Write(&b, 1);
}

bool Hardware::SetBaudRate(int baud) { return !portOpen_ || backend_.SetBaudRate(baud); }

void Hardware::Connect() {
  const int port = SelectedPort();
  if (port == 0) {
    ui_.ShowMessage("You must choose a port COM", "Error", MessageButtons::Ok);
    connected_ = false;
    return;
  }
  if (OpenPort(port, kProbeBaudRate, LineControl::Disabled, LineControl::Disabled)) {
    ui_.ShowMessage("This COM port can not be opened", "Error", MessageButtons::Ok);
    connected_ = false;
    return;
  }
  SetDtr(true);
  SetRts(true);
  connected_ = true;
  WaitMicroseconds(kWakeMicros);
  DrainInput();
  // Any firmware that answers can stream.
  (void)CheckVersion(0, 0);
  DrainInput();
}

bool Hardware::CheckVersion(int minMajor, int minMinor) {
  for (std::uint8_t b : kVersionQuery) WriteByte(b);
  WaitMicroseconds(kAnswerMicros);
  (void)ReadByte();  // the marker: a run does not insist on it
  const int major = ReadByte();
  const int minor = ReadByte();
  const int version = major * 256 + minor;
  if (version < 0) {
    ui_.ShowMessage("No response from Kivo module", kApplicationTitle, MessageButtons::Ok);
    Disconnect();
    return false;
  }
  if (version >= minMajor * 256 + minMinor) return true;
  ui_.ShowMessage("You must update Kivo module firmware before use this program.\nVersion must be >= " +
                      std::to_string(minMajor) + "." + std::to_string(minMinor),
                  kApplicationTitle, MessageButtons::Ok);
  Disconnect();
  return false;
}

bool Hardware::StartStreaming() {
  for (std::uint8_t b : kStartCommand) WriteByte(b);
  WaitMicroseconds(kBaudSwitchMicros);
  if (SetBaudRate(kStreamBaudRate)) {
    Disconnect();
    ui_.ShowMessage("This COM port can not be changed to 1228800 bauds", "Error", MessageButtons::Ok);
    return true;
  }
  return false;
}

void Hardware::Disconnect() {
  if (portOpen_) {
    SetDtr(false);
    SetRts(false);
    WaitMicroseconds(kWakeMicros);
    ClosePort();
  }
  portOpen_ = false;
  connected_ = false;
}

int Hardware::SelectedPort() const { return InRange(settings_.port) ? settings_.port : 0; }

void Hardware::SelectPort(int port) {
  if (InRange(port)) settings_.port = port;
}

ProbeResult Hardware::ProbeModule(int port) {
  ProbeResult result;
  if (connected_) {
    result.outcome = ProbeOutcome::PortBusy;
    return result;
  }
  if (OpenPort(port, kProbeBaudRate, LineControl::Disabled, LineControl::Disabled)) {
    result.outcome = ProbeOutcome::CannotOpen;
    return result;
  }
  SetDtr(true);
  SetRts(true);
  WaitMicroseconds(kWakeMicros);
  DrainInput();
  for (std::uint8_t b : kVersionQuery) WriteByte(b);
  WaitMicroseconds(kAnswerMicros);
  const int marker = ReadByte();
  const int major = ReadByte();
  int minor = ReadByte();
  if (minor < 0) minor = 0;
  ClosePort();
  if (marker == kVersionMarker) {
    result.outcome = ProbeOutcome::ModuleFound;
    result.versionText = VersionText(major, minor);
  }
  return result;
}

bool Hardware::RefuseProbeWhileConnected() {
  if (!connected_) return false;
  ui_.ShowMessage(kProbeRefusedText, "Error", MessageButtons::Ok);
  return true;
}

void Hardware::FormShow() { savedPort_ = SelectedPort(); }

void Hardware::butCancelClick() { SelectPort(savedPort_); }

void Hardware::butFindClick() {
  if (RefuseProbeWhileConnected()) return;
  EnumerateSerialPorts();
  findEnabled_ = false;
  settings_.port = 0;
  for (int n = 1; n <= kPortCount; ++n) {
    buttonEnabled_[n - 1] = false;
    labels_[n - 1] = kLabelNone;
  }
  Repaint();
  clock_.SleepMilliseconds(kProbePauseMillis);
  for (int n = 1; n <= kPortCount; ++n) {
    if (!portPresent_[n - 1]) continue;
    ProbeResult r = ProbeModule(n);
    if (r.outcome != ProbeOutcome::ModuleFound) continue;
    labels_[n - 1] = r.versionText;
    buttonEnabled_[n - 1] = true;
    Repaint();
  }
  findEnabled_ = true;
}

void Hardware::chkCOMxMouseDown(int port) {
  if (!InRange(port) || !buttonEnabled_[port - 1]) return;
  if (RefuseProbeWhileConnected()) return;
  std::string& label = labels_[port - 1];
  label = kLabelTesting;
  Repaint();
  clock_.SleepMilliseconds(kProbePauseMillis);
  ProbeResult r = ProbeModule(port);
  switch (r.outcome) {
    case ProbeOutcome::CannotOpen: label = kLabelPortError; break;
    case ProbeOutcome::ModuleFound: label = r.versionText; break;
    case ProbeOutcome::NoAnswer:
    case ProbeOutcome::PortBusy: label = kLabelNoResponse; break;
  }
  // The press checks the radio button too: the port just tested becomes the selection.
  SelectPort(port);
}

}  // namespace velkor
