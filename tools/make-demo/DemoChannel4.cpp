#include "Demo.h"
#include "LinEncoder.h"

namespace velkor::demo {

// A LIN bus at 19200 baud: a body controller's status, a door module's switches and a
// third, unnamed identifier, every 50 ms; one frame is sent with a wrong checksum.
DemoChannel DemoChannel4() {
  DemoChannel d;
  d.settings.type = ChannelType::Lin;
  d.settings.caption = "LIN";
  d.settings.active = true;
  d.settings.linFile = "demo-lin.lfd";
  d.files.emplace_back("demo-lin.lfd",
                       "; LIN bus of the demo capture\r\n"
                       "[BAUDRATE]\r\nValue=19200\r\n\r\n"
                       "[INVERT]\r\nValue=NO\r\n\r\n"
                       "[PROTOCOL]\r\nInterFrame=2000\r\nChecksumIncludeID=YES\r\n\r\n"
                       "[ID]\r\nA8=BCM_Status\r\n39=Door_Switches\r\n");
  d.signal = test::SignalBuilder(1);
  test::LinEncoder lin(d.signal, 19200);
  constexpr double kSlotMicros = 50000;
  for (int slot = 0; (slot + 1) * kSlotMicros < kDemoMicros; ++slot) {
    d.signal.IdleUntil(10000 + slot * kSlotMicros);
    test::LinFrame frame;
    const auto n = static_cast<std::uint8_t>(slot);
    switch (slot % 3) {
      case 0:
        frame.id = 0x28;
        frame.data = {n, 0x00, 0x10, 0x80};
        break;
      case 1:
        frame.id = 0x39;
        frame.data = {static_cast<std::uint8_t>(n & 1), 0x00};
        break;
      default:
        frame.id = 0x12;
        frame.data = {0x5A, static_cast<std::uint8_t>(0xA0 + n), 0x01, 0xFF, 0x00, 0x33};
        frame.interByteBits = 1;
        break;
    }
    if (slot == 7) frame.checksumXor = 0x20;
    lin.Frame(frame);
  }
  return d;
}

}  // namespace velkor::demo
