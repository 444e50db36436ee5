// The real main window under a meter's load: COrvanaDlg shown at 1280 x 800,
// connected to a pseudo-terminal this program plays the meter on, receiving
// recorded dual-wavelength results (some passing, some failing). Runs on Qt's
// offscreen platform unless QT_QPA_PLATFORM says otherwise, so it needs no
// display; the painting is real. Run by hand:
//
//   bench_window [--seconds S] [--results N] [--rows R] [--hidden]
//
//   pace   S seconds (20) of the meter's rate, one result every 25 ms: the
//          process's CPU time per result and as a share of one core, beside
//          `cat` reading the same bytes at the same moments from a second
//          pseudo-terminal; then the paint events each result caused, by
//          widget, with the pixels they covered.
//   flood  N results (200,000) as fast as the window takes them: results/s
//          from the first row to the last, and the longest the event loop
//          went without serving a timer (max and 99th percentile).
//   memory the table filled on to R rows (1,000,000): heap (malloc in use)
//          and resident memory per row, beside the core table alone and the
//          core table with a model and view but no window, measured in this
//          process before the window is made.
//
// --hidden shows the plain window (the controls the template hides stay
// hidden, no one-second tick); by default the window runs as with --full.
// N = 0 skips the flood, R = 0 the memory figures (a short run to profile
// painting: --results 0 --rows 0). Every result sent must end up as a row and
// a log line. Exit status 1 when a result went missing, 2 for a setup failure.
#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <QAbstractItemModel>
#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "app/orvana_dlg.h"
#include "bench_support.h"
#include "protocol/frame.h"
#include "results/list_ctrl_cl.h"
#include "results/measurement_result.h"
#include "results/result_recorder.h"
#include "results/results_model.h"
#include "results/results_table.h"
#include "results/settings_record.h"
#include "ui/fonts.h"

extern char** environ;

namespace {

using namespace orvana;
using namespace orvana::bench;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr size_t kFrameSize = 24;
using FrameBytes = std::array<uint8_t, kFrameSize>;
constexpr QSize kScreenSize(1280, 800);
constexpr auto kPacePeriod = 25ms;

using orvana::bench::CpuSeconds;
// `who`: RUSAGE_SELF (every thread of ours) or RUSAGE_THREAD (the caller).
double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return CpuSeconds(usage);
}

// ---------------------------------------------------------------- options

struct Options {
  int seconds = 20;
  int results = 200000;
  int rows = 1000000;
  bool full = true;
};

std::optional<Options> ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--hidden") {
      options.full = false;
      continue;
    }
    if (i + 1 >= argc) return std::nullopt;
    const int value = std::atoi(argv[++i]);
    if (option == "--seconds") {
      options.seconds = std::max(1, value);
    } else if (option == "--results") {
      options.results = std::max(0, value);
    } else if (option == "--rows") {
      options.rows = std::max(0, value);
    } else {
      return std::nullopt;
    }
  }
  return options;
}

int Usage() {
  std::fputs("usage: bench_window [--seconds S] [--results N] [--rows R] [--hidden]\n", stderr);
  return 2;
}

// ---------------------------------------------------------------- memory

struct MemorySample {
  double heap = 0;  // bytes malloc has handed out, small and mmapped chunks alike
  double rss = 0;   // resident bytes of the process

  static MemorySample Now() {
    const struct mallinfo2 info = mallinfo2();
    MemorySample sample;
    sample.heap = static_cast<double>(info.uordblks + info.hblkhd);
    long pages = 0;
    long resident = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
      if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) resident = 0;
      std::fclose(statm);
    }
    sample.rss = static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE));
    return sample;
  }
};

struct RowCost {
  double heapPerRow = 0;
  double rssPerRow = 0;
};

RowCost CostPerRow(const MemorySample& before, const MemorySample& after, int rows) {
  if (rows <= 0) return {};
  return {(after.heap - before.heap) / rows, (after.rss - before.rss) / rows};
}

// ---------------------------------------------------------------- the meter's frames

