#pragma once
// Fakes of the engine and the window behind the view's zoom and live-input
// controllers: they record what the controllers ask and answer as a test
// sets them up.

#include <gtest/gtest.h>

#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "view/live_control.h"
#include "view/zoom_pilot.h"

namespace tessaline {

class FakeZoomEngine : public ZoomEngine {
 public:
  bool TargetLoaded() const override { return target_loaded; }
  ZoomGrid Grid() const override { return ZoomGrid{32, 18, 10, 8, 320, 144, 7.0}; }
  std::optional<std::pair<int, int>> PickRandomCell() override {
    ++picks;
    if (cells.empty()) return std::nullopt;
    const std::pair<int, int> cell = cells.front();
    if (cells.size() > 1) cells.pop_front();
    return cell;
  }
  bool ZoomIntoCell(int col, int row, bool) override {
    zooms.emplace_back(col, row);
    return zoom_result;
  }
  ZoomTextures Textures() const override {
    ZoomTextures made;
    made.mosaic = 11;
    made.image = 12;
    made.info_lines = {"image name : tile.jpg"};
    return made;
  }

  bool target_loaded = true;
  bool zoom_result = true;
  std::deque<std::pair<int, int>> cells = {{3, 4}};
  int picks = 0;
  std::vector<std::pair<int, int>> zooms;
};

class FakeZoomHost : public ZoomHost {
 public:
  void SetAnimation(int on) override {
    animation.push_back(on);
    if (on >= 0) running = on != 0;
  }
  void PauseAnimation(double seconds) override { pauses.push_back(seconds); }
  void LayoutScene() override { ++layouts; }
  bool RefuseWhileBusy() override { return busy; }
  void UpdateMenuStates() override { ++menu_updates; }
  int DrawFlags() const override { return 0; }
  void ForgetSelectedTile() override { ++forgotten_tiles; }

  std::vector<int> animation;
  bool running = false;
  std::vector<double> pauses;
  int layouts = 0;
  bool busy = false;
  int menu_updates = 0;
  int forgotten_tiles = 0;
};

class FakeLiveEngine : public LiveEngine {
 public:
  bool OpenMovie(const std::string& path) override {
    opened.push_back(path);
    return movie_opens;
  }
  int ListCameras(std::vector<std::string>& names) override {
    names = cameras;
    return static_cast<int>(names.size());
  }
  int LastCamera() const override { return 0; }
  bool OpenCamera(int index) override {
    opened.push_back("camera " + std::to_string(index));
    return true;
  }
  CameraOpening PollCameraOpen() override {
    if (poll_throws) throw std::runtime_error("reader gone");
    const CameraOpening next = polls.front();
    if (polls.size() > 1) polls.pop_front();
    return next;
  }
  std::string CameraOpenText() const override { return "camera text"; }
  void CancelCameraOpen() override { ++cancels; }
  bool CloseLiveInput() override {
    ++closes;
    return true;
  }
  bool NextLiveFrame() override {
    if (frames_left == 0) return false;
    --frames_left;
    if (new_frame) ++frames;
    return true;
  }
  int LiveFrameCount() const override { return frames; }
  double FrameRate() const override { return 25.0; }
  cv::Size WorkingSize() const override { return {64, 36}; }
  bool FrameTextures(unsigned int& image, unsigned int& mosaic) const override {
    image = 21;
    mosaic = 22;
    return true;
  }
  cv::Mat RecordingFrame(double) override {
    return cv::Mat(36, 64, CV_8UC3, cv::Scalar(9, 80, 200));
  }

  bool movie_opens = true;
  std::vector<std::string> cameras = {"cam 0", "cam 1"};
  std::deque<CameraOpening> polls = {CameraOpening::kOpening};
  bool poll_throws = false;
  std::vector<std::string> opened;
  int cancels = 0;
  int closes = 0;
  int frames_left = 1000;
  bool new_frame = true;
  int frames = 0;
};

class FakeLiveHost : public LiveHost {
 public:
  void SetAnimation(int on) override { animation.push_back(on); }
  void LayoutScene() override {}
  void ShowStatus(const std::string& text) override { statuses.push_back(text); }
  void ShowFailure(const std::string& text) override { failures.push_back(text); }
  void SetOutputText(const std::string& text) override { output_text = text; }
  void UpdateMenuStates() override { ++menu_updates; }
  void Redraw() override {}
  void MakeGlContextCurrent() override {}
  bool RefuseWhileBusy() override { return busy; }
  bool Ready() const override { return true; }
  void Generate() override { ++generates; }
  void IdleStep() override { ++idle_steps; }
  void StartCameraPoll() override { polling = true; }
  void StopCameraPoll() override { polling = false; }
  std::optional<int> ChooseCamera(const std::vector<std::string>&, int) override {
    ++dialogs;
    return choice;
  }

  std::vector<int> animation;
  std::vector<std::string> statuses;
  std::vector<std::string> failures;
  std::string output_text;
  int menu_updates = 0;
  bool busy = false;
  int generates = 0;
  int idle_steps = 0;
  bool polling = false;
  int dialogs = 0;
  std::optional<int> choice = 1;
};

}  // namespace tessaline
