// zivi3 --capture: pictures at a fixed rate on the player's clock, with the sound the player
// would play meanwhile, into a folder of PNG files and a WAV file or into one video file. The
// render thread draws, reads back and mixes; a second thread compresses and writes, so the next
// picture renders while the last one is encoded.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <mutex>
#include <thread>
#include <unistd.h>

#include "app/Offscreen.h"
#include "sound/Sound.h"
#include "video/Video.h"

namespace {

// Pictures waiting for the output thread before the render thread waits in turn: one being
// encoded and one ready keep both threads busy, more would only hold memory.
constexpr size_t PICTURES_WAITING_MAX = 2;
// The progress line is rewritten at most this often.
constexpr auto PROGRESS_PERIOD = std::chrono::milliseconds(250);

// One picture and the sound that goes with it, numbered from 0 within this capture.
struct Piece {
  uint64_t index = 0;
  std::vector<uint8_t> rgb;
  std::vector<float> sound;  // interleaved stereo
};

// Where a capture goes: a folder of PNG pictures and audio.wav, or one video file. Written on
// the output thread only, after Open.
class CaptureFiles {
 public:
  bool Open(const RunOptions& options, uint32_t width, uint32_t height, uint32_t sampleRate, std::string* why) {
    const std::string& path = options.captureDirectory;
    toFile = video::ContainerOf(path) != video::CONTAINER_NONE;
    this->path = path;
    this->width = width;
    this->height = height;
    std::error_code error;
    const std::filesystem::path folder =
        toFile ? std::filesystem::path(path).parent_path() : std::filesystem::path(path);
    if (!folder.empty()) std::filesystem::create_directories(folder, error);
    if (!folder.empty() && !std::filesystem::is_directory(folder, error)) {
      *why = "can't make the folder " + folder.string();
      return false;
    }
    if (toFile) {
      video::VideoSettings settings;
      settings.path = path;
      settings.width = width;
      settings.height = height;
      settings.fps = options.captureFps;
      settings.sampleRate = sampleRate;
      settings.lossless = options.lossless;
      if (!video.Open(settings, why)) {
        *why = "can't make " + path + ": " + *why;
        return false;
      }
      return true;
    }
    wavPath = (folder / "audio.wav").string();
    if (sampleRate && !wav.Open(wavPath.c_str(), sampleRate)) {
      *why = "could not write " + wavPath;
      return false;
    }
    return true;
  }

  bool Write(const Piece& piece, std::string* why) {
    if (toFile) {
      if (video.AddPicture(piece.rgb.data()) &&
          (piece.sound.empty() || video.AddSound(piece.sound.data(), uint32_t(piece.sound.size() / 2))))
        return true;
      *why = "could not write " + path + ": " + video.Error();
      return false;
    }
    const std::string picture = CaptureFramePath(path, piece.index);
    if (!video::WritePng(picture.c_str(), width, height, piece.rgb.data())) {
      *why = "could not write " + picture;
      return false;
    }
    if (wav.IsOpen() && !wav.Append(piece.sound.data(), uint32_t(piece.sound.size() / 2))) {
      *why = "could not write " + wavPath;
      return false;
    }
    return true;
  }

  bool Close(std::string* why) {
    if (toFile) {
      if (!video.Close(why)) {
        *why = "could not finish " + path + ": " + *why;
        return false;
      }
      return true;
    }
    if (wav.IsOpen() && !wav.Close()) {
      *why = "could not write " + wavPath;
      return false;
    }
    return true;
  }

  // "21 pictures (frame_00000.png ...) and audio.wav" or "901 pictures, H.264 + AAC".
  std::string Describe(uint64_t count) const {
    const std::string pictures = std::to_string(count) + " pictures";
    if (toFile) return pictures + ", " + video.Codecs();
    return pictures + " (frame_00000.png ...)" + (wav.IsOpen() ? " and audio.wav" : "");
  }

 private:
  bool toFile = false;
  std::string path, wavPath;
  uint32_t width = 0, height = 0;
  video::VideoFile video;
  sound::WavWriter wav;
};

// Runs CaptureFiles::Write on a thread of its own, in the order the pieces are handed in.
class OutputThread {
 public:
  explicit OutputThread(CaptureFiles& files) : files(files), thread([this] { Loop(); }) {}
  ~OutputThread() { Finish(); }

  // Waits while PICTURES_WAITING_MAX pieces wait. Dropped once a write has failed.
  void Post(Piece&& piece) {
    std::unique_lock<std::mutex> lock(mutex);
    changed.wait(lock, [this] { return waiting.size() < PICTURES_WAITING_MAX || failed; });
    if (failed) return;
    waiting.push_back(std::move(piece));
    changed.notify_all();
  }
  bool Failed() {
    std::lock_guard<std::mutex> lock(mutex);
    return failed;
  }
  // Waits until every piece is written; false with why when one could not be.
  bool Finish(std::string* why = nullptr) {
    {
      std::lock_guard<std::mutex> lock(mutex);
      closing = true;
      changed.notify_all();
    }
    if (thread.joinable()) thread.join();
    if (failed && why) *why = failure;
    return !failed;
  }

 private:
  void Loop() {
    for (;;) {
      Piece piece;
      {
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [this] { return !waiting.empty() || closing; });
        if (waiting.empty()) return;
        piece = std::move(waiting.front());
        waiting.pop_front();
        changed.notify_all();
      }
      std::string why;
      if (files.Write(piece, &why)) continue;
      std::lock_guard<std::mutex> lock(mutex);
      failed = true;
      failure = why;
      waiting.clear();
      changed.notify_all();
      return;
    }
  }