// A recorded dual-wavelength result. The values move from one result to the
// next, so the four value fields change every time, and against the start
// thresholds (IL -0.3 dB, RL 55 dB) each of them passes for some results and
// fails for others.
FrameBytes ResultFrame(long n) {
  FrameBytes frame{};
  frame[0] = protocol::kFrameHeader;
  frame[1] = 22;
  frame[2] = protocol::CMD_RESULT;
  frame[3] = 1;  // dual
  const auto step = [n](long period, float size) { return size * static_cast<float>(n % period); };
  const float values[4] = {-0.21f - step(20, 0.01f), 54.6f + step(13, 0.1f),
                           -0.25f - step(11, 0.01f), 53.9f + step(17, 0.2f)};
  for (size_t v = 0; v < 4; ++v) {
    const auto bits = std::bit_cast<uint32_t>(values[v]);
    for (size_t b = 0; b < 4; ++b) frame[5 + 4 * v + b] = static_cast<uint8_t>(bits >> (8 * b));
  }
  frame[21] = 1;  // record it
  frame[22] = protocol::Checksum(frame.data(), 22);
  frame[23] = protocol::kFrameTrailer;
  return frame;
}

protocol::Frame AsReceived(const FrameBytes& bytes) {
  protocol::Frame frame;
  std::copy(bytes.begin(), bytes.end(), frame.bytes.begin());
  frame.size = bytes.size();
  return frame;
}

// ---------------------------------------------------------------- the lines

// `cat` reading a pseudo-terminal into /dev/null: what merely taking the
// same bytes off a line costs.
class CatReader {
 public:
  explicit CatReader(Pty& line) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, line.RawSlave(), STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    char name[] = "cat";
    char* argv[] = {name, nullptr};
    const int error = posix_spawnp(&m_pid, "cat", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
      errno = error;
      Fail("cannot start cat");
    }
  }
  ~CatReader() {
    if (m_pid > 0) Stop();
  }
  CatReader(const CatReader&) = delete;
  CatReader& operator=(const CatReader&) = delete;

  // Ends it and returns what it used.
  rusage Stop() {
    kill(m_pid, SIGTERM);
    rusage usage{};
    int status = 0;
    wait4(m_pid, &status, 0, &usage);
    m_pid = -1;
    return usage;
  }

 private:
  pid_t m_pid = -1;
};

// ---------------------------------------------------------------- the working folder

class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (fs::temp_directory_path() / "orvana-window-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) Fail("mkdtemp");
    m_path = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    fs::remove_all(m_path, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const fs::path& Path() const { return m_path; }

 private:
  fs::path m_path;
};

// The Chinese captions the window starts with by default.
void CopyLanguageFile(const fs::path& folder) {
  std::error_code error;
  fs::copy_file(fs::path(ORVANA_LANG_DIR) / "zh_CN" / "language.ini", folder / "language.ini",
                fs::copy_options::overwrite_existing, error);
  if (error) {
    errno = 0;
    Fail("cannot copy language.ini: " + error.message());
  }
}

// A screen of the size the window is measured at, for the offscreen platform.
void UseOffscreenScreen(const fs::path& folder) {
  if (std::getenv("QT_QPA_PLATFORM") != nullptr) return;
  const fs::path config = folder / "screen.json";
  std::ofstream(config) << "{\"screens\": [{\"name\": \"bench\", \"x\": 0, \"y\": 0, \"width\": "
                        << kScreenSize.width() << ", \"height\": " << kScreenSize.height()
                        << ", \"logicalDpi\": 96}]}\n";
  setenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config.string()).c_str(), 1);
}

size_t CountLogLines(const fs::path& folder) {
  size_t lines = 0;
  std::error_code error;
  for (fs::directory_iterator it(folder / "Savetemp", error), end; !error && it != end;
       it.increment(error)) {
    std::ifstream in(it->path(), std::ios::binary);
    std::vector<char> chunk(1 << 20);
    char last[2] = {0, 0};  // the two bytes before the chunk, for an end split across chunks
    while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
      const size_t got = static_cast<size_t>(in.gcount());
      for (size_t i = 0; i < got; ++i) {
        const char c = chunk[i];
        if (c == '\n' && last[0] == '\r' && last[1] == '\r') ++lines;
        last[0] = last[1];
        last[1] = c;
      }
    }
  }
  return lines;
}

// ---------------------------------------------------------------- the table without a window

