// The command line: every option parsed into RunOptions and checked, the --help text, and the
// dispatch that main hands the whole run to.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "app/App.h"
#include "app/Offscreen.h"
#include "platform/Platform.h"
#include "video/Video.h"

namespace {

const char* const USAGE =
    "usage: zivi3 [SCENE.lws | DEMO.vpf] [options]\n"
    "\n"
    "Plays a LightWave 6 demo: the scene named by ./VIEWER.INI, or the scene or datafile given.\n"
    "\n"
    "  SCENE.lws            play this scene; its folder holds the demo's files\n"
    "  DEMO.vpf             play this datafile: the scene its VIEWER.INI names, else the one scene\n"
    "                       no other scene nests, else the first by name\n"
    "  --scene NAME         the datafile's scene to play instead\n"
    "  --max-memory MB      memory the demo's files may fill once unpacked (default: half the\n"
    "                       machine's memory, at most 4096); a demo that needs more is refused\n"
    "  --no-setup           skip the setup dialog: the defaults, changed by the options below\n"
    "  --width W            width in pixels (default 640)\n"
    "  --height H           height in pixels (default 480)\n"
    "  --bpp 16|32          colour depth in bits per pixel (default 32)\n"
    "  --fullscreen         switch the display to full screen\n"
    "  --rate HZ            sound output rate (default 44100)\n"
    "  --no-sound           play without sound output\n"
    "  --stereo-separation PERCENT\n"
    "                       stereo width of the music, 0 (mono) to 200 (default 100: as the module\n"
    "                       pans its channels); lower it for hard-panned modules on headphones\n"
    "  --log PATH           the log file (default ZIVI3.LOG in the current folder)\n"
    "  --console            print every log line to the terminal as well\n"
    "  --batch              never open a message box: print its text to stderr\n"
    "  --frame T            render scene time T (frames) offscreen, as the player paused there\n"
    "                       shows it, and exit; needs --out\n"
    "  --out FILE.png       where --frame writes its picture\n"
    "  --capture DIR        render offscreen at a fixed rate, timed as the player plays:\n"
    "                       DIR/frame_00000.png ... and DIR/audio.wav\n"
    "  --capture FILE       the same into one video file: FILE.mp4 (H.264 + AAC), FILE.webm\n"
    "                       (VP9 + Opus) or FILE.mkv (H.264 + AAC)\n"
    "  --lossless           with --capture FILE.mkv: FFV1 + FLAC, every pixel and sample kept\n"
    "  --fps N              pictures per second of --capture, and of the unseen play up to\n"
    "                       --frame's time (default 30)\n"
    "  --from T             first scene time (frames) of --capture or --channels; a capture plays\n"
    "                       the scene from its start unseen up to there\n"
    "  --to T               last scene time (frames) of --capture or --channels\n"
    "  --info               load and precalculate, print the scene report, files and problems, exit\n"
    "                       (the scene: SCENE.lws, DEMO.vpf, or a VIEWER.INI; default ./VIEWER.INI)\n"
    "  --channels ITEM      with --info, --from and --to: ITEM's channels and world position as CSV;\n"
    "                       ITEM is an object's item number, camera:N, light:N or a name\n"
    "  --step S             frames between two --channels rows (default 1)\n"
    "  --triangulate        split polygons of more than three corners (objects from any modeller)\n"
    "  --lightwave          show the scene as LightWave itself does (default: the classic engine's look)\n"
    "  --aa N               multisampled drawing, N samples per pixel: 1 (default, none), 2, 4 or 8\n"
    "  --gl-device D        what draws --frame and --capture: auto (default: a GPU where there is one,\n"
    "                       else software), software (the same pixels on every machine), or N for\n"
    "                       EGL device N (the log names the device used)\n"
    "  -h, --help           print this help and exit\n";

// The largest --max-memory: a terabyte, in megabytes.
constexpr uint32_t MAX_MEMORY_MB = 1u << 20;

// A whole number made of digits only (no sign, no blanks), within [low, high].
bool ParseWhole(const char* text, uint32_t low, uint32_t high, uint32_t& value) {
  size_t length = std::strlen(text);
  if (length == 0 || length > 9) return false;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  uint32_t number = uint32_t(std::strtoul(text, nullptr, 10));
  if (number < low || number > high) return false;
  value = number;
  return true;
}

// A finite decimal number, the whole text.
bool ParseNumber(const char* text, float& value) {
  if (!*text || std::strchr(" \t\n", *text)) return false;
  char* end = nullptr;
  double number = std::strtod(text, &end);
  if (*end != '\0' || !std::isfinite(number) || std::fabs(number) > 1e30) return false;
  value = float(number);
  return true;
}

struct Parser {
  int argc;
  const char* const* argv;
  int at = 1;
  std::string& error;

