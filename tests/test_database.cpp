// The DBC and LDF readers and the signal fields of a frame line, from hand-built frames.

#include <gtest/gtest.h>

#include <charconv>
#include <cstring>
#include <random>
#include <fstream>
#include <string>
#include <vector>

#include "database/DatabaseReaders.h"

using namespace velkor;

namespace {

const std::string kDatabases = std::string(VELKOR_SOURCE_DIR) + "/tests/data/databases/";

BusDatabase Dbc(const std::string& text) {
  BusDatabase db;
  DatabaseError error;
  EXPECT_TRUE(ReadDbc(text, db, error)) << "line " << error.line << ": " << error.what;
  return db;
}

BusDatabase Ldf(const std::string& text) {
  BusDatabase db;
  DatabaseError error;
  EXPECT_TRUE(ReadLdf(text, db, error)) << "line " << error.line << ": " << error.what;
  return db;
}

// The signal fields of message `key` for the received data bytes.
std::string Fields(const BusDatabase& db, std::uint32_t key, const std::vector<std::uint8_t>& data) {
  const BusMessage* m = db.Find(key);
  if (m == nullptr) return "<no message>";
  std::string line;
  AppendSignalFields(line, *m, PackPayload(data.data(), static_cast<int>(data.size())),
                     static_cast<std::uint8_t>((1u << data.size()) - 1));
  return line;
}

std::vector<std::uint8_t> FloatBytes(float f) {
  std::vector<std::uint8_t> b(4);
  std::memcpy(b.data(), &f, 4);  // the test machines are little-endian, as the payload is
  return b;
}

TEST(DbcSignals, ExtractsAndWritesEachKindOfSignal) {
  struct Case {
    const char* what;
    std::string signal;  // SG_ line(s) of message 100, then any further statements
    std::vector<std::uint8_t> data;
    std::string fields;
  };
  const std::vector<Case> cases = {
      {"little-endian across a byte edge", " SG_ A : 4|12@1+ (1,0) [0|0] \"\" X", {0xF0, 0xAB}, "A=2751,"},
      {"big-endian across a byte edge", " SG_ B : 3|12@0+ (1,0) [0|0] \"\" X", {0x0A, 0xBC}, "B=2748,"},
      {"big-endian across three bytes", " SG_ B : 5|20@0+ (1,0) [0|0] \"\" X", {0x21, 0x43, 0x65}, "B=544985,"},
      {"big-endian signed word", " SG_ S : 7|16@0- (1,0) [0|0] \"\" X", {0xFF, 0xFE}, "S=-2,"},
      {"little-endian signed byte", " SG_ S : 8|8@1- (1,0) [0|0] \"\" X", {0x00, 0x80}, "S=-128,"},
      {"signed positive", " SG_ S : 0|4@1- (1,0) [0|0] \"\" X", {0x07}, "S=7,"},
      {"one bit in the middle", " SG_ F : 13|1@1+ (1,0) [0|0] \"\" X", {0x00, 0x20}, "F=1,"},
      {"factor and unit", " SG_ V : 7|16@0+ (0.01,0) [0|60] \"V\" X", {0x05, 0xDC}, "V=15.00 V,"},
      {"offset", " SG_ T : 0|8@1+ (0.5,-40) [0|0] \"degC\" X", {0x00}, "T=-40.0 degC,"},
      {"offset finer than the factor", " SG_ T : 0|8@1+ (1,0.25) [0|0] \"\" X", {0x02}, "T=2.25,"},
      {"factor of seven decimals is cut to six", " SG_ T : 0|8@1+ (0.0000001,0) [0|0] \"\" X", {0x10}, "T=0.000002,"},
      {"exponent factor", " SG_ T : 0|8@1+ (1E-3,0) [0|0] \"\" X", {0x10}, "T=0.016,"},
      {"full 64 bits unsigned", " SG_ W : 0|64@1+ (1,0) [0|0] \"\" X", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
       "W=18446744073709551615,"},
      {"full 64 bits signed", " SG_ W : 0|64@1- (1,0) [0|0] \"\" X", {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
       "W=-1,"},
      {"float", " SG_ G : 0|32@1- (1,0) [0|0] \"g\" X\nSIG_VALTYPE_ 100 G : 1;", FloatBytes(-1.25f), "G=-1.25 g,"},
      {"float with a factor", " SG_ G : 0|32@1- (2,1) [0|0] \"\" X\nSIG_VALTYPE_ 100 G : 1;", FloatBytes(0.1f),
       "G=1.2,"},
      {"value text", " SG_ D : 0|2@1+ (1,0) [0|3] \"\" X\nVAL_ 100 D 0 \"Closed\" 1 \"Open\" 3 \"Fault, latched\" ;",
       {0x01}, "D=Open,"},
      {"value without a text", " SG_ D : 0|2@1+ (1,0) [0|3] \"\" X\nVAL_ 100 D 0 \"Closed\" 1 \"Open\" ;", {0x02},
       "D=2,"},
      {"text with a comma", " SG_ D : 0|2@1+ (1,0) [0|3] \"\" X\nVAL_ 100 D 3 \"Fault, latched\" ;", {0x03},
       "D=Fault; latched,"},
      {"signed value text", " SG_ D : 0|8@1- (1,0) [0|0] \"\" X\nVAL_ 100 D -1 \"Invalid\" ;", {0xFF}, "D=Invalid,"},
      {"signals in file order, one past the data left out",
       " SG_ B : 8|8@1+ (1,0) [0|0] \"\" X\n SG_ A : 0|8@1+ (1,0) [0|0] \"\" X\n SG_ C : 23|8@0+ (1,0) [0|0] \"\" X",
       {0x01, 0x02}, "B=2,A=1,"},
  };
  for (const Case& c : cases) {
    const BusDatabase db = Dbc("BO_ 100 M: 8 X\n" + c.signal + "\n");
    EXPECT_EQ(Fields(db, 100, c.data), c.fields) << c.what;
  }
}

TEST(DbcSignals, ScaledValuesAreWrittenAsTheExactConversionWritesThem) {
  // The exact conversion, rounding the double's own value (a tie to even), without "-0".
  auto exact = [](double value, int decimals) {
    char buffer[400];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals).ptr;
    std::string text(buffer, end);
    if (text[0] == '-' && text.find_first_not_of("0.", 1) == std::string::npos) text.erase(0, 1);
    return text;
  };
  struct Scale {
    double factor, offset;
    int decimals;
  };
  // Ties (0.125 to two decimals, 2.5 to none), values that round to zero from below, and
  // products beyond 2^40 among everyday scales.
  const Scale scales[] = {{0.1, -40, 1},   {0.25, 0, 2},     {0.01, 0, 2},    {0.125, 0, 2}, {0.5, 0, 0},
                          {0.001, 0, 2},   {1.5, 0.25, 2},   {0.05, -0.3, 2}, {3.3, 0, 1},   {1e-6, 0, 6},
                          {0.1, 0.05, 0},  {1e5, 0, 6},      {-0.2, 1, 1},    {2, 0.5, 1},   {0.0625, -1, 3}};
  std::mt19937_64 rng(5);
  BusSignal signal;
  signal.name = "V";
  signal.length = 64;
  signal.type = SignalValueType::Signed;
  for (const Scale& sc : scales) {
    signal.scales.assign(1, SignalScale{});
    signal.scales[0].factor = sc.factor;
    signal.scales[0].offset = sc.offset;
    signal.scales[0].decimals = sc.decimals;
    for (int i = 0; i < 3000; ++i) {
      // Small raws mostly, now and then one of any size.
      const int kind = i % 4;
      const std::int64_t raw = kind == 3 ? static_cast<std::int64_t>(rng()) >> (rng() % 64)
                                         : static_cast<std::int64_t>(rng() % 20001) - 10000;
      std::string text;
      AppendSignalValue(text, signal, static_cast<std::uint64_t>(raw));
      const double value = static_cast<double>(raw) * sc.factor + sc.offset;
      ASSERT_EQ(text, exact(value, sc.decimals)) << raw << " x " << sc.factor << " + " << sc.offset;
    }
  }
}

TEST(DbcSignals, MultiplexedSignalsShowOnlyWithTheirSelector) {
  const BusDatabase db = Dbc(
      "BO_ 200 Mux: 8 X\n"
      " SG_ Page M : 0|8@1+ (1,0) [0|0] \"\" X\n"
      " SG_ Speed m1 : 8|16@1+ (1,0) [0|0] \"rpm\" X\n"
      " SG_ Temp m2 : 8|8@1- (1,0) [0|0] \"C\" X\n"
      " SG_ Always : 56|8@1+ (1,0) [0|0] \"\" X\n");
  EXPECT_EQ(Fields(db, 200, {1, 0xE8, 0x03, 0, 0, 0, 0, 9}), "Page=1,Speed=1000 rpm,Always=9,");
  EXPECT_EQ(Fields(db, 200, {2, 0xF6, 0x03, 0, 0, 0, 0, 9}), "Page=2,Temp=-10 C,Always=9,");
  EXPECT_EQ(Fields(db, 200, {3, 0xF6, 0x03, 0, 0, 0, 0, 9}), "Page=3,Always=9,");
  // The selector missing, nothing it selects shows.
  BusDatabase late = Dbc(
      "BO_ 201 Late: 8 X\n SG_ Page M : 56|8@1+ (1,0) [0|0] \"\" X\n SG_ Speed m0 : 0|8@1+ (1,0) [0|0] \"\" X\n");
  EXPECT_EQ(Fields(late, 201, {0}), "");
}

TEST(DbcMessages, StandardAndExtendedIdentifiersAreApart) {
  const BusDatabase db = Dbc(
      "BO_ 1024 Std: 1 X\n SG_ S : 0|8@1+ (1,0) [0|0] \"\" X\n"
      "BO_ 2147484672 Ext: 1 X\n SG_ E : 0|8@1+ (1,0) [0|0] \"\" X\n"
      "BO_ 2566844673 ExtHigh: 1 X\n"  // 0x98FEF101: extended 0x18FEF101
      "BO_ 3221225472 VECTOR__INDEPENDENT_SIG_MSG: 0 Vector__XXX\n SG_ Orphan : 0|8@1+ (1,0) [0|0] \"\" X\n");
  ASSERT_NE(db.Find(BusDatabase::CanKey(0x400, false)), nullptr);
  EXPECT_EQ(db.Find(BusDatabase::CanKey(0x400, false))->name, "Std");
  ASSERT_NE(db.Find(BusDatabase::CanKey(0x400, true)), nullptr);
  EXPECT_EQ(db.Find(BusDatabase::CanKey(0x400, true))->name, "Ext");
  ASSERT_NE(db.Find(BusDatabase::CanKey(0x18FEF101, true)), nullptr);
  EXPECT_EQ(db.Find(BusDatabase::CanKey(0x18FEF101, true))->name, "ExtHigh");
  EXPECT_EQ(db.Find(BusDatabase::CanKey(0x18FEF101, false)), nullptr);
  EXPECT_EQ(db.Find(BusDatabase::CanKey(0x401, false)), nullptr);
  EXPECT_EQ(db.Messages().size(), 3u);  // the holder of orphan signals is no frame
}

TEST(DbcMessages, ManyExtendedMessagesAreAllFound) {
  std::string text;
  for (std::uint32_t i = 0; i < 500; ++i)
    text += "BO_ " + std::to_string(0x80000000u + 0x10000 * i + 7) + " M" + std::to_string(i) + ": 8 X\n";
  const BusDatabase db = Dbc(text);
  for (std::uint32_t i = 0; i < 500; ++i) {
    const BusMessage* m = db.Find(BusDatabase::CanKey(0x10000 * i + 7, true));
    ASSERT_NE(m, nullptr) << i;
    EXPECT_EQ(m->name, "M" + std::to_string(i));
  }
  EXPECT_EQ(db.Find(BusDatabase::CanKey(0x10000 * 500 + 7, true)), nullptr);
}

TEST(DbcReader, ReadsPastWhatItDoesNotUse) {
  const BusDatabase db = Dbc(
      "VERSION \"\"\n\nNS_ :\n\tNS_DESC_\n\tCM_\n\tVAL_\n\tSIG_VALTYPE_\n\tBO_TX_BU_\n\nBS_:\n\nBU_: A B\n"
      "VAL_TABLE_ Table 1 \"One\" 0 \"Zero\" ;\n"
      "BO_ 100 M: 8 A\n SG_ S : 0|8@1+ (1,0) [0|0] \"\" B,A\n"
      "CM_ BO_ 100 \"A comment\nBO_ 300 NotAMessage: 8 X\n SG_ Quoted : 0|8@1+ (1,0) [0|0] \"\" X\n\";\n"
      "BA_DEF_ BO_ \"GenMsgCycleTime\" INT 0 65535;\nBA_ \"GenMsgCycleTime\" BO_ 100 10;\n"
      "EV_ Env: 0 [0|1] \"\" 0 1 DUMMY_NODE_VECTOR0 Vector__XXX;\nVAL_ Env 0 \"Off\" ;\n"
      "SG_MUL_VAL_ 100 S S 0-1;\nVAL_ 999 Nobody 1 \"x\" ;\n");
  ASSERT_EQ(db.Messages().size(), 1u);
  const BusMessage& m = db.Messages()[0];
  ASSERT_EQ(m.signals.size(), 1u);
  EXPECT_EQ(m.signals[0].receivers, (std::vector<std::string>{"B", "A"}));
  EXPECT_EQ(db.Find(300), nullptr);
}

TEST(DbcReader, SignalsPastEightBytesAreLeftOut) {
  const BusDatabase db = Dbc(
      "BO_ 100 Fd: 64 X\n SG_ In : 56|8@1+ (1,0) [0|0] \"\" X\n SG_ Out : 64|8@1+ (1,0) [0|0] \"\" X\n"
      " SG_ Across : 60|8@1+ (1,0) [0|0] \"\" X\n SG_ BigOut : 71|8@0+ (1,0) [0|0] \"\" X\n");
  ASSERT_NE(db.Find(100), nullptr);
  ASSERT_EQ(db.Find(100)->signals.size(), 1u);
  EXPECT_EQ(db.Find(100)->signals[0].name, "In");
}

TEST(DbcReader, BadFilesNameTheLine) {
  struct Case {
    std::string text;
    int line;
    std::string what;  // a part of the message
  };
  const std::string head = "VERSION \"\"\n\nBO_ 100 M: 8 X\n";  // the message is on line 3
  const std::vector<Case> cases = {
      {head + " SG_ S : 0|8@2+ (1,0) [0|0] \"\" X\n", 4, "byte order"},
      {head + " SG_ S : 0|8@1* (1,0) [0|0] \"\" X\n", 4, "sign"},
      {head + " SG_ S : 0|0@1+ (1,0) [0|0] \"\" X\n", 4, "0 bits long"},
      {head + " SG_ S : 0|65@1+ (1,0) [0|0] \"\" X\n", 4, "65 bits long"},
      {head + " SG_ S : 0|8@1+ (x,0) [0|0] \"\" X\n", 4, "factor"},
      {head + " SG_ S : 0|8@1+ (1,0) [0|0] \"\" X\n SG_ T : 0|8@1+ (1,0 [0|0] \"\" X\n", 5, "')'"},
      {head + " SG_ S : 0|8@1+ (1,0) [0|0] \"unit X\n", 4, "closing quote"},
      {head + " SG_ S q1 : 0|8@1+ (1,0) [0|0] \"\" X\n", 4, "multiplexing"},
      {"SG_ S : 0|8@1+ (1,0) [0|0] \"\" X\n", 1, "not inside a message"},
      {head + "\nCM_ \"x\";\n SG_ S : 0|8@1+ (1,0) [0|0] \"\" X\n", 6, "not inside a message"},
      {head + "BO_ 100 Again: 8 X\n", 4, "defined twice"},
      {head + "BO_ x M: 8 X\n", 4, "identifier"},
      {head + " SG_ S : 0|8@1+ (1,0) [0|0] \"\" X\nVAL_ 100 S 1 \"One\" 2 ;\n", 5, "text of value 2"},
      {head + " SG_ S : 0|8@1+ (1,0) [0|0] \"\" X\nSIG_VALTYPE_ 100 S : 1;\n", 5, "float"},
      {"CM_ \"two\nlines\";\nBO_ 1 M 8 X\n", 3, "':'"},
  };
  for (const Case& c : cases) {
    BusDatabase db;
    DatabaseError error;
    ASSERT_FALSE(ReadDbc(c.text, db, error)) << c.text;
    EXPECT_EQ(error.line, c.line) << c.text << error.what;
    EXPECT_NE(error.what.find(c.what), std::string::npos) << error.what;
  }
}

const char* const kSmallLdf = R"(
LIN_description_file;
LIN_protocol_version = "2.1";
LIN_language_version = "2.1";
LIN_speed = 19.2 kbps;
Nodes { Master: M, 5 ms, 0.1 ms; Slaves: S; }
Signals {
  Mode: 2, 0, M, S;
  Light: 8, 0, S, M;
  Voltage: 12, 0, S, M;
  Counter: 4, 0, S, M;
  Serial: 24, {0, 0, 0}, S, M;
}
Diagnostic_signals { MasterReqB0: 8, 0; }
Frames {
  Command: 0x10, M, 1 { Mode, 0; }
  Status: 0x21, S, 4 { Light, 0; Voltage, 8; Counter, 20; Undeclared, 24; }
  Ident: 0x22, S, 3 { Serial, 0; }
}
Diagnostic_frames { MasterReq: 0x3c { MasterReqB0, 0; } }
Sporadic_frames { Spor: Command; }
Signal_encoding_types {
  ModeEncoding { logical_value, 0, "Off"; logical_value, 1, "On"; logical_value, 3; }
  LightEncoding {
    logical_value, 0, "Dark";
    physical_value, 1, 254, 0.5, 10, "lux";
    logical_value, 255, "Error";
  }
  VoltEncoding { physical_value, 0, 4095, 0.01, 0, "V"; bcd_value; }
}
Signal_representation {
  ModeEncoding: Mode;
  LightEncoding: Light;
  VoltEncoding: Voltage;
}
)";

