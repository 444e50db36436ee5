#include "cli/listen.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <filesystem>

#include "cli/json_ui.h"
#include "cli/loop_wait.h"
#include "cli/output_queue.h"
#include "cli/scanned_serials.h"
#include "cli/text_ui.h"
#include "common/clock.h"
#include "link/polled_transport.h"
#include "records/daily_log.h"
#include "results/results_table.h"
#include "station/station.h"
#include "store/result_store.h"
#include "texts/message_texts.h"
#include "texts/verdict_words.h"
#include "texts/work_place.h"

namespace orvana::cli {
namespace {

using Clock = std::chrono::steady_clock;

// The meter did not answer the greeting within the window's wait.
constexpr auto kGreetingWait = std::chrono::milliseconds(station::kGreetingAnswerMilliseconds);

// The meter's port went away (and, with --reconnect, had not come back).
constexpr int kExitLinkLost = 3;
// Whoever read the station's output has gone (a closed pipe, a lost terminal).
constexpr int kExitOutputClosed = 4;
// The meter never answered on the port during the whole run.
constexpr int kExitNoAnswer = 5;
// An erase was asked for and the meter did not confirm one by the end.
constexpr int kExitEraseNotDone = 6;

// After a read that brought only a few bytes of a frame that is not whole
// yet (a line at the meter's 9600 baud brings them one by one, a
// millisecond apart), the line is left alone this long, so one wake-up takes
// several bytes instead of each its own. A result is then shown at most this
// much later, which nobody sees; a fast line (a read of many bytes) is read
// again at once, and so is the line once a frame is whole.
constexpr auto kLineRest = std::chrono::milliseconds(8);
constexpr size_t kFewBytes = 64;

// How often a lost port is looked for, as the window does.
constexpr auto kWatchInterval = std::chrono::milliseconds(500);

// At the end of the run, lines the day's file never took go where the user
// can find them, and the output says where.
void TellSavedLines(TerminalUi& ui, const records::SaveResult& result, const char* key) {
  for (const records::SavedLines& saved : result.saved) {
    ui.Status(StatusLine{key, "saved", {}}.Text("path", saved.path).Count("lines", saved.lines));
    std::fprintf(stderr, "orvana-cli: %zu log lines that Savetemp did not take are in %s\n",
                 saved.lines, saved.path.c_str());
  }
  if (result.lost > 0) {
    ui.Status(StatusLine{key, "lost", {}}.Count("lines", result.lost));
    std::fprintf(stderr, "orvana-cli: %zu log lines could be saved nowhere\n", result.lost);
  }
}

// The same for results the store's outbox did not take: saved where the next
// run sends them, or (when nowhere takes them) said to be in the day log.
void TellSavedResults(TerminalUi& ui, const records::SaveResult& result,
                      const std::string& logFolder) {
  for (const records::SavedLines& saved : result.saved) {
    ui.Status(
        StatusLine{"store", "saved", {}}.Text("path", saved.path).Count("results", saved.lines));
    std::fprintf(stderr,
                 "orvana-cli: %zu results for the database are in %s; the next run sends them\n",
                 saved.lines, saved.path.c_str());
  }
  if (result.lost > 0) {
    ui.Status(StatusLine{"store", "lost", {}}.Count("results", result.lost).Text("log", logFolder));
    std::fprintf(stderr,
                 "orvana-cli: %zu results for the database could be saved nowhere; they are in the "
                 "day log in %s, and orvana-cli store LOG sends them\n",
                 result.lost, logFolder.c_str());
  }
}

// Each serial a scanner sent becomes the next part's; a line too long to be
// one is said and skipped.
void TakeScans(TerminalUi& ui, const ScannedSerials::Scan& scan) {
  for (const std::string& serial : scan.serials) ui.TakeScannedSerial(serial);
  if (scan.tooLong > 0) {
    std::fprintf(stderr,
                 "orvana-cli: %zu lines of standard input longer than %zu bytes skipped: no "
                 "serial is that long\n",
                 scan.tooLong, ScannedSerials::kLongestSerial);
  }
}

// At the end of a run, what the bench recorded may still be on its way; the
// run waits this long for it, then leaves the rest to the next run.
constexpr auto kLastSendWait = std::chrono::seconds(5);

// Milliseconds until `wakeAt`, rounded up; -1 for never.
int WaitTimeout(Clock::time_point now, Clock::time_point wakeAt) {
  if (wakeAt == Clock::time_point::max()) return -1;
  if (wakeAt <= now) return 0;
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wakeAt - now).count();
  return static_cast<int>(std::min<decltype(wait)>(wait, INT_MAX));
}

}  // namespace

