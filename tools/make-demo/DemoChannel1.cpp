#include "CanEncoder.h"
#include "Demo.h"

namespace velkor::demo {

// Channel 1: a CAN bus at 125 kbit/s with an immobiliser talking to its controller; two
// identifiers are named in the description, the others show in hexadecimal.
DemoChannel DemoChannel1() {
  DemoChannel d;
  d.settings.type = ChannelType::Can;
  d.settings.caption = "CAN";
  d.settings.active = true;
  d.settings.canFile = "demo-can.cfd";
  d.files.push_back({"demo-can.cfd",
                     "; demo bus: immobiliser frames\r\n"
                     "[BAUDRATE]\r\nValue=125000\r\n\r\n"
                     "[ID]\r\n112=PIC_ImmoCommand\r\n131=PIC_StatusFrame\r\n"});
  d.signal = test::SignalBuilder(1);
  test::CanEncoder bus(d.signal, 125000);
  bus.IdleBits(250);
  const test::CanFrame frames[] = {
      {0x112, false, 4, {0xA5, 0x01, 0x00, 0x3C}},
      {0x131, false, 2, {0x00, 0x01}},
      {0x250, true, 8, {}},
      {0x07F, false, 8, {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0}},
      {0x131, false, 2, {0x00, 0x03}},
      {0x3E8, false, 0, {}},
  };
  for (int round = 0; round < 2; ++round) {
    for (const auto& f : frames) {
      test::CanFrame frame = f;
      if (!frame.remote && !frame.data.empty()) frame.data.back() = static_cast<std::uint8_t>(frame.data.back() + round);
      bus.Frame(frame);
      bus.IdleBits(400);
    }
    bus.IdleBits(20000);
  }
  return d;
}

}  // namespace velkor::demo
