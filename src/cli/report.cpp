#include "cli/report.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <utility>

#include "app/message_texts.h"
#include "app/work_place.h"
#include "cli/database_link.h"
#include "common/clock.h"
#include "records/log_import.h"
#include "records/workbook_writer.h"
#include "results/column.h"
#include "results/results_table.h"
#include "results/settings_record.h"
#include "store/record_queries.h"

namespace orvana::cli {
namespace {

constexpr const char* kUsage =
    "usage: orvana-cli report [-o FILE.xlsx] LOG...\n"
    "       orvana-cli report --from-database [--database CONNINFO] [--since YYYY-MM-DD]\n"
    "                         [--until YYYY-MM-DD] [--bench NAME] [--order NUMBER]\n"
    "                         [-o FILE.xlsx]\n";
constexpr int kExitUsage = 64;
constexpr int kExitNotWritten = 1;
constexpr int kExitUnreadable = 2;

bool IsDigits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "YYYYMMDD" from a time text "YYYY/MM/DD ...", or empty.
std::string DateOfTime(std::string_view time) {
  if (time.size() < 10 || time[4] != '/' || time[7] != '/') return {};
  std::string date;
  date.append(time.substr(0, 4)).append(time.substr(5, 2)).append(time.substr(8, 2));
  return IsDigits(date) ? date : std::string();
}

// The workbook's name when none is given: the date of the first log (its
// file name when that is a date, as daily logs are named, else the date of its
// first row that has one), else the log's own name, with ".xlsx".
std::string DefaultReportName(const std::string& firstLog,
                              const std::vector<results::RowTexts>& rows) {
  const std::string stem = std::filesystem::path(firstLog).stem().string();
  if (stem.size() == 8 && IsDigits(stem)) return stem + ".xlsx";
  for (const auto& row : rows) {
    const std::string date = DateOfTime(row[results::ColumnIndex(results::Column::Time)]);
    if (!date.empty()) return date + ".xlsx";
  }
  return (stem.empty() ? std::string("report") : stem) + ".xlsx";
}

struct FileId {
  dev_t device = 0;
  ino_t inode = 0;
};

// Where the workbook goes. A new name, or a regular file that is none of the
// logs; a link counts as what it leads to, and the link itself stays.
struct Output {
  std::string path;     // the name to replace, links resolved
  bool exists = false;  // a workbook (or other regular file) is there now
  struct stat info {};  // its mode and owner, kept for the new one
};

bool ResolveOutput(const std::string& name, const std::vector<FileId>& logs, Output& output,
                   std::string& why) {
  output.path = name;
  struct stat entry {};
  if (::lstat(name.c_str(), &entry) != 0) {
    if (errno == ENOENT) return true;  // a new name; a missing folder shows when writing
    why = std::strerror(errno);
    return false;
  }
  if (S_ISLNK(entry.st_mode)) {
    char* resolved = ::realpath(name.c_str(), nullptr);
    if (resolved == nullptr) {
      why = std::string("a link that leads nowhere: ") + std::strerror(errno);
      return false;
    }
    output.path = resolved;
    std::free(resolved);
  }
  if (::stat(output.path.c_str(), &output.info) != 0) {
    why = std::strerror(errno);
    return false;
  }
  // A FIFO, a terminal or a device would be replaced by a plain file, and
  // whoever relied on it would find it gone.
  if (!S_ISREG(output.info.st_mode)) {
    why = "not a regular file";
    return false;
  }
  for (const FileId& log : logs) {
    if (log.device == output.info.st_dev && log.inode == output.info.st_ino) {
      why = "it is one of the logs the report is made from";
      return false;
    }
  }
  output.exists = true;
  return true;
}

// The workbook is written in a private folder beside its final place and
// renamed over it only once it is whole. A folder rather than one temporary
// file, because the workbook writer makes its own partial file beside the
// name it is given: the folder holds both, under short names, so a long
// output name never grows past what a file name may be, and one folder is
// all there is to remove when the run is stopped. (An unnamed O_TMPFILE
// would leave nothing even after SIGKILL, but the workbook is written by
// name.) The folder is removed on failure and on SIGINT, SIGTERM and SIGHUP;
// only SIGKILL can leave it behind.
class TemporaryFolder {
 public:
  TemporaryFolder() = default;
  ~TemporaryFolder() { Remove(); }
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;

