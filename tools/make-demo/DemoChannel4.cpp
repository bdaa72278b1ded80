#include "Demo.h"
#include "LinEncoder.h"

namespace velkor::demo {

// A LIN bus at 19200 baud: a body controller's status, a door module's switches and a
// seat's position, every 50 ms; one frame is sent with a wrong checksum. The description
// names two frames, its LDF database the third, and the LDF gives the frames' signals.
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
                       "[DATABASE]\r\nFile=demo-lin.ldf\r\n\r\n"
                       "[ID]\r\nA8=BCM_Status\r\n39=Door_Switches\r\n");
  d.files.emplace_back("demo-lin.ldf",
                       "LIN_description_file;\r\n"
                       "LIN_protocol_version = \"2.1\";\r\n"
                       "LIN_language_version = \"2.1\";\r\n"
                       "LIN_speed = 19.2 kbps;\r\n\r\n"
                       "Nodes {\r\n  Master: BCM, 5 ms, 0.1 ms;\r\n  Slaves: DOOR, SEAT;\r\n}\r\n\r\n"
                       "Signals {\r\n"
                       "  AliveCounter: 8, 0, BCM, DOOR, SEAT;\r\n"
                       "  InteriorLight: 2, 0, BCM, DOOR;\r\n"
                       "  SupplyVoltage: 8, 0, BCM, DOOR, SEAT;\r\n"
                       "  IgnitionState: 2, 0, BCM, DOOR, SEAT;\r\n"
                       "  DoorOpen: 1, 0, DOOR, BCM;\r\n"
                       "  LockState: 2, 0, DOOR, BCM;\r\n"
                       "  Recline: 8, 0, SEAT, BCM;\r\n"
                       "  SeatTrack: 8, 0, SEAT, BCM;\r\n"
                       "  SeatHeater: 2, 0, SEAT, BCM;\r\n"
                       "}\r\n\r\n"
                       "Frames {\r\n"
                       "  BCM_Status: 0x28, BCM, 4 {\r\n"
                       "    AliveCounter, 0;\r\n    InteriorLight, 8;\r\n    SupplyVoltage, 16;\r\n    IgnitionState, 30;\r\n"
                       "  }\r\n"
                       "  Door_Switches: 0x39, DOOR, 2 {\r\n    DoorOpen, 0;\r\n    LockState, 8;\r\n  }\r\n"
                       "  Seat_Position: 0x12, SEAT, 6 {\r\n    Recline, 0;\r\n    SeatTrack, 8;\r\n    SeatHeater, 16;\r\n  }\r\n"
                       "}\r\n\r\n"
                       "Signal_encoding_types {\r\n"
                       "  LightEncoding { logical_value, 0, \"off\"; logical_value, 1, \"on\"; logical_value, 2, \"dimmed\"; }\r\n"
                       "  VoltageEncoding { physical_value, 0, 250, 0.8, 0, \"V\"; logical_value, 255, \"invalid\"; }\r\n"
                       "  IgnitionEncoding {\r\n"
                       "    logical_value, 0, \"off\"; logical_value, 1, \"accessory\";\r\n"
                       "    logical_value, 2, \"run\"; logical_value, 3, \"start\";\r\n"
                       "  }\r\n"
                       "  DoorEncoding { logical_value, 0, \"closed\"; logical_value, 1, \"open\"; }\r\n"
                       "  LockEncoding { logical_value, 0, \"unlocked\"; logical_value, 1, \"locked\"; }\r\n"
                       "  AngleEncoding { physical_value, 0, 180, 1, 0, \"deg\"; }\r\n"
                       "  TrackEncoding { physical_value, 0, 250, 0.5, 0, \"mm\"; }\r\n"
                       "  HeaterEncoding { logical_value, 0, \"off\"; logical_value, 1, \"low\"; logical_value, 2, \"high\"; }\r\n"
                       "}\r\n\r\n"
                       "Signal_representation {\r\n"
                       "  LightEncoding: InteriorLight;\r\n  VoltageEncoding: SupplyVoltage;\r\n"
                       "  IgnitionEncoding: IgnitionState;\r\n  DoorEncoding: DoorOpen;\r\n  LockEncoding: LockState;\r\n"
                       "  AngleEncoding: Recline;\r\n  TrackEncoding: SeatTrack;\r\n  HeaterEncoding: SeatHeater;\r\n"
                       "}\r\n");
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
