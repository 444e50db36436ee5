// The station's side of the link: the port list, the connect button, the
// greeting and the answers, upload and erase, and the keep-alive.
#include <algorithm>
#include <cstdlib>
#include <fstream>

#include "station/station_fixture.h"

namespace orvana::testing {
namespace {

TEST_F(StationTest, NoPortFoundSaysSoEachTimeTheListIsOpened) {
  station->RefreshPortList(false);
  station->RefreshPortList(true);
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(ui.messages[0].caption, station::kAppTitle);
  EXPECT_EQ(ui.messages[0].text, "no port");
  EXPECT_TRUE(ui.listed.empty());
  // With nothing to choose the connect button only stops the transport.
  EXPECT_FALSE(station->OnConnect(-1));
  EXPECT_EQ(transport.stops, 1);
  EXPECT_TRUE(transport.opened.empty());
  EXPECT_EQ(ui.messages.size(), 2u);
}

TEST_F(StationTest, ConnectOpensNineSixHundredEightNOneAndGreets) {
  ports = {{"serial8250", "/dev/ttyS0"}, {"ftdi_sio", "/dev/ttyUSB3"}};
  station->RefreshPortList(false);
  EXPECT_TRUE(ui.messages.empty());
  ASSERT_EQ(ui.listed.size(), 2u);

  ASSERT_TRUE(station->OnConnect(1));
  ASSERT_EQ(transport.opened.size(), 1u);
  EXPECT_EQ(transport.opened[0].path, "/dev/ttyUSB3");
  EXPECT_EQ(transport.opened[0].number, 3u);
  EXPECT_EQ(transport.lastSettings.baudRate, 9600);
  EXPECT_EQ(transport.lastSettings.parity, 'N');
  EXPECT_EQ(transport.lastSettings.dataBits, 8);
  EXPECT_EQ(transport.lastSettings.stopBits, 1);
  EXPECT_EQ(transport.lastSettings.eventMask, 3u);
  EXPECT_EQ(transport.lastSettings.writeBufferSize, 512);
  EXPECT_EQ(transport.monitorStarts, 1);
  EXPECT_EQ(transport.purgingWrites, std::vector<Bytes>{BuildFrame(Code::kConnect)});
  EXPECT_FALSE(station->Connected()) << "connected only once the meter answers";

  // Pressing again on the same port opens it anew and greets again.
  ASSERT_TRUE(station->OnConnect(1));
  EXPECT_EQ(transport.opened.size(), 2u);
  EXPECT_EQ(transport.purgingWrites.size(), 2u);
}

TEST_F(StationTest, SilentPortIsToldOnceByNameAndAnAnsweringOneIsShownAsTheLink) {
  ports = {{"ftdi_sio", "/dev/ttyUSB0"}, {"ftdi_sio", "/dev/ttyUSB1"}};
  station->RefreshPortList(false);
  ASSERT_TRUE(station->OnConnect(0));
  EXPECT_TRUE(station->OnGreetingTimeout());
  EXPECT_FALSE(station->OnGreetingTimeout()) << "told once";
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, std::string(texts::kNoAnswerDefault) + "\n\n/dev/ttyUSB0");
  EXPECT_TRUE(station->ConnectedPort().empty());

  ASSERT_TRUE(station->OnConnect(1));
  Feed(BuildFrame(Code::kConnectOk));
  EXPECT_FALSE(station->OnGreetingTimeout()) << "the meter answered in time";
  EXPECT_EQ(ui.messages.back().text, "connected");
  EXPECT_EQ(station->ConnectedPort(), "/dev/ttyUSB1");
  ASSERT_FALSE(ui.linkStates.empty());
  EXPECT_EQ(ui.linkStates.back(), "connected: /dev/ttyUSB1");

