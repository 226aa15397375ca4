#pragma once
// PreferenceCommand: the view's preference command and the mosaic
// configuration file (tessaline.cfg) it edits. It owns the configuration
// store: reading the file at start, editing the values in the dialog,
// applying what was accepted and, on request, saving the file. Accepted
// values go back into the configuration; a value the engine is built
// around has the host make a new engine and a new load, a new tile size
// list only takes the list. The dialog and the engine stay on the host's
// side, so that tests can drive the command with a fake host. GUI thread.

#include <memory>
#include <optional>
#include <string>

#include "view/mosaic_settings.h"

namespace tessaline {

class qxINI;

// What the preference dialog gave back when it was accepted.
struct PreferenceChoice {
  MosaicSettings settings;
  bool save_as_default = false;  // tessaline.cfg is written with them
};

// What the preference command asks of the view.
class PreferenceHost {
 public:
  virtual ~PreferenceHost() = default;
  // True, with the reason on the status line, while a load runs.
  virtual bool RefuseWhileBusy() = 0;
  // Shows the dialog on `before` until it is closed; the settings when it
  // was accepted.
  virtual std::optional<PreferenceChoice> ChoosePreferences(const MosaicSettings& before) = 0;
  // The largest texture side the GPU takes (a default before GL starts).
  virtual int MaxTextureSide() const = 0;
  virtual void ShowStatus(const std::string& text) = 0;
  // Makes a new engine on the configuration, freeing the old one's GPU side.
  virtual void ReplaceEngine() = 0;
  // Gives the engine the offered tile sizes "w,h,w,h...".
  virtual void SetTileSizes(const std::string& list) = 0;
  // A still picture's mosaic is on show (not live input, library loaded).
  virtual bool StillMosaicShown() const = 0;
  virtual void Generate() = 0;
};

class PreferenceCommand {
 public:
  explicit PreferenceCommand(PreferenceHost& host);
  ~PreferenceCommand();
  PreferenceCommand(const PreferenceCommand&) = delete;
  PreferenceCommand& operator=(const PreferenceCommand&) = delete;

  // Registers the mosaic keys and reads tessaline.cfg, writing it with the
  // defaults only when it cannot be opened (a file with unreadable lines is
  // used and left as it is).
  void LoadConfig();
  // The preference command: refused while a load runs.
  void Edit();
  // Applies the settings accepted over `before`; refused as a whole, with
  // one line, when the engine could not work with them.
  void Apply(const MosaicSettings& before, const MosaicSettings& after, bool save_as_default);

 private:
  // The store writes the file whole or not at all and reports a failure
  // itself.
  void SaveConfig();

  PreferenceHost& host_;
  std::unique_ptr<qxINI> config_;
};

}  // namespace tessaline
