// Exports of decoded lines: the table formats cell by cell, the frames the bus logs read
// from stored lines, and every format written by velkor-decode and read back by a tool
// nobody here wrote (Python's csv and json, python-can, tshark).

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

#include "CanEncoder.h"
#include "LinEncoder.h"
#include "TestRig.h"
#include "app/Cp1252.h"
#include "export/ExportFile.h"
#include "export/Exporters.h"
#include "export/LineExporter.h"

using namespace velkor;
using namespace velkor::test;

namespace {

std::string Export(ExportFormat format, const std::vector<std::pair<std::string, FrameTag>>& lines,
                   ExportContext context = {}) {
  StringSink sink;
  auto exporter = MakeLineExporter(format, sink, context);
  for (const auto& [line, tag] : lines) exporter->Add(line, tag);
  EXPECT_TRUE(exporter->Finish());
  return sink.text;
}

}  // namespace

TEST(TableExport, CsvAndJsonCellsFromStoredLines) {
  ExportContext context;
  context.captions[0] = "C,\"1";
  context.captions[1] = "Door";
  const std::vector<std::pair<std::string, FrameTag>> lines = {
      {"0,1523642,ID=12A,DLC=2,DataFrame=00 01,", {}},
      {"0,5,\xA3" "Error frame,", {}},
      {"1,1000000,$T\"\xE9=\x80 5,A=B=C,", {}},
  };
  EXPECT_EQ(Export(ExportFormat::Csv, lines, context),
            "channel,caption,time_us,time_s,error,text,name,value\r\n"
            "1,\"C,\"\"1\",1523642,1.523642,0,ID=12A DLC=2 DataFrame=00 01,ID,12A,DLC,2,DataFrame,00 01\r\n"
            "1,\"C,\"\"1\",5,0.000005,1,Error frame,,Error frame\r\n"
            "2,Door,1000000,1.000000,0,\"T\"\"\xC3\xA9=\xE2\x82\xAC 5 A=B=C\",\"T\"\"\xC3\xA9\",\xE2\x82\xAC 5,A,B=C\r\n");
  EXPECT_EQ(Export(ExportFormat::JsonLines, lines, context),
            "{\"channel\":1,\"caption\":\"C,\\\"1\",\"time_us\":1523642,\"error\":false,"
            "\"fields\":[[\"ID\",\"12A\"],[\"DLC\",\"2\"],[\"DataFrame\",\"00 01\"]]}\n"
            "{\"channel\":1,\"caption\":\"C,\\\"1\",\"time_us\":5,\"error\":true,\"fields\":[[\"\",\"Error frame\"]]}\n"
            "{\"channel\":2,\"caption\":\"Door\",\"time_us\":1000000,\"error\":false,"
            "\"fields\":[[\"T\\\"\xC3\xA9\",\"\xE2\x82\xAC 5\"],[\"A\",\"B=C\"]]}\n");
}

