// CAN and LIN descriptions that name a bus database: frame names, signal fields, checksum
// models, field names for the Filter view, and refusals of databases that cannot be read.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "CanEncoder.h"
#include "LinEncoder.h"
#include "TestRig.h"
#include "Waveform.h"

using namespace velkor;
using namespace velkor::test;

namespace {

// The text after "<channel>,<date>,".
std::string FrameText(const std::string& line) { return line.substr(line.find(',', line.find(',') + 1) + 1); }

std::vector<std::string> FrameTexts(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& l : lines) out.push_back(FrameText(l));
  return out;
}

const char* const kBodyDbc =
    "VERSION \"\"\n"
    "NS_ :\n\tVAL_\n\n"
    "BO_ 305 Status: 2 Body\n"
    " SG_ Lock : 0|1@1+ (1,0) [0|1] \"\" Dash\n"
    "BO_ 512 Engine: 8 Ecu\n"
    " SG_ EngineSpeed : 7|16@0+ (0.25,0) [0|16383.75] \"rpm\" Dash\n"
    " SG_ Coolant : 16|8@1+ (1,-40) [-40|215] \"degC\" Dash\n"
    " SG_ Gear : 24|3@1+ (1,0) [0|7] \"\" Dash\n"
    " SG_ Torque : 39|12@0- (0.5,0) [-1024|1023.5] \"Nm\" Dash\n"
    "BO_ 768 Diag: 8 Ecu\n"
    " SG_ Page M : 0|8@1+ (1,0) [0|255] \"\" Dash\n"
    " SG_ Volts m1 : 8|16@1+ (0.001,0) [0|65] \"V\" Dash\n"
    " SG_ Fault m2 : 8|8@1+ (1,0) [0|255] \"\" Dash\n"
    "CM_ BO_ 512 \"Engine data; sent every\n10 ms\";\n"
    "VAL_ 512 Gear 0 \"Park\" 1 \"Reverse\" 2 \"Neutral\" 3 \"Drive\" ;\n"
    "VAL_ 768 Fault 0 \"None\" ;\n";

struct CanDatabaseRig : TestRig {
  explicit CanDatabaseRig(const std::string& dbc, std::string_view ids = "131=Body_Status\n") {
    NoDecoderOnAnyChannel();
    std::filesystem::create_directories(dir.File("db"));
    dir.Write("db/body.dbc", dbc);
    settings.channels[1].type = ChannelType::Can;
    settings.channels[1].canFile =
        dir.Write("bus.cfd", "[BAUDRATE]\nValue=125000\n[DATABASE]\nFile=db/body.dbc\n[ID]\n" + std::string(ids));
  }
  std::vector<std::string> Decode(const std::vector<CanFrame>& frames) {
    Capture capture;
    SignalBuilder& signal = capture.channel[1];
    CanEncoder enc(signal, 125000);
    enc.IdleBits(20);
    for (const CanFrame& f : frames) enc.Frame(f);
    enc.IdleBits(20);
    return FrameTexts(Replay(capture.FileBytes(50)));
  }
};

TEST(CanDatabase, FramesAreNamedAndTheirSignalsFollowTheData) {
  CanDatabaseRig rig(kBodyDbc);
  const auto lines = rig.Decode({
      {0x200, false, 8, {0x17, 0x70, 0x5A, 0x03, 0xFF, 0xF0, 0x00, 0x00}},
      {0x131, false, 2, {0x01, 0x00}},  // named by [ID] first, its signals still shown
      {0x300, false, 3, {0x01, 0x88, 0x13}},
      {0x300, false, 2, {0x02, 0x00}},
      {0x200, false, 3, {0x17, 0x70, 0x5A}},  // short: the signals past its data are left out
      {0x200, true, 8, {}},                  // a remote frame carries no signal
      {0x201, false, 1, {0x01}},             // not in the database
  });
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "ID=Engine,DLC=8,DataFrame=17 70 5A 03 FF F0 00 00,EngineSpeed=1500.00 rpm,Coolant=50 degC,"
                       "Gear=Drive,Torque=-0.5 Nm,",
                       "ID=Body_Status,DLC=2,DataFrame=01 00,Lock=1,",
                       "ID=Diag,DLC=3,DataFrame=01 88 13,Page=1,Volts=5.000 V,",
                       "ID=Diag,DLC=2,DataFrame=02 00,Page=2,Fault=None,",
                       "ID=Engine,DLC=3,DataFrame=17 70 5A,EngineSpeed=1500.00 rpm,Coolant=50 degC,",
                       "ID=Engine,DLC=8,RemoteFrame,",
                       "ID=201,DLC=1,DataFrame=01,",
                   }));
  const auto& names = rig.pipeline.Services().fieldNames.Names(1);
  for (const char* name : {"ID", "DLC", "DataFrame", "EngineSpeed", "Gear", "Volts", "Lock", "Page"})
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
  EXPECT_TRUE(rig.ui.messages.empty());
}