// What the core table takes per row, built as the recorder builds it from
// the same frames; with `withView`, a model and a (never shown) table view
// watch it, so the difference is what Qt keeps per row.
RowCost MeasureTableRows(int rows, bool withView) {
  RowCost cost;
  {
    results::ResultsTable table;
    std::unique_ptr<results::ResultsModel> model;
    std::unique_ptr<results::CListCtrlCl> view;
    if (withView) {
      model = std::make_unique<results::ResultsModel>(
          table,
          results::ResultsModel::OutcomeTexts{QStringLiteral("pass"), QStringLiteral("fail"),
                                              {}, {}});
      view = std::make_unique<results::CListCtrlCl>();
      view->SetResultsModel(model.get());
    }
    results::ResultRecorder recorder(table);
    const results::TestSettings settings = results::TestSettings::StartValues();
    const common::LocalTime now{2026, 12, 8, 9, 15, 42};
    const MemorySample start = MemorySample::Now();
    for (int n = 0; n < rows; ++n) {
      recorder.Record(results::MeasurementResult::Decode(AsReceived(ResultFrame(n))), {}, settings,
                      now);
    }
    // The view is told of rows at its screen updates, which need the event
    // loop this fill does not run: told here, all at once.
    if (model) model->AnnounceWaitingRows();
    cost = CostPerRow(start, MemorySample::Now(), rows);
  }
  // The next measurement starts from a heap that has given its pages back.
  malloc_trim(0);
  return cost;
}

// ---------------------------------------------------------------- watching the window

// Closes every message box as the user would with OK, and remembers its text.
class BoxCloser {
 public:
  BoxCloser() {
    QObject::connect(&m_timer, &QTimer::timeout, [this] { CloseOpenBox(); });
    m_timer.start(10);
  }
  // Polled often while a box is expected, seldom while measuring.
  void SetInterval(std::chrono::milliseconds interval) { m_timer.setInterval(interval); }
  const std::vector<std::string>& Texts() const { return m_texts; }

 private:
  void CloseOpenBox() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    m_texts.push_back(box->text().toStdString());
    box->done(QMessageBox::Ok);
  }

  QTimer m_timer;
  std::vector<std::string> m_texts;
};

// Counts the paint events every widget receives, with the area they cover,
// and the window's update requests (one per repaint pass).
class PaintCounter final : public QObject {
 public:
  struct Count {
    long events = 0;
    double pixels = 0;
    // Cleared should the widget go away before the report names it.
    QPointer<QObject> object;
  };

  PaintCounter() { qApp->installEventFilter(this); }
  ~PaintCounter() override { qApp->removeEventFilter(this); }
  PaintCounter(const PaintCounter&) = delete;
  PaintCounter& operator=(const PaintCounter&) = delete;

  void Start() {
    m_counts.clear();
    m_updateRequests = 0;
    m_counting = true;
  }
  void Stop() { m_counting = false; }
  const std::unordered_map<QObject*, Count>& Counts() const { return m_counts; }
  long UpdateRequests() const { return m_updateRequests; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!m_counting) return false;
    if (event->type() == QEvent::Paint) {
      Count& count = m_counts[watched];
      if (count.events++ == 0) count.object = watched;
      for (const QRect& rect : static_cast<QPaintEvent*>(event)->region()) {
        count.pixels += static_cast<double>(rect.width()) * rect.height();
      }
    } else if (event->type() == QEvent::UpdateRequest) {
      ++m_updateRequests;
    }
    return false;
  }

 private:
  bool m_counting = false;
  std::unordered_map<QObject*, Count> m_counts;
  long m_updateRequests = 0;
};

// How long the event loop goes without serving a timer that wants to run
// every millisecond: the longest the window would have kept a click or a
// repaint waiting. Gaps go into 50 us buckets made up front, so measuring
// allocates nothing while memory is being measured too.
class LoopGapMeter {
 public:
  static constexpr double kBucketMicros = 50;
  static constexpr Clock::duration kFrame = 16ms;