TEST(BusExport, FramesReadFromLinesAndTags) {
  using exporters::BusLine;
  struct CanCase {
    std::string line;
    FrameTag tag;
    BusLine kind;
    std::uint32_t id;
    bool remote;
    int dlc;
    std::vector<std::uint8_t> data;
  };
  const CanCase cases[] = {
      // The name shown is not the identifier: the tag is.
      {"0,10,ID=PIC_Status,DLC=2,DataFrame=00 01,", FrameTag::Can(0x131, false), BusLine::Frame, 0x131, false, 2, {0, 1}},
      {"1,11,ID=250,DLC=15,RemoteFrame,", FrameTag::Can(0x250, false), BusLine::Frame, 0x250, true, 15, {}},
      {"0,12,ID=07F,DLC=0,DataFrame=,", FrameTag::Can(0x7F, false), BusLine::Frame, 0x7F, false, 0, {}},
      {"0,13,ID=14611234,DLC=1,DataFrame=FF,", FrameTag::Can(0x14611234, true), BusLine::Frame, 0x14611234, false, 1, {0xFF}},
      {"0,14,ID=12A,\xA3" "Error DLC,", FrameTag::Can(0x12A, false), BusLine::Error, 0x12A, false, 0, {}},
      {"0,15,\xA3" "Error frame,", FrameTag::NoId(FrameBus::Can), BusLine::Error, 0, false, 0, {}},
      {"0,16,ID=12A,DLC=1,DataFrame=01,\xA3" "Error CRC,", FrameTag::Can(0x12A, false), BusLine::Error, 0x12A, false, 1, {1}},
      {"1,17,New Value=1,", {}, BusLine::Other, 0, false, 0, {}},
  };
  for (const CanCase& c : cases) {
    SCOPED_TRACE(c.line);
    exporters::CanFrame f;
    ASSERT_EQ(exporters::ReadCanLine(c.line, c.tag, f), c.kind);
    if (c.kind == BusLine::Other) continue;
    EXPECT_EQ(f.channel, c.line[0] - '0');
    if (c.kind != BusLine::Frame) continue;
    EXPECT_EQ(f.id, c.id);
    EXPECT_EQ(f.extended, c.tag.extended);
    EXPECT_EQ(f.remote, c.remote);
    EXPECT_EQ(f.dlc, c.dlc);
    EXPECT_EQ(std::vector<std::uint8_t>(f.data.begin(), f.data.begin() + f.size), c.data);
  }

  struct LinCase {
    std::string line;
    FrameTag tag;
    BusLine kind;
    std::vector<std::uint8_t> data;
    std::uint8_t errors;
    bool enhanced;
  };
  const LinCase linCases[] = {
      {"2,20,ID=BCM_Status,Data=00 00 00 00,Checksum=57,", FrameTag::Lin(0xA8, false), BusLine::Frame, {0, 0, 0, 0}, 0, true},
      {"2,21,ID=28,Data=80 90,Checksum=EE,", FrameTag::Lin(0x28, false), BusLine::Frame, {0x80, 0x90}, 0, false},
      {"2,22,ID=3C,Data=01 \x95  03,Checksum=00,\xA3" "Error Checksum,", FrameTag::Lin(0x3C, false), BusLine::Frame,
       {1, 0, 3}, exporters::kLinErrorFraming | exporters::kLinErrorChecksum, false},
      {"2,23,\xA3" "Bad Synchro byte,", FrameTag::NoId(FrameBus::Lin), BusLine::Error, {}, 0, false},
      {"2,24,ID=10,Data=00 00 00 00 00 00 00 00 00,Checksum=00,", FrameTag::Lin(0x10, false), BusLine::Error, {}, 0, false},
  };
  for (const LinCase& c : linCases) {
    SCOPED_TRACE(c.line);
    exporters::LinFrame f;
    ASSERT_EQ(exporters::ReadLinLine(c.line, c.tag, f), c.kind);
    if (c.kind != BusLine::Frame) continue;
    EXPECT_EQ(f.protectedId, c.tag.id);
    EXPECT_EQ(std::vector<std::uint8_t>(f.data.begin(), f.data.begin() + f.size), c.data);
    EXPECT_EQ(f.errors, c.errors);
    EXPECT_EQ(f.enhanced, c.enhanced);
  }
}

TEST(BusExport, DecodersTagTheIdentifierBesideTheName) {
  // A described name replaces the identifier in the text; the tag keeps the number.
  TestRig rig;
  const TempDir& dir = rig.dir;
  rig.NoDecoderOnAnyChannel();
  rig.settings.channels[0].type = ChannelType::Can;
  rig.settings.channels[0].active = true;
  rig.settings.channels[0].canFile = dir.Write("n.cfd", "[BAUDRATE]\nValue=125000\n[ID]\n12A=Named\n");
  rig.settings.channels[2].type = ChannelType::Lin;
  rig.settings.channels[2].active = true;
  rig.settings.channels[2].linFile =
      dir.Write("n.lfd", "[BAUDRATE]\nValue=19200\n[INVERT]\nValue=NO\n[PROTOCOL]\nInterFrame=1500\n[ID]\nA8=BCM_Status\n");
  Capture capture;
  CanEncoder can(capture.channel[0], 125000);
  can.IdleBits(20);
  can.Frame({0x12A, false, 1, {0x42}});
  can.IdleBits(20);
  LinEncoder lin(capture.channel[2], 19200);
  lin.Signal().Idle(500);
  lin.Frame({0x28, {1, 2}});
  lin.Signal().Idle(5000);
  auto lines = rig.Dispatch(capture.FileBytes(2000));
  ASSERT_EQ(lines.size(), 2u) << ::testing::PrintToString(lines);
  const DecodedLineList& list = rig.pipeline.Lines();
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list.Line(i)[0] == '0') {
      EXPECT_NE(list.Line(i).find("ID=Named,"), std::string_view::npos);
      EXPECT_EQ(list.Tag(i), FrameTag::Can(0x12A, false));
    } else {
      EXPECT_NE(list.Line(i).find("ID=BCM_Status,"), std::string_view::npos);
      EXPECT_EQ(list.Tag(i), FrameTag::Lin(0xA8, false));
    }
  }
}

