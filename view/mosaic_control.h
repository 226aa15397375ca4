#pragma once
// MosaicControl: the view's generation commands and the load they start,
// without widgets or GL, so that tests can drive them with fakes.
//
// It holds `ready` (a tile library is loaded and a mosaic was made) and
// watches the program's load state. While a load runs on the worker the
// engine belongs to the worker: every command that would start a second
// load or change the engine (Generate, Random, Update images, a tile size,
// an opened image, the preference dialog, the images folder, live input) is
// refused with kBusyStatus on the status line and touches nothing. The idle
// step takes a finished load up on the GUI thread.
//
// GUI thread only, except MosaicEngineAccess::LoadSubImages, which runs on
// the worker.

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "library/load_progress.h"
#include "library/load_worker.h"
#include "mosaic/geometry.h"

namespace tessaline {

class qxPhotoMosaic;

// What the commands ask of the engine.
class MosaicEngineAccess {
 public:
  virtual ~MosaicEngineAccess() = default;
  // Worker thread: loads the tile library from `dir`; true when it is not
  // empty afterwards.
  virtual bool LoadSubImages(const std::string& dir) = 0;
  // GUI thread, once a load has ended with false: why, as one line.
  virtual std::string LoadFailureText() const = 0;
  // GUI thread, never while a load runs.
  virtual std::string ImageDir() const = 0;
  // False when no mosaic was drawn (the engine logged why).
  virtual bool GenerateMosaic() = 0;
  virtual void SetTarget(const std::string& path) = 0;  // "-1": a random tile
  virtual void SetTileSize(int w, int h) = 0;           // the library is loaded again
  virtual std::vector<TileSize> TileSizes() const = 0;
  // GUI thread: why the configured sizes cannot be loaded and made into a
  // mosaic (see SizeRefusal), or empty.
  virtual std::string SizeRefusal() const { return std::string(); }
};

// The engine of the program behind MosaicEngineAccess.
class PhotoMosaicAccess : public MosaicEngineAccess {
 public:
  // `cancel` stops a load of the engine's library (see CancelLoad).
  explicit PhotoMosaicAccess(qxPhotoMosaic* engine,
                             const std::atomic<bool>* cancel = &ProgramLoadState().cancel)
      : engine_(engine), cancel_(cancel) {}
  void Reset(qxPhotoMosaic* engine) { engine_ = engine; }
  bool LoadSubImages(const std::string& dir) override;
  std::string LoadFailureText() const override;
  std::string ImageDir() const override;
  bool GenerateMosaic() override;
  void SetTarget(const std::string& path) override;
  void SetTileSize(int w, int h) override;
  std::vector<TileSize> TileSizes() const override;
  std::string SizeRefusal() const override;
  // The GPU's largest texture side; before the view gave the engine its GPU
  // side, the one the machines we run on report.
  int MaxTextureSide() const;

 private:
  qxPhotoMosaic* engine_;
  const std::atomic<bool>* cancel_;
};

// What the commands ask of the view.
class MosaicControlHost {
 public:
  virtual ~MosaicControlHost() = default;
  virtual void SetAnimation(int on) = 0;  // 1 on, 0 off, -1 toggle
  virtual void LayoutScene() = 0;         // Layout at the working-image size
  virtual void ShowStatus(const std::string& text) = 0;
  virtual void UpdateMenuStates() = 0;
  // A loaded library has just been made into a mosaic and laid out: the view
  // decides whether the animation goes on (live input) or stops.
  virtual void OnMosaicTakenUp() = 0;
};

// The status text of a refused command.
extern const char* const kBusyStatus;
// The status text when a mosaic was asked for and none could be drawn.
extern const char* const kNotDrawnStatus;

class MosaicControl {
 public:
  // What the idle step found. kFailed comes once per failed load, whose
  // reason is then on the status line.
  enum class Poll { kLoading, kTakenUp, kFailed, kIdle };

  MosaicControl(MosaicEngineAccess& engine, MosaicControlHost& host,
                LoadState& state = ProgramLoadState());
  // Waits for a load still running: it uses the engine.
  ~MosaicControl();
  MosaicControl(const MosaicControl&) = delete;
  MosaicControl& operator=(const MosaicControl&) = delete;

  bool Busy() const { return state_.busy.load(); }
  bool Ready() const { return ready_; }
  // A load thread was started and has not been joined yet.
  bool HoldsLoadThread() const { return load_thread_.joinable(); }
  void SetReady(bool ready) { ready_ = ready; }

  // True when a load runs: shows kBusyStatus. Every engine-changing command
  // asks this first.
  bool RefuseWhileBusy();

  // The commands; false when refused (or, for a tile size, out of range).
  // A load whose sizes the engine refuses does not start: the reason goes
  // to the log and the status line.
  bool Generate();
  bool Random();
  bool UpdateImages();
  bool ChangeTileSize(int index);
  bool OpenImage(const std::string& path);

  // The idle step's look at the load: while it runs, the progress text
  // `progress` (the engine's load progress) goes to the status line; once it
  // succeeded, the mosaic is generated and laid out (the status line says
  // whether it was drawn); once it failed, the engine's reason replaces the
  // progress text.
  Poll PollLoad(const LoadProgress& progress);

 private:
  void TakeUpLoad();
  // Generates, and says on the status line when nothing was drawn.
  bool GenerateAndReport();
  void JoinLoad();

  MosaicEngineAccess& engine_;
  MosaicControlHost& host_;
  LoadState& state_;
  bool ready_ = false;
  // A load this control started has not been taken up or reported yet.
  bool load_pending_ = false;
  // The worker of the last load; joined once it has cleared busy.
  std::thread load_thread_;
};

}  // namespace tessaline
