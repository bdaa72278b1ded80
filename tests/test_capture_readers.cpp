// Capture files of other instruments read onto the grid: what each format's reader makes of
// small files written here, the channel maps, and the refusals of damaged files.

#include <gtest/gtest.h>
#include <zip.h>

#include <fstream>

#include "TestRig.h"
#include "capture/CaptureReader.h"

using namespace velkor;
using namespace velkor::test;

namespace {

// The samples of a reader as hex digits, read `block` at a time.
std::string Samples(CaptureReader& reader, std::size_t block = 4096) {
  std::string text;
  std::vector<std::uint8_t> buffer(block);
  for (;;) {
    const std::size_t n = reader.Read(buffer.data(), block);
    for (std::size_t i = 0; i < n; ++i) text += "0123456789abcdef"[buffer[i] & 0x0F];
    if (n < block) return text;
  }
}

// A sigrok session made with libzip: the metadata text, then each chunk's bytes.
std::string WriteSession(const TempDir& dir, const std::string& name, const std::string& metadata,
                         const std::vector<std::string>& chunks) {
  const std::string path = dir.File(name);
  int code = 0;
  zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  EXPECT_NE(zip, nullptr);
  std::vector<std::string> held{"2", metadata};
  held.insert(held.end(), chunks.begin(), chunks.end());
  auto add = [&](const std::string& entry, const std::string& bytes) {
    zip_source_t* source = zip_source_buffer(zip, bytes.data(), bytes.size(), 0);
    EXPECT_GE(zip_file_add(zip, entry.c_str(), source, ZIP_FL_OVERWRITE), 0);
  };
  add("version", held[0]);
  if (!metadata.empty()) add("metadata", held[1]);
  for (std::size_t k = 0; k < chunks.size(); ++k) add("logic-1-" + std::to_string(k + 1), held[2 + k]);
  EXPECT_EQ(zip_close(zip), 0);
  return path;
}

std::string Metadata(const std::string& rate, int unitSize, const std::vector<std::string>& probes) {
  std::string text = "[global]\nsigrok version=0.5.2\n\n[device 1]\ncapturefile=logic-1\ntotal probes=" +
                     std::to_string(probes.size()) + "\nsamplerate=" + rate + "\n";
  for (std::size_t k = 0; k < probes.size(); ++k) text += "probe" + std::to_string(k + 1) + "=" + probes[k] + "\n";
  return text + "unitsize=" + std::to_string(unitSize) + "\n";
}

std::unique_ptr<CaptureReader> Open(const std::string& path) {
  std::string error;
  auto reader = OpenCapture(path, error);
  EXPECT_TRUE(reader) << error;
  return reader;
}

std::string OpenError(const std::string& path) {
  std::string error;
  auto reader = OpenCapture(path, error);
  EXPECT_FALSE(reader);
  return error;
}

}  // namespace

TEST(CaptureReaders, SigrokSessionAtTheGridRateIsReadSampleForSample) {
  TempDir dir;
  // Two chunks, 416.667 kHz: the nearest whole-hertz rate to the grid's is the grid, so a long
  // capture does not drift by a tick every 1.25 million samples.
  const std::string path = WriteSession(dir, "grid.sr", Metadata("416.667 kHz", 1, {"A", "B", "C", "D", "E"}),
                                        {std::string("\x01\x02\x13\x1f", 4), std::string("\x08\x00", 2)});
  auto reader = Open(path);
  EXPECT_EQ(reader->Format(), CaptureFormat::Sigrok);
  EXPECT_EQ(reader->ChannelNames(), (std::vector<std::string>{"A", "B", "C", "D", "E"}));
  EXPECT_EQ(reader->ExpectedSamples(), 6u);
  EXPECT_TRUE(reader->Warnings().empty());
  EXPECT_EQ(Samples(*reader), "123f80");
}

TEST(CaptureReaders, WideUnitsAreMappedByNameAndNumber) {
  TempDir dir;
  std::vector<std::string> probes;
  for (int k = 0; k < 12; ++k) probes.push_back("D" + std::to_string(k));
  // Units of two bytes: D9 is bit 1 of the second byte, D0 bit 0 of the first.
  const std::string chunk("\x01\x00\x00\x02\x01\x02\x00\x08", 8);
  const std::string path = WriteSession(dir, "wide.sr", Metadata("416666", 2, probes), {chunk});
  auto reader = Open(path);
  ChannelMap map;
  std::string error;
  ASSERT_FALSE(ParseChannelMap("1=D9,2=1,4=#12", reader->ChannelNames(), map, error)) << error;
  reader->SetMap(map);
  EXPECT_EQ(Samples(*reader), "2138");
}

