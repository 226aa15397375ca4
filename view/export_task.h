#pragma once
// ExportTask: one long export (a print-size picture, a deep-zoom folder) on
// a worker thread, so that the GUI thread goes on drawing and handling
// events meanwhile. The GUI thread starts it, polls it (from a toolkit
// timeout, never by sleeping) and, when the program ends, cancels it: the
// export sees ExportProgress::cancel and the worker is joined. The export
// function must not touch the engine; it works on copies (a PrintJob).
// No toolkit, no GL.

#include <atomic>
#include <functional>
#include <string>
#include <thread>

#include "export/print_export.h"

namespace tessaline {

// "exporting NAME : 42 %" for the file or folder `destination` (its last
// path component) after `fraction` (0 to 1) of the work.
std::string ExportStatusText(const std::string& destination, double fraction);

class ExportTask {
 public:
  // Writes the export; false with one line in *error when it failed.
  using Run = std::function<bool(const ExportProgress& progress, std::string* error)>;

  struct State {
    bool running = false;
    double fraction = 0.0;  // 0 to 1, as the export last reported it
    // Once the export has ended (the first Poll after): where it went, or
    // why it failed. Empty otherwise.
    std::string line;
  };

  ExportTask() = default;
  ~ExportTask() { Cancel(); }
  ExportTask(const ExportTask&) = delete;
  ExportTask& operator=(const ExportTask&) = delete;

  // Starts `run` for `destination`; false, starting nothing, while an export
  // runs or its end has not been polled, or when no thread can be started.
  bool Start(Run run, const std::string& destination);
  // True from Start until the Poll that gives the closing line.
  bool Active() const { return worker_.joinable(); }
  const std::string& Destination() const { return destination_; }
  // GUI thread: the export's state; joins the worker once it has ended.
  State Poll();
  // Asks a running export to stop and waits for its worker; true when one
  // was active. Whatever it wrote is its own to clean up (nothing is left).
  bool Cancel();

 private:
  void Work(const Run& run);

  std::thread worker_;
  std::atomic<bool> cancel_{false};
  std::atomic<bool> finished_{false};
  std::atomic<double> fraction_{0.0};
  // Written by the worker before finished_ is set, read after.
  bool succeeded_ = false;
  std::string error_;
  std::string destination_;
};

}  // namespace tessaline