TEST(BusExport, BlfHeaderIsMendedWhenTheSinkCanGoBack) {
  StringSink sink;
  auto blf = MakeLineExporter(ExportFormat::Blf, sink, {});
  blf->Add("0,10,ID=1,DLC=0,DataFrame=,", FrameTag::Can(1, false));
  blf->Add("0,11,\xA3" "Error frame,", FrameTag::NoId(FrameBus::Can));
  blf->Add("1,12,New Value=1,");
  ASSERT_TRUE(blf->Finish());
  auto le = [&](std::size_t at, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(sink.text[at + i]);
    return v;
  };
  EXPECT_EQ(sink.text.substr(0, 4), "LOGG");
  EXPECT_EQ(le(16, 8), sink.text.size());  // file size
  EXPECT_EQ(le(32, 4), 2u);                // objects: the frame and the error record
  EXPECT_EQ(blf->Counts().records, 1u);
  EXPECT_EQ(blf->Counts().errorRecords, 1u);
  EXPECT_EQ(blf->Counts().otherLines, 1u);
}

// ---- Through velkor-decode, read back by the tools of the field ----

namespace {

// Channel 1: CAN with a described name holding a quote and Windows-1252 characters;
// channel 2: Logical, whose caption holds a comma and a quote; channel 3: LIN.
struct BusCapture {
  BusCapture() {
    settings.channels[0] = {};
    for (auto& ch : settings.channels) ch.active = false;
    ChannelSettings& can = settings.channels[0];
    can.type = ChannelType::Can;
    can.active = true;
    can.caption = "Bus";
    can.canFile = dir.Write("bus.cfd", "[BAUDRATE]\nValue=125000\n[ID]\n12A=Temp\"\xE9\x80\n");
    ChannelSettings& logical = settings.channels[1];
    logical.type = ChannelType::Logical;
    logical.active = true;
    logical.generation = true;
    logical.caption = "M\xE9,\"x";
    ChannelSettings& linChannel = settings.channels[2];
    linChannel.type = ChannelType::Lin;
    linChannel.active = true;
    linChannel.caption = "Lin";
    linChannel.linFile = dir.Write(
        "bus.lfd", "[BAUDRATE]\nValue=19200\n[INVERT]\nValue=NO\n[PROTOCOL]\nInterFrame=1500\nChecksumIncludeID=YES\n[ID]\nA8=BCM_Status\n");
    config = WriteChannelConfig(dir, "bus.cfg", settings);

    Capture c;
    CanEncoder enc(c.channel[0], 125000);
    enc.IdleBits(20);
    canFrames = {{0x12A, false, 2, {0x00, 0x01}}, {0x250, true, 8, {}}, {0x07F, false, 0, {}},
                 {0x7FF, false, 8, {1, 2, 3, 4, 5, 6, 7, 8}}, {0x5A5, false, 3, {0xFF, 0x00, 0x80}}};
    for (const auto& f : canFrames) {
      enc.Frame(f);
      enc.IdleBits(30);
    }
    enc.FrameWithSixEqualBits({0x000, false, 1, {0x00}});  // a stuff error: an error line
    enc.IdleBits(30);
    enc.Frame({0x123, false, 1, {0x42}});
    canFrames.push_back({0x123, false, 1, {0x42}});
    enc.IdleBits(30);

    c.channel[1].Idle(300).Hold(0, 500).Idle(700);

    LinEncoder lin(c.channel[2], 19200);
    lin.Signal().Idle(400);
    // (Not the diagnostic 3C and 3D: tshark hands their data to further dissectors.)
    linFrames = {{0x28, {0, 0, 0, 0}}, {0x15, {1, 2, 3, 4, 5, 6, 7, 8}}, {0x11, {0x80, 0x90}}};
    linFrames.back().checksumXor = 0x5A;
    for (const auto& f : linFrames) {
      lin.Frame(f);
      lin.Signal().Idle(6000);
    }
    capture = dir.Write("bus.bin", c.FileBytes(5000));

    const ToolResult raw = RunDecodeTool("--format raw --config " + config + " " + capture);
    EXPECT_EQ(raw.status, 0) << raw.err;
    std::istringstream in(raw.out);
    for (std::string line; std::getline(in, line);) rawLines.push_back(line);
  }