TEST(LdfReader, FramesSignalsAndEncodings) {
  const BusDatabase db = Ldf(kSmallLdf);
  EXPECT_EQ(db.protocolVersion, "2.1");
  EXPECT_EQ(db.linChecksum, LinChecksumRule::Enhanced);
  ASSERT_NE(db.Find(0x3C), nullptr);
  EXPECT_EQ(db.Find(0x3C)->name, "MasterReq");
  ASSERT_NE(db.Find(0x21), nullptr);
  EXPECT_EQ(db.Find(0x21)->name, "Status");
  EXPECT_EQ(db.Find(0x21)->length, 4);
  struct Case {
    std::uint32_t id;
    std::vector<std::uint8_t> data;
    std::string fields;
  };
  const std::vector<Case> cases = {
      {0x10, {0x01}, "Mode=On,"},
      {0x10, {0x03}, "Mode=3,"},
      {0x10, {0x02}, "Mode=2,"},
      {0x21, {0x00, 0xE8, 0x53, 0x00}, "Light=Dark,Voltage=10.00 V,Counter=5,"},
      {0x21, {0x07, 0x00, 0x00, 0x00}, "Light=13.5 lux,Voltage=0.00 V,Counter=0,"},
      {0x21, {0xFF, 0xFF, 0x0F}, "Light=Error,Voltage=40.95 V,Counter=0,"},
      {0x21, {0xFF}, "Light=Error,"},
      {0x22, {0x01, 0x02, 0x03}, "Serial=197121,"},
  };
  for (const Case& c : cases) EXPECT_EQ(Fields(db, c.id, c.data), c.fields) << c.id;
}