  explicit LoopGapMeter(std::function<void()> onTick) : m_onTick(std::move(onTick)) {
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(1);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { Tick(); });
  }
  void Start() {
    std::fill(m_buckets.begin(), m_buckets.end(), 0);
    m_gaps = 0;
    m_max = {};
    m_longGaps = {};
    m_last = Clock::now();
    m_timer.start();
  }
  void Stop() { m_timer.stop(); }
  long Ticks() const { return m_gaps; }
  double MaxMillis() const { return Seconds(m_max) * 1e3; }
  // The time spent in gaps longer than a frame at 60 Hz, when a user would
  // see the window stand still.
  double LongGapSeconds() const { return Seconds(m_longGaps); }
  double PercentileMillis(double share) const {
    const auto wanted = static_cast<long>(share * static_cast<double>(m_gaps));
    long seen = 0;
    // The last bucket holds every longer gap; the longest stands for them.
    for (size_t b = 0; b + 1 < m_buckets.size(); ++b) {
      seen += m_buckets[b];
      if (seen > wanted) return static_cast<double>(b + 1) * kBucketMicros / 1e3;
    }
    return MaxMillis();
  }

 private:
  void Tick() {
    const auto now = Clock::now();
    const auto gap = now - m_last;
    m_last = now;
    m_max = std::max(m_max, gap);
    if (gap > kFrame) m_longGaps += gap;
    const auto bucket = static_cast<size_t>(Seconds(gap) * 1e6 / kBucketMicros);
    ++m_buckets[std::min(bucket, m_buckets.size() - 1)];
    ++m_gaps;
    m_onTick();
  }

  std::function<void()> m_onTick;
  QTimer m_timer;
  std::vector<long> m_buckets = std::vector<long>(40000);  // up to 2 s
  long m_gaps = 0;
  Clock::duration m_max{};
  Clock::duration m_longGaps{};
  Clock::time_point m_last;
};

// Notes when rows are added to the window's table.
class RowClock final : public results::ITableObserver {
 public:
  explicit RowClock(results::ResultsTable& table) : m_table(table) { m_table.AddObserver(this); }
  ~RowClock() override { m_table.RemoveObserver(this); }
  RowClock(const RowClock&) = delete;
  RowClock& operator=(const RowClock&) = delete;

  // Counts from zero; `expected` rows are timed in tenths as well, to show
  // whether a row costs more as the table grows.
  void Reset(long expected = 0) {
    m_added = 0;
    m_first = m_last = {};
    m_expected = expected;
    m_tenths.clear();
    m_tenths.reserve(kTenths);
  }
  // When each tenth of the expected rows was in.
  const std::vector<Clock::time_point>& Tenths() const { return m_tenths; }
  long Added() const { return m_added; }
  Clock::time_point First() const { return m_first; }
  Clock::time_point Last() const { return m_last; }

  void RowsInserted(int, int count) override {
    const auto now = Clock::now();
    if (m_added == 0) m_first = now;
    m_last = now;
    m_added += count;
    while (m_expected > 0 && m_tenths.size() < kTenths &&
           m_added * static_cast<long>(kTenths) >=
               m_expected * static_cast<long>(m_tenths.size() + 1)) {
      m_tenths.push_back(now);
    }
  }
  void RowChanged(int) override {}
  void TableCleared() override {}

 private:
  static constexpr size_t kTenths = 10;

  results::ResultsTable& m_table;
  long m_expected = 0;
  std::vector<Clock::time_point> m_tenths;
  long m_added = 0;
  Clock::time_point m_first{};
  Clock::time_point m_last{};
};

// Runs the event loop until `done` holds, checking every `interval`; false
// when `progress` (the rows so far) stayed still for `stall`.
bool RunUntil(const std::function<bool()>& done, const std::function<long()>& progress,
              std::chrono::milliseconds interval, std::chrono::milliseconds stall) {
  QEventLoop loop;
  QTimer check;
  bool finished = false;
  long lastProgress = progress();
  auto lastMove = Clock::now();
  QObject::connect(&check, &QTimer::timeout, [&] {
    if (done()) {
      finished = true;
      loop.quit();
      return;
    }
    const long now = progress();
    if (now != lastProgress) {
      lastProgress = now;
      lastMove = Clock::now();
    } else if (Clock::now() - lastMove > stall) {
      loop.quit();
    }
  });
  check.start(interval);
  loop.exec();
  return finished;
}