  std::vector<std::string> LinesOf(int channel) const {
    std::vector<std::string> out;
    for (const auto& l : rawLines)
      if (l[0] == '0' + channel) out.push_back(l);
    return out;
  }

  // Writes the capture in `format` to a file and runs `reader` over it.
  ToolResult ReadBack(const std::string& format, const std::string& file, const std::string& reader) const {
    const ToolResult written = RunDecodeTool("--format " + format + " --config " + config + " " + capture + " >" +
                                             dir.File(file));
    EXPECT_EQ(written.status, 0) << written.err;
    return RunShellCommand(reader + " " + dir.File(file) + " 2>" + dir.File("reader.err"), dir.File("reader.err"));
  }

  std::string Script(const std::string& name, const std::string& text) const { return dir.Write(name, text); }

  TempDir dir;
  Settings settings;
  std::string config;
  std::string capture;
  std::vector<CanFrame> canFrames;
  std::vector<LinFrame> linFrames;
  std::vector<std::string> rawLines;
};

std::string Seconds(const std::string& micros) {
  const unsigned long long us = std::stoull(micros);
  char text[32];
  std::snprintf(text, sizeof text, "%llu.%06llu", us / 1000000, us % 1000000);
  return text;
}

std::string DateOf(const std::string& line) {
  LineReader reader(line);
  return std::string(reader.Date());
}

bool HasError(const std::string& line) { return line.find('\xA3') != std::string::npos; }

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string out;
  for (auto b : bytes) {
    out += kHexDigits[b >> 4];
    out += kHexDigits[b & 0xF];
  }
  return out;
}

}  // namespace

TEST(ExportReadBack, PythonCsvAndJsonReadEveryLine) {
  BusCapture bus;
  ASSERT_GT(bus.rawLines.size(), 10u);
  // Each row as cells joined by tabs, from the stored lines (the reference) and from the files.
  std::string csvExpected = "channel\tcaption\ttime_us\ttime_s\terror\ttext\tname\tvalue\n", jsonExpected;
  for (const std::string& line : bus.rawLines) {
    LineReader reader(line);
    const std::string caption = Cp1252ToUtf8(bus.settings.channels[reader.Channel()].caption);
    const std::string channel = std::to_string(reader.Channel() + 1);
    const std::string error = HasError(line) ? "1" : "0";
    std::string text, pairs;
    LineField field;
    while (reader.NextField(field)) {
      text += (text.empty() ? "" : " ") + Cp1252ToUtf8(field.text);
      pairs += "\t" + Cp1252ToUtf8(field.hasValue ? field.name : "") + "\t" +
               Cp1252ToUtf8(field.hasValue ? field.value : field.text);
    }
    const std::string date = DateOf(line);
    csvExpected += channel + "\t" + caption + "\t" + date + "\t" + Seconds(date) + "\t" + error + "\t" + text + pairs + "\n";
    jsonExpected += channel + "\t" + caption + "\t" + date + "\t" + error + pairs + "\n";
  }
  ASSERT_NE(csvExpected.find("Temp\"\xC3\xA9\xE2\x82\xAC"), std::string::npos);  // the capture has what it must

  const std::string csvReader = bus.Script("csv_read.py",
                                           "import csv, sys\n"
                                           "sys.stdout.reconfigure(encoding='utf-8', newline='\\n')\n"
                                           "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                                           "    for row in csv.reader(f, strict=True):\n"
                                           "        print('\\t'.join(row))\n");
  const ToolResult csv = bus.ReadBack("csv", "lines.csv", "/usr/bin/python3 " + csvReader);
  EXPECT_EQ(csv.status, 0) << csv.err;
  EXPECT_EQ(csv.out, csvExpected);

  const std::string jsonReader = bus.Script("json_read.py",
                                            "import json, sys\n"
                                            "sys.stdout.reconfigure(encoding='utf-8', newline='\\n')\n"
                                            "with open(sys.argv[1], encoding='utf-8') as f:\n"
                                            "    for text in f:\n"
                                            "        o = json.loads(text)\n"
                                            "        cells = [str(o['channel']), o['caption'], str(o['time_us']),\n"
                                            "                 '1' if o['error'] else '0']\n"
                                            "        for name, value in o['fields']: cells += [name, value]\n"
                                            "        print('\\t'.join(cells))\n");
  const ToolResult json = bus.ReadBack("jsonl", "lines.jsonl", "/usr/bin/python3 " + jsonReader);
  EXPECT_EQ(json.status, 0) << json.err;
  EXPECT_EQ(json.out, jsonExpected);
}

