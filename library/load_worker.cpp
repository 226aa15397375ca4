#include "library/load_worker.h"

#include <exception>
#include <ostream>
#include <thread>

#include "settings/log_stream.h"

namespace tessaline {

LoadState& ProgramLoadState() {
  // Never destroyed: Quit ends the process without joining, and a worker
  // may still release the lock while static objects are being destroyed.
  static LoadState* state = new LoadState;
  return *state;
}

void LoadWorker(const LoadFunction& load, LoadState& state) {
  std::lock_guard<std::mutex> lock(state.load_lock);
  engine_log() << "**** load sub images : start ****" << std::endl;
  bool ok = false;
  try {
    ok = load();
  } catch (const std::exception& error) {
    // Not expected (the load reports its own failures), but a worker that
    // died here would leave busy set for good.
    engine_log() << "error : the load stopped : " << error.what() << std::endl;
  } catch (...) {
    engine_log() << "error : the load stopped : an unknown error" << std::endl;
  }
  engine_log() << "**** load sub images : end ****" << std::endl;
  if (ok) state.load_succeeded.store(true);
  // After the outcome: whoever sees busy false also sees load_succeeded.
  state.busy.store(false);
}

bool TryStartLoad(LoadState& state) {
  bool idle = false;
  if (!state.busy.compare_exchange_strong(idle, true)) return false;
  state.load_succeeded.store(false);
  state.cancel.store(false);
  return true;
}

void CancelLoad(LoadState& state) { state.cancel.store(true); }

std::thread StartLoad(LoadFunction load, LoadState& state) {
  if (!TryStartLoad(state)) return std::thread();
  return std::thread([load = std::move(load), &state] { LoadWorker(load, state); });
}

void WaitForLoad(LoadState& state) {
  // A worker that was started but has not taken the lock yet is waited for
  // through busy; one that holds the lock, through the lock.
  while (state.busy.load()) {
    std::lock_guard<std::mutex> lock(state.load_lock);
    std::this_thread::yield();
  }
  std::lock_guard<std::mutex> lock(state.load_lock);
}

}  // namespace tessaline
