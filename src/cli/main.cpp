// orvana-cli: the test station without a window, for scripted and headless
// benches. Its commands and output are relied on by scripts: change them only
// deliberately.
#include <charconv>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "cli/json_text.h"
#include "cli/listen.h"
#include "cli/process_setup.h"
#include "cli/report.h"
#include "cli/store_command.h"
#include "link/port_discovery.h"
#include "records/log_import.h"
#include "results/results_table.h"
#include "texts/message_texts.h"
#include "texts/work_place.h"

namespace {

constexpr const char* kUsage =
    "usage: orvana-cli ports\n"
    "       orvana-cli listen PORT [--seconds N] [--upload] [--erase] [--reconnect]\n"
    "                         [--database CONNINFO] [--serial S | --serials-from-stdin]\n"
    "                         [--product P] [--order O] [--text]\n"
    "       orvana-cli import FILE\n"
    "       orvana-cli report [-o FILE.xlsx] LOG...\n"
    "       orvana-cli report --from-database [--since DAY] [--until DAY] [--bench NAME]\n"
    "                         [--order NUMBER] [-o FILE.xlsx]\n"
    "       orvana-cli store [--bench NAME] LOG... | --status | --schema\n";

// Nobody reads our output any more (a closed pipe): the listing stops.
constexpr int kExitOutputClosed = 4;

// --help: every command with its options, where the texts and logs are, and
// the exit statuses scripts may rely on.
constexpr const char* kHelp =
    "\n"
    "orvana-cli: the Orvana station without a window, for scripted and headless benches.\n"
    "\n"
    "  ports             list the serial ports, one per line: the port, a tab, the device name\n"
    "  listen PORT       open PORT, greet the meter and print a JSON line for every message,\n"
    "                    result, table row and change of the link or the day's log\n"
    "                    (with --text, a readable line)\n"
    "      --seconds N   end the run after N seconds (a whole number up to 1000000000)\n"
    "      --upload      upload the records stored in the meter\n"
    "      --erase       erase the meter's records (after the upload, with --upload)\n"
    "      --reconnect   when the port goes away, wait for it and connect again\n"
    "      --database CONNINFO\n"
    "                    also send every result to this PostgreSQL database (default:\n"
    "                    ORVANA_DATABASE); the results wait in ./Savetemp/outbox until it has "
    "them\n"
    "      --serial S    the serial of every part recorded (default: ****)\n"
    "      --serials-from-stdin\n"
    "                    a barcode scanner: each line read from standard input is the serial\n"
    "                    of the next part recorded ({\"scanned\":S}); a part recorded before\n"
    "                    the next line keeps the serial before ({\"reused\":S} after its row);\n"
    "                    blank lines are skipped; at the end of the input the last serial\n"
    "                    stays and the run goes on. Not with --serial\n"
    "      --product P, --order O\n"
    "                    the product and order numbers of every part, for the database\n"
    "      --text        a readable line per part (row, serial, values, time, verdict) and\n"
    "                    per message or change, instead of JSON\n"
    "  import FILE       print the rows a saved day log puts into an empty table\n"
    "  report [-o FILE.xlsx] LOG...\n"
    "                    write the report workbook of the logs' rows and print its name\n"
    "  report --from-database [--since YYYY-MM-DD] [--until YYYY-MM-DD] [--bench NAME]\n"
    "         [--order NUMBER] [-o FILE.xlsx]\n"
    "                    the same workbook of the database's results, with their bench\n"
    "  store [--bench NAME] LOG...\n"
    "                    send what the database lacks of day logs (each line once, however\n"
    "                    often this is run); prints a JSON line per log\n"
    "  store --status    each bench's count of results and its newest result's time, as JSON\n"
    "  store --schema    the SQL that makes the database's tables, and a bench role's grants\n"
    "  -h, --help        show this help\n"
    "\n"
    "The texts come from ./language.ini; without one, from the installed language file of\n"
    "ORVANA_LANG (en, zh_CN) or else of the locale. listen logs into ./Savetemp/YYYYMMDD.txt.\n"
    "ORVANA_TRACE=stderr (or a file's path) shows the diagnostic traces.\n"
    "The database is a libpq connection string (ORVANA_DATABASE or --database), e.g.\n"
    "\"host=db.line dbname=orvana user=bench_7 sslmode=verify-full\"; its password is read from\n"
    "~/.pgpass, PGPASSFILE or the service file, never from the string. ORVANA_BENCH names the\n"
    "bench (default: the host name).\n"
    "\n"
    "Exit status: 0 done; 1 no port found (ports), report not written; 2 the port, a log or\n"
    "the database cannot be opened; 3 the meter's port was lost (listen); 4 standard output "
    "closed;\n"
    "5 the meter never answered (listen); 6 an erase asked for was not done (listen);\n"
    "64 wrong arguments.\n";

int Usage() {
  std::fputs(kUsage, stderr);
  return 64;
}

int Ports() {
  const auto ports = orvana::link::DiscoverPorts(orvana::link::DiscoveryRoots::System());
  if (ports.empty()) {
    const auto texts =
        orvana::texts::LoadMessageTextFile(orvana::texts::FindWorkPlaceOfProcess({}).languageFile);
    std::fprintf(stderr, "%s\n", texts.nocom.c_str());
    return 1;
  }
  for (const auto& port : ports) {
    if (std::printf("%s\t%s\n", port.designation.c_str(), port.deviceName.c_str()) < 0) break;
  }
  return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : kExitOutputClosed;
}

int Import(const std::string& path) {
  // Into an empty table an import puts the file's rows at 0, 1, 2, ... in
  // file order, without colours. They are listed as they are read, a block
  // at a time, so the whole file is never held: not as text, not as a table.
  constexpr size_t kBlock = 256 * 1024;
  std::string block;
  block.reserve(kBlock + 8192);
  int row = 0;
  bool outputFailed = false;
  const auto write = [&] {
    if (!outputFailed && std::fwrite(block.data(), 1, block.size(), stdout) != block.size()) {
      outputFailed = true;
    }
    block.clear();
  };
  orvana::records::ImportSummary summary;
  std::string error;
  const bool read = orvana::records::ForEachLogRow(
      path,
      [&](const orvana::records::RowFields& fields) {
        if (outputFailed) return;
        orvana::cli::AppendRowJson(block, row++, fields);
        block += '\n';
        if (block.size() >= kBlock) write();
      },
      summary, error);
  write();
  if (!read) {
    std::fprintf(stderr, "orvana-cli: cannot import %s: %s\n", path.c_str(), error.c_str());
    return 2;
  }
  if (summary.skippedTooLong > 0) {
    std::fprintf(stderr, "orvana-cli: %s: %zu lines skipped (longer than %zu bytes)\n",
                 path.c_str(), summary.skippedTooLong, orvana::records::kLongestLogLine);
  }
  if (summary.damaged > 0) {
    std::fprintf(stderr, "orvana-cli: %s: %zu damaged lines skipped (torn by a crash)\n",
                 path.c_str(), summary.damaged);
  }
  return !outputFailed && std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : kExitOutputClosed;
}

// About 31 years: more than any bench run, and far enough from the limits of
// the clock's nanosecond arithmetic that a deadline can always be computed.
constexpr uint64_t kMaxSeconds = 1'000'000'000;

// A whole number of seconds, digits only: no sign, fraction, exponent or
// "inf", which would either mean nothing or overflow the deadline.
bool ParseSeconds(std::string_view text, std::chrono::seconds& seconds) {
  uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc{} || end != text.data() + text.size() ||
      value > kMaxSeconds) {
    return false;
  }
  seconds = std::chrono::seconds(static_cast<std::chrono::seconds::rep>(value));
  return true;
}

