#pragma once
// The main window's image list, drawn in code: 0-3 program commands, 4-7 inactive and 8-11
// active channel icons, 12-18 run, view and version commands.

#include <QIcon>
#include <vector>

namespace velkor::ui {

inline constexpr int kImageCount = 19;
inline constexpr int kImageHardware = 0, kImageNewFrame = 1, kImageOpenFrame = 2, kImageQuit = 3;
inline constexpr int kImageChannelOff = 4, kImageChannelOn = 8;
inline constexpr int kImageRunFromAcq = 12, kImageRunFromFile = 13, kImageGraphic = 14, kImageHexa = 15,
                     kImageStop = 16, kImageFilter = 17, kImageVersion = 18;

std::vector<QIcon> MakeImageList();

}  // namespace velkor::ui
