// Decoding without OpenGL: what each accepted format turns into, what is refused and how, and
// the stream that keeps every decoder inside the file's bytes.
#include "textures/TextureFixture.h"

#include <FreeImage.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace {

using test::ImageKind;

class TextureLoaderTest : public TextureFixture {
 protected:
  // Decodes bytes as the file name; the entry is named like the file.
  bool Decode(const std::vector<uint8_t>& bytes, TextureEntry& entry, const std::string& name = "tex") {
    entry.name = name;
    auto file = File(name, bytes);
    return TextureLoader::Decode(&entry, file.get());
  }

  // Every pixel of entry against picture, within tolerance per channel.
  static void ExpectPixels(const TextureEntry& entry, const test::Picture& picture, int tolerance) {
    ASSERT_EQ(entry.width, int32_t(picture.width));
    ASSERT_EQ(entry.height, int32_t(picture.height));
    ASSERT_EQ(entry.pitch, (picture.width * 3 + 3) & ~3u);
    int worst = 0;
    for (uint32_t y = 0; y < picture.height; ++y) {
      for (uint32_t x = 0; x < picture.width; ++x) {
        const uint8_t* bgr = Bgr(entry, int(x), int(y));
        const uint8_t* rgb = picture.At(x, y);
        for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(int(bgr[2 - c]) - int(rgb[c])));
      }
    }
    EXPECT_LE(worst, tolerance);
  }
};

TEST_F(TextureLoaderTest, EveryAcceptedFormatBecomesBottomUpBgrRows) {
  // 13 pixels make 39 bytes a row, padded to 40: a decoder or walk that ignores the padding
  // shears the picture.
  const test::Picture gradient = test::Gradient(13, 7);
  const test::Picture quadrants = test::Quadrants(16, 8);
  struct Case {
    ImageKind kind;
    const test::Picture& picture;
    int tolerance;
    const char* name;
  };
  test::Picture grey = gradient, dim = gradient;  // dim keeps its range of greys, 0 to 127
  for (size_t i = 0; i < grey.rgb.size(); i += 3) grey.rgb[i] = grey.rgb[i + 2] = grey.rgb[i + 1];
  for (size_t i = 0; i < dim.rgb.size(); ++i) dim.rgb[i] = grey.rgb[i] / 2;
  const Case cases[] = {
      {ImageKind::BMP24, gradient, 0, "a.bmp"},
      {ImageKind::BMP24_TOP_DOWN, gradient, 0, "top-down.bmp"},  // negative height in the file
      {ImageKind::BMP8, quadrants, 0, "palette.bmp"},
      {ImageKind::PNG24, gradient, 0, "png-named.bmp"},  // content decides, not the name
      {ImageKind::PNG32, gradient, 0, "alpha.png"},
      {ImageKind::PNG8_GREY, grey, 0, "grey.png"},
      {ImageKind::PNG16_GREY, dim, 0, "grey16.png"},
      {ImageKind::PNG48, gradient, 0, "rgb16.png"},
      {ImageKind::PNG64, gradient, 0, "rgba16.png"},
      {ImageKind::PCX24, gradient, 0, "a.pcx"},
      {ImageKind::PCX8, quadrants, 0, "palette.pcx"},
      {ImageKind::JPEG, quadrants, 32, "a.jpg"},  // lossy: rings at the edges,
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TextureEntry entry;
    ASSERT_TRUE(Decode(test::EncodeImage(c.kind, c.picture), entry, c.name));
    ASSERT_NE(entry.image, nullptr);
    ExpectPixels(entry, c.picture, c.tolerance);
  }
  TextureEntry widest;
  EXPECT_TRUE(Decode(test::EncodeImage(ImageKind::PNG8_GREY, test::Quadrants(16384, 1)), widest));
  EXPECT_TRUE(Lines().empty());  // a good file is decoded in silence
}