  station->OnLinkLost("gone");
  EXPECT_EQ(ui.linkStates.back(), "");
  EXPECT_TRUE(station->ConnectedPort().empty());
}

TEST_F(StationTest, AFlappingMeterLeavesOneBoxOpenAndShowsTheLatestAfterIt) {
  Connect();
  int depth = 0;
  int deepest = 0;
  bool flapped = false;
  ui.whileBoxIsOpen = [&] {
    deepest = std::max(deepest, ++depth);
    if (!flapped) {
      flapped = true;
      // Unattended: the adapter comes and goes while the first box waits.
      for (int cycle = 0; cycle < 30; ++cycle) {
        EXPECT_TRUE(station->OnWatchTick());
        Feed(BuildFrame(Code::kConnectOk));
        station->OnLinkLost("gone again");
      }
    }
    --depth;
  };
  station->OnLinkLost("gone");
  EXPECT_EQ(deepest, 1) << "boxes stacked on one another";
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(ui.messages[0].text, "cannot open\n\ngone");
  EXPECT_EQ(ui.messages[1].text, "cannot open\n\ngone again") << "the latest state, once";
  EXPECT_TRUE(station->WatchingForPort());
}

TEST_F(StationTest, PortThatCannotBeOpenedIsReportedWithTheReason) {
  ports = {{"ftdi_sio", "/dev/ttyUSB0"}};
  station->RefreshPortList(false);
  transport.openSucceeds = false;
  EXPECT_FALSE(station->OnConnect(0));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].caption, station::kAppTitle);
  EXPECT_EQ(ui.messages[0].text.rfind("cannot open", 0), 0u) << "the text comes first";
  EXPECT_NE(ui.messages[0].text.find("in use by another program"), std::string::npos);
  EXPECT_TRUE(transport.purgingWrites.empty());
  EXPECT_EQ(transport.monitorStarts, 0);
}

TEST_F(StationTest, ALostPortIsWatchedForUntilItOpensAgainOrTheUserConnects) {
  Connect();
  station->OnLinkLost("the meter's port has gone");
  station->OnLinkLost("the meter's port has gone");
  ASSERT_EQ(ui.messages.size(), 1u) << "told once";
  EXPECT_EQ(ui.messages[0].caption, station::kAppTitle);
  EXPECT_EQ(ui.messages[0].text, "cannot open\n\nthe meter's port has gone");
  ASSERT_TRUE(station->WatchingForPort());

  ports = {{"ftdi_sio", "/dev/ttyUSB1"}};  // another port, not the lost one
  EXPECT_FALSE(station->OnWatchTick());
  ports = {{"ftdi_sio", "/dev/ttyUSB0"}};
  transport.openSucceeds = false;  // back, but not ready to be opened yet
  EXPECT_FALSE(station->OnWatchTick());
  EXPECT_TRUE(station->WatchingForPort());
  EXPECT_EQ(ui.messages.size(), 1u) << "tried again without a message";
  EXPECT_TRUE(transport.purgingWrites.empty());

  transport.openSucceeds = true;
  EXPECT_TRUE(station->OnWatchTick());
  EXPECT_EQ(transport.opened.back().path, "/dev/ttyUSB0");
  EXPECT_EQ(transport.purgingWrites, std::vector<Bytes>{BuildFrame(Code::kConnect)});
  EXPECT_FALSE(station->WatchingForPort());

  // Pressing connect, with a port chosen or none, ends a watch.
  station->OnLinkLost("gone");
  ASSERT_TRUE(station->WatchingForPort());
  station->OnConnect(-1);
  EXPECT_FALSE(station->WatchingForPort());
  EXPECT_FALSE(station->OnWatchTick());
}

TEST_F(StationTest, GreetingAnsweredOnceShowsOneBox) {
  Feed({0x00, 0x13, 0x50, 0x03, 0x02, 0xAB, 0x01});
  EXPECT_TRUE(station->Connected());
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].caption, "OTDR");
  EXPECT_EQ(ui.messages[0].text, "connected");
}

