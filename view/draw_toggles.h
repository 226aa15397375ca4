#pragma once
// The Draw menu's toggles: toggle i owns bit i of the view's draw_flags.
// Pure data and arithmetic, so the menu, the view and tests share one table.

#include <array>
#include <string>

namespace tessaline {

struct DrawToggle {
  const char* label;     // the menu label without its trailing spaces
  const char* shortcut;  // in the toolkit's old shortcut notation ("1", "e")
};

// In bit order: "Icon" is bit 0, "Zoom with selected" bit 7.
inline constexpr std::array<DrawToggle, 8> kDrawToggles = {{
    {"Icon", "1"},
    {"Logo", "2"},
    {"Big cursor", "3"},
    {"Image infomation", "4"},
    {"Around photomosaics", "e"},
    {"Mipmapping", "n"},
    {"Tile elevating", "t"},
    {"Zoom with selected", "z"},
}};

// draw_flags after toggle `index` flipped its bit (unchanged for an index
// outside the table). Switching "Zoom with selected" on also flips "Around
// photomosaics": the zoom from the selected tile is meant to show its
// neighbours growing with it.
int ToggledDrawFlags(int flags, int index);

}  // namespace tessaline
