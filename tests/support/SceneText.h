// Scene text for the tests that run the program on files of their own (the end-to-end driver
// too, so no test library here): envelope blocks, and a grey square sliding across the view.
#pragma once

#include "LwoWriter.h"
#include <fstream>
#include <string>

namespace test {

using iff::LwoWriter;

// Channel c's envelope: value0 from 0 s, or a linear ramp to value1 at seconds1 when that is > 0.
inline std::string LwsChannel(int c, float value0, float value1 = 0, float seconds1 = 0) {
  auto key = [](float value, float seconds) {
    return "  Key " + std::to_string(value) + " " + std::to_string(seconds) + " 3 0 0 0 0 0 0\n";
  };
  return "Channel " + std::to_string(c) + "\n{ Envelope\n  " + (seconds1 > 0 ? "2\n" : "1\n") + key(value0, 0) +
         (seconds1 > 0 ? key(value1, seconds1) : "") + "  Behaviors 1 1\n}\n";
}

// dir/square.lwo, a square of side 2 × half, and dir/scene.lws: the square 10 units in front of
// the camera, sliding in x from -reach at frame 0 to reach at lastFrame (30 frames a second).
inline void WriteSlidingSquare(const std::string& dir, float half, float reach, int lastFrame) {
  LwoWriter square;
  square.Layer(0, 0, 0, 0, 0, "square")
      .Points({-half, -half, 0, -half, half, 0, half, half, 0, half, -half, 0})
      .Polygons("FACE", {{0, 1, 2}, {0, 2, 3}});
  const std::vector<uint8_t> bytes = square.File();
  std::ofstream(dir + "/square.lwo", std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  std::string scene = "LWSC\n3\n\nPreviewFirstFrame 0\nPreviewLastFrame " + std::to_string(lastFrame) +
                      "\nFramesPerSecond 30\n\nLoadObjectLayer 1 square.lwo\nObjectMotion\nNumChannels 9\n";
  scene += LwsChannel(0, -reach, reach, lastFrame / 30.0f) + LwsChannel(1, 0) + LwsChannel(2, 10);
  for (int c = 3; c < 9; ++c) scene += LwsChannel(c, c < 6 ? 0 : 1);
  std::ofstream(dir + "/scene.lws", std::ios::binary) << scene << "\nAddCamera\nCameraName Camera\n";
}

}  // namespace test
