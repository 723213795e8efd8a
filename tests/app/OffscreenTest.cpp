// zivi3 --frame and --capture on a grey square crossing the view from x = -1 at frame 0 to x = 1 at frame 60.
#include "app/Offscreen.h"

#include "ProgramRun.h"
#include "platform/Platform.h"
#include "support/SceneText.h"
#include "support/TestSupport.h"
#include "support/TinyAudio.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <algorithm>
#include <filesystem>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr uint32_t WIDTH = 160, HEIGHT = 120;

// A video file read back: its streams' codecs, its pictures (decoded for FFV1 only) and sound.
struct Media {
  std::vector<AVCodecID> codecs;
  uint64_t pictures = 0;
  double videoSeconds = 0, audioSeconds = 0;  // from the first picture's start to the last one's end; decoded sound
  double clickSeconds = -1;                   // the first sample of channel 0 above 0.2
  std::vector<std::vector<uint8_t>> rgb;
};

Media ReadMedia(const std::string& path) {
  Media media;
  AVFormatContext* format = nullptr;
  if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return media;
  avformat_find_stream_info(format, nullptr);
  std::vector<AVCodecContext*> decoders;
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    media.codecs.push_back(format->streams[i]->codecpar->codec_id);
    decoders.push_back(avcodec_alloc_context3(avcodec_find_decoder(media.codecs[i])));
    avcodec_parameters_to_context(decoders[i], format->streams[i]->codecpar);
    avcodec_open2(decoders[i], decoders[i]->codec, nullptr);
  }
  double start = 1e9, end = 0;
  uint64_t samples = 0;
  AVPacket* packet = av_packet_alloc();
  AVFrame* frame = av_frame_alloc();
  auto receive = [&](AVCodecContext* decoder) {
    while (avcodec_receive_frame(decoder, frame) == 0) {
      if (decoder->codec_id == AV_CODEC_ID_FFV1) media.rgb.emplace_back();
      for (int i = 0; decoder->codec_id == AV_CODEC_ID_FFV1 && i < frame->width * frame->height; ++i) {
        const uint8_t* pixel = frame->data[0] + i / frame->width * frame->linesize[0] + 4 * (i % frame->width);
        media.rgb.back().insert(media.rgb.back().end(), {pixel[2], pixel[1], pixel[0]});  // from B, G, R, unused
      }
      // Channel 0 of 16-bit (FLAC), float interleaved or float planar sound.
      const int step = av_sample_fmt_is_planar(AVSampleFormat(frame->format)) ? 1 : 2;
      for (int n = 0; decoder->codec_type == AVMEDIA_TYPE_AUDIO && n < frame->nb_samples; ++n, ++samples) {
        const float value = frame->format == AV_SAMPLE_FMT_S16 ? reinterpret_cast<int16_t*>(frame->data[0])[step * n] / 32768.0f
                                                               : reinterpret_cast<float*>(frame->data[0])[step * n];
        if (media.clickSeconds < 0 && value > 0.2f) media.clickSeconds = double(samples) / decoder->sample_rate;
      }
      if (decoder->codec_type == AVMEDIA_TYPE_AUDIO) media.audioSeconds = double(samples) / decoder->sample_rate;
    }
  };
  while (av_read_frame(format, packet) >= 0) {
    const AVStream* stream = format->streams[packet->stream_index];
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
      ++media.pictures;
      start = std::min(start, packet->pts * av_q2d(stream->time_base));
      end = std::max(end, (packet->pts + packet->duration) * av_q2d(stream->time_base));
    }
    if (avcodec_send_packet(decoders[packet->stream_index], packet) >= 0) receive(decoders[packet->stream_index]);
    av_packet_unref(packet);
  }
  for (AVCodecContext*& decoder : decoders) {
    avcodec_send_packet(decoder, nullptr);
    receive(decoder);
    avcodec_free_context(&decoder);
  }
  media.videoSeconds = end - start;
  av_frame_free(&frame);
  av_packet_free(&packet);
  avformat_close_input(&format);
  return media;
}

class OffscreenRun : public ::testing::Test {
 protected:
  void SetUp() override {
    test::WriteSlidingSquare(dir.Path().string(), 0.5f, 1, 60);
    options.input = dir / "scene.lws";
    options.settings.width = WIDTH;
    options.settings.height = HEIGHT;
    options.glDevice = platform::GL_DEVICE_SOFTWARE;
  }