int Listen(const std::vector<std::string>& argv) {
  const size_t argc = argv.size();
  orvana::cli::ListenOptions options;
  for (size_t i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--upload") {
      options.upload = true;
    } else if (arg == "--erase") {
      options.erase = true;
    } else if (arg == "--reconnect") {
      options.reconnect = true;
    } else if (arg == "--serials-from-stdin") {
      options.serialsFromStdin = true;
    } else if (arg == "--text") {
      options.text = true;
    } else if (arg == "--serial" || arg == "--product" || arg == "--order") {
      if (i + 1 >= argc || argv[i + 1].empty()) {
        std::fprintf(stderr, "orvana-cli: %s needs a value\n", arg.c_str());
        return Usage();
      }
      std::string& field = arg == "--serial"    ? options.serial
                           : arg == "--product" ? options.productNumber
                                                : options.orderNumber;
      field = argv[++i];
    } else if (arg == "--database") {
      if (i + 1 >= argc || argv[i + 1].empty()) {
        std::fputs("orvana-cli: --database needs a connection string\n", stderr);
        return Usage();
      }
      options.database = argv[++i];
    } else if (arg == "--seconds") {
      std::chrono::seconds seconds{};
      if (i + 1 >= argc || !ParseSeconds(argv[i + 1], seconds)) {
        std::fprintf(stderr, "orvana-cli: --seconds needs a whole number of seconds up to %llu\n",
                     static_cast<unsigned long long>(kMaxSeconds));
        return Usage();
      }
      options.seconds = seconds;
      ++i;
    } else if (options.port.empty() && arg.rfind("--", 0) != 0) {
      options.port = arg;
    } else {
      std::fprintf(stderr, "orvana-cli: unknown argument %s\n", arg.c_str());
      return Usage();
    }
  }
  if (options.port.empty()) return Usage();
  if (options.serialsFromStdin && !options.serial.empty()) {
    // Which would the parts carry? Neither guess is safe for the record.
    std::fputs("orvana-cli: --serial and --serials-from-stdin exclude each other\n", stderr);
    return Usage();
  }
  return orvana::cli::RunListen(options);
}

}  // namespace

int main(int argc, char** argv) {
  orvana::cli::PrepareProcess();
  const std::vector<std::string> args = orvana::cli::ProgramArguments(argc, argv);
  if (args.size() < 2) return Usage();
  const std::string& command = args[1];
  if (command == "ports" && args.size() == 2) return Ports();
  if (command == "listen") return Listen(args);
  if (command == "import" && args.size() == 3) return Import(args[2]);
  if (command == "report") return orvana::cli::RunReport({args.begin() + 2, args.end()});
  if (command == "store") return orvana::cli::RunStore({args.begin() + 2, args.end()});
  if ((command == "--help" || command == "-h") && args.size() == 2) {
    std::fputs(kUsage, stdout);
    std::fputs(kHelp, stdout);
    return 0;
  }
  return Usage();
}