int RunListen(const ListenOptions& options) {
  // Made before any thread starts (the output's writer, the day log's
  // flusher): a request to end the run reaches only the loop below.
  LoopWait wait;

  // Declared first so it goes last: the station's final lines still reach
  // a reader that is there.
  OutputQueue output(fileno(stdout), OutputQueue::kDefaultCapacity, [&wait] { wait.Wake(); });

  // Scripts rely on the day logs being in ./Savetemp, wherever the texts
  // come from.
  const texts::WorkPlace place = texts::FindWorkPlaceOfProcess({});
  texts::MessageTexts messageTexts = texts::LoadMessageTextFile(place.languageFile);
  results::ResultsTable table;
  common::SystemClock clock;
  const station::Answer answer = station::Answer::Ok;
  std::unique_ptr<TerminalUi> terminal;
  if (options.text) {
    // The verdicts in the language of the bench's texts, as its messages are.
    terminal =
        std::make_unique<TextUi>(output, table, answer, texts::VerdictWordsFor(messageTexts));
    output.SetDropMarker(TextUi::DropMarker);
  } else {
    terminal = std::make_unique<JsonUi>(output, table, answer);
  }
  TerminalUi& ui = *terminal;
  ui.SetBenchFields(BenchFields{options.serial, options.productNumber, options.orderNumber});
  table.AddObserver(&ui);
  ScannedSerials scanner;
  if (options.serialsFromStdin) wait.WatchInput();

  station::Station* station = nullptr;
  bool linkLost = false;
  // The loop below waits on descriptors anyway, so it runs the line itself:
  // each read is handed to the station where it was made, with no second
  // thread to wake for every frame the meter sends.
  link::PolledTransport transport(
      link::LineHandlers{[&station](uint8_t byte) { station->OnReceiveByte(byte); },
                         [&](const std::string& reason) {
                           station->OnLinkLost(reason);
                           ui.Status(StatusLine{"link", "lost", {}}.Text("reason", reason));
                           linkLost = true;
                         }});

  // The line's record, when there is one: its outbox beside the day logs.
  const store::StoreConfig storeConfig = store::StoreConfigFromEnvironment(options.database);
  std::unique_ptr<store::ResultStore> resultStore;
  if (!storeConfig.conninfo.empty()) {
    resultStore = std::make_unique<store::ResultStore>(storeConfig, place.logFolder + "/outbox");
    resultStore->SetEventSignal([&wait] { wait.Wake(); });
  }

  const std::string port = options.port;
  station::Station theStation(station::StationEnvironment{
      transport, ui, clock, table, std::move(messageTexts), place.logFolder,
      [port] {
        return std::vector<link::PortEntry>{link::PortEntry{"cli", port}};
      },
      resultStore.get(),
      // A scanner's serials: each part is counted, and one that kept the
      // serial of the part before is told.
      options.serialsFromStdin});
  station = &theStation;
  records::DailyLog& log = theStation.DayLog();
  records::DailyLog& recordLog = theStation.RecordLog();
  // The logs' flushers may notice a recovery on their own threads.
  log.SetEventSignal([&wait] { wait.Wake(); });
  recordLog.SetEventSignal([&wait] { wait.Wake(); });

  theStation.PlanRecords(options.upload, options.erase);
  theStation.RefreshPortList(false);
  const bool opened = theStation.OnConnect(0);
  ui.Flush();
  if (!opened) {
    std::fprintf(stderr, "%s\n", theStation.Texts().comnotopen.c_str());
    if (!transport.LastOpenError().empty()) {
      std::fprintf(stderr, "%s\n", transport.LastOpenError().c_str());
    }
    return 2;
  }

  const auto start = Clock::now();
  const auto deadline = options.seconds ? start + *options.seconds : Clock::time_point::max();
  auto nextWatch = Clock::now();
  auto greetingDue = Clock::now() + kGreetingWait;
  auto lineRestsUntil = Clock::now();
  int status = 0;

  for (;;) {
    theStation.OnLogEvents();
    theStation.OnStoreEvents();
    ui.Flush();
    if (output.Closed()) {
      status = kExitOutputClosed;
      break;
    }
    if (linkLost) {
      linkLost = false;
      if (!options.reconnect) {
        status = kExitLinkLost;
        break;
      }
      nextWatch = Clock::now() + kWatchInterval;
    }
    const auto now = Clock::now();
    if (now >= deadline) break;
    if (theStation.WatchingForPort() && now >= nextWatch) {
      nextWatch = now + kWatchInterval;
      if (theStation.OnWatchTick()) {
        ui.Status(StatusLine{"link", "restored", {}});
        greetingDue = now + kGreetingWait;
      }
      ui.Flush();
    }
    // A silent port is told as the window tells it, naming the port.
    if (greetingDue != Clock::time_point::max() && now >= greetingDue) {
      greetingDue = Clock::time_point::max();
      theStation.OnGreetingTimeout();
      ui.Flush();
    }
    const auto recordsDue = theStation.OnRecordsPlanTick(now);

    // Between frames the loop sleeps until something is due: the end of the
    // run, the next look for a lost port, the greeting's answer, or the
    // quiet the erase waits for.
    auto wakeAt = std::min({deadline, greetingDue, recordsDue});
    if (theStation.WatchingForPort()) wakeAt = std::min(wakeAt, nextWatch);
    const bool lineRests = now < lineRestsUntil;
    if (lineRests) wakeAt = std::min(wakeAt, lineRestsUntil);
    // The wake-up (output, the day log's events), a request to end, the line. A
    // command or a stop asked for in this round goes out without a wait.
    const int timeout = transport.Due() ? 0 : WaitTimeout(now, wakeAt);
    const LoopWait::Woken woken = wait.Wait(transport.LineWait(), !lineRests, timeout);
    if (woken.stop) break;
    // Before the line: a serial scanned by the time a result's bytes are
    // read is that part's.
    if (!woken.input.empty()) TakeScans(ui, scanner.Feed(woken.input));
    if (woken.inputEnded) {
      TakeScans(ui, scanner.End());
      std::fputs("orvana-cli: standard input has ended; the parts keep the serial scanned last\n",
                 stderr);
    }
    const size_t handed = transport.Service(woken.line);
    if (handed > 0 && handed < kFewBytes && theStation.MidFrame()) {
      lineRestsUntil = Clock::now() + kLineRest;
    }
  }
  // A run that ends while the port is still gone says so.
  if (status == 0 && theStation.WatchingForPort()) status = kExitLinkLost;
  if (status == 0 && !theStation.Connected()) status = kExitNoAnswer;
  if (const char* why = theStation.PlannedEraseNotDone()) {
    ui.Status(StatusLine{"erase", "not-done", {}}.Text("reason", why));
    std::fprintf(stderr, "orvana-cli: the meter's records were not erased: %s\n", why);
    if (status == 0) status = kExitEraseNotDone;
  }
  ui.Flush();
  transport.Stop();
  const station::EndOfRunSave save = theStation.SaveAtEnd(kLastSendWait);
  theStation.OnLogEvents();
  TellSavedLines(ui, save.log, "log");
  TellSavedLines(ui, save.records, "records");
  if (resultStore) {
    theStation.OnStoreEvents();
    TellSavedResults(ui, save.store, place.logFolder);
    theStation.OnStoreEvents();
  }
  ui.Flush();
  return status;
}

}  // namespace orvana::cli
