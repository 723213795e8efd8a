// Captures into files: one video file with its sound through FFmpeg's libraries, or PNG pictures
// for a capture folder. Pictures come as width × height RGB triplets, top row first; sound as
// interleaved stereo floats (-1..1).
//
//   FILE.mp4               H.264 (yuv420p) + AAC
//   FILE.webm              VP9 (yuv420p) + Opus (at 48 kHz: Opus has no 44.1 kHz)
//   FILE.mkv               H.264 (yuv420p) + AAC; with lossless, FFV1 (RGB) + FLAC (16 bits)
//
// Nothing here draws, mixes or plays: the encoders and muxers only, on whichever thread calls.
// A VideoFile is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace video {

enum Container : uint8_t { CONTAINER_NONE, CONTAINER_MP4, CONTAINER_WEBM, CONTAINER_MKV };

// The container a file name asks for by its extension, compared without regard to case;
// CONTAINER_NONE for any other name (a capture folder).
Container ContainerOf(const std::string& path);

struct VideoSettings {
  std::string path;
  uint32_t width = 0, height = 0;
  double fps = 30;          // pictures a second
  uint32_t sampleRate = 0;  // of the sound handed in; 0: a file without sound
  bool lossless = false;    // FFV1 + FLAC, Matroska only
};

class VideoFile {
 public:
  VideoFile();
  ~VideoFile();  // an open file is finished as Close would
  VideoFile(const VideoFile&) = delete;
  VideoFile& operator=(const VideoFile&) = delete;

  // Creates the file with its streams. False with a one-line reason: a name that isn't .mp4,
  // .webm or .mkv, lossless outside Matroska, an encoder this FFmpeg lacks, a size the codec
  // refuses (H.264 wants an even width and height), or a file that can't be written.
  bool Open(const VideoSettings& settings, std::string* why);
  // The next picture; picture k is shown from k / fps seconds on.
  bool AddPicture(const uint8_t* rgb);
  // The next frames of sound, right after the sound handed in before.
  bool AddSound(const float* interleavedStereo, uint32_t frames);
  // Why the last Open, AddPicture or AddSound failed.
  const std::string& Error() const { return error; }
  // Drains the encoders and finishes the file. False with why when something could not be
  // written (also for an earlier Add that failed). Safe to repeat.
  bool Close(std::string* why);
  // "H.264 + AAC", ..., for reports: what the last file opened was written with.
  std::string Codecs() const;

 private:
  bool Refuse();  // keeps why the call failed in error; false

  struct State;
  std::unique_ptr<State> state;
  std::string error;
  std::string codecWords;
};

// An 8-bit RGB PNG, made for speed: rows filtered with "sub" and deflated at libdeflate's
// fastest level, about nine times quicker than a default-level PNG writer and 8 % larger. False
// when the file can't be written.
bool WritePng(const char* path, uint32_t width, uint32_t height, const uint8_t* rgb);

}  // namespace video
