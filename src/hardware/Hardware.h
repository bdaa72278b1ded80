#pragma once
// The link with the Kivo module: finding the serial ports, probing them, the byte protocol
// (wake-up, version query, start of the stream, stop) and the state of the hardware
// settings window. The port itself is reached through PortBackend, which the platform
// layer implements (and tests fake), so this unit stays standard C++.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/Settings.h"
#include "pipeline/UserInterface.h"

namespace velkor {

// Title of the plain message boxes about the module's answers.
inline constexpr std::string_view kApplicationTitle = "Velkor";

inline constexpr int kProbeBaudRate = 115200;
inline constexpr int kStreamBaudRate = 1228800;

// DTR and RTS control as the platform numbers them; Keep leaves the driver's value.
enum class LineControl : int { Keep = -1, Disabled = 0, Enabled = 1, Handshake = 2, Toggle = 3 };

// One serial port driver, as the module link needs it. At most one port is open at a time.
class PortBackend {
 public:
  virtual ~PortBackend() = default;

  // Which of the ports COM1..COM12 the system lists (index 0 is COM1).
  virtual std::array<bool, kPortCount> ListPorts() = 0;
  // Opens port 1..12 exclusively and applies 8N1, no flow control, the given baud rate and
  // line controls, reads that never wait. Returns true (failed) when any step failed; the
  // port is then closed.
  [[nodiscard]] virtual bool Open(int port, int baud, LineControl rts, LineControl dtr) = 0;
  virtual void Close() = 0;
  // Changes only the baud rate; true when the driver refused it.
  [[nodiscard]] virtual bool SetBaudRate(int baud) = 0;
  virtual void SetDtr(bool on) = 0;
  virtual void SetRts(bool on) = 0;
  // Returns at once with what the driver holds, at most `size` bytes; 0 on an error.
  virtual std::size_t Read(std::uint8_t* buffer, std::size_t size) = 0;
  // Writes and waits until the driver has taken the bytes.
  virtual void Write(const std::uint8_t* bytes, std::size_t size) = 0;
};

class HardwareClock {
 public:
  virtual ~HardwareClock() = default;
  // Microseconds from a fixed origin; never goes back.
  virtual std::uint64_t MonotonicMicros() = 0;
  virtual void SleepMilliseconds(std::uint32_t millis) = 0;
};

// Lets the hardware settings window show the labels and buttons as they change while a
// probe blocks the interface.
class HardwareWindow {
 public:
  virtual ~HardwareWindow() = default;
  virtual void Repaint() = 0;
};

enum class ProbeOutcome { ModuleFound, NoAnswer, CannotOpen, PortBusy };

struct ProbeResult {
  ProbeOutcome outcome = ProbeOutcome::NoAnswer;
  std::string versionText;  // "Version <major>.<minor>" when the module was found
};

// The result label texts of the window.
inline constexpr std::string_view kLabelNone = "-";
inline constexpr std::string_view kLabelTesting = "...";
inline constexpr std::string_view kLabelPortError = "COM port error";
inline constexpr std::string_view kLabelNoResponse = "No response";

// Shown when a port probe is asked for while a live run holds the port: probing would
// close the run's handle under the acquisition timer.
inline constexpr std::string_view kProbeRefusedText =
    "The COM port is used by the running acquisition.\nStop it before testing the ports.";

// The core of TfrmHardware. The selected port is Settings::port (1..12, 0 none).
class Hardware {
 public:
  Hardware(PortBackend& backend, HardwareClock& clock, Settings& settings, UserInterface& ui);

  void SetWindow(HardwareWindow* window) { window_ = window; }

  // --- Port and byte operations.
  void EnumerateSerialPorts();
  bool PortPresent(int port) const { return InRange(port) && portPresent_[port - 1]; }
  // Returns true (failed) when the port could not be opened or configured.
  [[nodiscard]] bool OpenPort(int port, int baud, LineControl rts, LineControl dtr);
  void ClosePort();
  bool PortOpen() const { return portOpen_; }
  void SetDtr(bool on);
  void SetRts(bool on);
  void DrainInput();
  void WaitMicroseconds(std::int32_t micros);
  int ReadByte();
  // Reads what the driver holds, at most `size` bytes, without waiting.
  std::size_t ReadBlock(std::uint8_t* buffer, std::size_t size);
  void WriteByte(std::uint8_t b);
  // True when the driver refused the baud rate (or no port is open).
  [[nodiscard]] bool SetBaudRate(int baud);

  // --- The run's link.
  void Connect();
  bool Connected() const { return connected_; }
  // Version query on the open port; false (and the port closed) when the module is silent
  // or older than the minimum.
  bool CheckVersion(int minMajor, int minMinor);
  // Start command and switch to 1228800 baud. Returns true (failed) when the driver refused
  // the baud rate; the port is then closed and the user told.
  [[nodiscard]] bool StartStreaming();
  void Disconnect();

  // --- Selection and probing.
  int SelectedPort() const;
  void SelectPort(int port);
  ProbeResult ProbeModule(int port);

  // --- The window's handlers.
  void FormShow();
  void butOKClick() {}
  void butCancelClick();
  void butFindClick();
  void chkCOMxMouseDown(int port);

  const std::string& Label(int port) const { return labels_[port - 1]; }
  bool PortButtonEnabled(int port) const { return buttonEnabled_[port - 1]; }
  bool FindButtonEnabled() const { return findEnabled_; }

 private:
  static bool InRange(int port) { return port >= 1 && port <= kPortCount; }
  void Repaint();
  // Tells the user and returns true while a run's link holds the port.
  bool RefuseProbeWhileConnected();

  PortBackend& backend_;
  HardwareClock& clock_;
  Settings& settings_;
  UserInterface& ui_;
  HardwareWindow* window_ = nullptr;

  bool portOpen_ = false;
  bool connected_ = false;
  std::array<bool, kPortCount> portPresent_{};
  std::array<std::string, kPortCount> labels_;
  std::array<bool, kPortCount> buttonEnabled_;
  bool findEnabled_ = true;
  int savedPort_ = 0;
};

}  // namespace velkor