TEST(ExportReadBack, PythonCanReadsCandumpAscAndBlf) {
  BusCapture bus;
  const std::vector<std::string> canLines = bus.LinesOf(0);
  ASSERT_EQ(canLines.size(), bus.canFrames.size() + 1);  // the frames and one stuff error
  std::string expected;
  std::size_t next = 0;
  for (const std::string& line : canLines) {
    const std::string t = Seconds(DateOf(line));
    if (HasError(line)) {
      expected += t + " error\n";
      continue;
    }
    const CanFrame& f = bus.canFrames[next++];
    char text[64];
    std::snprintf(text, sizeof text, " 0 %X 0 %d %d ", f.id, f.remote ? 1 : 0, f.dlc);
    expected += t + text + (f.remote ? "" : Hex(f.data)) + "\n";
  }
  const std::string reader = bus.Script("can_read.py",
                                        "import can, sys\n"
                                        "for m in can.LogReader(sys.argv[1]):\n"
                                        "    if m.is_error_frame:\n"
                                        "        print(f'{m.timestamp:.6f} error')\n"
                                        "        continue\n"
                                        "    ch = m.channel\n"
                                        "    ch = int(ch[6:]) - 1 if isinstance(ch, str) else ch\n"
                                        "    data = '' if m.is_remote_frame else bytes(m.data).hex().upper()\n"
                                        "    print(f'{m.timestamp:.6f} {ch} {m.arbitration_id:X} {int(m.is_extended_id)} '\n"
                                        "          f'{int(m.is_remote_frame)} {m.dlc} {data}')\n");
  for (const char* format : {"candump", "asc", "blf"}) {
    SCOPED_TRACE(format);
    const std::string ext = std::string(format) == "candump" ? "log" : format;
    const ToolResult r = bus.ReadBack(format, std::string("frames.") + ext, "/usr/bin/python3 " + reader);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, expected);
  }
}

TEST(ExportReadBack, TsharkDissectsCanAndLinPcaps) {
  BusCapture bus;
  // CAN: identifier, flags, length and payload of every frame; the stuff error as an error frame.
  std::string expected;
  std::size_t next = 0;
  for (const std::string& line : bus.LinesOf(0)) {
    const std::string t = Seconds(DateOf(line));
    if (HasError(line)) {
      expected += t + "\t\t\t\t1\t8\t\n";  // an error frame has no identifier or frame flags
      continue;
    }
    const CanFrame& f = bus.canFrames[next++];
    char text[64];
    std::snprintf(text, sizeof text, "\t%d\t0\t%d\t0\t%d\t", f.id, f.remote ? 1 : 0, f.dlc);
    // A SocketCAN frame carries eight data bytes; tshark shows as many as the length.
    std::string data = f.remote ? std::string(2 * f.dlc, '0') : Hex(f.data);
    for (auto& c : data) c = static_cast<char>(std::tolower(c));
    expected += t + text + data + "\n";
  }
  const std::string tsharkCan =
      "tshark -n -T fields -E separator=/t -e frame.time_epoch -e can.id -e can.flags.xtd -e can.flags.rtr "
      "-e can.flags.err -e can.len -e data.data -r";
  ToolResult can = bus.ReadBack("pcap-can", "can.pcap", tsharkCan);
  EXPECT_EQ(can.status, 0) << can.err;
  // tshark writes epoch times with nine decimals; the last three are zero.
  std::string canOut;
  std::istringstream in(can.out);
  for (std::string row; std::getline(in, row);) {
    const std::size_t tab = row.find('\t');
    canOut += row.substr(0, tab >= 3 ? tab - 3 : tab) + row.substr(tab) + "\n";
  }
  EXPECT_EQ(canOut, expected);

  // LIN: protected identifier, length, checksum, errors and payload.
  std::string linExpected;
  const std::vector<std::string> linLines = bus.LinesOf(2);
  ASSERT_EQ(linLines.size(), bus.linFrames.size());
  for (std::size_t i = 0; i < linLines.size(); ++i) {
    const LinFrame& f = bus.linFrames[i];
    const std::uint8_t pid = LinEncoder::ProtectedId(f.id);
    const std::uint8_t checksum =
        LinEncoder::Checksum(pid, f.data, LinEncoder::UsesEnhanced(f)) ^ f.checksumXor;
    char text[96];
    std::snprintf(text, sizeof text, "\t0x%02x\t%zu\t0x%02x\t0x%02x\t", pid, f.data.size(), checksum,
                  HasError(linLines[i]) ? 0x08 : 0);
    std::string data = Hex(f.data);
    for (auto& c : data) c = static_cast<char>(std::tolower(c));
    linExpected += Seconds(DateOf(linLines[i])) + text + data + "\n";
  }
  const std::string tsharkLin =
      "tshark -n -T fields -E separator=/t -e frame.time_epoch -e lin.protected_id -e lin.length -e lin.checksum "
      "-e lin.errors -e data.data -r";
  ToolResult lin = bus.ReadBack("pcap-lin", "lin.pcap", tsharkLin);
  EXPECT_EQ(lin.status, 0) << lin.err;
  std::string linOut;
  std::istringstream linIn(lin.out);
  for (std::string row; std::getline(linIn, row);) {
    const std::size_t tab = row.find('\t');
    linOut += row.substr(0, tab >= 3 ? tab - 3 : tab) + row.substr(tab) + "\n";
  }
  EXPECT_EQ(linOut, linExpected);
}