  // In the folder of `path`. False with errno set when it cannot be made.
  bool Create(const std::string& path);
  const std::string& Path() const { return m_path; }
  void Remove();

 private:
  std::string m_path;
};

// What the signal handler removes. Set only while the termination signals
// are blocked, so the handler never sees it half written.
char g_folder[PATH_MAX];
int g_folderFd = -1;
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Only calls that are safe in a signal handler.
void RemoveFolderContents(int folderFd) {
  alignas(dirent64) char buffer[4096];
  bool removed = true;
  while (removed) {
    removed = false;
    if (::lseek(folderFd, 0, SEEK_SET) != 0) return;
    for (ssize_t got; (got = ::getdents64(folderFd, buffer, sizeof buffer)) > 0;) {
      for (ssize_t at = 0; at < got;) {
        const auto* entry = reinterpret_cast<const dirent64*>(buffer + at);
        at += entry->d_reclen;
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
        if (::unlinkat(folderFd, name, 0) == 0) removed = true;
      }
    }
  }
}

extern "C" void OnStopSignal(int number) {
  const int saved = errno;
  if (g_folderFd >= 0) {
    RemoveFolderContents(g_folderFd);
    ::rmdir(g_folder);
  }
  errno = saved;
  // SA_RESETHAND has put the default action back: once this returns, the
  // signal ends the program as it would have without us.
  ::raise(number);
}

class StopSignalsBlocked {
 public:
  StopSignalsBlocked() {
    sigset_t signals;
    sigemptyset(&signals);
    for (const int number : kStopSignals) sigaddset(&signals, number);
    ::sigprocmask(SIG_BLOCK, &signals, &m_previous);
  }
  ~StopSignalsBlocked() { ::sigprocmask(SIG_SETMASK, &m_previous, nullptr); }
  StopSignalsBlocked(const StopSignalsBlocked&) = delete;
  StopSignalsBlocked& operator=(const StopSignalsBlocked&) = delete;