  test::ProgramRun Frame(float time, const std::string& out) {
    options.mode = MODE_FRAME;
    options.frame = time;
    options.outPath = dir / out;
    return test::Captured([&](std::FILE* out, std::FILE* err) { return RunFrame(options, out, err); });
  }
  // A capture into path in dir, from frame from and to frame to where they are 0 or more.
  test::ProgramRun Capture(const std::string& path, double fps, float from = -1, float to = -1) {
    options.mode = MODE_CAPTURE;
    options.captureDirectory = dir / path;
    options.captureFps = fps;
    options.fromGiven = from >= 0;
    options.from = from;
    options.toGiven = to >= 0;
    options.to = to;
    return test::Captured([&](std::FILE* out, std::FILE* err) { return RunCapture(options, out, err); });
  }

  // The picture at path, its colours, and the centre of its pixels that aren't black.
  struct Picture {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgb;
    std::set<uint32_t> colours;  // as 0xRRGGBB
    float centreX = -1;
    uint32_t top = 0, bottom = 0;  // first and last row with something drawn
  };
  static Picture Read(const std::string& path) {
    Picture picture;
    EXPECT_TRUE(platform::ReadPng(path.c_str(), &picture.width, &picture.height, &picture.rgb)) << path;
    double sum = 0;
    uint32_t count = 0;
    picture.top = picture.height;
    for (uint32_t y = 0; y < picture.height; ++y)
      for (uint32_t x = 0; x < picture.width; ++x) {
        const uint8_t* p = &picture.rgb[(size_t(y) * picture.width + x) * 3];
        const uint32_t colour = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        picture.colours.insert(colour);
        if (colour == 0) continue;
        sum += x + 0.5;
        ++count;
        picture.top = std::min(picture.top, y);
        picture.bottom = y;
      }
    if (count) picture.centreX = float(sum / count);
    return picture;
  }
  // Picture k of the capture folder in dir.
  Picture Shot(const std::string& folder, uint64_t k) { return Read(CaptureFramePath(dir / folder, k)); }

  test::TempDir dir;
  test::MessageCapture boxes;
  RunOptions options;
};

TEST_F(OffscreenRun, FrameWritesTheSceneAtItsTimeSizeAndSamplesThroughGlvnd) {
  test::ProgramRun run = Frame(30, "middle.png");  // the square is in the middle
  ASSERT_TRUE(run.code == 0 && run.out.find("160x120") != std::string::npos) << run.out << run.err;
  const Picture middle = Read(dir / "middle.png");
  EXPECT_TRUE(middle.width == WIDTH && middle.height == HEIGHT);
  EXPECT_NEAR(middle.centreX, WIDTH / 2.0f, 0.5f);
  // The widescreen band (on by default) keeps the square within its 90 rows.
  EXPECT_TRUE(middle.top >= 15u && middle.bottom <= 104u) << middle.top << " " << middle.bottom;
  // GL through GLVND only, never OSMesa; the program itself draws the same picture.
  const std::string maps = test::ReadText("/proc/self/maps");
  EXPECT_TRUE(maps.find("libOpenGL.so") != std::string::npos && maps.find("OSMesa") == std::string::npos);
  ASSERT_EQ(test::Shell("cd " + test::Quote(dir.Path().string()) + " && " ZIVI3_BINARY_DIR "/zivi3 --frame 30 --out f.png "
                        "--width 160 --height 120 --gl-device software --no-sound scene.lws").code, 0);
  EXPECT_EQ(Read(dir / "f.png").rgb, middle.rgb);

  // The square's edges fall inside pixels at frame 17: blended only when samples are asked for.
  for (uint32_t samples : {1u, 4u}) {
    options.settings.samples = samples;
    EXPECT_EQ(Frame(17, "aa.png").code, 0);
    const size_t colours = Read(dir / "aa.png").colours.size();  // black and the square's grey, and blends
    EXPECT_TRUE(samples == 1 ? colours == 2 : colours > 2) << samples << ": " << colours;
  }

  // Each failure says why on err, with its exit code, instead of drawing less or elsewhere.
  const int software = platform::GL_DEVICE_SOFTWARE;
  for (auto [samples, device, out, why] : {std::tuple{64u, software, "x.png", "samples per pixel"},
                                           {1u, 999, "x.png", "no EGL device 999"},
                                           {1u, software, "no/such/folder/x.png", "could not write"}}) {
    options.settings.samples = samples;
    options.glDevice = device;
    run = Frame(17, out);
    EXPECT_TRUE(run.code == EXIT_OUTPUT_FAILED && run.err.find(why) != std::string::npos) << run.err;
  }
  options.input = dir / "missing.lws";
  EXPECT_EQ(Frame(17, "x.png").code, EXIT_SCENE_FAILED);
}

