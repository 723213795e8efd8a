// What the scene-file loader tests share: a folder that holds the scene and its objects, loaded
// the way the program loads them (a Vfs over the folder, then Scene::Load), the log read back,
// captured message boxes, and a description of a loaded scene for comparing two loads.
#pragma once

#include "app/System.h"
#include "lightwave/Lightwave.h"
#include "log/Log.h"
#include "scene/Scene.h"
#include "support/LwoWriter.h"
#include "support/TestSupport.h"
#include "vfs/Vfs.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

class LwsFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    log = std::make_unique<LogSystem>();
    log->Open(LOG_FILE, (dir / "ZIVI3.LOG").c_str());
    NewScene();
  }

  void NewScene() {
    vfs.Close();
    scene = std::make_unique<Scene>();
    scene->AttachToSystem(&system);
  }

  // A one-layer object of one triangle, or of layers layers (layer i's points shifted by i in x).
  static std::vector<uint8_t> TriangleObject(uint16_t layers = 1, uint16_t flags = 0) {
    test::LwoWriter w;
    for (uint16_t i = 0; i < layers; ++i) {
      float x = float(i);
      w.Layer(i, flags, 0, 0, 0, "layer").Points({x, 0, 0, x + 1, 0, 0, x, 1, 0}).Polygons("FACE", {{0, 1, 2}});
    }
    return w.File();
  }

  void AddFile(const std::string& name, const std::vector<uint8_t>& bytes) { test::WriteBytes(dir / name, bytes); }

  // "LWSC", CR LF, "3", CR LF, then the lines, each ended by CR LF.
  static std::string Scene6(const std::vector<std::string>& lines) {
    std::string text = "LWSC\r\n3\r\n";
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
  }

  // Writes text as the scene file and loads it through a Vfs over the folder.
  bool Load(const std::string& text, const std::string& name = "test.lws") {
    test::WriteText(dir / name, text);
    vfs.Close();
    EXPECT_TRUE(vfs.Mount(MOUNT_DIRECTORY, dir.Path().c_str()));
    return scene->Load(&vfs, name.c_str());
  }

  std::string LogText() const { return test::ReadText(dir / "ZIVI3.LOG"); }
  bool Logged(int level, const std::string& text) const {
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "[ %.2i ] - ", level);
    return LogText().find(prefix + text + "\n") != std::string::npos;
  }
  size_t LinesWith(const std::string& text) const {
    std::string all = LogText();
    size_t count = 0;
    for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++count;
    return count;
  }

  SceneObject& Object(size_t i) { return *scene->objects.at(i); }
  const Envelope* ObjectEnvelope(size_t i, uint32_t channel) { return Object(i).envelopes[channel].get(); }

  // Everything the scene loader sets, as text: two loads that should agree give the same text.
  static std::string Describe(const Scene& s) {
    std::ostringstream out;
    out.precision(9);
    out << "frames " << s.firstFrame << ' ' << s.lastFrame << ' ' << s.framesPerSecond << " ambient "
        << s.ambientColor.x << ' ' << s.ambientColor.y << ' ' << s.ambientColor.z << ' ' << s.ambientIntensity
        << " oscillators " << s.oscillators.size() << '\n';
    auto envelopes = [&](const std::unique_ptr<Envelope>* slots, uint32_t count) {
      for (uint32_t c = 0; c < count; ++c) {
        if (!slots[c]) continue;
        out << "  channel " << c << ':';
        for (const EnvelopeKey& k : slots[c]->keys)
          out << " (" << k.value << ' ' << k.time << ' ' << k.shape << ' ' << k.tension << ' ' << k.continuity
              << ' ' << k.bias << ' ' << k.inTangent << ' ' << k.outTangent << ')';
        for (const Oscillator* o : slots[c]->oscillators)
          out << " osc " << o->period << ' ' << o->amplitude << ' ' << o->start << ' ' << o->end;
        out << '\n';
      }
    };
    for (const auto& o : s.objects) {
      out << "object " << o->itemIndex << ' ' << o->fileName << ' ' << o->itemName << ' ' << o->layerNumber
          << " flags " << o->flags << " pivot " << o->pivot.x << ' ' << o->pivot.y << ' ' << o->pivot.z
          << " parent " << o->parentIndex << '/' << int(o->parentKind) << (o->parent ? "+" : "-") << " morph "
          << o->morphTargetIndex << (o->morphTarget ? "+" : "-") << " vertices " << o->baseVertices.size()
          << " triangles " << o->triangles.size();
      if (o->pointCache) out << " cache " << o->pointCache->mddName << ' ' << o->pointCache->startFrame;
      out << '\n';
      envelopes(o->envelopes, OBJECT_ENVELOPE_COUNT);
    }
    for (const auto& c : s.cameras) {
      out << "camera " << c->cameraIndex << ' ' << c->name << " parent " << c->parentIndex << '/'
          << int(c->parentKind) << (c->parent ? "+" : "-") << " target "
          << (c->target ? int64_t(c->target->itemIndex) : -1) << '\n';
      envelopes(c->envelopes, CAMERA_ENVELOPE_COUNT);
    }
    for (const auto& l : s.lights) {
      out << "light " << l->lightIndex << ' ' << l->name << " kind " << int(l->kind) << " color " << l->color.x
          << ' ' << l->color.y << ' ' << l->color.z << " intensity " << l->intensity << " range " << l->range
          << " falloff " << l->falloff << " parent " << l->parentIndex << '/' << int(l->parentKind)
          << (l->parent ? "+" : "-") << '\n';
      envelopes(l->envelopes, LIGHT_ENVELOPE_COUNT);
    }
    return out.str();
  }

  test::TempDir dir;
  test::MessageCapture boxes;
  std::unique_ptr<LogSystem> log;
  System system;
  Vfs vfs;
  std::unique_ptr<Scene> scene;
};
