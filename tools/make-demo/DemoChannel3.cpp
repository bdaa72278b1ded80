#include "Demo.h"
#include "UartEncoder.h"

namespace velkor::demo {

// A 9600-baud RS232 line as the module sees it (quiet at 0), carrying short text frames:
// the characters of a frame follow each other closely, frames are tens of milliseconds apart.
DemoChannel DemoChannel3() {
  const test::UartFormat format = test::UartFormat::Rs232AsSeen(9600);
  DemoChannel d;
  d.settings.type = ChannelType::Serial;
  d.settings.caption = "Ser3";
  d.settings.active = true;
  d.settings.serialFile = "demo-serial.sfd";
  d.files.push_back({"demo-serial.sfd",
                     "; RS232 at 9600 baud, 8N1, seen through the acquisition module\n"
                     "[PROTOCOL]\n"
                     "Baudrate=9600\n"
                     "DataBits=8\n"
                     "LsbFirst=YES\n"
                     "InvertedStart=NO\n"
                     "InvertedData=YES\n"
                     "InterFrame=5000\n"
                     "Ascii=YES\n"});
  d.signal = test::UartLine(format);
  test::UartEncoder uart(d.signal, format);
  const char* frames[] = {"HELLO", "VELKOR SERIAL", "TEMP 21.5C", "OK", "PING 42", "BYE"};
  double at = 8000;
  for (const char* text : frames) {
    uart.GapUntil(at);
    for (const char* c = text; *c != '\0'; ++c) uart.Word(static_cast<unsigned char>(*c)).Gap(150);
    at += 90000;
  }
  return d;
}

}  // namespace velkor::demo
