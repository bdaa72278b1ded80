#include "Demo.h"
#include "ManchesterEncoder.h"

namespace velkor::demo {

// A Manchester line carrying two kinds of frame: a 40-bit receiver frame at 3906 bit/s and
// a 16-bit key frame at 9600 bit/s with the opposite bit convention. Every fourth receiver
// frame is cut 4 bits short, so the demo also shows the faulty block.
DemoChannel DemoChannel2() {
  DemoChannel d;
  d.settings.type = ChannelType::Manchester;
  d.settings.caption = "Man2";
  d.settings.active = true;
  d.settings.manchesterFiles = {{"FD_RXA.mfd", true}, {"FD_KEY.mfd", true}};
  d.files = {
      {"FD_RXA.mfd",
       "[BAUDRATE]\nValue=3906\n[INVERT]\nValue=NO\n[TIMEOUT]\nValue=5\n[PREAMBLE]\nContent=0000 M0S0\n"
       "[FIELDS]\nIDE=32\nAcc=8\n"},
      {"FD_KEY.mfd",
       "[BAUDRATE]\nValue=9600\n[INVERT]\nValue=YES\n[TIMEOUT]\nValue=3\n[PREAMBLE]\nContent=1111 M1S1\n"
       "[FIELDS]\nCmd=4\nArg=12\n"},
  };
  d.signal = test::SignalBuilder(1);
  constexpr double kFramePeriod = 30000;
  for (int k = 0; (k + 1) * kFramePeriod < kDemoMicros; ++k) {
    d.signal.IdleUntil(k * kFramePeriod + 5000);
    if (k % 2 == 0) {
      test::ManchesterEncoder rxa(d.signal, 3906, false);
      rxa.Symbols("0000 M0S0").Field(32, 0xF0005800u + static_cast<std::uint32_t>(k));
      if (k % 8 == 6)
        rxa.Field(4, 0x0);
      else
        rxa.Field(8, static_cast<std::uint64_t>(k / 2 % 4));
    } else {
      test::ManchesterEncoder key(d.signal, 9600, true);
      key.Symbols("1111 M1S1").Field(4, static_cast<std::uint64_t>(k % 16)).Field(12, 0x100u + 0x11u * k);
    }
  }
  return d;
}

}  // namespace velkor::demo
