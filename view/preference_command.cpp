#include "view/preference_command.h"

#include <ostream>

#include "mosaic/mosaic_config.h"
#include "settings/ini_store.h"
#include "settings/log_stream.h"
#include "settings/window_settings.h"

namespace tessaline {
namespace {

std::string ConfigFileName() { return std::string(kProgramName) + ".cfg"; }

}  // namespace

PreferenceCommand::PreferenceCommand(PreferenceHost& host) : host_(host) {}

PreferenceCommand::~PreferenceCommand() = default;

void PreferenceCommand::LoadConfig() {
  const std::string file = ConfigFileName();
  config_ = std::make_unique<qxINI>();
  RegisterMosaicKeys(*config_, Config());
  const IniLoadResult loaded = config_->LoadFile(file);
  // A size beyond reason is used at its nearest sane value; the file keeps
  // what the user wrote.
  if (loaded != IniLoadResult::kNotOpened) config_->MendValues(view_log());
  if (loaded == IniLoadResult::kRead) return;
  // Only a missing file is replaced by the defaults: the user's own file,
  // even with a line the store cannot read, is never overwritten.
  if (loaded == IniLoadResult::kMalformed) {
    view_log() << file << " has lines that could not be read; it is left as it is" << std::endl;
    return;
  }
  view_log() << "Failed to open the " << file << " file!" << std::endl;
  if (config_->Save(config_.get(), file)) view_log() << "save : " << file << std::endl;
}

void PreferenceCommand::Edit() {
  // Replacing the engine under a running load is never allowed.
  if (host_.RefuseWhileBusy()) return;
  const MosaicSettings before = CollectMosaicSettings(Config());
  const std::optional<PreferenceChoice> choice = host_.ChoosePreferences(before);
  // Nothing should have started a load meanwhile; if something did, the
  // engine stays as it is.
  if (choice && !host_.RefuseWhileBusy()) Apply(before, choice->settings, choice->save_as_default);
}

void PreferenceCommand::Apply(const MosaicSettings& before, const MosaicSettings& after,
                              bool save_as_default) {
  const bool reshape = EngineShapeChanged(before, after);
  // Refused before anything changes: the engine and its library stay as
  // they were, and so does the configuration a later save writes.
  const std::string refusal = SettingsRefusal(after, Config(), host_.MaxTextureSide());
  if (!refusal.empty()) {
    view_log() << "the settings are not applied : " << refusal << std::endl;
    host_.ShowStatus(refusal);
    return;
  }
  StoreMosaicSettings(after, Config());
  if (reshape) host_.ReplaceEngine();
  if (after.sub_scale_list != before.sub_scale_list) host_.SetTileSizes(after.sub_scale_list);
  if (save_as_default) SaveConfig();
  // A live source takes a new rule with its next frame by itself.
  const bool rematch = AssignmentRuleChanged(before, after) && host_.StillMosaicShown();
  if (reshape || rematch) host_.Generate();
}

void PreferenceCommand::SaveConfig() {
  const std::string file = ConfigFileName();
  if (config_ && config_->Save(config_.get(), file))
    support_log() << "save : " << file << std::endl;
}

}  // namespace tessaline