// Names for the window's controls, for a widget to be reported by its role.
std::map<const QObject*, std::string> ControlRoles(const QWidget& window,
                                                   const app::MainWindowControls& c) {
  std::map<const QObject*, std::string> roles{
      {&window, "window"},
      {c.ok, "ok"},
      {c.exit, "exit"},
      {c.portCombo, "portCombo"},
      {c.connect, "connect"},
      {c.exportReport, "exportReport"},
      {c.resultList, "resultList"},
      {c.info, "info"},
      {c.settings, "settings"},
      {c.blankRow, "blankRow"},
      {c.upload, "upload"},
      {c.import, "import"},
      {c.erase, "erase"},
      {c.clear, "clear"},
      {c.serialGroup, "serialGroup"},
      {c.serialEdit, "serialEdit"},
      {c.autoNumberEdit, "autoNumberEdit"},
      {c.autoIncrement, "autoIncrement"},
      {c.scannerLabel, "scannerLabel"},
      {c.picture, "picture"},
      {c.valueGroup, "valueGroup"},
      {c.reportGroup, "reportGroup"},
      {c.productNumberLabel, "productNumberLabel"},
      {c.productNumberEdit, "productNumberEdit"},
      {c.orderNumberLabel, "orderNumberLabel"},
      {c.orderNumberEdit, "orderNumberEdit"},
      {c.saveFileNameLabel, "saveFileNameLabel"},
      {c.saveFileNameEdit, "saveFileNameEdit"},
  };
  for (size_t k = 0; k < 4; ++k) {
    roles[c.valueLabels[k]] = "valueLabels[" + std::to_string(k) + "]";
    roles[c.valueEdits[k]] = "valueEdits[" + std::to_string(k) + "]";
  }
  roles.erase(static_cast<const QObject*>(nullptr));
  return roles;
}

std::string ClassAndName(const QObject& object) {
  std::string text = object.metaObject()->className();
  if (!object.objectName().isEmpty()) text += " '" + object.objectName().toStdString() + "'";
  return text;
}

// "resultList > QScrollBar": the nearest control the widget belongs to, then
// the widgets down from it to this one.
std::string RoleOf(const QObject& object, const std::map<const QObject*, std::string>& roles) {
  if (const auto found = roles.find(&object); found != roles.end()) {
    return found->second + " (" + ClassAndName(object) + ")";
  }
  std::string path = ClassAndName(object);
  for (const QObject* parent = object.parent(); parent != nullptr; parent = parent->parent()) {
    if (const auto found = roles.find(parent); found != roles.end()) {
      return found->second + " > " + path;
    }
    path = ClassAndName(*parent) + " > " + path;
  }
  return path;
}

// ---------------------------------------------------------------- the window under load

class WindowBench {
 public:
  WindowBench(const Options& options, const fs::path& folder)
      : m_options(options), m_folder(folder) {
    app::COrvanaDlg::Options windowOptions;
    windowOptions.full = options.full;
    windowOptions.startDirectory = folder.string();
    windowOptions.discoverPorts = [port = m_line.SlavePath()] {
      return std::vector<link::PortEntry>{{"pty", port}};
    };
    m_window = std::make_unique<app::COrvanaDlg>(std::move(windowOptions));
    m_rows = std::make_unique<RowClock>(m_window->Table());
  }
  ~WindowBench() {
    m_rows.reset();
    m_window.reset();
  }
  WindowBench(const WindowBench&) = delete;
  WindowBench& operator=(const WindowBench&) = delete;

  void Show();
  void Connect();
  bool Pace();
  bool Flood(const char* name, long count);
  void ReportMemory(const RowCost& core, const RowCost& coreWithView) const;
  bool CheckLog();

  long RowsNow() const { return m_window->Table().RowCount(); }

 private:
  void SettleFor(std::chrono::milliseconds time);
  void ReportPaint(long results) const;
  void ReportTenths(const char* name, long count, long rowsBefore) const;
  void SendPaced(Pty& catLine, std::atomic<long>& sent, std::atomic<bool>& done, double& meterCpu);
  void SendFlood(long first, long count, std::atomic<bool>& done);

  Options m_options;
  fs::path m_folder;
  Pty m_line;
  std::unique_ptr<app::COrvanaDlg> m_window;
  std::unique_ptr<RowClock> m_rows;
  BoxCloser m_boxes;
  PaintCounter m_paints;
  long m_sent = 0;  // results written to the window's line so far
};

void WindowBench::SettleFor(std::chrono::milliseconds time) {
  QEventLoop loop;
  QTimer::singleShot(time, &loop, &QEventLoop::quit);
  loop.exec();
}

