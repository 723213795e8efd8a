// The pool, layer binding, uploads and alpha merges, drawn into an offscreen OpenGL context and
// read back from the textures themselves.
#include "textures/TextureFixture.h"

#include "platform/Platform.h"
#include "scene/Scene.h"

#include <GL/gl.h>

#include <algorithm>
#include <initializer_list>

namespace {

using test::ImageKind;

class TextureCacheTest : public TextureFixture {
 protected:
  void SetUp() override {
    context = platform::CreateOffscreenContext(16, 16, 32);
    ASSERT_NE(context, nullptr);
  }
  void TearDown() override {
    cache.Free();
    platform::DestroyOffscreenContext(context);
  }

  void AddFile(const std::string& name, const std::vector<uint8_t>& bytes) { vfs.files.push_back(File(name, bytes)); }

  // A surface whose layers name these images: colour first, then transparency.
  Surface* AddSurface(std::initializer_list<const char*> images) {
    Surface* surface = scene.AddSurface();
    for (const char* image : images) {
      auto layer = std::make_unique<TextureLayer>();
      layer->imageName = image;
      layer->channel = surface->layerCount == 0 ? LAYER_COLOR : LAYER_TRANSPARENCY;
      surface->layers[surface->layerCount++] = std::move(layer);
    }
    return surface;
  }

  static std::string Progress(const std::string& text) { return "[ 03 ] - TEXCACHE(Load) - " + text; }

  // Level `level` of a texture as RGBA bytes, rows from t = 0 up.
  static std::vector<uint8_t> Texels(uint32_t glName, int level, int* width, int* height) {
    glBindTexture(GL_TEXTURE_2D, glName);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, height);
    std::vector<uint8_t> rgba(size_t(*width) * size_t(*height) * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, level, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return rgba;
  }

  // The RGBA a picture should upload as: its bottom row first, opaque unless alpha says otherwise.
  static std::vector<uint8_t> Expected(const test::Picture& picture, const test::Picture* alpha = nullptr) {
    std::vector<uint8_t> rgba;
    for (uint32_t row = 0; row < picture.height; ++row) {
      const uint32_t y = picture.height - 1 - row;
      for (uint32_t x = 0; x < picture.width; ++x) {
        const uint8_t* p = picture.At(x, y);
        rgba.insert(rgba.end(), p, p + 3);
        const uint8_t* mask = alpha ? alpha->At(x, y) : nullptr;
        rgba.push_back(mask ? uint8_t((mask[0] + mask[1] + mask[2]) / 3) : 255);
      }
    }
    return rgba;
  }