TEST_F(OffscreenRun, CapturesFollowThePlayersClock) {
  // Picture k at N a second shows what the player shows k / N s in: k × 1000 / (33 × N) frames.
  for (auto [fps, picture, time] : {std::tuple{25.0, 33u, 40.0}, {30.0, 99u, 100.0}, {60.0, 198u, 100.0}}) {
    EXPECT_DOUBLE_EQ(CapturePictureTime(picture, fps, 33), time);
    EXPECT_EQ(CapturePictureAt(time, fps, 33), picture);
    EXPECT_EQ(CapturePictureAt(time + 0.01, fps, 33), picture + 1);
    EXPECT_EQ(CapturePicturesUpTo(time, fps, 33), picture + 1);
  }
  EXPECT_EQ(CaptureSoundStart(33, 44100, 25), 58212u);

  // Ten pictures a second to frame 63, past the last frame (60): k × 3.03 frames for k = 0-20; past 60 it loops.
  test::ProgramRun run = Capture("frames", 10, -1, 63);
  ASSERT_TRUE(run.code == 0 && run.out.find("21 pictures") != std::string::npos) << run.out << run.err;
  EXPECT_FALSE(std::filesystem::exists(CaptureFramePath(dir / "frames", 21)));
  EXPECT_EQ(Shot("frames", 20).rgb, Shot("frames", 0).rgb);

  // Picture 10 is the picture --frame makes at its time.
  ASSERT_EQ(Frame(float(CapturePictureTime(10, 10, 33)), "frame10.png").code, 0);
  EXPECT_EQ(Shot("frames", 10).rgb, Read(dir / "frame10.png").rgb);

  // A range of its own, and one that would never end.
  ASSERT_EQ(Capture("part", 30, 30, 33).code, 0);  // 30.3, 31.3 and 32.3
  EXPECT_TRUE(std::filesystem::exists(CaptureFramePath(dir / "part", 2)) &&
              !std::filesystem::exists(CaptureFramePath(dir / "part", 3)));
  EXPECT_EQ(Capture("part", 30, 30, 1e9f).code, EXIT_USAGE);

  // A file that can't grow any more mid-capture (a full disk) ends the capture with 1 and says which.
  const test::ShellRun full = test::Shell("cd " + test::Quote(dir.Path().string()) + " && trap '' XFSZ && ulimit -f 64 && "
                                          "timeout 60 " ZIVI3_BINARY_DIR "/zivi3 --capture full/ --width 160 --height 120 "
                                          "--gl-device software scene.lws 2>&1");
  EXPECT_TRUE(full.code == EXIT_OUTPUT_FAILED && full.out.find("could not write") != std::string::npos) << full.out;
}