TEST(LdfReader, ProtocolVersionSetsTheChecksumModel) {
  EXPECT_EQ(Ldf("LIN_protocol_version = \"1.3\";").linChecksum, LinChecksumRule::Classic);
  EXPECT_EQ(Ldf("LIN_protocol_version = \"2.0\";").linChecksum, LinChecksumRule::Enhanced);
  EXPECT_EQ(Ldf("LIN_protocol_version = \"J2602_1_1.0\";").linChecksum, LinChecksumRule::Enhanced);
  EXPECT_EQ(Ldf("LIN_description_file;").linChecksum, LinChecksumRule::Unknown);
  // Without a length, a LIN 1.x frame's identifier gives it.
  const BusDatabase old = Ldf("LIN_protocol_version = \"1.3\"; Frames { A: 0x05, M { } B: 0x25, M { } C: 50, M { } }");
  EXPECT_EQ(old.Find(0x05)->length, 2);
  EXPECT_EQ(old.Find(0x25)->length, 4);
  EXPECT_EQ(old.Find(50)->length, 8);
}

TEST(LdfReader, BadFilesNameTheLine) {
  struct Case {
    std::string text;
    int line;
    std::string what;
  };
  const std::vector<Case> cases = {
      {"LIN_protocol_version = 2.1;", 1, "quotes"},
      {"Signals {\n  A: 0, 0, M;\n}", 2, "size of signal A"},
      {"Signals {\n  A: 65, 0, M;\n}", 2, "size of signal A"},
      {"Frames {\n  F: 0x40, M, 8 { }\n}", 2, "identifier of frame F"},
      {"Frames {\n  F: 0x10, M, 9 { }\n}", 2, "length of frame F"},
      {"Frames {\n  F: 0x10, M, 2 {\n    A 0;\n  }\n}", 3, "','"},
      {"Frames {\n  F: 0x10, M, 2 {\n    A, 0;\n", 4, "end of the file"},
      {"Signal_encoding_types {\n  E {\n    physical_value, 0, 10, x, 0;\n  }\n}", 3, "scale"},
      {"Signal_encoding_types {\n  E {\n    logical_value, 1, Off;\n  }\n}", 3, "quotes"},
      {"/* open\n comment */ Nodes {\n", 3, "end of the file"},
      {"Channel_name = \"DB;\n\n", 1, "closing quote"},
      {"}\n", 1, "without a block"},
  };
  for (const Case& c : cases) {
    BusDatabase db;
    DatabaseError error;
    ASSERT_FALSE(ReadLdf(c.text, db, error)) << c.text;
    EXPECT_EQ(error.line, c.line) << c.text << " / " << error.what;
    EXPECT_NE(error.what.find(c.what), std::string::npos) << error.what;
  }
}

