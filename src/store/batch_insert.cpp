#include "store/batch_insert.h"

#include <array>
#include <functional>

#include "store/outbox_line.h"

namespace orvana::store {
namespace {

constexpr size_t kColumns = 25;

// An element of an array literal: quoted, with quotes and backslashes
// escaped; NULL unquoted.
void AppendElement(std::string& array, const std::string* text) {
  if (array.size() > 1) array += ',';
  if (text == nullptr) {
    array += "NULL";
    return;
  }
  array += '"';
  for (const char c : *text) {
    if (c == '"' || c == '\\') array += '\\';
    array += c;
  }
  array += '"';
}

}  // namespace

std::string InsertStatement() {
  return "INSERT INTO orvana.results (bench, result_key, serial, time_text, recorded_at, "
         "il1, rl1, il2, rl2, il1_value, rl1_value, il2_value, rl2_value, "
         "il1_pass, rl1_pass, il2_pass, rl2_pass, "
         "il1_threshold, rl1_threshold, il2_threshold, rl2_threshold, "
         "wavelengths, device_name, product_number, order_number) "
         "SELECT * FROM unnest($1::text[], $2::text[], $3::text[], $4::text[], "
         "$5::timestamptz[], $6::text[], $7::text[], $8::text[], $9::text[], "
         "$10::real[], $11::real[], $12::real[], $13::real[], "
         "$14::boolean[], $15::boolean[], $16::boolean[], $17::boolean[], "
         "$18::real[], $19::real[], $20::real[], $21::real[], "
         "$22::text[], $23::text[], $24::text[], $25::text[]) "
         // Without a conflict target: naming (bench, result_key) would need
         // SELECT on them, and a bench's role may only insert. The key is the
         // table's only unique constraint, so nothing else is skipped.
         "ON CONFLICT DO NOTHING";
}

std::vector<std::optional<std::string>> InsertParameters(const std::vector<StoredResult>& results,
                                                         size_t first, size_t count) {
  std::array<std::string, kColumns> arrays;
  for (std::string& array : arrays) array = "{";
  std::string scratch;
  const auto number = [&](std::string& array, const std::optional<float>& value) {
    if (!value) return AppendElement(array, nullptr);
    scratch = NumberText(*value);
    AppendElement(array, &scratch);
  };
  for (size_t index = first; index < first + count; ++index) {
    const StoredResult& r = results[index];
    size_t column = 0;
    for (const std::string* text : {&r.bench, &r.key, &r.serial, &r.timeText, &r.recordedAt}) {
      AppendElement(arrays[column++], text);
    }
    for (const std::string& text : r.texts) AppendElement(arrays[column++], &text);
    for (const auto& value : r.values) number(arrays[column++], value);
    for (const auto& passed : r.passed) {
      if (passed) {
        scratch = *passed ? "t" : "f";
        AppendElement(arrays[column++], &scratch);
      } else {
        AppendElement(arrays[column++], nullptr);
      }
    }
    for (const auto& threshold : r.thresholds) number(arrays[column++], threshold);
    for (const std::string* text :
         {&r.wavelengths, &r.deviceName, &r.productNumber, &r.orderNumber}) {
      // An unknown context is NULL, not an empty text, so queries can tell.
      AppendElement(arrays[column++], text->empty() ? nullptr : text);
    }
  }
  std::vector<std::optional<std::string>> params;
  params.reserve(kColumns);
  for (std::string& array : arrays) params.emplace_back(std::move(array += '}'));
  return params;
}

bool IsDataError(const std::string& sqlState) {
  // data_exception, integrity_constraint_violation, program_limit_exceeded
  return sqlState.rfind("22", 0) == 0 || sqlState.rfind("23", 0) == 0 ||
         sqlState.rfind("54", 0) == 0;
}

namespace {

// Sends items [first, first + count) with `statement` and the parameters
// `params` makes of them, halving on a refusal for the data.
using MakeParameters = std::function<std::vector<std::optional<std::string>>(size_t, size_t)>;

bool Send(PgLink& link, const std::string& statement, const MakeParameters& params, size_t first,
          size_t count, InsertOutcome& outcome) {
  if (count == 0) return true;
  outcome.reply = link.Exec(statement, params(first, count));
  if (outcome.reply.Ok()) {
    outcome.inserted += static_cast<size_t>(outcome.reply.affected);
    return true;
  }
  if (outcome.reply.status != PgReply::Status::Failed || !IsDataError(outcome.reply.sqlState)) {
    return false;
  }
  if (count == 1) {
    outcome.refused.push_back(first);
    outcome.reply = PgReply{PgReply::Status::Ok, {}, {}, 0};
    return true;
  }
  const size_t half = count / 2;
  return Send(link, statement, params, first, half, outcome) &&
         Send(link, statement, params, first + half, count - half, outcome);
}

InsertOutcome SendAll(PgLink& link, const std::string& statement, const MakeParameters& params,
                      size_t count) {
  InsertOutcome outcome;
  outcome.reply.status = PgReply::Status::Ok;
  Send(link, statement, params, 0, count, outcome);
  return outcome;
}

constexpr size_t kEventColumns = 10;

}  // namespace

InsertOutcome InsertResults(PgLink& link, const std::vector<StoredResult>& results) {
  return SendAll(
      link, InsertStatement(),
      [&](size_t first, size_t count) { return InsertParameters(results, first, count); },
      results.size());
}

InsertOutcome InsertEvents(PgLink& link, const std::vector<UploadedEvent>& events) {
  static const std::string statement =
      "INSERT INTO orvana.records (bench, event_key, uploaded_at, record_date, event, distance, "
      "loss, reflectance, total_loss, event_type) "
      "SELECT * FROM unnest($1::text[], $2::text[], $3::timestamptz[], $4::text[], $5::text[], "
      "$6::text[], $7::text[], $8::text[], $9::text[], $10::text[]) "
      "ON CONFLICT DO NOTHING";
  return SendAll(
      link, statement,
      [&](size_t first, size_t count) {
        std::array<std::string, kEventColumns> arrays;
        for (std::string& array : arrays) array = "{";
        for (size_t index = first; index < first + count; ++index) {
          const UploadedEvent& e = events[index];
          size_t column = 0;
          for (const std::string* text : {&e.bench, &e.key, &e.uploadedAt, &e.recordDate}) {
            AppendElement(arrays[column++], text);
          }
          for (const std::string& cell : e.cells) AppendElement(arrays[column++], &cell);
        }
        std::vector<std::optional<std::string>> params;
        params.reserve(kEventColumns);
        for (std::string& array : arrays) params.emplace_back(std::move(array += '}'));
        return params;
      },
      events.size());
}

}  // namespace orvana::store