  bool Fail(const std::string& why) {
    error = why;
    return false;
  }
  // The value of option name, the next argument.
  bool Value(const char* name, const char*& value) {
    if (at + 1 >= argc) return Fail(std::string(name) + " needs a value");
    value = argv[++at];
    return true;
  }
  bool Whole(const char* name, uint32_t low, uint32_t high, uint32_t& out) {
    const char* value;
    if (!Value(name, value)) return false;
    if (!ParseWhole(value, low, high, out)) {
      return Fail(std::string(name) + " takes a whole number from " + std::to_string(low) + " to " +
                  std::to_string(high) + ", not '" + value + "'");
    }
    return true;
  }
  bool Number(const char* name, float& out) {
    const char* value;
    if (!Value(name, value)) return false;
    if (!ParseNumber(value, out)) return Fail(std::string(name) + " takes a number, not '" + value + "'");
    return true;
  }
  bool Text(const char* name, std::string& out) {
    const char* value;
    if (!Value(name, value)) return false;
    if (!*value) return Fail(std::string(name) + " needs a value");
    out = value;
    return true;
  }
};

}  // namespace

const char* Usage() { return USAGE; }

bool ParseCommandLine(int argc, const char* const* argv, RunOptions& options, std::string& error) {
  options = RunOptions{};
  Parser p{argc, argv, 1, error};
  bool info = false, help = false, frameGiven = false, fpsGiven = false, stepGiven = false;
  bool samplesGiven = false, deviceGiven = false;
  Settings& s = options.settings;

  for (; p.at < argc; ++p.at) {
    const std::string arg = argv[p.at];
    if (arg.empty()) return p.Fail("an empty argument is neither a scene nor an option");
    if (arg[0] != '-') {
      if (!options.input.empty()) {
        return p.Fail("only one scene or datafile can be given ('" + options.input + "' and '" + arg + "')");
      }
      options.input = arg;
    } else if (arg == "-h" || arg == "--help") {
      help = true;
    } else if (arg == "--no-setup") {
      options.noSetup = true;
    } else if (arg == "--width") {
      if (!p.Whole("--width", 1, 16384, s.width)) return false;
    } else if (arg == "--height") {
      if (!p.Whole("--height", 1, 16384, s.height)) return false;
    } else if (arg == "--bpp") {
      const char* value;
      if (!p.Value("--bpp", value)) return false;
      if (std::strcmp(value, "16") != 0 && std::strcmp(value, "32") != 0) {
        return p.Fail(std::string("--bpp takes 16 or 32, not '") + value + "'");
      }
      s.colourDepth = uint32_t(std::atoi(value));
    } else if (arg == "--fullscreen") {
      s.fullscreen = 1;
    } else if (arg == "--rate") {
      if (!p.Whole("--rate", 8000, 192000, s.sampleRate)) return false;
    } else if (arg == "--stereo-separation") {
      if (!p.Whole("--stereo-separation", 0, 200, s.stereoSeparation)) return false;
    } else if (arg == "--no-sound") {
      s.noSound = 1;
    } else if (arg == "--log") {
      if (!p.Text("--log", options.logPath)) return false;
    } else if (arg == "--console") {
      options.console = true;
    } else if (arg == "--batch") {
      options.batch = true;
    } else if (arg == "--frame") {
      if (!p.Number("--frame", options.frame)) return false;
      frameGiven = true;
    } else if (arg == "--out") {
      if (!p.Text("--out", options.outPath)) return false;
    } else if (arg == "--capture") {
      if (!p.Text("--capture", options.captureDirectory)) return false;
    } else if (arg == "--lossless") {
      options.lossless = true;
    } else if (arg == "--fps") {
      if (!p.Number("--fps", options.captureFps)) return false;
      if (!(options.captureFps > 0 && options.captureFps <= 1000)) {
        return p.Fail("--fps takes a rate above 0 and at most 1000");
      }
      fpsGiven = true;
    } else if (arg == "--from") {
      if (!p.Number("--from", options.from)) return false;
      options.fromGiven = true;
    } else if (arg == "--to") {
      if (!p.Number("--to", options.to)) return false;
      options.toGiven = true;
    } else if (arg == "--info") {
      info = true;
    } else if (arg == "--channels") {
      if (!p.Text("--channels", options.channelItem)) return false;
    } else if (arg == "--step") {
      if (!p.Number("--step", options.step)) return false;
      if (!(options.step > 0)) return p.Fail("--step takes a number of frames above 0");
      stepGiven = true;
    } else if (arg == "--scene") {
      if (!p.Text("--scene", options.scene)) return false;
    } else if (arg == "--max-memory") {
      uint32_t megabytes = 0;
      if (!p.Whole("--max-memory", 1, MAX_MEMORY_MB, megabytes)) return false;
      options.memoryBudget = uint64_t(megabytes) << 20;
    } else if (arg == "--triangulate") {
      s.triangulate = true;
    } else if (arg == "--lightwave") {
      s.lightwave = true;
    } else if (arg == "--aa") {
      const char* value;
      if (!p.Value("--aa", value)) return false;
      if (!ParseWhole(value, 1, 8, s.samples) || (s.samples & (s.samples - 1)) != 0) {
        return p.Fail(std::string("--aa takes 1, 2, 4 or 8 samples per pixel, not '") + value + "'");
      }
      samplesGiven = true;
    } else if (arg == "--gl-device") {
      const char* value;
      if (!p.Value("--gl-device", value)) return false;
      uint32_t index = 0;
      if (std::strcmp(value, "auto") == 0) {
        options.glDevice = platform::GL_DEVICE_AUTO;
      } else if (std::strcmp(value, "software") == 0) {
        options.glDevice = platform::GL_DEVICE_SOFTWARE;
      } else if (ParseWhole(value, 0, 999, index)) {
        options.glDevice = int32_t(index);
      } else {
        return p.Fail(std::string("--gl-device takes auto, software or a device number, not '") + value + "'");
      }
      deviceGiven = true;
    } else {
      return p.Fail("unknown option '" + arg + "'");
    }
  }

  if (help) {
    options.mode = MODE_HELP;
    return true;
  }

  // Which run it is; options that belong to another run are refused rather than ignored.
  const bool capture = !options.captureDirectory.empty();
  const bool channels = !options.channelItem.empty();
  if (int(info) + int(frameGiven) + int(capture) > 1) {
    return p.Fail("--info, --frame and --capture can't be combined");
  }
  if (frameGiven != !options.outPath.empty()) {
    return p.Fail(frameGiven ? "--frame needs --out FILE.png" : "--out goes with --frame");
  }
  if (fpsGiven && !capture && !frameGiven) return p.Fail("--fps goes with --capture or --frame");
  if (options.lossless && (!capture || video::ContainerOf(options.captureDirectory) != video::CONTAINER_MKV)) {
    return p.Fail("--lossless goes with --capture FILE.mkv");
  }
  // A window draws with its display's GL, and a report draws nothing.
  if (deviceGiven && !frameGiven && !capture) return p.Fail("--gl-device goes with --frame or --capture");
  if (samplesGiven && info) return p.Fail("--aa goes with playing, --frame or --capture");
  if (channels && !info) return p.Fail("--channels goes with --info");
  if (stepGiven && !channels) return p.Fail("--step goes with --channels");
  if ((options.fromGiven || options.toGiven) && !capture && !channels) {
    return p.Fail("--from and --to go with --capture or --channels");
  }
  if (channels) {
    if (!options.fromGiven || !options.toGiven) return p.Fail("--channels needs --from T and --to T");
    if (options.to < options.from) return p.Fail("--to must not be before --from");
    if (double(options.to) - double(options.from) >= double(options.step) * CHANNEL_ROWS_MAX) {
      return p.Fail("--channels would print more than " + std::to_string(CHANNEL_ROWS_MAX) +
                    " rows; use a larger --step or a shorter range");
    }
  }
  if (capture && options.fromGiven && options.toGiven && options.to < options.from) {
    return p.Fail("--to must not be before --from");
  }

  options.mode = channels     ? MODE_CHANNELS
                 : info       ? MODE_INFO
                 : frameGiven ? MODE_FRAME
                 : capture    ? MODE_CAPTURE
                              : MODE_PLAY;
  return true;
}

