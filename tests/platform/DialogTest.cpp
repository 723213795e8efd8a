// The setup dialog's control logic: what it opens with and what "Go!" reads back.
#include "platform/DialogModel.h"

#include <gtest/gtest.h>

#include <clocale>
#include <string>

namespace {

using platform::DialogChoices;
using platform::DialogControls;

TEST(Dialog, GoUntouchedGivesTheFixedListsAndBoxesAndTheChoicesOwnScreenDepthAndSound) {
  // Lists and stored-only boxes ignore the choices; full screen, depth (16 unless 32), No Sound, the look follow.
  const DialogChoices odd{.width = 1024, .height = 768, .colourDepth = 24, .sampleRate = 8000, .use16Bit = false,
                          .stereo = false, .bilinear = false, .mipMapping = false, .fullscreen = true, .noSound = true,
                          .lightwave = true};
  for (const DialogChoices& choices : {DialogChoices{}, odd}) {
    const bool isOdd = choices.fullscreen;
    const DialogControls controls = platform::InitialDialogControls(choices);
    EXPECT_TRUE(controls.resolution == "640 x 480" && controls.sampleRate == "44100 Hz") << isOdd;
    EXPECT_TRUE(controls.bpp16 == isOdd && controls.fullscreen == isOdd && controls.noSound == isOdd) << isOdd;
    EXPECT_TRUE(controls.use16Bit && controls.stereo && controls.bilinear && controls.mipMapping) << isOdd;
    DialogChoices got = choices;
    platform::ReadDialogControls(controls, got);
    EXPECT_TRUE(got.width == 640 && got.height == 480 && got.sampleRate == 44100) << isOdd;
    EXPECT_EQ(got.colourDepth, isOdd ? 16u : 32u);
    EXPECT_TRUE(got.fullscreen == isOdd && got.noSound == isOdd && got.lightwave == isOdd) << isOdd;
    EXPECT_TRUE(got.use16Bit && got.stereo && got.bilinear && got.mipMapping) << isOdd;
  }
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
  controls.bilinear = controls.stereo = false;
  controls.lightwave = true;
  // No selection in a list (nothing to scan) keeps the size and rate instead of zeroing them.
  controls.resolution.clear();
  controls.sampleRate = "fast";
  DialogChoices got{.width = 800, .height = 600, .sampleRate = 22050};
  platform::ReadDialogControls(controls, got);
  EXPECT_TRUE(got.width == 800 && got.height == 600 && got.sampleRate == 22050);
  EXPECT_TRUE(!got.bilinear && !got.stereo && got.mipMapping && got.use16Bit && got.lightwave);
}

// Opening the toolkit keeps the C locale, so scene numbers keep their decimal point (needs a display).
TEST(Dialog, TheToolkitLeavesTheLocaleAlone) {
  const std::string before = std::setlocale(LC_ALL, nullptr);
  if (!platform::HasDisplay()) GTEST_SKIP() << "no display";
  EXPECT_EQ(std::setlocale(LC_ALL, nullptr), before);
}

}  // namespace