TEST(BusDatabaseFiles, TheBundledRealFilesLoad) {
  BusDatabase dbc;
  std::string reason;
  ASSERT_TRUE(LoadBusDatabase(kDatabases + "comma_body.dbc", "comma_body.dbc", DatabaseFormat::Dbc, dbc, reason))
      << reason;
  EXPECT_EQ(dbc.Messages().size(), 14u);
  ASSERT_NE(dbc.Find(513), nullptr);
  EXPECT_EQ(dbc.Find(513)->name, "MOTORS_DATA");
  // SPEED_L -2, SPEED_R 300, ELEC_ANGLE_L 7 "deprecated", then the rest.
  EXPECT_EQ(Fields(dbc, 513, {0xFF, 0xFE, 0x01, 0x2C, 0x07, 0x00, 0x03, 0xAA}),
            "SPEED_L=-2,SPEED_R=300,ELEC_ANGLE_L=7 deprecated,ELEC_ANGLE_R=0 deprecated,COUNTER=3,CHECKSUM=170,");
  EXPECT_EQ(Fields(dbc, 515, {0xFA, 0x0A, 0x28, 0xE4}),
            "MCU_TEMP=25.0,BATT_VOLTAGE=26.00,BATT_PERCENTAGE=114,CHARGER_CONNECTED=0,");

  BusDatabase ldf;
  ASSERT_TRUE(LoadBusDatabase(kDatabases + "lin22.ldf", "lin22.ldf", DatabaseFormat::Ldf, ldf, reason)) << reason;
  EXPECT_EQ(ldf.linChecksum, LinChecksumRule::Enhanced);
  ASSERT_NE(ldf.Find(0x01), nullptr);
  EXPECT_EQ(ldf.Find(0x01)->name, "CEM_Frm1");
  ASSERT_NE(ldf.Find(0x06), nullptr);
  EXPECT_EQ(ldf.Find(0x06)->name, "Node_Status_Event");
  EXPECT_EQ(Fields(ldf, 0x01, {0x02}), "InternalLightsRequest=error,");
  EXPECT_EQ(Fields(ldf, 0x02, {0x00, 0x00}), "LeftIntLightsSwitch=Off,");
  EXPECT_EQ(Fields(ldf, 0x02, {0x00, 0x32}), "LeftIntLightsSwitch=150 lux,");
  EXPECT_EQ(Fields(ldf, 0x03, {0x05}), "LSMerror=error,IntTest=2,");
}