TEST_F(TextureLoaderTest, OtherFormatsAndBrokenFilesLogOneLineAndNothingElse) {
  const test::Picture picture = test::Quadrants(40, 30);
  std::vector<std::pair<std::string, std::vector<uint8_t>>> files = {
      {"a.tif", test::EncodeImage(ImageKind::TIFF, picture)},
      {"a.ppm", test::EncodeImage(ImageKind::PPM, picture)},
      {"empty.png", {}},
      {"text.bmp", std::vector<uint8_t>({'h', 'e', 'l', 'l', 'o'})},
      {"a.gif", std::vector<uint8_t>({'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, ';'})},
  };
  // Each accepted format cut short, inside its header and inside its pixels.
  for (ImageKind kind : {ImageKind::BMP24, ImageKind::BMP8, ImageKind::PNG24, ImageKind::JPEG, ImageKind::PCX24,
                         ImageKind::PCX8}) {
    const std::vector<uint8_t> whole = test::EncodeImage(kind, picture);
    for (size_t keep : {size_t(20), whole.size() / 2, whole.size() - 1}) {
      std::vector<uint8_t> cut(whole.begin(), whole.begin() + std::ptrdiff_t(keep));
      files.push_back({"cut-" + std::to_string(int(kind)) + "-" + std::to_string(keep), cut});
    }
  }
  // Damaged rather than short: a PNG whose pixel data fails its checksum, a JPEG whose frame
  // header announces no components.
  std::vector<uint8_t> png = test::EncodeImage(ImageKind::PNG24, picture);
  png[png.size() - 20] ^= 0x55;
  files.push_back({"crc.png", png});
  std::vector<uint8_t> jpeg = test::EncodeImage(ImageKind::JPEG, picture);
  for (size_t i = 2; i + 9 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
      jpeg[i + 9] = 0;  // component count of the baseline frame
      break;
    }
  }
  files.push_back({"frame.jpg", jpeg});
  // A PCX whose rows are narrower than its width: the library would read past its row buffer.
  std::vector<uint8_t> narrow = test::EncodeImage(ImageKind::PCX24, picture);
  narrow[66] = 4;
  narrow[67] = 0;
  files.push_back({"narrow.pcx", narrow});
  // Whole and valid, but wider than any texture can be.
  files.push_back({"wide.png", test::EncodeImage(ImageKind::PNG8_GREY, test::Quadrants(16385, 1))});

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
  EXPECT_EQ(Lines(), expected);
  EXPECT_TRUE(boxes.messages.empty());
}

TEST_F(TextureLoaderTest, JpegMetadataIsLeftOutOfTheDecode) {
  const test::Picture picture = test::Quadrants(16, 8);
  const std::vector<uint8_t> plain = test::EncodeImage(ImageKind::JPEG, picture);
  // Stray bytes (the decoder passes over them), an Exif directory claiming 65535 entries in a
  // segment of a few bytes, an IPTC segment, a comment, and a fill byte before the frame's own
  // markers.
  auto segment = [](uint8_t marker, std::vector<uint8_t> payload) {
    std::vector<uint8_t> bytes = {0xFF, marker, uint8_t((payload.size() + 2) >> 8), uint8_t(payload.size() + 2)};
    bytes.insert(bytes.end(), payload.begin(), payload.end());
    return bytes;
  };
  std::vector<uint8_t> tagged(plain.begin(), plain.begin() + 2);
  for (const std::vector<uint8_t>& extra :
       {std::vector<uint8_t>{0x12, 0xFF, 0x00, 0x34},
        segment(0xE1, {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', '*', 0, 8, 0, 0, 0, 0xFF, 0xFF}),
        segment(0xED, {'P', 'h', 'o', 't', 'o', 's', 'h', 'o', 'p', ' ', '3', '.', '0', 0, '8', 'B', 'I', 'M'}),
        segment(0xFE, {'h', 'i'}), std::vector<uint8_t>{0xFF}})
    tagged.insert(tagged.end(), extra.begin(), extra.end());
  tagged.insert(tagged.end(), plain.begin() + 2, plain.end());

  TextureEntry expected, entry;
  ASSERT_TRUE(Decode(plain, expected));
  ASSERT_TRUE(Decode(tagged, entry));
  ASSERT_TRUE(entry.width == expected.width && entry.height == expected.height);
  EXPECT_TRUE(std::equal(entry.pixels, entry.pixels + size_t(entry.pitch) * entry.height, expected.pixels));
  // The library never saw the segments: it keeps what it parses as metadata of the bitmap.
  FIBITMAP* bitmap = reinterpret_cast<FIBITMAP*>(entry.image.get());
  EXPECT_EQ(FreeImage_GetMetadataCount(FIMD_COMMENTS, bitmap), 0u);
  EXPECT_EQ(FreeImage_GetMetadataCount(FIMD_EXIF_MAIN, bitmap), 0u);

  // A metadata segment that runs past the end of the file is a cut file like any other.
  std::vector<uint8_t> cut(tagged.begin(), tagged.begin() + 12);
  EXPECT_FALSE(Decode(cut, entry, "cut.jpg"));
  EXPECT_EQ(Lines(), std::vector<std::string>{LoadError("cut.jpg")});
}

TEST(ImageStream, ReadsNeverPassTheEndOfTheFile) {
  // The record says 10 bytes; the zeros behind them are a datafile member's tail.
  VfsFile file;
  file.data = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 0};
  file.size = 10;
  ImageStream stream(file);
  EXPECT_EQ(stream.size, 10u);

  uint8_t buffer[128];
  std::fill(std::begin(buffer), std::end(buffer), 0xEE);
  EXPECT_EQ(stream.Read(buffer, 4, 2), 2u);
  EXPECT_EQ(stream.Tell(), 8);
  EXPECT_FALSE(stream.overran);
  // Two bytes left: no whole item of four, nothing copied, and the short record is noted.
  EXPECT_EQ(stream.Read(buffer + 8, 4, 1), 0u);
  EXPECT_EQ(buffer[8], 0xEE);
  EXPECT_TRUE(stream.overran);

  // Byte reads that ask for more than is left are how buffered decoders read a file's end; what
  // the file can't fill is zeroed, so a decoder that doesn't look at the count reads no stale data.
  stream.overran = false;
  EXPECT_EQ(stream.Read(buffer + 8, 1, 100), 2u);
  EXPECT_TRUE(buffer[9] == 9 && buffer[10] == 0 && buffer[107] == 0 && buffer[108] == 0xEE);
  EXPECT_FALSE(stream.overran);
  EXPECT_EQ(stream.Read(buffer, 1, 1), 0u);  // nothing left at all
  EXPECT_TRUE(stream.overran);

  // An item count whose byte count overflows 32 bits still stops at the end.
  EXPECT_EQ(stream.Seek(0, SEEK_SET), 0);
  EXPECT_EQ(stream.Read(buffer, 0x10000, 0x10001), 0u);
  EXPECT_EQ(stream.Read(buffer, 5, 0x40000000), 2u);

  EXPECT_TRUE(stream.Seek(-3, SEEK_END) == 0 && stream.Tell() == 7);
  EXPECT_TRUE(stream.Seek(2, SEEK_CUR) == 0 && stream.Tell() == 9);
  EXPECT_TRUE(stream.Seek(-20, SEEK_CUR) == -1 && stream.Tell() == 9);  // before the start: refused, position kept
  EXPECT_EQ(stream.Seek(1000, SEEK_SET), 0);  // past the end is a place reads find empty
  EXPECT_EQ(stream.Read(buffer, 1, 4), 0u);

  // A record whose bytes were never read in holds nothing to decode.
  VfsFile unread;
  unread.size = 500;
  EXPECT_EQ(ImageStream(unread).size, 0u);
}

}  // namespace
