// Decoding each format, refusals and the stream under the decoders; the pool's binding and uploads.
#include "support/ImageWriter.h"
#include "support/TestSupport.h"
#include "scene/Scene.h"
#include "textures/Textures.h"
#include "vfs/Vfs.h"

#include <FreeImage.h>
#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace {

using test::ImageKind;

// A record as a mount leaves it: the bytes, then the zero tail the decoders must not take as content.
std::unique_ptr<VfsFile> File(const std::string& name, std::vector<uint8_t> bytes) {
  const uint32_t size = uint32_t(bytes.size());
  bytes.resize(size + VFS_TAIL_BYTES, 0);
  return std::make_unique<VfsFile>(VfsFile{name, bytes, size, 1});
}

std::string LoadError(const std::string& name) {
  return "[ 01 ] - TEXLDR(Load) - Error loading texture \"" + name + "\"!";
}

class TextureTest : public ::testing::Test {
 protected:
  bool Decode(const std::vector<uint8_t>& bytes, TextureEntry& entry, const std::string& name = "tex") {
    entry.name = name;
    return TextureLoader::Decode(&entry, File(name, bytes).get());
  }

  void ExpectDecodes(const std::vector<uint8_t>& bytes, const test::Picture& picture, int tolerance) {
    TextureEntry entry;
    ASSERT_TRUE(Decode(bytes, entry) && entry.image);
    ASSERT_TRUE(entry.width == int32_t(picture.width) && entry.height == int32_t(picture.height));
    int worst = 0;
    for (uint32_t y = 0; y < picture.height; ++y)
      for (uint32_t x = 0; x < picture.width; ++x)
        for (int c = 0; c < 3; ++c)
          worst = std::max(worst, std::abs(entry.pixels[(picture.height - 1 - y) * entry.pitch + x * 3 + 2 - c] -
                                           picture.At(x, y)[c]));
    EXPECT_LE(worst, tolerance);
    // What the library parses as metadata it keeps with the bitmap: it must never see any.
    FIBITMAP* bitmap = reinterpret_cast<FIBITMAP*>(entry.image.get());
    EXPECT_EQ(FreeImage_GetMetadataCount(FIMD_COMMENTS, bitmap) + FreeImage_GetMetadataCount(FIMD_EXIF_MAIN, bitmap),
              0u);
  }

  test::TempDir dir;
  test::MessageCapture boxes;
  test::LogFile log{dir / "ZIVI3.LOG"};
};

