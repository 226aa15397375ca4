#include "settings/log_stream.h"

#include <algorithm>
#include <iostream>

#include "settings/utf8.h"

namespace tessaline {
namespace {

constexpr std::streamsize kStreamBufferSize = 4096;
const char* const kLogFileName = "tessaline.log";

void AppendEscaped(std::string& out, unsigned char byte) {
  static const char kHex[] = "0123456789abcdef";
  out += "\\x";
  out += kHex[byte >> 4];
  out += kHex[byte & 15];
}

}  // namespace

std::string PrintableText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    char32_t code = 0;
    std::size_t length = Utf8Sequence(text, code);
    const bool control = code < 0x20 || (code >= 0x7F && code <= 0x9F);
    if (length > 0 && (code == '\n' || !control)) {
      out.append(text.data(), length);
    } else {
      length = 1;  // a C1 control's two bytes are escaped one at a time
      AppendEscaped(out, static_cast<unsigned char>(text[0]));
    }
    text.remove_prefix(length);
  }
  return out;
}

LogSink::LogSink(std::ostream& console, std::string file_name)
    : console_(console), file_name_(std::move(file_name)) {}

void LogSink::Deliver(const char* s, std::size_t n) {
  const std::string chunk = PrintableText(std::string_view(s, n));
  std::lock_guard<std::mutex> lock(mutex_);
  console_ << chunk << std::flush;
  AddToHistory(chunk);
  std::string line = chunk;
  line.erase(std::remove(line.begin(), line.end(), '\n'), line.end());
  WriteToFile(line);
}

void LogSink::AddToHistory(const std::string& chunk) {
  if (chunk == "\n")
    history_.emplace_back();
  else if (!history_.empty())
    history_.back() += chunk;
  else
    history_.push_back(chunk);
  history_.emplace_back();
  while (history_.size() > kHistorySize) history_.pop_front();
}

void LogSink::WriteToFile(const std::string& line) {
  // The file is opened by the first chunk only, so a run that logs nothing
  // leaves the previous run's log alone. A file that cannot be opened is
  // not reported: console and history still have the text.
  if (!file_tried_) {
    file_tried_ = true;
    file_.open(file_name_, std::ios::out | std::ios::trunc);
  }
  if (file_.is_open()) file_ << line << std::endl;
}

std::vector<std::string> LogSink::History() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return std::vector<std::string>(history_.begin(), history_.end());
}

LogSink& LogSink::Global() {
  // Never destroyed, so that messages logged during static destruction of
  // other objects still find their sink.
  static LogSink* sink = new LogSink(std::cout, kLogFileName);
  return *sink;
}

qxCout::qxCout(std::string name) : name_(std::move(name)) {}

std::streamsize qxCout::write(const char* s, std::streamsize n) {
  LogSink::Global().Deliver(s, static_cast<std::size_t>(n));
  return n;
}

namespace {

struct ModuleStreams {
  LogStream support{qxCout(kLogFileName), kStreamBufferSize};
  LogStream view{qxCout(kLogFileName), kStreamBufferSize};
  LogStream engine{qxCout(kLogFileName), kStreamBufferSize};
};

ModuleStreams& ThreadStreams() {
  thread_local ModuleStreams streams;
  return streams;
}

}  // namespace

std::ostream& support_log() { return ThreadStreams().support; }
std::ostream& view_log() { return ThreadStreams().view; }
std::ostream& engine_log() { return ThreadStreams().engine; }

std::vector<std::string> LogHistory() { return LogSink::Global().History(); }

}  // namespace tessaline
