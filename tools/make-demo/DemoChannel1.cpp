#include "CanEncoder.h"
#include "Demo.h"

namespace velkor::demo {

// Channel 1: a CAN bus at 125 kbit/s with an immobiliser talking to its controller; two
// identifiers are named in the description, the others by its DBC database, which also gives
// the signals of the frames.
DemoChannel DemoChannel1() {
  DemoChannel d;
  d.settings.type = ChannelType::Can;
  d.settings.caption = "CAN";
  d.settings.active = true;
  d.settings.canFile = "demo-can.cfd";
  d.files.push_back({"demo-can.cfd",
                     "; demo bus: immobiliser frames\r\n"
                     "[BAUDRATE]\r\nValue=125000\r\n\r\n"
                     "[DATABASE]\r\nFile=demo-can.dbc\r\n\r\n"
                     "[ID]\r\n112=PIC_ImmoCommand\r\n131=PIC_StatusFrame\r\n"});
  d.files.push_back({"demo-can.dbc",
                     "VERSION \"\"\r\n\r\n"
                     "NS_ :\r\n\tCM_\r\n\tVAL_\r\n\r\n"
                     "BS_:\r\n\r\n"
                     "BU_: BodyController Immobiliser EngineController\r\n\r\n"
                     "BO_ 127 EngineData: 8 EngineController\r\n"
                     " SG_ EngineSpeed : 7|16@0+ (0.25,0) [0|16383.75] \"rpm\" BodyController\r\n"
                     " SG_ CoolantTemp : 16|8@1+ (1,-40) [-40|215] \"degC\" BodyController\r\n"
                     " SG_ Throttle : 24|8@1+ (0.4,0) [0|100] \"%\" BodyController\r\n"
                     " SG_ BatteryVoltage : 39|12@0+ (0.01,0) [0|40.95] \"V\" BodyController\r\n"
                     " SG_ Counter : 55|4@0+ (1,0) [0|15] \"\" BodyController\r\n"
                     " SG_ Checksum : 63|8@0+ (1,0) [0|255] \"\" BodyController\r\n\r\n"
                     "BO_ 274 ImmoCommand: 4 BodyController\r\n"
                     " SG_ Challenge : 7|16@0+ (1,0) [0|65535] \"\" Immobiliser\r\n"
                     " SG_ KeyIndex : 16|8@1+ (1,0) [0|255] \"\" Immobiliser\r\n"
                     " SG_ Command : 24|8@1+ (1,0) [0|255] \"\" Immobiliser\r\n\r\n"
                     "BO_ 305 ImmoStatus: 2 Immobiliser\r\n"
                     " SG_ ImmoState : 8|2@1+ (1,0) [0|3] \"\" BodyController\r\n"
                     " SG_ KeyValid : 10|1@1+ (1,0) [0|1] \"\" BodyController\r\n\r\n"
                     "BO_ 592 ImmoDiagRequest: 8 BodyController\r\n\r\n"
                     "BO_ 1000 ImmoSleep: 0 BodyController\r\n\r\n"
                     "CM_ BO_ 127 \"Engine data, every 10 ms in a real car.\";\r\n"
                     "VAL_ 274 Command 60 \"Authenticate\" 61 \"Confirm\" ;\r\n"
                     "VAL_ 305 ImmoState 0 \"Locked\" 1 \"Unlocked\" 2 \"Learning\" 3 \"Fault\" ;\r\n"
                     "VAL_ 305 KeyValid 0 \"No\" 1 \"Yes\" ;\r\n"});
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