int RunProgram(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  RunOptions options;
  std::string error;
  if (!ParseCommandLine(argc, argv, options, error)) {
    std::fprintf(err, "zivi3: %s\nTry 'zivi3 --help' for the options.\n", error.c_str());
    return EXIT_USAGE;
  }

  if (options.batch) platform::SetBatchMessages(true);
  if (options.mode == MODE_HELP) {
    std::fputs(Usage(), out);
    return 0;
  }
  if (options.mode == MODE_PLAY) return RunPlay(options, err);

  // An inspection or an offscreen run is a terminal tool: nothing may wait for a click.
  platform::SetBatchMessages(true);
  LogSystem log;
  uint32_t logFlags = LOG_FILE;
  if (options.console) logFlags |= LOG_CONSOLE;
  log.Open(logFlags, options.logPath.c_str());
  try {
    switch (options.mode) {
      case MODE_CHANNELS: return RunChannels(options, out, err);
      case MODE_FRAME: return RunFrame(options, out, err);
      case MODE_CAPTURE: return RunCapture(options, out, err);
      default: return RunInfo(options, out, err);
    }
  } catch (const std::bad_alloc&) {
    // A scene too large for this machine ends like one that doesn't load, never with an abort.
    std::fprintf(err, "zivi3: out of memory\n");
    return EXIT_SCENE_FAILED;
  }
}