TEST(CaptureReaders, FasterSourcesAreSampledAndHeldAtEachTick) {
  TempDir dir;
  // 4 MHz: tick n (2.4 us) takes sample floor(9.6 n), the last one at or before it.
  std::string chunk(40, '\0');
  for (int k : {9, 19, 28}) chunk[k] = 1;
  const std::string path = WriteSession(dir, "fast.sr", Metadata("4 MHz", 1, {"x"}), {chunk});
  auto reader = Open(path);
  EXPECT_EQ(reader->ExpectedSamples(), 5u);  // 40 samples of 0.25 us span 4.17 ticks
  EXPECT_EQ(Samples(*reader, 1), "01110");
  EXPECT_TRUE(reader->Warnings().empty());
}

TEST(CaptureReaders, SlowerSourcesAreHeldWithAWarning) {
  TempDir dir;
  const std::string path = WriteSession(dir, "slow.sr", Metadata("100 kHz", 1, {"x"}), {std::string("\x01\x00\x01", 3)});
  auto reader = Open(path);
  ASSERT_EQ(reader->Warnings().size(), 1u);
  EXPECT_NE(reader->Warnings()[0].find("10 \xB5s apart"), std::string::npos) << reader->Warnings()[0];
  // Samples at 0, 10 and 20 us; ticks at 0, 2.4, ... 28.8 us.
  EXPECT_EQ(Samples(*reader), "1111100001111");
}

TEST(CaptureReaders, DamagedSessionsAreRefusedByName) {
  TempDir dir;
  EXPECT_NE(OpenError(WriteSession(dir, "nometa.sr", "", {"x"})).find("nometa.sr: has no metadata"),
            std::string::npos);
  EXPECT_NE(OpenError(WriteSession(dir, "unit.sr", Metadata("1 MHz", 9, {"a"}), {"x"})).find("unknown unitsize 9"),
            std::string::npos);
  EXPECT_NE(OpenError(WriteSession(dir, "rate.sr", Metadata("fast", 1, {"a"}), {"x"})).find("samplerate 'fast'"),
            std::string::npos);
  EXPECT_NE(OpenError(dir.Write("plain.sr", "just text")).find("plain.sr: not a zip archive"), std::string::npos);

  // Damage found while reading: the samples before it are given, then the failure.
  auto reader = Open(WriteSession(dir, "cut.sr", Metadata("416667", 2, {"a"}), {std::string("\x01\x00\x01", 3)}));
  EXPECT_EQ(Samples(*reader), "1");
  EXPECT_NE(reader->Failure().find("cut.sr: the logic data ends within a sample"), std::string::npos)
      << reader->Failure();
}