// The sliding square with a soundtrack and a cut: a click, 2 s at half of full scale, once scale Y of its null comes
// down to -1 at frame 40; from frame 20 on the view of a second camera, half a unit higher; and for the pictures, the
// tune from the first frame. Captured whole as pictures, from picture 45 on, and into each kind of video file.
TEST_F(OffscreenRun, CapturesFromLaterAndVideoFilesHoldTheSamePicturesAndSound) {
  test::WriteBytes(dir / "tune.mod", test::MakeTinyMod());
  test::WriteBytes(dir / "click.wav", test::MakeConstantWav(88200, 16384, 44100));
  auto null = [](const std::string& line, int channel, float value0, float value1, float frame1) {
    std::string text = "AddNullObject " + line + "\nObjectMotion\nNumChannels 9\n";
    for (int c = 0; c < 9; ++c)
      text += c == channel ? test::LwsChannel(c, value0, value1, frame1 / 30) : test::LwsChannel(c, c < 6 ? 0 : 2);
    return text;
  };
  std::string scene = test::ReadText(dir / "scene.lws");
  scene += null("ACTSFX click.wav", 7, 1, -1, 40) + null("ACTCAM", 6, 1, 2, 20);
  scene += "AddCamera\nCameraName High\nCameraMotion\nNumChannels 6\n";
  for (int c = 0; c < 6; ++c) scene += test::LwsChannel(c, c == 1 ? 0.5f : 0);
  test::WriteText(dir / "scene.lws", scene + null("ACTMOD tune.mod 0 0 0", 6, 1, 0, 0));

  options.settings.stereoSeparation = 0;  // the tune, panned hard to one side, comes out in the middle
  ASSERT_EQ(Capture("whole", 30).code, 0);
  test::ProgramRun run = Capture("later", 30, 45);  // picture 45 on, past the click and the cut
  ASSERT_TRUE(run.code == 0 && run.out.find("15 pictures") != std::string::npos) << run.out << run.err;
  for (uint64_t k = 45; k < 60; ++k) EXPECT_EQ(Shot("later", k - 45).rgb, Shot("whole", k).rgb) << k;
  // The cut to the higher camera shows: the square lower in the picture.
  EXPECT_GT(Shot("whole", 30).top, Shot("whole", 10).top);

  // The music plays on and the click sounds on in the later capture, sample for sample.
  const std::vector<int16_t> all = test::WavSamples(test::ReadBytes(dir / "whole/audio.wav"));
  const std::vector<int16_t> part = test::WavSamples(test::ReadBytes(dir / "later/audio.wav"));
  const size_t skipped = 2 * CaptureSoundStart(45, 44100, 30);
  ASSERT_EQ(all.size(), skipped + part.size());
  EXPECT_TRUE(std::equal(part.begin(), part.end(), all.begin() + ptrdiff_t(skipped)));
  EXPECT_GT(*std::max_element(all.begin(), all.begin() + 4410), 1000);  // music before the click
  for (size_t i = 0; i < all.size(); i += 2) ASSERT_EQ(all[i], all[i + 1]) << "sample " << i / 2;

  // 60 pictures (2 s) in each video file; the click comes, alone, with picture 40, the first at frame 40 or later
  // (40.4), to within what the lossy codecs blur of its edge.
  test::WriteText(dir / "scene.lws", scene);
  for (auto [name, video, audio, clickTolerance] : {std::tuple{"v.mkv", AV_CODEC_ID_FFV1, AV_CODEC_ID_FLAC, 0.0},
                                                    {"v.mp4", AV_CODEC_ID_H264, AV_CODEC_ID_AAC, 0.01},
                                                    {"v.webm", AV_CODEC_ID_VP9, AV_CODEC_ID_OPUS, 0.01}}) {
    options.lossless = video == AV_CODEC_ID_FFV1;
    run = Capture(name, 30);
    ASSERT_EQ(run.code, 0) << name << run.err;
    const Media media = ReadMedia(dir / name);
    EXPECT_EQ(std::tuple(media.codecs, media.pictures), std::tuple(std::vector<AVCodecID>{video, audio}, 60u)) << name;
    EXPECT_NEAR(media.videoSeconds, 2.0, 0.04) << name;
    EXPECT_NEAR(media.audioSeconds, media.videoSeconds, 0.04) << name;
    EXPECT_NEAR(media.clickSeconds, 40 / 30.0, clickTolerance + 1e-9) << name;
    // Lossless: every picture as the PNG capture has it.
    EXPECT_EQ(media.rgb.size(), options.lossless ? 60u : 0u);
    for (size_t k = 0; k < media.rgb.size(); ++k) EXPECT_EQ(media.rgb[k], Shot("whole", k).rgb) << k;
  }

  options.settings.width = 161;  // lossy, as the last file was
  run = Capture("odd.mp4", 30);
  EXPECT_TRUE(run.code == EXIT_OUTPUT_FAILED && run.err.find("even width and height") != std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "odd.mp4"));
}

TEST_F(OffscreenRun, TexturesOfTheSceneAreLoadedAndBound) {
  SKIP_WITHOUT_CORPUS();
  // A real textured cube, turned to show three faces; without its image it looks different.
  const std::filesystem::path objects = std::filesystem::path(test::CorpusDir()) / "lightwave" / "objects";
  for (const char* name : {"boxuv.lwo", "boxuv.png"}) std::filesystem::copy_file(objects / name, dir.Path() / name);
  std::string scene = "LWSC\n3\n\nPreviewLastFrame 10\nLoadObjectLayer 1 boxuv.lwo\n";
  const float channels[9] = {0, 0, 4, 0.6f, 0.4f, 0, 1, 1, 1};
  for (int c = 0; c < 9; ++c) scene += test::LwsChannel(c, channels[c]);
  test::WriteText(dir / "scene.lws", scene + "AddCamera\n");
  options.settings.triangulate = true;
  for (const char* name : {"textured.png", "plain.png"}) {
    ASSERT_EQ(Frame(0, name).code, 0) << name;
    std::filesystem::remove(dir.Path() / "boxuv.png");
  }
  const Picture textured = Read(dir / "textured.png"), plain = Read(dir / "plain.png");
  EXPECT_TRUE(textured.centreX > 0 && textured.rgb != plain.rgb);
}

}  // namespace