TEST(CanDatabase, ExtendedMessagesMatchOnlyExtendedFrames) {
  const std::string dbc =
      "BO_ 2566844673 Ext: 2 X\n SG_ Level : 0|16@1+ (0.5,0) [0|0] \"%\" Y\n"  // extended 18FEF101
      "BO_ 257 Std: 2 X\n SG_ Count : 0|8@1+ (1,0) [0|0] \"\" Y\n";             // standard 101
  const std::vector<CanFrame> frames = {
      {0x18FEF101, false, 2, {0x10, 0x00}, true},
      {0x101, false, 2, {0x07, 0x00}, false},
      {0x101, false, 2, {0x07, 0x00}, true},  // an extended frame with a standard message's number
  };
  CanDatabaseRig extended(dbc, "[OPTIONS]\nExtendedFrames=YES\n");
  EXPECT_EQ(extended.Decode(frames), (std::vector<std::string>{"ID=Ext,DLC=2,DataFrame=10 00,Level=8.0 %,",
                                                                "ID=Std,DLC=2,DataFrame=07 00,Count=7,",
                                                                "ID=00000101,DLC=2,DataFrame=07 00,"}));
  // Without the option no frame is read as extended, so the extended message never matches.
  CanDatabaseRig standard(dbc, "");
  for (const std::string& line : standard.Decode(frames)) EXPECT_EQ(line.find("Ext"), std::string::npos) << line;
}

TEST(CanDatabase, TheBundledRealDatabaseNamesFrames) {
  CanDatabaseRig rig(ReadWholeFile(std::string(VELKOR_SOURCE_DIR) + "/tests/data/databases/comma_body.dbc"), "");
  const auto lines = rig.Decode({{0x203, false, 4, {0xFA, 0x0A, 0x28, 0xE5}}});
  EXPECT_EQ(lines, (std::vector<std::string>{"ID=BODY_DATA,DLC=4,DataFrame=FA 0A 28 E5,MCU_TEMP=25.0,"
                                             "BATT_VOLTAGE=26.00,BATT_PERCENTAGE=114,CHARGER_CONNECTED=1,"}));
}

TEST(CanDatabase, ADatabaseThatCannotBeReadRefusesTheDescription) {
  struct Case {
    std::string dbc;  // empty: no database file at all
    std::string reason;
  } cases[] = {
      {"BO_ 512 Engine: 8 Ecu\n SG_ EngineSpeed : 7|16@0+ (0.25,0) [0|1] \"rpm\" Dash\n SG_ Gear : 24|3@2+ (1,0) [0|7] \"\" X\n",
       "Line 3 of db/body.dbc: the byte order in signal Gear is not @0 or @1"},
      {"", "The database db/body.dbc can not be opened"},
  };
  for (const Case& c : cases) {
    CanDatabaseRig rig(c.dbc);
    if (c.dbc.empty()) std::filesystem::remove(rig.dir.File("db/body.dbc"));
    rig.ui.answers.push_back(MessageAnswer::Yes);
    EXPECT_TRUE(rig.Decode({{0x200, false, 1, {0x01}}}).empty());
    const std::string path = rig.settings.channels[1].canFile;
    ASSERT_EQ(rig.ui.messages.size(), 1u);
    EXPECT_EQ(rig.ui.messages[0].text,
              "Channel 2 : File ''" + path + "'' \n--> " + c.reason + "\nDo you want to open this file ?");
    EXPECT_EQ(rig.ui.editors, (std::vector<std::pair<std::string, std::string>>{{path, "Error : " + c.reason}}));
  }
}

const char* const kLdf = R"(LIN_description_file;
LIN_protocol_version = "%s";
LIN_speed = 19.2 kbps;
Signals {
  DoorOpen: 1, 0, Door, Master;
  WindowPos: 7, 0, Door, Master;
  Battery: 8, 0, Door, Master;
  Checksum: 8, 0, Door, Master;
}
Diagnostic_signals { MasterReqB0: 8, 0; }
Frames {
  DoorStatus: 0x21, Door, 3 { DoorOpen, 0; WindowPos, 1; Battery, 8; Checksum, 16; }
}
Diagnostic_frames { MasterReq: 0x3c { MasterReqB0, 0; } }
Signal_encoding_types {
  OpenEncoding { logical_value, 0, "closed"; logical_value, 1, "open"; }
  PercentEncoding { physical_value, 0, 100, 1, 0, "%%"; logical_value, 127, "unknown"; }
  BatteryEncoding { physical_value, 0, 250, 0.1, 0, "V"; }
}
Signal_representation { OpenEncoding: DoorOpen; PercentEncoding: WindowPos; BatteryEncoding: Battery; }
)";