TEST_F(TextureTest, AcceptedFormatsBecomeBottomUpBgrRowsOthersAndBrokenFilesLogOneLine) {
  // Rows of 39 bytes, padded to 40; a 16-bit grey picture up to 127 keeps its range, not stretched.
  const test::Picture colour = test::Gradient(13, 7);
  test::Picture grey = colour, dim = colour;
  for (size_t i = 0; i < colour.rgb.size(); ++i) {
    grey.rgb[i] = colour.rgb[i - i % 3 + 1];
    dim.rgb[i] = grey.rgb[i] / 2;
  }
  for (ImageKind kind : {ImageKind::BMP24, ImageKind::BMP8, ImageKind::PNG24, ImageKind::PNG32, ImageKind::PNG8_GREY,
                         ImageKind::PNG16_GREY, ImageKind::PNG48, ImageKind::PNG64, ImageKind::PCX24, ImageKind::PCX8,
                         ImageKind::JPEG}) {
    SCOPED_TRACE(int(kind));
    const test::Picture& picture = kind == ImageKind::PNG8_GREY ? grey : kind == ImageKind::PNG16_GREY ? dim : colour;
    ExpectDecodes(test::EncodeImage(kind, picture), picture, kind == ImageKind::JPEG ? 32 : 0);  // lossy: rings
  }
  // JPEG metadata, whose counts the library trusts, is left out: stray bytes, 65535 Exif entries, a comment, a fill.
  std::vector<uint8_t> tagged = test::EncodeImage(ImageKind::JPEG, colour);
  tagged.insert(tagged.begin() + 2, {0x12, 0xFF, 0x00, 0x34, 0xFF, 0xE1, 0, 18, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I',
                                     '*', 0, 8, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFE, 0, 4, 'h', 'i', 0xFF});
  ExpectDecodes(tagged, colour, 32);
  TextureEntry widest;
  EXPECT_TRUE(Decode(test::EncodeImage(ImageKind::PNG8_GREY, test::Gradient(16384, 1)), widest) &&
              Decode(test::EncodeImage(ImageKind::PNG8_GREY, test::Gradient(1, 16384)), widest));

  // Other formats and broken files log one line each and nothing else; good ones above logged nothing.
  std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
      {"a.ppm", {'P', '6', ' ', '1', ' ', '1', ' ', '2', '5', '5', '\n', 1, 2, 3}},  // the library reads it
      {"empty.png", {}},
      {"exif.jpg", {0xFF, 0xD8, 0xFF, 0xE1, 0, 18, 'E', 'x', 'i', 'f'}},  // a segment runs past the end
  };
  // Each accepted format cut short, inside its header and inside its pixels.
  for (ImageKind kind : {ImageKind::BMP24, ImageKind::BMP8, ImageKind::PNG24, ImageKind::JPEG, ImageKind::PCX24,
                         ImageKind::PCX8}) {
    const std::vector<uint8_t> whole = test::EncodeImage(kind, colour);
    for (size_t keep : {size_t(20), whole.size() / 2, whole.size() - 1})
      files.push_back({"cut-" + std::to_string(int(kind)) + "-" + std::to_string(keep),
                       std::vector<uint8_t>(whole.begin(), whole.begin() + std::ptrdiff_t(keep))});
  }
  // A PNG failing its checksum; a PCX narrower than its width (the library would overrun); too wide.
  std::vector<uint8_t> png = test::EncodeImage(ImageKind::PNG24, colour);
  png[png.size() - 20] ^= 0x55;
  std::vector<uint8_t> narrow = test::EncodeImage(ImageKind::PCX24, colour);
  narrow[66] = 4;  // bytes a row, for 13 pixels
  files.insert(files.end(), {{"crc.png", png}, {"narrow.pcx", narrow},
                             {"wide.png", test::EncodeImage(ImageKind::PNG8_GREY, test::Gradient(16385, 1))}});

  testing::internal::CaptureStderr();
  std::vector<std::string> expected;
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    TextureEntry entry;
    EXPECT_FALSE(Decode(bytes, entry, name));
    EXPECT_TRUE(entry.image == nullptr && entry.pixels == nullptr);
    expected.push_back(LoadError(name));
  }
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(log.Lines(), expected);
  EXPECT_TRUE(boxes.messages.empty());
}

