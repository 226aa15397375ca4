#pragma once
// The program's engine behind the zoom's and the live input's interfaces
// (ZoomEngine, LiveEngine). The view holds one and points it at the engine
// in use; GUI thread, never while a load has the engine.

#include "view/live_control.h"
#include "view/zoom_pilot.h"

namespace tessaline {

class qxPhotoMosaic;

class PhotoMosaicMotion : public ZoomEngine, public LiveEngine {
 public:
  explicit PhotoMosaicMotion(qxPhotoMosaic* engine) : engine_(engine) {}
  void Reset(qxPhotoMosaic* engine) { engine_ = engine; }

  // ZoomEngine
  bool TargetLoaded() const override;
  ZoomGrid Grid() const override;
  std::optional<std::pair<int, int>> PickRandomCell() override;
  bool ZoomIntoCell(int col, int row, bool around) override;
  ZoomTextures Textures() const override;

  // LiveEngine
  bool OpenMovie(const std::string& path) override;
  int ListCameras(std::vector<std::string>& names) override;
  int LastCamera() const override;
  bool OpenCamera(int index) override;
  CameraOpening PollCameraOpen() override;
  std::string CameraOpenText() const override;
  void CancelCameraOpen() override;
  bool CloseLiveInput() override;
  bool NextLiveFrame() override;
  int LiveFrameCount() const override;
  double FrameRate() const override;
  cv::Size WorkingSize() const override;
  bool FrameTextures(unsigned int& image, unsigned int& mosaic) const override;
  cv::Mat RecordingFrame(double alpha) override;

 private:
  qxPhotoMosaic* engine_;
};

// What the layers show about the engine's target picture.
std::vector<std::string> TargetInfoLines(const qxPhotoMosaic& engine);

}  // namespace tessaline