void WindowBench::Show() {
  // As the program starts it: maximised, here on a screen of 1280 x 800;
  // on any other screen the window is given that size instead.
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen != nullptr && screen->availableGeometry().size() == kScreenSize) {
    m_window->showMaximized();
  } else {
    m_window->resize(kScreenSize);
    m_window->show();
  }
  const auto deadline = Clock::now() + 10s;
  while (m_window->windowHandle() == nullptr || !m_window->windowHandle()->isExposed()) {
    if (Clock::now() > deadline) Fail("the window was never exposed");
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  SettleFor(300ms);
  std::printf("window: %dx%d %s on the %s platform, %s controls\n", m_window->width(),
              m_window->height(), m_window->isMaximized() ? "maximised" : "resized",
              qPrintable(QGuiApplication::platformName()),
              m_options.full ? "all (--full)" : "the template's");
}

void WindowBench::Connect() {
  m_window->Controls().portCombo->setCurrentIndex(0);
  std::atomic<bool> answered{false};
  std::thread meter([&] { answered = m_line.AnswerGreeting(10s); });
  m_window->OnConnect();
  const bool connected = RunUntil(
      [&] {
        return m_window->GetStation().Connected() && !m_boxes.Texts().empty() &&
               QApplication::activeModalWidget() == nullptr;
      },
      [] { return 0L; }, 10ms, 10s);
  meter.join();
  if (!answered) Fail("no greeting from the window");
  if (!connected) Fail("the window did not confirm the connection");
  const std::string& conok = m_window->GetStation().Texts().conok;
  if (m_boxes.Texts().back() != conok) Fail("the greeting was answered with another box");
  m_boxes.SetInterval(200ms);
  SettleFor(300ms);
  std::printf("connected on %s; the \"conok\" box was closed\n", m_line.SlavePath().c_str());
}

// The meter side of the pace phase: the same frame to both lines at the same
// moments, every 25 ms, for the set time. Its own CPU time is not the
// window's, so it is handed back to be taken off.
void WindowBench::SendPaced(Pty& catLine, std::atomic<long>& sent, std::atomic<bool>& done,
                            double& meterCpu) {
  const double cpuStart = CpuSeconds(RUSAGE_THREAD);
  const auto start = Clock::now();
  const auto end = start + std::chrono::seconds(m_options.seconds);
  for (auto next = start; next < end; next += kPacePeriod) {
    SleepUntil(next);
    const FrameBytes frame = ResultFrame(m_sent + sent);
    m_line.WriteAll(frame.data(), frame.size());
    catLine.WriteAll(frame.data(), frame.size());
    ++sent;
  }
  meterCpu = CpuSeconds(RUSAGE_THREAD) - cpuStart;
  done = true;
}

bool WindowBench::Pace() {
  Pty catLine;
  CatReader cat(catLine);
  std::atomic<bool> done{false};
  std::atomic<long> sentSoFar{0};
  double meterCpu = 0;
  m_rows->Reset();
  m_paints.Start();
  // The bench's own timers run in the window's thread and count as its CPU:
  // while the meter paces, they wake it once a second, not 25 times.
  m_boxes.SetInterval(1s);
  const double cpuStart = CpuSeconds(RUSAGE_SELF);
  const auto start = Clock::now();
  std::thread meter([&] { SendPaced(catLine, sentSoFar, done, meterCpu); });
  RunUntil([&] { return done && m_rows->Added() >= sentSoFar; }, [&] { return m_rows->Added(); },
           1s, 5s);
  meter.join();
  const long sent = sentSoFar;
  // Up to the last row, not the check that noticed it: the share of a core
  // is the window's while the meter sends.
  const double elapsed = Seconds((m_rows->Added() > 0 ? m_rows->Last() : Clock::now()) - start);
  const double windowCpu = CpuSeconds(RUSAGE_SELF) - cpuStart - meterCpu;
  m_paints.Stop();
  m_boxes.SetInterval(200ms);
  const double catCpu = CpuSeconds(cat.Stop());
  m_sent += sent;

  const long rows = m_rows->Added();
  const double perResult = sent > 0 ? windowCpu / static_cast<double>(sent) : 0;
  std::printf("pace: %ld results at one per %lld ms, %.1f s; %ld rows\n", sent,
              static_cast<long long>(kPacePeriod.count()), elapsed, rows);
  std::printf("pace: window %.3f s CPU, %.0f us per result, %.2f %% of a core\n", windowCpu,
              perResult * 1e6, 100 * windowCpu / elapsed);
  std::printf("pace: cat %.3f s CPU, %.1f us per result, %.3f %% of a core\n", catCpu,
              sent > 0 ? catCpu * 1e6 / static_cast<double>(sent) : 0.0, 100 * catCpu / elapsed);
  std::printf("pace: window %.2f %% of a core, cat %.3f %%%s\n", 100 * windowCpu / elapsed,
              100 * catCpu / elapsed, rows == sent ? "" : "  << RESULTS MISSING");
  ReportPaint(sent);
  return rows == sent;
}

