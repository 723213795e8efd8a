// The application object as the scene and the loaders see it: the display settings, the engine
// speed and the texture cache. The window, the render thread and the clock join this record
// later; until then everything here is inline so that any module can use it without linking the
// application.
#pragma once

#include "textures/Textures.h"

#include <cstdint>

// The setup choices, filled with these defaults and then by the dialog or the command line.
struct Settings {
  uint32_t width = 640;          // client width in pixels
  uint32_t height = 480;         // client height in pixels
  uint32_t colourDepth = 32;     // 16 or 32 bits per pixel
  uint32_t sampleRate = 44100;   // sound output rate, Hz
  uint8_t use16Bit = 1;          // stored only
  uint8_t stereo = 1;            // stored only
  uint8_t bilinear = 1;          // stored only
  uint8_t mipMapping = 1;        // stored only
  uint8_t fullscreen = 0;
  uint8_t noSound = 0;
  uint8_t widescreen = 1;        // render into a centred 16:9 band
  bool triangulate = false;      // the object loader splits polygons of more than three corners
};

struct System {
  float engineSpeed = 30;        // frames of scene time per second
  uint32_t msPerFrame = 33;      // 1000 / engineSpeed, remainder dropped
  Settings settings;
  int32_t widescreenHeight = 360;  // height of the 16:9 band for settings.width
  // Collects the texture names the loaders give and loads them once the scene is ready.
  TextureCache textureCache;

  // A speed of 0 (or less) would make a frame last forever: it is refused and the speed kept.
  void SetEngineSpeed(float framesPerSecond) {
    if (!(framesPerSecond > 0)) return;
    engineSpeed = framesPerSecond;
    msPerFrame = uint32_t(1000.0f / framesPerSecond);
  }

  // Takes new settings and derives the band height from the width (640 → 360, 1024 → 576).
  void ApplySettings(const Settings& chosen) {
    settings = chosen;
    widescreenHeight = int32_t(float(chosen.width) / 16.0f * 9.0f);
  }

  void AddTextureReference(const char* name) { textureCache.AddReference(name); }
};
