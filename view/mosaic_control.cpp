#include "view/mosaic_control.h"

#include <ostream>

#include "mosaic/photo_mosaic.h"
#include "mosaic/size_limits.h"
#include "settings/log_stream.h"
#include "view/command_text.h"

namespace tessaline {

const char* const kBusyStatus = "a tile library load is running; please wait";
const char* const kNotDrawnStatus = "the photomosaic could not be drawn; the log says why";

bool PhotoMosaicAccess::LoadSubImages(const std::string& dir) {
  engine_->Library().SetCancelFlag(cancel_);
  return engine_->LoadSubImages(dir);
}
std::string PhotoMosaicAccess::LoadFailureText() const {
  return engine_->Library().LoadFailureText();
}
std::string PhotoMosaicAccess::ImageDir() const { return Config().image_dir; }
bool PhotoMosaicAccess::GenerateMosaic() { return engine_->GenerateMosaic(); }
void PhotoMosaicAccess::SetTarget(const std::string& path) { engine_->SetTarget(path); }
void PhotoMosaicAccess::SetTileSize(int w, int h) { engine_->SetTileSize(w, h, true); }
std::vector<TileSize> PhotoMosaicAccess::TileSizes() const {
  return engine_->Geometry().TileSizes();
}
std::string PhotoMosaicAccess::SizeRefusal() const {
  return tessaline::SizeRefusal(Config(), MaxTextureSide());
}
int PhotoMosaicAccess::MaxTextureSide() const {
  return engine_->Gpu() ? engine_->Gpu()->MaxTextureSide() : kMaxTextureSide;
}

MosaicControl::MosaicControl(MosaicEngineAccess& engine, MosaicControlHost& host, LoadState& state)
    : engine_(engine), host_(host), state_(state) {}

MosaicControl::~MosaicControl() { JoinLoad(); }

void MosaicControl::JoinLoad() {
  if (load_thread_.joinable()) load_thread_.join();
}

bool MosaicControl::RefuseWhileBusy() {
  if (!Busy()) return false;
  host_.ShowStatus(kBusyStatus);
  return true;
}

bool MosaicControl::Generate() {
  if (RefuseWhileBusy()) return false;
  if (ready_) {
    GenerateAndReport();
    host_.LayoutScene();
    return true;
  }
  const std::string refusal = engine_.SizeRefusal();
  if (!refusal.empty()) {
    view_log() << "no tile library is loaded : " << refusal << std::endl;
    host_.ShowStatus(refusal);
    return false;
  }
  // The worker gets its own copy of the folder name: the configuration may
  // change on the GUI thread while it loads.
  MosaicEngineAccess* engine = &engine_;
  const std::string dir = engine_.ImageDir();
  // The last worker has cleared busy (or none ran): this join is brief.
  JoinLoad();
  load_thread_ = StartLoad([engine, dir] { return engine->LoadSubImages(dir); }, state_);
  if (!load_thread_.joinable()) {
    host_.ShowStatus(kBusyStatus);
    return false;
  }
  load_pending_ = true;
  host_.SetAnimation(1);
  return true;
}

bool MosaicControl::Random() {
  if (RefuseWhileBusy()) return false;
  engine_.SetTarget("-1");
  return Generate();
}

bool MosaicControl::UpdateImages() {
  if (RefuseWhileBusy()) return false;
  ready_ = false;
  host_.SetAnimation(0);
  return Generate();
}

bool MosaicControl::ChangeTileSize(int index) {
  if (RefuseWhileBusy()) return false;
  const std::vector<TileSize> sizes = engine_.TileSizes();
  if (index < 0 || index >= static_cast<int>(sizes.size())) return false;
  const TileSize size = sizes[static_cast<std::size_t>(index)];
  view_log() << "new tile size : " << size.width << " x " << size.height << std::endl;
  engine_.SetTileSize(size.width, size.height);
  ready_ = false;
  host_.SetAnimation(0);
  return Generate();
}

bool MosaicControl::OpenImage(const std::string& path) {
  if (RefuseWhileBusy()) return false;
  engine_.SetTarget(path);
  return Generate();
}

MosaicControl::Poll MosaicControl::PollLoad(const LoadProgress& progress) {
  // busy first: the worker stores the outcome before it clears busy.
  if (state_.busy.load()) {
    host_.ShowStatus(LoadProgressText(progress));
    return Poll::kLoading;
  }
  // The worker is past its load; only the lock release is left.
  JoinLoad();
  bool succeeded = true;
  if (state_.load_succeeded.compare_exchange_strong(succeeded, false)) {
    load_pending_ = false;
    TakeUpLoad();
    return Poll::kTakenUp;
  }
  if (!load_pending_) return Poll::kIdle;
  load_pending_ = false;
  // busy was seen false: the worker has written its reason.
  const std::string reason = engine_.LoadFailureText();
  host_.ShowStatus(reason.empty() ? "the tile library could not be loaded" : reason);
  return Poll::kFailed;
}

void MosaicControl::TakeUpLoad() {
  ready_ = true;
  view_log() << "**** generate mosaic : start ****" << std::endl;
  // Uploads the atlas first: needs the GL context.
  const bool drawn = GenerateAndReport();
  host_.LayoutScene();
  host_.OnMosaicTakenUp();
  view_log() << "**** generate mosaic : end ****" << std::endl;
  if (drawn) host_.ShowStatus("photomosaic have been generated.");
  host_.UpdateMenuStates();
}

bool MosaicControl::GenerateAndReport() {
  if (engine_.GenerateMosaic()) return true;
  host_.ShowStatus(kNotDrawnStatus);
  return false;
}

}  // namespace tessaline