void WindowBench::ReportPaint(long results) const {
  if (results <= 0) return;
  const auto roles = ControlRoles(*m_window, m_window->Controls());
  struct Line {
    std::string role;
    PaintCounter::Count count;
  };
  std::vector<Line> lines;
  long events = 0;
  double pixels = 0;
  for (const auto& [object, count] : m_paints.Counts()) {
    lines.push_back(
        {count.object ? RoleOf(*count.object, roles) : "(a widget since deleted)", count});
    events += count.events;
    pixels += count.pixels;
  }
  std::sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) {
    return a.count.events != b.count.events ? a.count.events > b.count.events
                                            : a.count.pixels > b.count.pixels;
  });
  const double n = static_cast<double>(results);
  std::printf(
      "paint: %.2f paint events per result, %.0f pixels per result, %.2f update requests "
      "(repaint passes) per result\n",
      static_cast<double>(events) / n, pixels / n,
      static_cast<double>(m_paints.UpdateRequests()) / n);
  std::printf("paint: %-9s %-11s %s\n", "events/r", "pixels/r", "widget");
  for (const Line& line : lines) {
    std::printf("paint: %9.3f %11.0f %s\n", static_cast<double>(line.count.events) / n,
                line.count.pixels / n, line.role.c_str());
  }
}

// The meter side of a flood: frames made as they go, in chunks, so the
// stream itself takes no memory while the table's is being measured.
void WindowBench::SendFlood(long first, long count, std::atomic<bool>& done) {
  constexpr long kChunkFrames = 256;
  std::array<uint8_t, kChunkFrames * kFrameSize> chunk{};
  for (long n = 0; n < count; n += kChunkFrames) {
    const long frames = std::min(kChunkFrames, count - n);
    for (long k = 0; k < frames; ++k) {
      const FrameBytes frame = ResultFrame(first + n + k);
      std::copy(frame.begin(), frame.end(), chunk.begin() + k * static_cast<long>(kFrameSize));
    }
    m_line.WriteAll(chunk.data(), static_cast<size_t>(frames) * kFrameSize);
  }
  done = true;
}

bool WindowBench::Flood(const char* name, long count) {
  if (count <= 0) return true;
  std::atomic<bool> done{false};
  bool complete = false;
  m_rows->Reset(count);
  QEventLoop loop;
  // The gap meter's timer is also what notices that every row is in.
  LoopGapMeter gaps([&] {
    if (done && m_rows->Added() >= count) {
      complete = true;
      loop.quit();
    }
  });
  const double cpuStart = CpuSeconds(RUSAGE_SELF);
  const auto start = Clock::now();
  std::thread meter([&, first = m_sent] { SendFlood(first, count, done); });
  gaps.Start();
  // A stall of ten seconds without a new row ends the wait: results are lost.
  QTimer stall;
  long lastRows = -1;
  QObject::connect(&stall, &QTimer::timeout, [&] {
    if (m_rows->Added() == lastRows) loop.quit();
    lastRows = m_rows->Added();
  });
  stall.start(10s);
  loop.exec();
  gaps.Stop();
  meter.join();
  const double cpu = CpuSeconds(RUSAGE_SELF) - cpuStart;
  const double elapsed = Seconds(Clock::now() - start);
  m_sent += count;

  const long rows = m_rows->Added();
  const double span = Seconds(m_rows->Last() - m_rows->First());
  const double rate = span > 0 ? static_cast<double>(rows - 1) / span : 0;
  std::printf("%s: %ld results, %ld rows (table %ld rows)%s\n", name, count, rows, RowsNow(),
              complete && rows == count ? "" : "  << RESULTS MISSING");
  std::printf("%s: %.0f results/s from the first row to the last (%.1f s)\n", name, rate, span);
  ReportTenths(name, count, RowsNow() - rows);
  std::printf("%s: %.1f us CPU per result (every thread of the process)\n", name,
              cpu * 1e6 / static_cast<double>(count));
  std::printf("%s: event loop gap max %.1f ms, p99 %.2f ms (%ld ticks of a 1 ms timer in %.1f s)\n",
              name, gaps.MaxMillis(), gaps.PercentileMillis(0.99), gaps.Ticks(), elapsed);
  std::printf("%s: event loop in gaps over 16 ms: %.1f s, %.0f %% of the flood\n", name,
              gaps.LongGapSeconds(), elapsed > 0 ? 100 * gaps.LongGapSeconds() / elapsed : 0.0);
  return complete && rows == count;
}

