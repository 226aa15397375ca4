#include "view/export_task.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <system_error>

#include "settings/paths.h"

namespace tessaline {

std::string ExportStatusText(const std::string& destination, double fraction) {
  std::string name = destination;
  while (name.size() > 1 && name.back() == '/') name.pop_back();  // a folder
  if (!BaseName(name).empty()) name = BaseName(name);
  const double share = std::isnan(fraction) ? 0.0 : std::min(std::max(fraction, 0.0), 1.0);
  return "exporting " + name + " : " + std::to_string(static_cast<int>(share * 100.0)) + " %";
}

bool ExportTask::Start(Run run, const std::string& destination) {
  if (Active() || !run) return false;
  cancel_ = false;
  finished_ = false;
  fraction_ = 0.0;
  succeeded_ = false;
  error_.clear();
  destination_ = destination;
  try {
    worker_ = std::thread([this, run = std::move(run)] { Work(run); });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

// An exception is an export that failed, never the end of the program.
void ExportTask::Work(const Run& run) {
  ExportProgress progress;
  progress.report = [this](double fraction) { fraction_ = fraction; };
  progress.cancel = &cancel_;
  try {
    succeeded_ = run(progress, &error_);
  } catch (const std::exception& error) {
    succeeded_ = false;
    error_ = error.what();
  } catch (...) {
    succeeded_ = false;
    error_ = "unknown error";
  }
  if (!succeeded_ && error_.empty()) error_ = "the export failed";
  finished_ = true;
}

ExportTask::State ExportTask::Poll() {
  State state;
  state.fraction = fraction_;
  if (!Active()) return state;
  if (!finished_) {
    state.running = true;
    return state;
  }
  worker_.join();
  if (cancel_)
    state.line = "cancelled the export to " + destination_;
  else if (succeeded_)
    state.line = "exported the mosaic to " + destination_;
  else
    state.line = "cannot export the mosaic to " + destination_ + " : " + error_;
  return state;
}

bool ExportTask::Cancel() {
  if (!Active()) return false;
  cancel_ = true;
  worker_.join();
  return true;
}

}  // namespace tessaline