 private:
  sigset_t m_previous{};
};

void CatchStopSignals() {
  for (const int number : kStopSignals) {
    struct sigaction current {};
    // A signal the caller chose to ignore (a background job's SIGINT) stays
    // ignored.
    if (::sigaction(number, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    for (const int other : kStopSignals) sigaddset(&action.sa_mask, other);
    action.sa_flags = SA_RESETHAND;
    ::sigaction(number, &action, nullptr);
  }
}

bool TemporaryFolder::Create(const std::string& path) {
  std::string folder = std::filesystem::path(path).parent_path().string();
  if (folder.empty()) folder = ".";
  std::string name = folder + "/.orvana-XXXXXX";
  if (name.size() >= sizeof g_folder) {
    errno = ENAMETOOLONG;
    return false;
  }
  StopSignalsBlocked blocked;
  if (::mkdtemp(name.data()) == nullptr) return false;
  const int fd = ::open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    ::rmdir(name.c_str());
    errno = error;
    return false;
  }
  m_path = name;
  std::memcpy(g_folder, name.c_str(), name.size() + 1);
  g_folderFd = fd;
  CatchStopSignals();
  return true;
}

void TemporaryFolder::Remove() {
  if (m_path.empty()) return;
  StopSignalsBlocked blocked;
  RemoveFolderContents(g_folderFd);
  ::rmdir(m_path.c_str());
  ::close(g_folderFd);
  g_folderFd = -1;
  m_path.clear();
}

std::string ErrnoText(int error) { return std::strerror(error); }

// Gives the finished workbook the mode and, where we may, the owner and
// group of the one it replaces, and makes it reach the disk before it takes
// that one's place.
bool SettleWorkbook(const std::string& path, const Output& output, std::string& error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    error = ErrnoText(errno);
    return false;
  }
  bool ok = true;
  if (output.exists) {
    // Owner first: changing it may clear set-id bits that the mode then
    // puts back. Someone else's file cannot be given away by an ordinary
    // user; its group may still be ours to keep.
    if (::fchown(fd, output.info.st_uid, output.info.st_gid) != 0) {
      [[maybe_unused]] const int group = ::fchown(fd, static_cast<uid_t>(-1), output.info.st_gid);
    }
    if (::fchmod(fd, output.info.st_mode & 07777) != 0) {
      error = ErrnoText(errno);
      ok = false;
    }
  }
  if (ok && ::fsync(fd) != 0) {
    error = ErrnoText(errno);
    ok = false;
  }
  ::close(fd);
  return ok;
}

// The writer's messages name the file it wrote; the user knows only the name
// they gave.
std::string InTermsOf(std::string message, const std::string& temporary, const std::string& name) {
  for (size_t at = message.find(temporary); at != std::string::npos;
       at = message.find(temporary, at + name.size())) {
    message.replace(at, temporary.size(), name);
  }
  return message;
}

int WriteReport(const std::string& name, const Output& output,
                const records::ReportContent& content) {
  TemporaryFolder folder;
  if (!folder.Create(output.path)) {
    std::fprintf(stderr, "orvana-cli: cannot write %s: %s\n", name.c_str(),
                 ErrnoText(errno).c_str());
    return kExitNotWritten;
  }
  const std::string written = folder.Path() + "/report.xlsx";
  const records::WorkbookResult result = records::WriteWorkbook(written, content);
  if (!result.Written()) {
    std::fprintf(stderr, "orvana-cli: %s\n", InTermsOf(result.error, written, name).c_str());
    return kExitNotWritten;
  }
  std::string error;
  if (!SettleWorkbook(written, output, error)) {
    std::fprintf(stderr, "orvana-cli: cannot write %s: %s\n", name.c_str(), error.c_str());
    return kExitNotWritten;
  }
  // Stopped from here on, the run ends with the workbook either still in the
  // folder (and removed with it) or already in its place.
  StopSignalsBlocked blocked;
  if (::rename(written.c_str(), output.path.c_str()) != 0) {
    std::fprintf(stderr, "orvana-cli: cannot write %s: %s\n", name.c_str(),
                 ErrnoText(errno).c_str());
    return kExitNotWritten;
  }
  folder.Remove();
  return 0;
}

// The line's report: the record's rows that pass the filter, oldest first,
// with their bench in column I.
int ReportFromDatabase(const std::string& conninfo, const store::ReportFilter& filter,
                       std::string output) {
  if (const std::string why = store::CheckFilter(filter); !why.empty()) {
    std::fprintf(stderr, "orvana-cli: %s\n", why.c_str());
    return kExitUsage;
  }
  const common::LocalTime now = common::SystemClock().Now();
  if (output.empty()) {
    char name[32];
    std::snprintf(name, sizeof name, "record-%04d%02d%02d.xlsx", now.year, now.month, now.day);
    output = name;
  }
  Output target;
  std::string why;
  if (!ResolveOutput(output, {}, target, why)) {
    std::fprintf(stderr, "orvana-cli: will not write the report to %s: %s\n", output.c_str(),
                 why.c_str());
    return kExitNotWritten;
  }
  store::PgLink link;
  if (!OpenRecord(link, conninfo)) return kExitNoDatabase;
  const app::MessageTexts texts =
      app::LoadMessageTextFile(app::FindWorkPlaceOfProcess({}).languageFile);
  records::ReportContent content;
  content.rows = records::ReportRows::WithColumns(results::kColumnCount + 1);
  content.columnTitles = app::TableColumnTitles(texts);
  content.settings = results::TestSettings::StartValues();
  content.exportTime = now;
  content.extraColumnTitle = "工位 Bench";
  bool complete = true;
  why = store::QueryReportRows(link, filter, [&](const store::ReportRowTexts& row) {
    complete = complete && content.rows.AppendRow(row);
  });
  if (!why.empty()) {
    std::fprintf(stderr, "orvana-cli: %s\n", why.c_str());
    return kExitNoDatabase;
  }
  if (!complete) {
    std::fputs(
        "orvana-cli: the report would be too large for one workbook: narrow it with "
        "--since, --until, --bench or --order\n",
        stderr);
    return kExitNotWritten;
  }
  const int status = WriteReport(output, target, content);
  if (status == 0) std::printf("%s\n", output.c_str());
  return status;
}

}  // namespace

int RunReport(const std::vector<std::string>& args) {
  std::string output;
  std::vector<std::string> logs;
  bool fromDatabase = false;
  std::string conninfo;
  store::ReportFilter filter;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string* value = args[i] == "--database" ? &conninfo
                         : args[i] == "--since"  ? &filter.since
                         : args[i] == "--until"  ? &filter.until
                         : args[i] == "--bench"  ? &filter.bench
                         : args[i] == "--order"  ? &filter.order
                                                 : nullptr;
    if (args[i] == "--from-database") {
      fromDatabase = true;
    } else if (value != nullptr) {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        std::fprintf(stderr, "orvana-cli: %s needs a value\n", args[i].c_str());
        std::fputs(kUsage, stderr);
        return kExitUsage;
      }
      *value = args[++i];
    } else if (args[i] == "-o") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        std::fputs("orvana-cli: -o needs a file name\n", stderr);
        std::fputs(kUsage, stderr);
        return kExitUsage;
      }
      output = args[++i];
    } else if (args[i].size() > 1 && args[i][0] == '-') {
      std::fprintf(stderr, "orvana-cli: unknown option %s\n", args[i].c_str());
      std::fputs(kUsage, stderr);
      return kExitUsage;
    } else {
      logs.push_back(args[i]);
    }
  }
  const bool filtered = !conninfo.empty() || !filter.since.empty() || !filter.until.empty() ||
                        !filter.bench.empty() || !filter.order.empty();
  if (fromDatabase && logs.empty()) return ReportFromDatabase(conninfo, filter, output);
  if (fromDatabase || filtered || logs.empty()) {
    std::fputs(kUsage, stderr);
    return kExitUsage;
  }

  // Every log is read before anything is written: one that cannot be read
  // means no report, rather than a report that silently lacks a day.
  std::vector<std::vector<results::RowTexts>> contents;
  std::vector<FileId> logFiles;
  for (const std::string& log : logs) {
    std::string error;
    records::ImportSummary summary;
    auto rows = records::ReadLogFile(log, error, &summary);
    if (!rows) {
      std::fprintf(stderr, "orvana-cli: cannot read %s: %s\n", log.c_str(), error.c_str());
      return kExitUnreadable;
    }
    if (summary.skippedTooLong > 0) {
      std::fprintf(stderr, "orvana-cli: %s: %zu lines skipped (longer than %zu bytes)\n",
                   log.c_str(), summary.skippedTooLong, records::kLongestLogLine);
    }
    if (summary.damaged > 0) {
      std::fprintf(stderr, "orvana-cli: %s: %zu damaged lines skipped (torn by a crash)\n",
                   log.c_str(), summary.damaged);
    }
    struct stat info {};
    if (::stat(log.c_str(), &info) == 0) logFiles.push_back({info.st_dev, info.st_ino});
    contents.push_back(std::move(*rows));
  }
  if (output.empty()) output = DefaultReportName(logs.front(), contents.front());

  Output target;
  std::string why;
  if (!ResolveOutput(output, logFiles, target, why)) {
    std::fprintf(stderr, "orvana-cli: will not write the report to %s: %s\n", output.c_str(),
                 why.c_str());
    return kExitNotWritten;
  }

  // The days one after another, in the order given, each in its own order:
  // a report is read from top to bottom, unlike the window's table, where
  // each import goes in after the first row.
  results::ResultsTable table;
  for (auto& rows : contents) table.InsertRows(table.RowCount(), std::move(rows));

  const app::MessageTexts texts =
      app::LoadMessageTextFile(app::FindWorkPlaceOfProcess({}).languageFile);
  const records::ReportContent content = records::BuildReportContent(
      table, records::ReportInformation{}, results::TestSettings::StartValues(),
      app::TableColumnTitles(texts), common::SystemClock().Now());
  const int status = WriteReport(output, target, content);
  if (status == 0) std::printf("%s\n", output.c_str());
  return status;
}

}  // namespace orvana::cli
