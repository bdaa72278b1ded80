// CAN and LIN frame lines as pcap captures for Wireshark and tcpdump: one file per link
// type, LINKTYPE_CAN_SOCKETCAN (classic CAN frames, error lines as SocketCAN error frames)
// or LINKTYPE_LIN (Wireshark's LIN pseudo-header, with the frame's errors in it). Packet
// times are the run's wall clock for a live run, else the time from the start of the run.

#include "export/Exporters.h"

namespace velkor::exporters {

namespace {

constexpr std::uint32_t kLinkTypeCanSocketCan = 227;
constexpr std::uint32_t kLinkTypeLin = 212;
constexpr std::uint32_t kCanExtendedFlag = 0x80000000;
constexpr std::uint32_t kCanRemoteFlag = 0x40000000;
constexpr std::uint32_t kCanErrorFlag = 0x20000000;
constexpr std::uint32_t kCanErrorBus = 0x00000080;

void PutBe32(std::string& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((value >> shift) & 0xFF);
}

class PcapExporter : public LineExporter {
 public:
  PcapExporter(ByteSink& sink, const ExportContext& context, bool lin)
      : LineExporter(sink), base_(static_cast<std::uint64_t>(context.runStartMicros.value_or(0))), lin_(lin) {
    PutLe(out_, 0xA1B2C3D4, 4);  // microsecond times, written little-endian
    PutLe(out_, 2, 2);
    PutLe(out_, 4, 2);
    PutLe(out_, 0, 4);  // time zone
    PutLe(out_, 0, 4);  // accuracy
    PutLe(out_, 65535, 4);
    PutLe(out_, lin ? kLinkTypeLin : kLinkTypeCanSocketCan, 4);
  }

  void Add(std::string_view line, FrameTag tag) override {
    ++counts_.lines;
    if (lin_)
      AddLin(line, tag);
    else
      AddCan(line, tag);
    FlushIfFull();
  }

 private:
  void Packet(std::uint64_t micros, std::size_t size) {
    const std::uint64_t t = base_ + micros;
    PutLe(out_, t / 1000000, 4);
    PutLe(out_, t % 1000000, 4);
    PutLe(out_, size, 4);
    PutLe(out_, size, 4);
  }

  void AddCan(std::string_view line, FrameTag tag) {
    CanFrame frame;
    const BusLine kind = ReadCanLine(line, tag, frame);
    if (kind == BusLine::Other) {
      ++counts_.otherLines;
      return;
    }
    Packet(frame.micros, 16);
    if (kind == BusLine::Error) {
      ++counts_.errorRecords;
      PutBe32(out_, kCanErrorFlag | kCanErrorBus);
      out_ += '\x08';
      out_.append(11, '\0');
      return;
    }
    ++counts_.records;
    PutBe32(out_, frame.id | (frame.extended ? kCanExtendedFlag : 0) | (frame.remote ? kCanRemoteFlag : 0));
    const std::uint8_t length = std::min<std::uint8_t>(frame.dlc, 8);
    out_ += static_cast<char>(length);
    out_ += '\0';  // padding
    out_ += '\0';  // reserved
    out_ += static_cast<char>(frame.dlc > 8 ? frame.dlc : 0);  // the DLC beyond 8 of a remote frame
    out_.append(reinterpret_cast<const char*>(frame.data.data()), 8);
  }

  void AddLin(std::string_view line, FrameTag tag) {
    LinFrame frame;
    const BusLine kind = ReadLinLine(line, tag, frame);
    if (kind == BusLine::Other) {
      ++counts_.otherLines;
      return;
    }
    if (kind == BusLine::Error) {
      ++counts_.dropped;  // no identifier or too long: no LIN record holds it
      return;
    }
    ++counts_.records;
    if (frame.errors != 0) ++counts_.errorRecords;
    Packet(frame.micros, 8u + frame.size);
    out_ += '\x01';            // message format revision
    out_.append(3, '\0');      // reserved
    out_ += static_cast<char>(frame.size << 4 | (frame.enhanced ? 2 : 1));  // length, frame, checksum type
    out_ += static_cast<char>(frame.protectedId);
    out_ += static_cast<char>(frame.checksum);
    out_ += static_cast<char>(frame.errors);
    out_.append(reinterpret_cast<const char*>(frame.data.data()), frame.size);
  }

  std::uint64_t base_;
  bool lin_;
};

}  // namespace

std::unique_ptr<LineExporter> MakePcap(ExportFormat format, ByteSink& sink, const ExportContext& context) {
  return std::make_unique<PcapExporter>(sink, context, format == ExportFormat::PcapLin);
}

}  // namespace velkor::exporters
