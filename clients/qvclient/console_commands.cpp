#include "console_commands.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <optional>

#include "event_output.h"
#include "hex_text.h"

namespace qvclient {
namespace {

void Report(const std::string& verb, qv_status status) {
  if (status == QV_OK) {
    WriteEvent("ok " + verb);
  } else {
    WriteEvent("error " + verb + " " + qv_status_name(status) + " " + qv_status_text(status));
  }
}

void ReportUsage(const std::string& verb, const std::string& form) {
  WriteEvent("error " + verb + " usage expected: " + form);
}

// The first word and the rest of the line after one blank.
std::pair<std::string, std::string> SplitVerb(const std::string& line) {
  const std::size_t blank = line.find(' ');
  if (blank == std::string::npos) return {line, ""};
  return {line.substr(0, blank), line.substr(blank + 1)};
}

std::optional<long long> ParseWhole(const std::string& text, long long lowest, long long highest) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < lowest || value > highest) return std::nullopt;
  return value;
}

// Every command finds the relay first; a relay that already knows this
// client is not announced to again.
qv_status Connect(qv_client& client) { return qv_connect(&client); }

void RunConnect(qv_client& client, const std::string& rest) {
  long long waitMs = 0;
  if (!rest.empty()) {
    auto parsed = ParseWhole(rest, 0, 600000);
    if (!parsed) return ReportUsage("connect", "connect [MILLISECONDS]");
    waitMs = *parsed;
  }
  qv_status status = Connect(client);
  for (long long waited = 0; status == QV_ERROR_NO_RELAY && waited < waitMs; waited += 100) {
    Sleep(100);
    status = Connect(client);
  }
  Report("connect", status);
}

void RunCreate(qv_client& client, const std::string& rest) {
  const auto [name, host] = SplitVerb(rest);
  const auto nameId = ParseWhole(name, INT32_MIN, INT32_MAX);
  if (!nameId || host.empty() || host.find(' ') != std::string::npos) {
    return ReportUsage("create", "create NAMEID HOST");
  }
  qv_status status = Connect(client);
  if (status == QV_OK) status = qv_create(&client, static_cast<std::int32_t>(*nameId), host.c_str());
  Report("create", status);
}

void RunSend(qv_client& client, const std::string& verb, const std::string& text) {
  qv_status status = Connect(client);
  if (status == QV_OK) status = qv_send_text(&client, text.data(), text.size());
  Report(verb, status);
}

}  // namespace

bool RunCommand(qv_client& client, const std::string& line) {
  const auto [verb, rest] = SplitVerb(line);
  if (verb.empty()) return true;
  if (verb == "connect") {
    RunConnect(client, rest);
  } else if (verb == "create") {
    RunCreate(client, rest);
  } else if (verb == "login") {
    qv_status status = Connect(client);
    if (status == QV_OK) status = qv_login(&client);
    Report("login", status);
  } else if (verb == "send") {
    RunSend(client, "send", rest);
  } else if (verb == "sendhex") {
    const auto bytes = FromHex(rest);
    if (!bytes) {
      ReportUsage("sendhex", "sendhex HEX");
    } else {
      RunSend(client, "sendhex", *bytes);
    }
  } else if (verb == "reports") {
    if (rest == "on" || rest == "off") {
      Report("reports", qv_request_reports(&client, rest == "on"));
    } else {
      ReportUsage("reports", "reports on|off");
    }
  } else if (verb == "quit") {
    qv_status status = Connect(client);
    if (status == QV_OK) status = qv_quit(&client);
    Report("quit", status);
  } else if (verb == "exit") {
    WriteEvent("bye");
    return false;
  } else {
    WriteEvent("error " + verb + " usage unknown command; known: connect create login send sendhex reports quit exit");
  }
  return true;
}

}  // namespace qvclient