TEST(ImageStream, ReadsNeverPassTheEndOfTheFile) {
  const auto file = File("ten", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  ImageStream stream(*file);
  std::vector<uint8_t> buffer(128, 0xEE);
  EXPECT_TRUE(stream.Read(buffer.data(), 4, 2) == 2u && stream.Tell() == 8 && !stream.overran);
  // Two bytes left: no whole item of four, nothing copied, and the short record is noted.
  EXPECT_TRUE(stream.Read(&buffer[8], 4, 1) == 0u && buffer[8] == 0xEE && stream.overran);
  // Buffered byte reads ask for more than is left: the rest is zeroed, and only nothing is short.
  stream.overran = false;
  EXPECT_TRUE(stream.Read(&buffer[8], 1, 100) == 2u && !stream.overran);
  EXPECT_TRUE(buffer[9] == 9 && buffer[10] == 0 && buffer[107] == 0 && buffer[108] == 0xEE);
  EXPECT_TRUE(stream.Read(buffer.data(), 1, 1) == 0u && stream.overran);
  // An item count whose byte count overflows 32 bits still stops at the end.
  EXPECT_EQ(stream.Seek(0, SEEK_SET), 0);
  EXPECT_TRUE(stream.Read(buffer.data(), 0x10000, 0x10001) == 0u && stream.Read(buffer.data(), 5, 0x40000000) == 2u);

  EXPECT_TRUE(stream.Seek(-3, SEEK_END) == 0 && stream.Tell() == 7);
  EXPECT_TRUE(stream.Seek(2, SEEK_CUR) == 0 && stream.Tell() == 9);
  EXPECT_TRUE(stream.Seek(-20, SEEK_CUR) == -1 && stream.Tell() == 9);  // before the start: refused, position kept
  EXPECT_TRUE(stream.Seek(1000, SEEK_SET) == 0 && stream.Read(buffer.data(), 1, 4) == 0);  // past the end: none
  EXPECT_EQ(ImageStream(VfsFile{"unread", {}, 500, 0}).size, 0u);  // a record never read in holds nothing
}

class TextureCacheTest : public TextureTest {
 protected:
  void SetUp() override { ASSERT_NE(context, nullptr); }
  void TearDown() override {
    cache.Free();
    platform::DestroyOffscreenContext(context);
  }

  void AddFiles(std::initializer_list<std::pair<const char*, test::Picture>> files) {
    for (const auto& [name, picture] : files) {
      vfs.files.push_back(File(name, test::EncodeImage(ImageKind::BMP24, picture)));
      cache.AddReference(name);
    }
  }

  // A surface whose layers name these images (a second one is the transparency).
  void AddSurface(std::initializer_list<const char*> images) {
    Surface* surface = scene.AddSurface();
    for (const char* image : images) {
      surface->layers[surface->layerCount] = std::make_unique<TextureLayer>();
      surface->layers[surface->layerCount++]->imageName = image;
    }
  }
  TextureLayer& Layer(size_t surface) { return *scene.surfaces[surface]->layers[0]; }

  // The entry's texture as RGBA bytes, rows from t = 0 up.
  static std::vector<uint8_t> Texels(const TextureEntry& entry) {
    std::vector<uint8_t> rgba(size_t(entry.width) * size_t(entry.height) * 4);
    glBindTexture(GL_TEXTURE_2D, entry.glName);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return rgba;
  }

  // The RGBA a picture should upload as: its bottom row first, opaque unless alpha says otherwise.
  static std::vector<uint8_t> Expected(const test::Picture& picture, const test::Picture* alpha = nullptr) {
    std::vector<uint8_t> rgba;
    for (uint32_t y = picture.height; y-- > 0;)
      for (uint32_t x = 0; x < picture.width; ++x) {
        const uint8_t* p = picture.At(x, y);
        const uint8_t* mask = alpha ? alpha->At(x, y) : nullptr;
        rgba.insert(rgba.end(), {p[0], p[1], p[2], uint8_t(mask ? (mask[0] + mask[1] + mask[2]) / 3 : 255)});
      }
    return rgba;
  }

  platform::OffscreenContext* context = platform::CreateOffscreenContext(16, 16, 32);
  Vfs vfs;
  Scene scene;
  TextureCache cache;
};

TEST_F(TextureCacheTest, PoolsEachNameOnceBindsLayersByPrefixGoesOnPastFailuresAndFreesOnce) {
  EXPECT_TRUE(cache.Load(&vfs) && log.Lines().empty() && cache.glNames.empty());  // no references: nothing done

  const test::Picture picture = test::Gradient(4, 4);
  AddFiles({{"Wood.png", picture}, {"rock.jpg.old", picture}, {"rock.jpg", picture}});
  vfs.files.push_back(File("broken.bmp", {'B', 'M'}));
  for (const char* name : {"wood.PNG", "missing.pcx", "broken.bmp", "WOOD.png", ""}) cache.AddReference(name);
  cache.AddReference(nullptr);  // like "", names no file
  for (const char* image : {"wood.png", "rock.jpg", "nothing.png", ""}) AddSurface({image});
  TextureEntry unrelated;
  Layer(3).texture = &unrelated;  // a layer without a name is left alone
  cache.AddScene(&scene);
  EXPECT_TRUE(cache.Load(&vfs));

  ASSERT_EQ(cache.entries.size(), 5u);  // named by the first spelling, as the log shows
  const std::string progress = "[ 03 ] - TEXCACHE(Load) - ", loading = progress + "Loading texture \"";
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                             progress + "Creating texture pool, sorting and loading textures...",
                             progress + "Optimized 7 texture references down to 5 texture load operations...",
                             loading + "Wood.png\"...", loading + "rock.jpg.old\"...", loading + "rock.jpg\"...",
                             loading + "missing.pcx\"...",
                             "[ 01 ] - TEXCACHE(Load) - Texture \"missing.pcx\" not found in current "
                             "path/datafile, trying to continue...",
                             loading + "broken.bmp\"...", LoadError("broken.bmp")}));
  // A case-blind match gives up its name; rock.jpg begins rock.jpg.old, the older entry.
  EXPECT_TRUE(Layer(0).texture == cache.entries[0].get() && Layer(0).imageName.empty());
  EXPECT_EQ(Layer(1).texture, cache.entries[1].get());
  EXPECT_TRUE(Layer(2).texture == nullptr && Layer(2).imageName == "nothing.png");
  EXPECT_EQ(Layer(3).texture, &unrelated);
  // One texture object per entry; decoded images are gone, the uploads stay.
  for (size_t i = 0; i < cache.entries.size(); ++i) {
    const TextureEntry& e = *cache.entries[i];
    EXPECT_TRUE(e.glName != 0u && e.glName == cache.glNames[i] && !e.image && !e.pixels) << i;
  }
  const uint32_t first = cache.glNames[0];
  cache.Free();
  EXPECT_EQ(glIsTexture(first), GL_FALSE);
  EXPECT_TRUE(cache.references.empty() && cache.scenes.empty() && cache.entries.empty() && cache.glNames.empty());
  cache.Free();  // the second call has nothing left to release
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(TextureCacheTest, SecondLayerBecomesTheFirstLayersAlphaOnEverySurface) {
  // Bitmap rows padded from 6 bytes to 8, merged ones not; sides of powers of two upload unscaled.
  const test::Picture colour = test::Gradient(2, 4);
  test::Picture mask = colour;  // its mean channels are fractions, truncated
  std::reverse(mask.rgb.begin(), mask.rgb.end());
  AddFiles({{"mask.png", mask}, {"colour.bmp", colour}, {"other.bmp", colour}, {"third.bmp", colour},
            {"small.bmp", test::Gradient(2, 2)}});
  cache.AddReference("absent.bmp");
  AddSurface({"colour.bmp", "mask.png"});
  AddSurface({"other.bmp", "mask.png"});    // the same mask cuts out another surface too
  AddSurface({"third.bmp", "small.bmp"});   // sizes differ
  AddSurface({"third.bmp", "absent.bmp"});  // no mask image
  AddSurface({"absent.bmp", "third.bmp"});  // no colour image
  AddSurface({"third.bmp", "unpooled"});    // no mask entry
  cache.AddScene(&scene);
  cache.Load(&vfs);

  // The mask keeps its own upload; the first three are marked combined.
  const std::vector<uint8_t> rgba[] = {Expected(mask), Expected(colour, &mask), Expected(colour, &mask),
                                       Expected(colour), Expected(test::Gradient(2, 2))};
  for (size_t i = 0; i < 5; ++i)
    EXPECT_EQ(std::pair(Texels(*cache.entries[i]), cache.entries[i]->combined != 0), std::pair(rgba[i], i < 3)) << i;
  EXPECT_TRUE(log.Has(1, "TEXCACHE(CombineAlpha) - Alpha texture \"small.bmp\" (2x2) and texture \"third.bmp\" "
                         "(2x4) differ in size, not merged"));
  EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

}  // namespace