  platform::OffscreenContext* context = nullptr;
  Vfs vfs;
  Scene scene;
  TextureCache cache;
};

TEST_F(TextureCacheTest, PoolsEachNameOnceBindsLayersByPrefixAndGoesOnPastFailures) {
  const test::Picture wood = test::Gradient(8, 4);
  AddFile("Wood.png", test::EncodeImage(ImageKind::PNG24, wood));
  AddFile("rock.jpg", test::EncodeImage(ImageKind::BMP24, test::Gradient(4, 4)));
  AddFile("rock.jpg.old", test::EncodeImage(ImageKind::BMP24, test::Quadrants(4, 4)));
  AddFile("broken.bmp", test::EncodeImage(ImageKind::TIFF, wood));
  for (const char* name :
       {"Wood.png", "wood.PNG", "rock.jpg.old", "rock.jpg", "missing.pcx", "broken.bmp", "WOOD.png"})
    cache.AddReference(name);
  cache.AddReference("");  // names no file
  cache.AddReference(nullptr);

  Surface* woodSurface = AddSurface({"wood.png"});
  Surface* rock = AddSurface({"rock.jpg"});
  Surface* unmatched = AddSurface({"nothing.png"});
  TextureEntry unrelated;
  Surface* nameless = AddSurface({""});
  nameless->layers[0]->texture = &unrelated;
  cache.AddScene(&scene);

  EXPECT_TRUE(cache.Load(&vfs));

  ASSERT_EQ(cache.entries.size(), 5u);
  EXPECT_EQ(cache.entries[0]->name, "Wood.png");  // the first spelling names the entry
  EXPECT_EQ(cache.entries[1]->name, "rock.jpg.old");
  EXPECT_EQ(Lines(), (std::vector<std::string>{
                         Progress("Creating texture pool, sorting and loading textures..."),
                         Progress("Optimized 7 texture references down to 5 texture load operations..."),
                         Progress("Loading texture \"Wood.png\"..."),
                         Progress("Loading texture \"rock.jpg.old\"..."),
                         Progress("Loading texture \"rock.jpg\"..."),
                         Progress("Loading texture \"missing.pcx\"..."),
                         "[ 01 ] - TEXCACHE(Load) - Texture \"missing.pcx\" not found in current path/datafile, "
                         "trying to continue...",
                         Progress("Loading texture \"broken.bmp\"..."),
                         LoadError("broken.bmp"),
                     }));

  // Layers: a case-blind match gives up its name; rock.jpg begins rock.jpg.old, the older entry.
  EXPECT_EQ(woodSurface->layers[0]->texture, cache.entries[0].get());
  EXPECT_EQ(woodSurface->layers[0]->imageName, "");
  EXPECT_EQ(rock->layers[0]->texture, cache.entries[1].get());
  EXPECT_EQ(unmatched->layers[0]->texture, nullptr);
  EXPECT_EQ(unmatched->layers[0]->imageName, "nothing.png");
  EXPECT_EQ(nameless->layers[0]->texture, &unrelated);

  // One texture object per entry; decoded images are gone, the uploads stay.
  for (size_t i = 0; i < cache.entries.size(); ++i) {
    EXPECT_TRUE(cache.entries[i]->glName != 0u && cache.entries[i]->glName == cache.glNames[i]);
    EXPECT_TRUE(cache.entries[i]->image == nullptr && cache.entries[i]->pixels == nullptr);
    for (size_t j = 0; j < i; ++j) EXPECT_NE(cache.glNames[i], cache.glNames[j]);
  }
  int width = 0, height = 0;
  EXPECT_EQ(Texels(cache.entries[0]->glName, 0, &width, &height), Expected(wood));
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureCacheTest, NothingHappensWithoutReferencesAndFreeReleasesOnce) {
  EXPECT_TRUE(cache.Load(&vfs));
  EXPECT_TRUE(Lines().empty());
  EXPECT_TRUE(cache.glNames.empty());

  AddFile("a.bmp", test::EncodeImage(ImageKind::BMP24, test::Gradient(2, 2)));
  cache.AddReference("a.bmp");
  cache.AddScene(&scene);
  cache.Load(&vfs);
  const uint32_t name = cache.glNames.at(0);
  EXPECT_EQ(glIsTexture(name), GL_TRUE);
  cache.Free();
  EXPECT_EQ(glIsTexture(name), GL_FALSE);
  EXPECT_TRUE(cache.references.empty() && cache.scenes.empty() && cache.entries.empty() && cache.glNames.empty());
  cache.Free();  // the second call has nothing left to release
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureCacheTest, SecondLayerBecomesTheFirstLayersAlphaOnEverySurface) {
  // Two pixels a row: the bitmaps' rows are padded from 6 bytes to 8, the merged ones are not
  // (and the sides are powers of two, so GLU uploads the texels unscaled).
  const test::Picture colour = test::Gradient(2, 4);
  test::Picture mask = test::Quadrants(2, 4);
  const uint8_t almostWhite[3] = {255, 255, 254};  // (255 + 255 + 254) / 3 = 254, truncated
  std::copy(almostWhite, almostWhite + 3, &mask.rgb[0]);
  AddFile("colour.bmp", test::EncodeImage(ImageKind::BMP24, colour));
  AddFile("other.bmp", test::EncodeImage(ImageKind::BMP24, colour));
  AddFile("mask.png", test::EncodeImage(ImageKind::PNG24, mask));
  AddFile("small.bmp", test::EncodeImage(ImageKind::BMP24, test::Gradient(2, 2)));
  AddFile("third.bmp", test::EncodeImage(ImageKind::BMP24, colour));
  for (const char* name : {"colour.bmp", "mask.png", "other.bmp", "third.bmp", "small.bmp", "absent.bmp"})
    cache.AddReference(name);
  AddSurface({"colour.bmp", "mask.png"});
  AddSurface({"other.bmp", "mask.png"});    // the same mask cuts out another surface too
  AddSurface({"third.bmp", "small.bmp"});   // sizes differ
  AddSurface({"third.bmp", "absent.bmp"});  // no mask image
  AddSurface({"absent.bmp", "third.bmp"});  // no colour image
  AddSurface({"third.bmp", "unpooled"});    // no mask entry
  cache.AddScene(&scene);
  cache.Load(&vfs);

  const TextureEntry& colourEntry = *cache.entries[0];
  const TextureEntry& maskEntry = *cache.entries[1];
  int width = 0, height = 0;
  EXPECT_EQ(Texels(colourEntry.glName, 0, &width, &height), Expected(colour, &mask));
  EXPECT_EQ(Texels(cache.entries[2]->glName, 0, &width, &height), Expected(colour, &mask));
  EXPECT_EQ(Texels(cache.entries[3]->glName, 0, &width, &height), Expected(colour));
  EXPECT_EQ(Texels(maskEntry.glName, 0, &width, &height), Expected(mask));  // keeps its own upload
  EXPECT_TRUE(colourEntry.combined && maskEntry.combined && cache.entries[2]->combined);
  EXPECT_FALSE(cache.entries[3]->combined || cache.entries[4]->combined);

  const std::vector<std::string> lines = Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(),
                       "[ 01 ] - TEXCACHE(CombineAlpha) - Alpha texture \"small.bmp\" (2x2) and texture "
                       "\"third.bmp\" (2x4) differ in size, not merged"),
            1);
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

}  // namespace
