// What the object loader tests share: a scene attached to a system, a log file to read the
// loader's lines back from, captured message boxes, and loading bytes the way the program does,
// through a Vfs over a folder.
#pragma once

#include "app/System.h"
#include "lightwave/Lightwave.h"
#include "log/Log.h"
#include "scene/Scene.h"
#include "support/LwoWriter.h"
#include "support/TestSupport.h"
#include "vfs/Vfs.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

class LwoFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    log = std::make_unique<LogSystem>();
    log->Open(LOG_FILE, (dir / "ZIVI3.LOG").c_str());
    NewScene();
  }

  // A fresh, empty scene on the same system; the log goes on.
  void NewScene() {
    scene = std::make_unique<Scene>();
    scene->AttachToSystem(&system);
  }

  bool Load(const std::vector<uint8_t>& bytes, const std::string& name = "test.lwo") {
    test::WriteBytes(dir / name, bytes);
    Vfs vfs;
    const char* names[] = {name.c_str()};
    EXPECT_TRUE(vfs.Mount(MOUNT_DIRECTORY, dir.Path().c_str(), names, 1));
    return LwoLoader::Load(*scene, vfs, name.c_str());
  }

  std::string LogText() const { return test::ReadText(dir / "ZIVI3.LOG"); }
  // Whether the log has this line at this level.
  bool Logged(int level, const std::string& text) const {
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "[ %.2i ] - ", level);
    return LogText().find(prefix + text + "\n") != std::string::npos;
  }
  size_t LinesWith(const std::string& text) const {
    std::string log = LogText();
    size_t count = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++count;
    return count;
  }

  test::TempDir dir;
  test::MessageCapture boxes;
  std::unique_ptr<LogSystem> log;
  System system;
  std::unique_ptr<Scene> scene;
};