namespace {

// A chunk of a session: its bytes and how the archive keeps them.
struct ChunkSpec {
  std::size_t size;
  zip_int32_t method;
};

// A session of two-byte units whose chunks are kept as given; returns its path and the samples
// a reader must give (the low four bits of each unit's first byte).
std::pair<std::string, std::string> ChunkedSession(const TempDir& dir, const std::string& name,
                                                   const std::vector<ChunkSpec>& specs) {
  const std::string path = dir.File(name);
  int code = 0;
  zip_t* zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  const std::string metadata = Metadata("416667", 2, {"a", "b", "c", "d"});
  zip_file_add(zip, "metadata", zip_source_buffer(zip, metadata.data(), metadata.size(), 0), 0);
  std::vector<std::string> chunks;
  std::string all;
  for (std::size_t k = 0; k < specs.size(); ++k) {
    std::string bytes(specs[k].size, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>((all.size() + i) / 3 % 29);
    all += bytes;
    chunks.push_back(std::move(bytes));
  }
  for (std::size_t k = 0; k < specs.size(); ++k) {
    const zip_int64_t index = zip_file_add(zip, ("logic-1-" + std::to_string(k + 1)).c_str(),
                                           zip_source_buffer(zip, chunks[k].data(), chunks[k].size(), 0), 0);
    zip_set_file_compression(zip, static_cast<zip_uint64_t>(index), specs[k].method, 0);
  }
  EXPECT_EQ(zip_close(zip), 0);
  std::string samples;
  for (std::size_t i = 0; i + 2 <= all.size(); i += 2) samples += "0123456789abcdef"[all[i] & 0x0F];
  return {path, samples};
}

// Flips bits of the byte `from` bytes after the `nth` (0: first) `marker` of the archive.
void Damage(const std::string& path, const std::string& marker, int nth, std::size_t from, char bits) {
  std::string bytes = ReadWholeFile(path);
  std::size_t at = bytes.find(marker);
  while (nth-- > 0 && at != std::string::npos) at = bytes.find(marker, at + 1);
  ASSERT_NE(at, std::string::npos);
  bytes[at + from] = static_cast<char>(bytes[at + from] ^ bits);
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

}  // namespace

// Small chunks are read whole (deflated or stored), large ones and those that end within a
// sample are streamed; however they follow each other, the samples are the same.
TEST(CaptureReaders, ChunksReadWholeOrStreamedGiveTheSameSamples) {
  TempDir dir;
  const std::size_t big = (8 << 20) + 2;
  const std::vector<std::vector<ChunkSpec>> layouts = {
      {{4000, ZIP_CM_DEFLATE}, {2000, ZIP_CM_STORE}, {0, ZIP_CM_DEFLATE}, {6, ZIP_CM_DEFLATE}},
      // A sample split over two chunks, then whole chunks again.
      {{3, ZIP_CM_DEFLATE}, {5, ZIP_CM_STORE}, {4, ZIP_CM_DEFLATE}, {7, ZIP_CM_DEFLATE}, {1, ZIP_CM_DEFLATE}},
      {{big, ZIP_CM_DEFLATE}, {10, ZIP_CM_DEFLATE}, {big, ZIP_CM_STORE}},
  };
  for (std::size_t n = 0; n < layouts.size(); ++n) {
    const auto [path, expected] = ChunkedSession(dir, "chunks" + std::to_string(n) + ".sr", layouts[n]);
    for (std::size_t block : {std::size_t{1} << 16, std::size_t{7}}) {
      if (block == 7 && expected.size() > 100000) continue;
      auto reader = Open(path);
      EXPECT_EQ(reader->ExpectedSamples(), expected.size()) << n;
      EXPECT_TRUE(Samples(*reader, block) == expected) << "layout " << n << ", blocks of " << block;
      EXPECT_EQ(reader->Failure(), "") << n;
    }
  }
}

TEST(CaptureReaders, DamagedChunksGiveTheSamplesBeforeThemThenTheFailure) {
  TempDir dir;
  // The check sum of the second chunk, as the central directory gives it (16 bytes into its
  // entry), and the deflated bytes of the second chunk (just after its local header).
  const std::pair<std::string, std::string> damages[] = {{"PK\x01\x02", "CRC error"}, {"logic-1-2", "cannot be read"}};
  for (const auto& [marker, told] : damages) {
    const auto [path, expected] =
        ChunkedSession(dir, "damaged.sr", {{400, ZIP_CM_DEFLATE}, {4000, ZIP_CM_DEFLATE}, {400, ZIP_CM_DEFLATE}});
    if (marker == "logic-1-2")
      Damage(path, marker, 0, 9 + 40, 0x5A);
    else
      Damage(path, marker, 2, 16, 1);  // entries: metadata, then the chunks
    auto reader = Open(path);
    EXPECT_EQ(Samples(*reader), expected.substr(0, 200)) << marker;
    EXPECT_NE(reader->Failure().find("damaged.sr: logic-1-2 cannot be read"), std::string::npos) << reader->Failure();
    EXPECT_NE(reader->Failure().find(told), std::string::npos) << reader->Failure();
  }
}

TEST(CaptureReaders, ValueChangeDumpsPutEveryBitOnTheGrid) {
  TempDir dir;
  const std::string path = dir.Write("bus.vcd",
                                     "$date today $end\n$timescale 1 us $end\n$scope module top $end\n"
                                     "$var wire 1 ! clk $end\n$var wire 3 \" data [2:0] $end\n"
                                     "$var wire 1 !! long id $end\n$var wire 1 ! clock $end\n"
                                     "$upscope $end\n$enddefinitions $end\n"
                                     "#0\n$dumpvars\n1! b1x1 \" 0!!\n$end\n"
                                     "#5\n0!\n#7 b10 \"\n1!!\n#12\nz! b0 \"\n#14\n");
  auto reader = Open(path);
  EXPECT_EQ(reader->ChannelNames(),
            (std::vector<std::string>{"clk", "data[0]", "data[1]", "data[2]", "long", "clock"}));
  ChannelMap map;
  std::string error;
  ASSERT_FALSE(ParseChannelMap("1=clock,2=data[0],3=data[1],4=long", reader->ChannelNames(), map, error)) << error;
  reader->SetMap(map);
  // Ticks at 0, 2.4, 4.8, 7.2, 9.6, 12 us; the changes at 5 and 7 us both fall on the tick of
  // 7.2, those at 12 on its own tick; the capture ends at 14 us, before the tick of 14.4.
  EXPECT_EQ(Samples(*reader, 1), "333cc8");
}

TEST(CaptureReaders, AChangeAtTheLastTimeIsShownByItsTick) {
  TempDir dir;
  auto reader = Open(dir.Write("end.vcd", "$timescale 100ns $end $var reg 1 % a $end $enddefinitions $end "
                                          "#0 0% #24 1% #48 0%"));
  EXPECT_EQ(Samples(*reader), "010");
}

TEST(CaptureReaders, DamagedDumpsNameTheLine) {
  TempDir dir;
  const std::string head = "$timescale 1ns $end\n$var wire 1 ! a $end\n$enddefinitions $end\n";
  EXPECT_NE(OpenError(dir.Write("none.vcd", "$var wire 1 ! a $end\n$enddefinitions $end\n#0 1!\n"))
                .find("none.vcd: no $timescale"),
            std::string::npos);
  EXPECT_NE(OpenError(dir.Write("scale.vcd", "$timescale 3 ns $end $enddefinitions $end")).find("$timescale '3ns'"),
            std::string::npos);
  struct Case {
    const char* body;
    const char* samples;
    const char* failure;
  };
  const Case cases[] = {
      {"#0 1!\n#4800\n#2400 0!\n", "11", "line 6: the time goes backwards (#2400 after #4800)"},
      {"#0 1!\n#2400 1?\n", "1", "line 5: a value for the undeclared identifier '?'"},
      {"#0 1!\nhello\n", "", "line 5: 'hello' is neither a time nor a value change"},
      {"#0 1!\n#-5\n", "", "line 5: '#-5' is not a time"},
  };
  for (const Case& c : cases) {
    auto reader = Open(dir.Write("bad.vcd", head + c.body));
    EXPECT_EQ(Samples(*reader), c.samples) << c.body;
    EXPECT_NE(reader->Failure().find(std::string("bad.vcd: ") + c.failure), std::string::npos)
        << c.body << " -> " << reader->Failure();
  }
}

TEST(CaptureReaders, CsvRowsAtAStatedRateOrWithTimes) {
  TempDir dir;
  struct Case {
    const char* text;
    const char* samples;
  };
  const Case cases[] = {
      // sigrok's export: comments, the rate in one of them, a header of names.
      {"; CSV generated by libsigrok\n; Samplerate: 416.667 kHz\nA,B\n1,0\n1,1\n0,1\nx,z\n", "1320"},
      // One row per change with a time column in seconds, counted from the first row.
      {"Time [s],A,B\n-0.0000010,1,0\n0.0000040,0,1\n0.0000060,1,1\n1.3e-5,0,0\n", "1113330"},
      // Tabs, quoted names and CR LF line ends.
      {"\"time\"\t\"A\"\r\n0\t1\r\n0.0000048\t0\r\n", "110"},
  };
  for (const Case& c : cases) {
    auto reader = Open(dir.Write("rows.csv", c.text));
    EXPECT_EQ(Samples(*reader, 3), c.samples) << c.text;
    EXPECT_EQ(reader->Failure(), "") << c.text;
  }
  auto reader = Open(dir.Write("names.csv", "Time [s],SDA,\"SCL\"\n0,1,0\n"));
  EXPECT_EQ(reader->ChannelNames(), (std::vector<std::string>{"SDA", "SCL"}));
}

TEST(CaptureReaders, DamagedCsvNamesTheLine) {
  TempDir dir;
  EXPECT_NE(OpenError(dir.Write("norate.csv", "A,B\n0,1\n")).find("norate.csv: neither a time column nor"),
            std::string::npos);
  struct Case {
    const char* text;
    const char* failure;
  };
  const Case cases[] = {
      {"Time,A\n0,1\n0.001,0\n0.0005,1\n", "line 4: the time goes backwards (0.0005)"},
      {"Time,A\n0,1\n0.001,high\n", "line 3: 'high' in column A is not a logic level"},
      {"Time,A\n0,1\n0.001\n", "line 3: 1 fields where the header has 2"},
      {"Time,A\n0,1\nsoon,1\n", "line 3: 'soon' is not a time in seconds"},
  };
  for (const Case& c : cases) {
    auto reader = Open(dir.Write("bad.csv", c.text));
    (void)Samples(*reader);
    EXPECT_NE(reader->Failure().find(std::string("bad.csv: ") + c.failure), std::string::npos)
        << c.text << " -> " << reader->Failure();
  }
}

TEST(CaptureReaders, HowTheInputIsCutDoesNotMatter) {
  TempDir dir;
  std::string vcd = "$timescale 1 ns $end $var wire 2 a bus $end $enddefinitions $end\n";
  std::string csv = "; Samplerate: 1 MHz\nA,B\n";
  std::uint32_t seed = 7;
  for (int i = 0; i < 3000; ++i) {
    seed = seed * 1103515245 + 12345;
    const unsigned bits = (seed >> 16) & 3;
    vcd += "#" + std::to_string(i * 1700) + " b" + std::to_string(bits >> 1) + std::to_string(bits & 1) + " a\n";
    csv += std::to_string(bits & 1) + "," + std::to_string(bits >> 1) + "\n";
  }
  for (const std::string& path : {dir.Write("cut.vcd", vcd), dir.Write("cut.csv", csv)}) {
    std::string whole = Samples(*Open(path), 1 << 16);
    EXPECT_GT(whole.size(), 1000u);
    for (std::size_t block : {1, 7, 1024}) EXPECT_EQ(Samples(*Open(path), block), whole) << path << " " << block;
  }
}

TEST(CaptureReaders, FormatByExtensionThenContent) {
  TempDir dir;
  EXPECT_EQ(DetectCaptureFormat(dir.Write("a.VCD", "x")), CaptureFormat::Vcd);
  EXPECT_EQ(DetectCaptureFormat(dir.Write("a.Sr", "x")), CaptureFormat::Sigrok);
  EXPECT_EQ(DetectCaptureFormat(dir.Write("dump", "\n  $timescale 1ns $end")), CaptureFormat::Vcd);
  EXPECT_EQ(DetectCaptureFormat(dir.Write("export", "Time [s],A\n0,1\n")), CaptureFormat::Csv);
  EXPECT_EQ(DetectCaptureFormat(dir.Write("capture", std::string("\x01\x02,\x00", 4))), CaptureFormat::Bin);
  const std::string session = WriteSession(dir, "s.sr", Metadata("1 MHz", 1, {"a"}), {"\x01"});
  std::rename(session.c_str(), dir.File("session").c_str());
  EXPECT_EQ(DetectCaptureFormat(dir.File("session")), CaptureFormat::Sigrok);
  EXPECT_NE(OpenError(dir.File("missing.vcd")).find("missing.vcd: cannot be opened"), std::string::npos);
}

TEST(ChannelMaps, ByNameOrNumber) {
  const std::vector<std::string> names = {"0", "1", "SDA", "SCL", "", "SDA2", "dup", "dup"};
  struct Case {
    const char* text;
    ChannelMap map;
    const char* error;
  };
  const Case cases[] = {
      {"1=SDA,2=4", {2, 3, kUnmapped, kUnmapped}, ""},
      {" 4 = #1 , 3=0 ,", {kUnmapped, kUnmapped, 0, 0}, ""},
      {"1=#5", {4, kUnmapped, kUnmapped, kUnmapped}, ""},
      {"", {kUnmapped, kUnmapped, kUnmapped, kUnmapped}, ""},
      {"1=SCK", {}, "the file has no channel named 'SCK'"},
      {"1=#9", {}, "the file has no channel #9 (it has 8)"},
      {"1=1", {}, "'1' names channel #2 but is also the number of channel #1"},
      {"1=dup", {}, "more than one channel named 'dup'"},
      {"5=SDA", {}, "'5=SDA' is not of the form CHANNEL=SOURCE"},
      {"SDA", {}, "is not of the form"},
      {"1=SDA,1=SCL", {}, "channel 1 is given twice"},
  };
  for (const Case& c : cases) {
    ChannelMap map{};
    std::string error;
    const bool failed = ParseChannelMap(c.text, names, map, error);
    EXPECT_EQ(failed, *c.error != '\0') << c.text;
    if (failed)
      EXPECT_NE(error.find(c.error), std::string::npos) << c.text << " -> " << error;
    else
      EXPECT_EQ(map, c.map) << c.text;
  }
  // The text written for a map reads back to it.
  for (const ChannelMap& map : {ChannelMap{2, 3, 0, 4}, ChannelMap{1, 6, kUnmapped, 5}}) {
    ChannelMap back{};
    std::string error;
    EXPECT_FALSE(ParseChannelMap(FormatChannelMap(map, names), names, back, error)) << error;
    EXPECT_EQ(back, map) << FormatChannelMap(map, names);
  }
  EXPECT_EQ(FormatChannelMap({2, 1, 4, kUnmapped}, names), "1=SDA,2=#2,3=#5");
}
