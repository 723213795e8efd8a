// The setup dialog's control logic: what it opens with and what "Go!" reads back.
#include "platform/DialogModel.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

using platform::DialogChoices;
using platform::DialogControls;

TEST(Dialog, GoUntouchedGivesTheFixedDefaultsWhateverTheChoicesWere) {
  DialogChoices defaults;
  DialogChoices got = defaults;
  platform::ReadDialogControls(platform::InitialDialogControls(defaults), got);
  EXPECT_TRUE(got.width == 640 && got.height == 480 && got.colourDepth == 32 && got.sampleRate == 44100);
  EXPECT_FALSE(got.fullscreen || got.noSound || got.lightwave);
  EXPECT_TRUE(got.use16Bit && got.stereo && got.bilinear && got.mipMapping);

  // The lists and the stored-only boxes ignore the choices; full screen, depth and No Sound
  // follow them.
  DialogChoices odd;
  odd.width = 1024;
  odd.height = 768;
  odd.sampleRate = 8000;
  odd.colourDepth = 24;  // anything but 32 opens on 16 BPP
  odd.use16Bit = odd.stereo = odd.bilinear = odd.mipMapping = false;
  odd.fullscreen = odd.noSound = odd.lightwave = true;
  const DialogControls controls = platform::InitialDialogControls(odd);
  EXPECT_EQ(controls.resolution, "640 x 480");
  EXPECT_EQ(controls.sampleRate, "44100 Hz");
  EXPECT_TRUE(controls.bpp16);
  EXPECT_TRUE(controls.fullscreen && controls.noSound && controls.lightwave);
  EXPECT_TRUE(controls.use16Bit && controls.stereo && controls.bilinear && controls.mipMapping);
  got = odd;
  platform::ReadDialogControls(controls, got);
  EXPECT_TRUE(got.width == 640 && got.height == 480 && got.sampleRate == 44100 && got.colourDepth == 16);
  EXPECT_TRUE(got.fullscreen && got.noSound && got.lightwave && got.use16Bit && got.stereo);

  DialogChoices deep;
  deep.colourDepth = 32;
  EXPECT_FALSE(platform::InitialDialogControls(deep).bpp16);
}

TEST(Dialog, GoReadsEveryListEntryAndBox) {
  // Every entry of both lists; the rate list is shorter and stays at its default past its end.
  const uint32_t widths[] = {320, 320, 640, 640, 800, 1024}, heights[] = {200, 240, 400, 480, 600, 768};
  const uint32_t rates[] = {8000, 11025, 22050, 44100, 48000, 44100};
  static_assert(platform::DIALOG_RESOLUTION_COUNT == 6 && platform::DIALOG_SAMPLE_RATE_COUNT == 5);
  for (int i = 0; i < platform::DIALOG_RESOLUTION_COUNT; ++i) {
    DialogControls controls = platform::InitialDialogControls({});
    controls.resolution = platform::DIALOG_RESOLUTIONS[i];
    if (i < platform::DIALOG_SAMPLE_RATE_COUNT) controls.sampleRate = platform::DIALOG_SAMPLE_RATES[i];
    DialogChoices got;
    platform::ReadDialogControls(controls, got);
    EXPECT_TRUE(got.width == widths[i] && got.height == heights[i]) << controls.resolution;
    EXPECT_EQ(got.sampleRate, rates[i]) << controls.sampleRate;
  }

  DialogControls controls = platform::InitialDialogControls({});
  controls.bpp16 = true;
  controls.bilinear = controls.stereo = false;
  controls.fullscreen = controls.noSound = true;
  DialogChoices got;
  platform::ReadDialogControls(controls, got);
  EXPECT_EQ(got.colourDepth, 16u);
  EXPECT_FALSE(got.bilinear || got.stereo);
  EXPECT_TRUE(got.mipMapping && got.use16Bit && got.fullscreen && got.noSound);

  // No selection in a list (nothing to scan) keeps the size and rate instead of zeroing them.
  controls.resolution.clear();
  controls.sampleRate = "fast";
  got.width = 800;
  got.height = 600;
  got.sampleRate = 22050;
  platform::ReadDialogControls(controls, got);
  EXPECT_TRUE(got.width == 800 && got.height == 600 && got.sampleRate == 22050);
}

// Opening the toolkit must not switch the process to the user's locale: numbers in scene files
// are read with a decimal point. Needs a display (the end-to-end runs have one).
TEST(Dialog, TheToolkitLeavesTheLocaleAlone) {
  const std::string before = std::setlocale(LC_ALL, nullptr);
  if (!platform::HasDisplay()) GTEST_SKIP() << "no display";
  EXPECT_EQ(std::setlocale(LC_ALL, nullptr), before);
}

}  // namespace