void WindowBench::ReportTenths(const char* name, long count, long rowsBefore) const {
  const auto& tenths = m_rows->Tenths();
  if (count < 10 || tenths.empty()) return;
  std::printf("%s: results/s by tenth (table rows at its end):", name);
  auto from = m_rows->First();
  for (size_t k = 0; k < tenths.size(); ++k) {
    const double span = Seconds(tenths[k] - from);
    const long rows = count / 10;
    std::printf(" %.0f (%ld)", span > 0 ? static_cast<double>(rows) / span : 0.0,
                rowsBefore + count * static_cast<long>(k + 1) / 10);
    from = tenths[k];
  }
  std::printf("\n");
}

void WindowBench::ReportMemory(const RowCost& core, const RowCost& coreWithView) const {
  std::printf("memory: core ResultsTable alone: heap %.1f B/row, RSS %.1f B/row\n", core.heapPerRow,
              core.rssPerRow);
  std::printf(
      "memory: core table + ResultsModel + CListCtrlCl (no window): heap %.1f B/row, "
      "RSS %.1f B/row (Qt's share: heap %.1f B/row)\n",
      coreWithView.heapPerRow, coreWithView.rssPerRow, coreWithView.heapPerRow - core.heapPerRow);
}

// The day's log has one line per result sent (it reaches the file within a
// second or so of its row).
bool WindowBench::CheckLog() {
  size_t lines = 0;
  const auto deadline = Clock::now() + 5s;
  while ((lines = CountLogLines(m_folder)) < static_cast<size_t>(m_sent) &&
         Clock::now() < deadline) {
    SettleFor(500ms);
  }
  const bool complete = lines == static_cast<size_t>(m_sent);
  std::printf("log: %zu lines for %ld results sent%s\n", lines, m_sent,
              complete ? "" : "  << RESULTS MISSING");
  return complete;
}

int Run(const Options& options) {
  ScratchFolder folder;
  CopyLanguageFile(folder.Path());
  UseOffscreenScreen(folder.Path());
  setenv("ORVANA_TRACE", "off", 1);
  signal(SIGPIPE, SIG_IGN);
  int argc = 1;
  char name[] = "bench_window";
  char* argv[] = {name, nullptr};
  // Made and gone within the run: Qt's own objects must not outlive it.
  QApplication application(argc, argv);
  // As the program sets up its fonts before its window.
  ui::InstallFontSubstitutions();
  QApplication::setFont(ui::DialogFont(9));
  std::printf("options: --seconds %d --results %d --rows %d%s\n", options.seconds, options.results,
              options.rows, options.full ? "" : " --hidden");

  RowCost core;
  RowCost coreWithView;
  if (options.rows > 0) {
    core = MeasureTableRows(options.rows, false);
    coreWithView = MeasureTableRows(options.rows, true);
  }

  WindowBench bench(options, folder.Path());
  bench.Show();
  bench.Connect();
  bool complete = bench.Pace();
  const MemorySample beforeFlood = MemorySample::Now();
  const long rowsBeforeFlood = bench.RowsNow();
  complete = bench.Flood("flood", options.results) && complete;
  if (options.rows > 0) {
    complete = bench.Flood("fill", options.rows - bench.RowsNow()) && complete;
    const long added = bench.RowsNow() - rowsBeforeFlood;
    const RowCost window =
        CostPerRow(beforeFlood, MemorySample::Now(), static_cast<int>(std::max(0L, added)));
    std::printf("memory: window, %ld rows added to reach %ld: heap %.1f B/row, RSS %.1f B/row\n",
                added, bench.RowsNow(), window.heapPerRow, window.rssPerRow);
    bench.ReportMemory(core, coreWithView);
  }
  complete = bench.CheckLog() && complete;
  return complete ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const auto options = ParseOptions(argc, argv);
  if (!options) return Usage();
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  try {
    return Run(*options);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "bench_window: %s\n", error.what());
    return 2;
  }
}