std::vector<std::string> DecodeLin(const std::string& version, std::string_view checksumIncludeId,
                                   const std::vector<LinFrame>& frames) {
  TestRig rig;
  rig.NoDecoderOnAnyChannel();
  char ldf[2048];
  std::snprintf(ldf, sizeof ldf, kLdf, version.c_str());
  rig.dir.Write("doors.ldf", ldf);
  rig.settings.channels[0].type = ChannelType::Lin;
  rig.settings.channels[0].linFile =
      rig.dir.Write("bus.lfd", "[BAUDRATE]\nValue=19200\n[INVERT]\nValue=NO\n[PROTOCOL]\nInterFrame=2000\n"
                               "ChecksumIncludeID=" + std::string(checksumIncludeId) + "\n[DATABASE]\nFile=doors.ldf\n");
  Capture capture;
  capture.channel[0] = SignalBuilder(1);
  LinEncoder lin(capture.channel[0], 19200);
  lin.Signal().Idle(500);
  for (const LinFrame& f : frames) {
    lin.Frame(f);
    lin.Signal().Idle(6000);
  }
  const auto lines = FrameTexts(rig.Replay(capture.FileBytes()));
  EXPECT_TRUE(rig.ui.messages.empty()) << rig.ui.messages[0].text;
  return lines;
}

LinFrame Frame(std::uint8_t id, std::vector<std::uint8_t> data, LinChecksumModel model) {
  LinFrame f;
  f.id = id;
  f.data = std::move(data);
  f.checksum = model;
  return f;
}

TEST(LinDatabase, FramesAreNamedAndCheckedByTheProtocolVersion) {
  const std::vector<LinFrame> frames = {
      Frame(0x21, {0x51, 0x7D, 0x00}, LinChecksumModel::Enhanced),
      Frame(0x21, {0xFE, 0x7D, 0x00}, LinChecksumModel::Classic),
      Frame(0x3C, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}, LinChecksumModel::Classic),
      Frame(0x3C, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08}, LinChecksumModel::Enhanced),
      Frame(0x10, {0x01}, LinChecksumModel::Enhanced),
  };
  // The checksums of the five frames: 21 enhanced, 21 classic, 3C classic, 3C enhanced, 10 enhanced.
  // A signal named like the frame's own field shows under its frame's name.
  const std::string first =
      "ID=DoorStatus,Data=51 7D 00,DoorOpen=open,WindowPos=40 %,Battery=12.5 V,DoorStatus.Checksum=0,Checksum=";
  const std::string second =
      "ID=DoorStatus,Data=FE 7D 00,DoorOpen=closed,WindowPos=unknown,Battery=12.5 V,DoorStatus.Checksum=0,Checksum=";
  const std::string diag = "ID=MasterReq,Data=01 02 03 04 05 06 07 08,MasterReqB0=1,Checksum=";
  const auto v2 = DecodeLin("2.1", "NO", frames);
  const auto v1 = DecodeLin("1.3", "YES", frames);
  ASSERT_EQ(v2.size(), 5u);
  ASSERT_EQ(v1.size(), 5u);
  // LIN 2.x: enhanced, but classic for the diagnostic frames, whatever ChecksumIncludeID says.
  EXPECT_TRUE(v2[0].starts_with(first) && !v2[0].ends_with("Error Checksum,")) << v2[0];
  EXPECT_TRUE(v2[1].starts_with(second) && v2[1].ends_with("\xA3" "Error Checksum,")) << v2[1];
  EXPECT_TRUE(v2[2].starts_with(diag) && !v2[2].ends_with("Error Checksum,")) << v2[2];
  EXPECT_TRUE(v2[3].starts_with(diag) && v2[3].ends_with("\xA3" "Error Checksum,")) << v2[3];
  // LIN 1.x: classic everywhere.
  EXPECT_TRUE(v1[0].ends_with("\xA3" "Error Checksum,")) << v1[0];
  EXPECT_FALSE(v1[1].ends_with("Error Checksum,")) << v1[1];
  EXPECT_FALSE(v1[2].ends_with("Error Checksum,")) << v1[2];
  EXPECT_TRUE(v1[3].ends_with("\xA3" "Error Checksum,")) << v1[3];
  // A frame the database does not know keeps its identifier byte and shows no signal.
  EXPECT_TRUE(v2[4].starts_with("ID=50,Data=01,Checksum=")) << v2[4];
}

TEST(LinDatabase, ABadByteHidesTheSignalsItCarries) {
  LinFrame f = Frame(0x21, {0x51, 0x7D, 0x00}, LinChecksumModel::Enhanced);
  f.badStopAt = 2;  // the first data byte
  const auto lines = DecodeLin("2.1", "YES", {f});
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(lines[0].starts_with("ID=DoorStatus,Data=\x95  7D 00,Battery=12.5 V,DoorStatus.Checksum=0,Checksum="))
      << lines[0];
}

}  // namespace