  CaptureFiles& files;
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Piece> waiting;
  bool closing = false, failed = false;
  std::string failure;
  std::thread thread;  // last: starts once everything above exists
};

// "zivi3: picture 120 of 901, 61.2 pictures/s, 13 s left", rewritten in place.
class CaptureProgress {
 public:
  CaptureProgress(std::FILE* err, bool shown, uint64_t total) : err(err), shown(shown), total(total) {}

  void Done(uint64_t done) {
    if (!shown) return;
    const auto now = std::chrono::steady_clock::now();
    if (done < total && now - lastPrint < PROGRESS_PERIOD) return;
    lastPrint = now;
    const double seconds = std::chrono::duration<double>(now - start).count();
    const double rate = seconds > 0 ? double(done) / seconds : 0;
    std::fprintf(err, "\rzivi3: picture %llu of %llu, %.1f pictures/s", static_cast<unsigned long long>(done),
                 static_cast<unsigned long long>(total), rate);
    if (rate > 0 && done < total) std::fprintf(err, ", %.0f s left ", double(total - done) / rate);
    std::fflush(err);
    printed = true;
  }
  // Ends the line, so what follows starts on a line of its own.
  void End() {
    if (printed) std::fputc('\n', err);
    printed = false;
  }

 private:
  std::FILE* err;
  bool shown;
  uint64_t total;
  bool printed = false;
  const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point lastPrint{};
};

}  // namespace

int RunCapture(const RunOptions& options, std::FILE* out, std::FILE* err) {
  const auto started = std::chrono::steady_clock::now();
  const uint32_t sampleRate = options.settings.sampleRate;
  OffscreenSound sound(options.settings);
  OffscreenScene scene;
  int exitCode = 0;
  if (!scene.Open(options, err, &exitCode)) return exitCode;

  const double fps = options.captureFps;
  const uint32_t msPerFrame = scene.GetSystem().msPerFrame;
  const double from = options.fromGiven ? options.from : 0.0;
  const double to = options.toGiven ? options.to : scene.GetScene().lastFrame;
  const uint64_t first = CapturePictureAt(from, fps, msPerFrame);
  const uint64_t end = CapturePicturesUpTo(to, fps, msPerFrame);
  if (end <= first) {
    std::fprintf(err, "zivi3: nothing to capture: no picture at %g a second lies from scene time %g to %g\n", fps, from,
                 to);
    return EXIT_USAGE;
  }
  if (end - first > CAPTURE_PICTURES_MAX || first > CAPTURE_PICTURES_MAX) {
    std::fprintf(err,
                 "zivi3: capturing %g to %g at %g pictures a second would take more than %llu pictures; use --to or "
                 "--fps\n",
                 from, to, fps, static_cast<unsigned long long>(CAPTURE_PICTURES_MAX));
    return EXIT_USAGE;
  }
  const uint64_t count = end - first;

  CaptureFiles files;
  std::string why;
  if (!files.Open(options, scene.Width(), scene.Height(), sound.open ? sampleRate : 0, &why)) {
    Log(1, "SYSTEM(Capture) - %s", why.c_str());
    std::fprintf(err, "zivi3: %s\n", why.c_str());
    return EXIT_OUTPUT_FAILED;
  }

  // Everything before the first picture passes unseen, sound included, so picture k and its
  // sound are those of a capture from the start.
  const bool terminal = isatty(fileno(err)) != 0 && !options.batch;
  if (terminal && first > 0) {
    std::fprintf(err, "zivi3: playing the scene unseen up to scene time %.6g (%llu pictures)\n",
                 CapturePictureTime(first, fps, msPerFrame), static_cast<unsigned long long>(first));
  }
  scene.PreRoll(first, fps, sound.open);
  CaptureProgress progress(err, terminal, count);
  OutputThread output(files);
  bool readBack = true;
  for (uint64_t picture = first; picture < end && !output.Failed(); ++picture) {
    Piece piece;
    piece.index = picture - first;
    if (!scene.Render(float(CaptureLoopTime(picture, fps, msPerFrame, scene.GetScene().lastFrame)), &piece.rgb)) {
      readBack = false;
      why = "picture " + std::to_string(piece.index) + " could not be read back";
      break;
    }
    if (sound.open) {
      const uint64_t frames =
          CaptureSoundStart(picture + 1, sampleRate, fps) - CaptureSoundStart(picture, sampleRate, fps);
      piece.sound.resize(frames * 2);
      sound::Render(piece.sound.data(), uint32_t(frames));
    }
    output.Post(std::move(piece));
    progress.Done(picture - first + 1);
  }
  const bool written = output.Finish(&why) && readBack;
  progress.End();
  if (!written || !files.Close(&why)) {
    Log(1, "SYSTEM(Capture) - %s", why.c_str());
    std::fprintf(err, "zivi3: %s\n", why.c_str());
    return EXIT_OUTPUT_FAILED;
  }

  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  const double played = double(count) / fps;
  char line[512];
  std::snprintf(line, sizeof line,
                "%s: %s, scene time %.6g to %.6g at %g pictures a second, %ux%u, made in %.1f s (%.2f times real "
                "time)",
                options.captureDirectory.c_str(), files.Describe(count).c_str(),
                CapturePictureTime(first, fps, msPerFrame), CapturePictureTime(end - 1, fps, msPerFrame), fps,
                scene.Width(), scene.Height(), seconds, seconds > 0 ? played / seconds : 0.0);
  Log(3, "SYSTEM(Capture) - %s", line);
  std::fprintf(out, "%s\n", line);
  return 0;
}
