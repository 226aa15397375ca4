#pragma once
// The tile-library load on its own thread, and the state through which the
// GUI thread learns its outcome without waiting for it.
//
// The GUI thread starts a load with StartLoad (or TryStartLoad followed by a
// thread of its own running LoadWorker), keeps drawing, and polls: it reads
// `busy` first, and once that is false, `load_succeeded` tells whether the
// library can be used. The worker stores `load_succeeded` before it clears
// `busy`, so a reader that sees `busy` false also sees the outcome.
//
// A second load is refused while one runs (TryStartLoad returns false), so
// the GUI thread can never see `busy` false while a queued load is about to
// rebuild the library it starts using. The load lock still orders workers
// started by other means (two LoadWorker calls run one after the other).

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace tessaline {

struct LoadState {
  // A load has been started and has not finished. Set by the starter, cleared
  // by the worker.
  std::atomic<bool> busy{false};
  // The last finished load left a non-empty library. Cleared by the starter,
  // set by the worker, cleared by the GUI thread when it takes the library up.
  std::atomic<bool> load_succeeded{false};
  // Asks the running load to stop between pictures (it then ends as failed
  // and writes no cache). Set by CancelLoad, cleared when a load starts.
  std::atomic<bool> cancel{false};
  // Held by a worker for the whole of its load.
  std::mutex load_lock;
};

// The program's one load state, shared by the view and the worker.
LoadState& ProgramLoadState();

// Runs one load: the library's LoadSubImages on the images directory, as a
// function so any engine can plug in. Returns true when the library is not
// empty afterwards.
using LoadFunction = std::function<bool()>;

// The worker's body, on the thread that runs the load: takes the load lock
// (waiting for a load before it), logs "**** load sub images : start ****",
// runs `load`, logs "**** load sub images : end ****", sets `load_succeeded`
// when the load succeeded, then clears `busy`, and releases the lock.
void LoadWorker(const LoadFunction& load, LoadState& state = ProgramLoadState());

// GUI thread: claims the load state for a new load. False (and nothing
// changes) while a load is running; otherwise sets `busy`, clears
// `load_succeeded` and `cancel` and returns true, after which the caller must run
// LoadWorker exactly once.
bool TryStartLoad(LoadState& state = ProgramLoadState());

// GUI thread: TryStartLoad, then LoadWorker on a new thread that the caller
// owns and joins (once `busy` is seen false the join returns at once). Not
// joinable when a load is already running. Whatever `load` uses (the engine)
// must stay alive until the thread is joined.
std::thread StartLoad(LoadFunction load, LoadState& state = ProgramLoadState());

// Asks a running load to stop soon; for quitting, so that the program does
// not wait for a whole first load of a large folder. Any thread.
void CancelLoad(LoadState& state = ProgramLoadState());

// Blocks until no worker holds the load lock; for shutting down, so that
// nothing the running load uses is destroyed under it.
void WaitForLoad(LoadState& state = ProgramLoadState());

}  // namespace tessaline
