// PNG pictures read back by another decoder, and why a video file can't be made (captures: app/OffscreenTest).
#include "video/Video.h"

#include "platform/Platform.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

namespace {

TEST(Video, PngPicturesKeepEveryPixelAndTheirOrientation) {
  test::TempDir dir;
  // Rows that differ from each other and bytes that wrap when filtered.
  std::vector<uint8_t> rgb(37 * 5 * 3);
  for (size_t i = 0; i < rgb.size(); ++i) rgb[i] = uint8_t(i * 7 + (i % 5) * 91);
  ASSERT_TRUE(video::WritePng((dir / "picture.png").c_str(), 37, 5, rgb.data()));
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> back;
  ASSERT_TRUE(platform::ReadPng((dir / "picture.png").c_str(), &width, &height, &back));
  EXPECT_TRUE(width == 37 && height == 5 && back == rgb);
  EXPECT_FALSE(video::WritePng((dir / "missing/picture.png").c_str(), 37, 5, rgb.data()));
}

TEST(Video, AFileThatCantBeMadeSaysWhyAndLeavesNothing) {
  test::TempDir dir;
  const std::tuple<const char*, bool, const char*> cases[] = {
      {"a.avi", false, "ends in .mp4, .webm or .mkv"},
      {"a.webm", true, "lossless video (FFV1 + FLAC) goes in a .mkv file"},
      {"no/such/folder/a.mkv", false, "can't write"}};
  const std::vector<uint8_t> picture(16 * 16 * 3);
  for (const auto& [name, lossless, expected] : cases) {
    const video::VideoSettings settings{
        .path = dir / name, .width = 16, .height = 16, .sampleRate = 44100, .lossless = lossless};
    video::VideoFile file;
    std::string why;
    EXPECT_FALSE(file.Open(settings, &why));
    EXPECT_NE(why.find(expected), std::string::npos) << name << ": " << why;
    EXPECT_FALSE(std::filesystem::exists(settings.path)) << name;
    EXPECT_FALSE(file.AddPicture(picture.data()));
  }
}

}  // namespace