TEST_F(StationTest, UploadAndEraseSendNothingBeforeTheMeterAnswered) {
  station->OnUploadRequest();
  table.AppendRow("old");
  station->OnEraseRequest();
  EXPECT_TRUE(transport.purgingWrites.empty());
  EXPECT_EQ(table.RowCount(), 0) << "the erase still clears the table";
}

TEST_F(StationTest, UploadedRecordsBecomeEventRowsBelowWhatIsShown) {
  Connect();
  table.AppendRow("earlier");
  station->OnUploadRequest();
  EXPECT_EQ(transport.purgingWrites, std::vector<Bytes>{BuildFrame(Code::kReadRecord)});

  Feed(sim::BuildRecordHeaderFrame({7, 11, 2, 0, 5, {}}));
  Feed(sim::BuildRecordEventFrame({0, 10000, 0.25f, -45.04f, 0.25f, 2}));
  Feed(sim::BuildRecordEventFrame({1, -2, 0.3f, -60.0f, 0.55f, 3}));
  Feed(sim::BuildRecordHeaderFrame({17, 3, 5, 9, 7, {}}));
  Feed(sim::BuildRecordEventFrame({0, 150, 1.0f, -30.0f, 1.55f, 0}));

  ASSERT_EQ(table.RowCount(), 4);
  EXPECT_EQ(table.Text(1, 0), "1--0");
  EXPECT_EQ(table.Text(1, 1), "10000");
  EXPECT_EQ(table.Text(1, 2), "0.2");  // an exact tie rounds to even
  EXPECT_EQ(table.Text(1, 3), "-45.0");
  EXPECT_EQ(table.Text(1, 5), "Loss");
  EXPECT_EQ(table.Text(1, 6), "2007-11-02 00:05 ");
  EXPECT_EQ(table.Text(2, 0), "1--1");
  EXPECT_EQ(table.Text(2, 1), "-2");
  EXPECT_EQ(table.Text(2, 5), "Reflect");
  EXPECT_EQ(table.Text(3, 0), "2--0");
  EXPECT_EQ(table.Text(3, 6), "2017-03-05 09:07 ");
  EXPECT_FALSE(table.CellTextColor(1, 2).has_value()) << "event rows get no colours";
  EXPECT_EQ(station->ResultRow(), 3);
  EXPECT_EQ(ui.visibleRows.back(), 3);
  EXPECT_EQ(LogFile("20170503.txt"), "") << "event rows are not logged";

  // A new upload numbers its records from 1 again.
  station->OnUploadRequest();
  Feed(sim::BuildRecordHeaderFrame({17, 3, 5, 9, 7, {}}));
  EXPECT_EQ(station->RecordNo(), 1);
}

TEST_F(StationTest, CancelledEraseTouchesNothing) {
  Connect();
  table.AppendRow("keep");
  ui.answer = station::Answer::Cancel;
  station->OnEraseRequest();
  EXPECT_EQ(table.RowCount(), 1);
  EXPECT_TRUE(transport.purgingWrites.empty());
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_TRUE(ui.messages[0].question);
  EXPECT_EQ(ui.messages[0].caption, "IL&RL");
}

TEST_F(StationTest, WhereAScannerTypesTheEraseQuestionDefaultsToCancel) {
  // A scanner's Enter answers whatever box is open: at the bench it must
  // not erase the meter. The plain window keeps OK as its default.
  ui.answer = station::Answer::Cancel;
  station->OnEraseRequest();
  station = std::make_unique<station::Station>(station::StationEnvironment{
      transport, ui, clock, table, texts, (folder / "Savetemp").string(), [this] { return ports; },
      nullptr, true});
  station->OnEraseRequest();
  station->OnClearScreen();
  EXPECT_EQ(ui.defaults, (std::vector<station::Answer>{station::Answer::Ok, station::Answer::Cancel,
                                                       station::Answer::Ok}));
}

