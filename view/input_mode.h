#pragma once
// What drives the view's target: a still picture, or live video (a movie or
// a camera) whose frames are matched one by one. The view keeps it as the
// int `input_mode`; the menus and the panel read it through InputMode().

namespace tessaline {

constexpr int kStillInput = 0;
constexpr int kLiveInput = 2;

}  // namespace tessaline