TEST(ExportFile, SelectedLinesStopAndFailureLeaveNoHalfFile) {
  TempDir dir;
  RecordingUi ui;
  DecodedLineList lines;
  for (std::size_t i = 0; i < kExportProgressLines; ++i)
    lines.Append("0," + std::to_string(i) + ",ID=12A,DLC=1,DataFrame=" + (i % 2 ? "01" : "00") + ",",
                 FrameTag::Can(0x12A, false));
  lines.SetSelected(1, true);
  lines.SetSelected(3, true);
  const std::string path = dir.Write("frames.log", "old\n");
  ExportCounts counts;

  // Only the selected lines; a short export shows no progress.
  DecodedLineList few;
  few.Append(lines.Line(0), lines.Tag(0));
  few.Append("1,7,New Value=1,");
  few.SetSelected(0, true);
  ASSERT_EQ(ExportLinesToFile(path, few, true, ExportFormat::Candump, {}, ui, counts), ExportOutcome::Written);
  EXPECT_EQ(ReadWholeFile(path), "(0.000000) velkor1 12A#00\n");
  EXPECT_TRUE(ui.progress.empty());

  // Stopped half way: the file is as it was, and no temporary file is left.
  dir.Write("frames.log", "old\n");
  ui.stopAfterBlocks = 5;
  EXPECT_EQ(ExportLinesToFile(path, lines, false, ExportFormat::Candump, {}, ui, counts), ExportOutcome::Stopped);
  EXPECT_EQ(ReadWholeFile(path), "old\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
  ASSERT_FALSE(ui.progress.empty());
  EXPECT_EQ(ui.progress.front(), "show:Export...");
  EXPECT_EQ(ui.progress.back(), "hide");

  // The whole list, selected lines only; with the run's wall clock as the base time.
  ui.stopAfterBlocks = -1;
  ExportContext live;
  live.runStartMicros = 1'700'000'000'000'000;
  ASSERT_EQ(ExportLinesToFile(path, lines, true, ExportFormat::Candump, live, ui, counts), ExportOutcome::Written);
  EXPECT_EQ(ReadWholeFile(path), "(1700000000.000001) velkor1 12A#01\n(1700000000.000003) velkor1 12A#01\n");
  EXPECT_EQ(counts.records, 2u);

  // BLF mends its header in the saved file: the size there is the file's.
  const std::string blf = dir.File("frames.blf");
  ASSERT_EQ(ExportLinesToFile(blf, lines, false, ExportFormat::Blf, {}, ui, counts), ExportOutcome::Written);
  const std::string bytes = ReadWholeFile(blf);
  ASSERT_GT(bytes.size(), 144u);
  std::uint64_t size = 0;
  for (int i = 7; i >= 0; --i) size = size << 8 | static_cast<unsigned char>(bytes[16 + i]);
  EXPECT_EQ(size, bytes.size());

  EXPECT_EQ(ExportLinesToFile(dir.File("missing/frames.log"), lines, false, ExportFormat::Csv, {}, ui, counts),
            ExportOutcome::Failed);
}