TEST_F(StationTest, ConfirmedEraseClearsSendsAndTheAnswerIsShown) {
  Connect();
  Feed(DualResultBytes(-0.2f, 56.0f, -0.2f, 56.0f));
  station->OnEraseRequest();
  EXPECT_EQ(table.RowCount(), 0);
  EXPECT_EQ(transport.purgingWrites, std::vector<Bytes>{BuildFrame(Code::kEraseAll)});
  Feed(BuildFrame(Code::kEraseAllOk));
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_EQ(ui.messages.back().caption, "OTDR");
  EXPECT_EQ(ui.messages.back().text, "erased");
}

TEST_F(StationTest, KeepAliveIsSilentUntilTheMeterAnswered) {
  station->OnTimer();
  EXPECT_TRUE(transport.keepingWrites.empty());
  EXPECT_TRUE(transport.purgingWrites.empty());
}

TEST_F(StationTest, KeepAliveEveryTickSerialCheckEverySecondTick) {
  Connect();
  const int readsBefore = ui.reads;
  station->OnTimer();
  station->OnTimer();
  station->OnTimer();
  EXPECT_EQ(transport.keepingWrites, std::vector<Bytes>(3, BuildFrame(Code::kKeepAlive)));
  EXPECT_TRUE(transport.purgingWrites.empty()) << "the keep-alive must not purge the line";
  EXPECT_EQ(ui.reads - readsBefore, 1);
}

TEST_F(StationTest, KeepAliveDoesNotCutAResultThatIsArriving) {
  Connect();
  const Bytes result = DualResultBytes(-0.2f, 56.0f, -0.2f, 56.0f);
  Feed(Bytes(result.begin(), result.begin() + 11));
  station->OnTimer();
  Feed(Bytes(result.begin() + 11, result.end()));
  EXPECT_EQ(table.RowCount(), 1);

  // A command the user triggers does start afresh: its answer must not be
  // spoiled by what came before.
  Feed(Bytes(result.begin(), result.begin() + 11));
  station->OnUploadRequest();
  Feed(Bytes(result.begin() + 11, result.end()));
  EXPECT_EQ(table.RowCount(), 1);
}

TEST_F(StationTest, UnchangedSerialNumberIsSelectedForTheNextScan) {
  ui.serialEdit = "A1";
  station->OnTimer();
  station->OnTimer();  // first check: remembers A1
  EXPECT_EQ(ui.selections, 0);
  station->OnTimer();
  station->OnTimer();  // second check: still A1, so select it
  EXPECT_EQ(ui.selections, 1);
  ui.serialEdit = "A2";
  station->OnTimer();
  station->OnTimer();
  EXPECT_EQ(ui.selections, 1);
}

TEST_F(StationTest, ClickBackIntoTheSerialFieldSelectsAndReadsIt) {
  station->OnLeftButtonDown(true);
  EXPECT_EQ(ui.selections, 0) << "no click outside yet";
  station->OnLeftButtonDown(false);
  ui.serialEdit = "SN-42";
  station->OnLeftButtonDown(true);
  EXPECT_EQ(ui.selections, 1);
  EXPECT_EQ(station->Fields().serialText, "SN-42");
  station->OnLeftButtonDown(true);
  EXPECT_EQ(ui.selections, 1) << "only the first click back selects";
  station->OnEnterKey();
  EXPECT_EQ(ui.selections, 2);
}

TEST_F(StationTest, BytesArrivingWhileABoxIsOpenAreNotLost) {
  // The greeting's box is open while a result comes in underneath it.
  const Bytes result = DualResultBytes(-0.21f, 56.3f, -0.35f, 54.0f);
  bool fed = false;
  ui.whileBoxIsOpen = [&] {
    if (fed) return;
    fed = true;
    Feed(result);
  };
  Feed(BuildFrame(Code::kConnectOk));
  EXPECT_TRUE(station->Connected());
  ASSERT_EQ(table.RowCount(), 1);
  EXPECT_EQ(table.Text(0, 1), "-0.21");
}

}  // namespace
}  // namespace orvana::testing
