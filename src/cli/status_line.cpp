#include "cli/status_line.h"

#include "cli/json_text.h"

namespace orvana::cli {

StatusLine& StatusLine::Text(std::string_view name, std::string value) {
  fields.push_back(StatusField{name, std::move(value), false});
  return *this;
}

StatusLine& StatusLine::Count(std::string_view name, size_t value) {
  fields.push_back(StatusField{name, std::to_string(value), true});
  return *this;
}

void AppendStatusJson(std::string& out, const StatusLine& status) {
  out += '{';
  AppendJsonString(out, status.subject);
  out += ':';
  AppendJsonString(out, status.state);
  for (const StatusField& field : status.fields) {
    out += ',';
    AppendJsonString(out, field.name);
    out += ':';
    if (field.number) {
      out += field.value;
    } else {
      AppendJsonString(out, field.value);
    }
  }
  out += '}';
}

void AppendStatusText(std::string& out, const StatusLine& status) {
  out += status.subject;
  out += ' ';
  out += status.state;
  for (size_t i = 0; i < status.fields.size(); ++i) {
    out += i == 0 ? " (" : ", ";
    out += status.fields[i].name;
    out += ": ";
    AppendOneLine(out, status.fields[i].value);
  }
  if (!status.fields.empty()) out += ')';
}

void AppendOneLine(std::string& out, std::string_view text) {
  bool breaking = false;
  for (const char c : text) {
    if (c == '\n' || c == '\r') {
      breaking = true;
      continue;
    }
    if (breaking) {
      out += " - ";
      breaking = false;
    }
    const auto byte = static_cast<unsigned char>(c);
    out += byte < 0x20 || byte == 0x7f ? ' ' : c;
  }
}

StatusLine LogStatus(bool records, const records::LogEvent& event) {
  StatusLine status{records ? "records" : "log", {}, {}};
  if (event.kind == records::LogEvent::Kind::Failing) {
    status.state = "failing";
    status.Text("reason", event.reason).Count("pending", event.pending);
  } else {
    status.state = "recovered";
  }
  return status;
}

StatusLine StoreStatus(const store::StoreEvent& event) {
  using Kind = store::StoreEvent::Kind;
  StatusLine status{"store", {}, {}};
  switch (event.kind) {
    case Kind::Up:
      status.state = "up";
      break;
    case Kind::Down:
      status.state = "down";
      status.Text("reason", event.reason).Count("pending", event.pending);
      break;
    case Kind::CaughtUp:
      status.state = "caught-up";
      status.Count("sent", event.sent);
      break;
    case Kind::Failing:
      status.state = "failing";
      status.Text("reason", event.reason).Count("pending", event.pending);
      break;
    case Kind::Recovered:
      status.state = "recovered";
      break;
    case Kind::Refused:
      status.state = "refused";
      status.Count("results", event.results).Text("reason", event.reason).Text("file", event.file);
      break;
    case Kind::Changed:
      // What the file held unsent is in the day log only now.
      status.state = "outbox-changed";
      status.Text("file", event.file);
      break;
  }
  return status;
}

}  // namespace orvana::cli