TEST(BusDatabaseFiles, FailuresSayWhereInTheWordsShown) {
  BusDatabase db;
  std::string reason;
  EXPECT_FALSE(LoadBusDatabase(kDatabases + "no-such.dbc", "no-such.dbc", DatabaseFormat::Dbc, db, reason));
  EXPECT_EQ(reason, "The database no-such.dbc can not be opened");
  ASSERT_TRUE(LoadBusDatabase(kDatabases + "comma_body.dbc", "comma_body.dbc", DatabaseFormat::Dbc, db, reason));
  const std::string bad = testing::TempDir() + "bad.dbc";
  std::ofstream(bad) << "BO_ 1 M: 8 X\n\n SG_ S : 0|8@1+ (1,0) [0|0] \"\" X\n BO_ 2 N 8 X\n";
  EXPECT_FALSE(LoadBusDatabase(bad, "sub/bad.dbc", DatabaseFormat::Dbc, db, reason));
  EXPECT_EQ(reason, "Line 4 of sub/bad.dbc: ':' expected after the message name");
  EXPECT_TRUE(db.Messages().empty());
}

TEST(BusDatabaseTexts, Utf8FilesGiveWindows1252Texts) {
  const BusDatabase db = Dbc("BO_ 1 M: 1 X\n SG_ T : 0|8@1+ (1,0) [0|0] \"\xC2\xB0" "C\" X\n");
  EXPECT_EQ(Fields(db, 1, {20}), "T=20 \xB0" "C,");
  const BusDatabase latin = Dbc("BO_ 1 M: 1 X\n SG_ T : 0|8@1+ (1,0) [0|0] \"\xB0" "C\" X\n");
  EXPECT_EQ(Fields(latin, 1, {20}), "T=20 \xB0" "C,");
}

}  // namespace
