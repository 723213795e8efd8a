// One video file with its sound, through FFmpeg's libraries: pictures converted from RGB by
// libswscale, sound converted to the audio encoder's sample format and rate by libswresample and
// cut into the encoder's frame size, both encoded and interleaved into the container.
#include "video/Video.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cctype>
#include <cstring>
#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <vector>

#include "log/Log.h"

namespace video {

namespace {

// Encoders, by FFmpeg's names, with the settings that keep a capture of a few minutes quick to
// make and good to look at. H.264 at "veryfast" keeps up with a software-rendered capture on one
// core; VP9 in its real-time mode likewise; FFV1 level 3 codes slices in parallel.
struct EncoderChoice {
  const char* video;
  AVPixelFormat pixels;
  const char* videoOptions;  // key=value:key=value, handed to the encoder
  const char* audio;
  const char* words;  // for reports and messages
};

const EncoderChoice H264_AAC = {"libx264", AV_PIX_FMT_YUV420P, "preset=veryfast:crf=18", "aac", "H.264 + AAC"};
const EncoderChoice VP9_OPUS = {"libvpx-vp9", AV_PIX_FMT_YUV420P,
                         "deadline=realtime:cpu-used=8:crf=30:b=0:row-mt=1:lag-in-frames=0", "libopus",
                         "VP9 + Opus"};
const EncoderChoice FFV1_FLAC = {"ffv1", AV_PIX_FMT_0RGB32, "level=3:slices=4:slicecrc=1", "flac", "FFV1 + FLAC"};

constexpr int AUDIO_BITRATE = 192000;
// Frames a sound frame holds for an encoder that takes any number (FLAC).
constexpr int VARIABLE_FRAME_SIZE = 4096;

std::string ErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(code, text, sizeof text);
  return text;
}

const char* FormatName(Container container) {
  switch (container) {
    case CONTAINER_MP4: return "mp4";
    case CONTAINER_WEBM: return "webm";
    default: return "matroska";
  }
}

// The rate the encoder takes nearest to the sound's: the sound's own when it can, else 48 kHz,
// else the highest it has.
int AudioRate(const AVCodec* codec, int rate) {
  const int* rates = codec->supported_samplerates;
  if (!rates) return rate;
  int best = 0;
  for (; *rates; ++rates) {
    if (*rates == rate) return rate;
    if (*rates == 48000 || (best != 48000 && *rates > best)) best = *rates;
  }
  return best;
}

AVSampleFormat AudioFormat(const AVCodec* codec) {
  // Floats when the encoder takes them (AAC, Opus), else 16-bit (FLAC: as lossless as the mix's
  // WAV); the first one it lists otherwise.
  const AVSampleFormat* formats = codec->sample_fmts;
  if (!formats) return AV_SAMPLE_FMT_S16;
  for (const AVSampleFormat wanted : {AV_SAMPLE_FMT_FLTP, AV_SAMPLE_FMT_FLT, AV_SAMPLE_FMT_S16})
    for (const AVSampleFormat* f = formats; *f != AV_SAMPLE_FMT_NONE; ++f)
      if (*f == wanted) return wanted;
  return formats[0];
}

// FFmpeg's warnings and errors go to the log instead of the terminal, its chatter nowhere.
void ForwardLog(void*, int level, const char* format, va_list arguments) {
  if (level > AV_LOG_WARNING) return;
  char text[LOG_MESSAGE_MAX + 1];
  std::vsnprintf(text, sizeof text, format, arguments);
  size_t length = std::strlen(text);
  while (length && (text[length - 1] == '\n' || text[length - 1] == '\r')) text[--length] = '\0';
  if (length) Log(level <= AV_LOG_ERROR ? 1 : 2, "VIDEO(FFmpeg) - %s", text);
}

}  // namespace

Container ContainerOf(const std::string& path) {
  std::string extension = std::filesystem::path(path).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  if (extension == ".mp4") return CONTAINER_MP4;
  if (extension == ".webm") return CONTAINER_WEBM;
  if (extension == ".mkv") return CONTAINER_MKV;
  return CONTAINER_NONE;
}

struct VideoFile::State {
  VideoSettings settings;
  const EncoderChoice* codecs = nullptr;
  AVFormatContext* format = nullptr;
  AVCodecContext* videoCodec = nullptr;
  AVStream* videoStream = nullptr;
  AVCodecContext* audioCodec = nullptr;
  AVStream* audioStream = nullptr;
  SwsContext* scaler = nullptr;
  SwrContext* resampler = nullptr;
  AVAudioFifo* fifo = nullptr;
  AVFrame* picture = nullptr;
  AVFrame* sound = nullptr;
  AVPacket* packet = nullptr;
  int64_t pictures = 0;      // pictures handed to the encoder
  int64_t soundSamples = 0;  // sample frames handed to the encoder, at its rate
  int soundFrameSize = 0;
  std::string error;  // the first failure; nothing more is written after it

  ~State() {
    av_packet_free(&packet);
    av_frame_free(&picture);
    av_frame_free(&sound);
    av_audio_fifo_free(fifo);
    swr_free(&resampler);
    sws_freeContext(scaler);
    avcodec_free_context(&videoCodec);
    avcodec_free_context(&audioCodec);
    if (format) {
      if (format->pb) avio_closep(&format->pb);
      avformat_free_context(format);
    }
  }

  bool Fail(const std::string& why) {
    if (error.empty()) error = why;
    return false;
  }
  bool Failed(int code, const char* what) { return code < 0 && !Fail(std::string(what) + ": " + ErrorText(code)); }

  bool AddStream(const AVCodec* codec, AVCodecContext* context, AVStream** stream, const char* options) {
    if (format->oformat->flags & AVFMT_GLOBALHEADER) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    AVDictionary* dictionary = nullptr;
    if (options) av_dict_parse_string(&dictionary, options, "=", ":", 0);
    const int opened = avcodec_open2(context, codec, &dictionary);
    av_dict_free(&dictionary);
    if (opened < 0)
      return Fail(std::string("the ") + codec->name + " encoder refused its settings: " + ErrorText(opened));
    *stream = avformat_new_stream(format, nullptr);
    if (!*stream) return Fail("out of memory");
    (*stream)->time_base = context->time_base;
    return !Failed(avcodec_parameters_from_context((*stream)->codecpar, context), "stream parameters");
  }

  bool OpenVideo(const AVCodec* codec) {
    videoCodec = avcodec_alloc_context3(codec);
    if (!videoCodec) return Fail("out of memory");
    const AVRational rate = av_d2q(settings.fps, 100000);
    videoCodec->width = int(settings.width);
    videoCodec->height = int(settings.height);
    videoCodec->time_base = av_inv_q(rate);
    videoCodec->framerate = rate;
    videoCodec->pix_fmt = codecs->pixels;
    videoCodec->thread_count = 0;  // as many as the encoder finds useful
    if (codecs->pixels == AV_PIX_FMT_YUV420P) {
      // Rendered RGB becomes limited-range BT.709, and the stream says so.
      videoCodec->color_range = AVCOL_RANGE_MPEG;
      videoCodec->colorspace = AVCOL_SPC_BT709;
      videoCodec->color_primaries = AVCOL_PRI_BT709;
      videoCodec->color_trc = AVCOL_TRC_BT709;
    }
    if (!AddStream(codec, videoCodec, &videoStream, codecs->videoOptions)) return false;

    scaler = sws_getContext(int(settings.width), int(settings.height), AV_PIX_FMT_RGB24, int(settings.width),
                            int(settings.height), codecs->pixels, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!scaler) return Fail("no conversion from RGB to the encoder's pixels");
    if (codecs->pixels == AV_PIX_FMT_YUV420P) {
      const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
      sws_setColorspaceDetails(scaler, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
    }
    picture = av_frame_alloc();
    if (!picture) return Fail("out of memory");
    picture->format = codecs->pixels;
    picture->width = int(settings.width);
    picture->height = int(settings.height);
    return !Failed(av_frame_get_buffer(picture, 0), "picture buffer");
  }

  bool OpenAudio(const AVCodec* codec) {
    audioCodec = avcodec_alloc_context3(codec);
    if (!audioCodec) return Fail("out of memory");
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;  // not const: the converter's arguments aren't
    av_channel_layout_copy(&audioCodec->ch_layout, &stereo);
    audioCodec->sample_rate = AudioRate(codec, int(settings.sampleRate));
    audioCodec->sample_fmt = AudioFormat(codec);
    audioCodec->time_base = AVRational{1, audioCodec->sample_rate};
    if (!settings.lossless) audioCodec->bit_rate = AUDIO_BITRATE;
    if (!AddStream(codec, audioCodec, &audioStream, nullptr)) return false;
    soundFrameSize = audioCodec->frame_size > 0 ? audioCodec->frame_size : VARIABLE_FRAME_SIZE;

    if (Failed(swr_alloc_set_opts2(&resampler, &stereo, audioCodec->sample_fmt, audioCodec->sample_rate, &stereo,
                                   AV_SAMPLE_FMT_FLT, int(settings.sampleRate), 0, nullptr),
               "sound conversion") ||
        Failed(swr_init(resampler), "sound conversion"))
      return false;
    fifo = av_audio_fifo_alloc(audioCodec->sample_fmt, 2, soundFrameSize);
    sound = av_frame_alloc();
    if (!fifo || !sound) return Fail("out of memory");
    return true;
  }

  // Every packet the encoder has ready, into the file.
  bool Drain(AVCodecContext* context, AVStream* stream) {
    for (;;) {
      const int received = avcodec_receive_packet(context, packet);
      if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return true;
      if (Failed(received, "encoding")) return false;
      av_packet_rescale_ts(packet, context->time_base, stream->time_base);
      packet->stream_index = stream->index;
      if (Failed(av_interleaved_write_frame(format, packet), "writing")) return false;
    }
  }

  bool Encode(AVCodecContext* context, AVStream* stream, const AVFrame* frame) {
    return !Failed(avcodec_send_frame(context, frame), "encoding") && Drain(context, stream);
  }

  // Whole encoder frames of the sound waiting in the fifo; with last, the rest as a short frame.
  bool EncodeSound(bool last) {
    while (av_audio_fifo_size(fifo) >= soundFrameSize || (last && av_audio_fifo_size(fifo) > 0)) {
      av_frame_unref(sound);
      sound->nb_samples = std::min(av_audio_fifo_size(fifo), soundFrameSize);
      sound->format = audioCodec->sample_fmt;
      sound->sample_rate = audioCodec->sample_rate;
      av_channel_layout_copy(&sound->ch_layout, &audioCodec->ch_layout);
      if (Failed(av_frame_get_buffer(sound, 0), "sound buffer")) return false;
      av_audio_fifo_read(fifo, reinterpret_cast<void**>(sound->data), sound->nb_samples);
      sound->pts = soundSamples;
      soundSamples += sound->nb_samples;
      if (!Encode(audioCodec, audioStream, sound)) return false;
    }
    return true;
  }

  // Converted sound into the fifo; null input drains what the converter still holds.
  bool Convert(const float* interleaved, uint32_t frames) {
    const int room = swr_get_out_samples(resampler, int(frames));
    if (room < 0) return Fail("sound conversion");
    uint8_t** converted = nullptr;
    if (Failed(av_samples_alloc_array_and_samples(&converted, nullptr, 2, std::max(room, 1), audioCodec->sample_fmt, 0),
               "sound buffer"))
      return false;
    const uint8_t* input = reinterpret_cast<const uint8_t*>(interleaved);
    const int made = swr_convert(resampler, converted, room, interleaved ? &input : nullptr, int(frames));
    const bool kept = made >= 0 && av_audio_fifo_write(fifo, reinterpret_cast<void**>(converted), made) == made;
    av_freep(&converted[0]);
    av_freep(&converted);
    return kept || Fail("sound conversion");
  }
};

VideoFile::VideoFile() = default;
VideoFile::~VideoFile() { Close(nullptr); }

bool VideoFile::Open(const VideoSettings& settings, std::string* why) {
  static std::once_flag logForwarded;
  std::call_once(logForwarded, [] { av_log_set_callback(ForwardLog); });
  Close(nullptr);
  codecWords.clear();
  state = std::make_unique<State>();
  State& s = *state;
  s.settings = settings;
  auto fail = [&](const std::string& text) {
    error = text;
    if (why) *why = text;
    const bool created = s.format && s.format->pb;
    state.reset();
    std::error_code ignored;
    if (created) std::filesystem::remove(settings.path, ignored);
    return false;
  };

  const Container container = ContainerOf(settings.path);
  if (container == CONTAINER_NONE) return fail("a video file's name ends in .mp4, .webm or .mkv");
  if (settings.lossless && container != CONTAINER_MKV) return fail("lossless video (FFV1 + FLAC) goes in a .mkv file");
  s.codecs = settings.lossless ? &FFV1_FLAC : container == CONTAINER_WEBM ? &VP9_OPUS : &H264_AAC;
  if (settings.width == 0 || settings.height == 0 || !(settings.fps > 0)) return fail("no pictures to encode");
  if (s.codecs == &H264_AAC && (settings.width % 2 || settings.height % 2)) {
    return fail("H.264 pictures need an even width and height, not " + std::to_string(settings.width) + "x" +
                std::to_string(settings.height));
  }
  const AVCodec* videoEncoder = avcodec_find_encoder_by_name(s.codecs->video);
  const AVCodec* audioEncoder = avcodec_find_encoder_by_name(s.codecs->audio);
  for (auto [encoder, name] : {std::pair{videoEncoder, s.codecs->video}, std::pair{audioEncoder, s.codecs->audio}}) {
    if (!encoder) {
      return fail(std::string("this FFmpeg has no ") + name + " encoder, which " + s.codecs->words +
                  " needs; try another of .mp4, .webm and .mkv --lossless, or a folder of PNG pictures");
    }
  }

  const int allocated =
      avformat_alloc_output_context2(&s.format, nullptr, FormatName(container), settings.path.c_str());
  if (allocated < 0 || !s.format) return fail("can't make a " + std::string(FormatName(container)) + " file");
  if (!s.OpenVideo(videoEncoder) || (settings.sampleRate && !s.OpenAudio(audioEncoder))) return fail(s.error);
  s.packet = av_packet_alloc();
  if (!s.packet) return fail("out of memory");
  const int opened = avio_open(&s.format->pb, settings.path.c_str(), AVIO_FLAG_WRITE);
  if (opened < 0) return fail("can't write " + settings.path + ": " + ErrorText(opened));
  const int header = avformat_write_header(s.format, nullptr);
  if (header < 0) return fail("can't write " + settings.path + ": " + ErrorText(header));
  codecWords = s.codecs->words;
  return true;
}

bool VideoFile::AddPicture(const uint8_t* rgb) {
  if (!state || !state->error.empty() || !rgb) return Refuse();
  State& s = *state;
  if (s.Failed(av_frame_make_writable(s.picture), "picture buffer")) return Refuse();
  const uint8_t* source[1] = {rgb};
  const int stride[1] = {int(s.settings.width) * 3};
  sws_scale(s.scaler, source, stride, 0, int(s.settings.height), s.picture->data, s.picture->linesize);
  s.picture->pts = s.pictures++;
  return s.Encode(s.videoCodec, s.videoStream, s.picture) || Refuse();
}

bool VideoFile::AddSound(const float* interleavedStereo, uint32_t frames) {
  if (!state || !state->error.empty() || !interleavedStereo) return Refuse();
  if (!state->audioCodec || frames == 0) return true;
  return (state->Convert(interleavedStereo, frames) && state->EncodeSound(false)) || Refuse();
}

bool VideoFile::Refuse() {
  error = !state ? "the file is not open" : state->error.empty() ? "nothing to add" : state->error;
  return false;
}

bool VideoFile::Close(std::string* why) {
  if (!state) return true;
  State& s = *state;
  if (s.error.empty()) {
    // What the converter and the encoders still hold, then the container's index.
    if (s.audioCodec && s.Convert(nullptr, 0) && s.EncodeSound(true)) s.Encode(s.audioCodec, s.audioStream, nullptr);
    if (s.error.empty()) s.Encode(s.videoCodec, s.videoStream, nullptr);
    if (s.error.empty()) s.Failed(av_write_trailer(s.format), "finishing the file");
  }
  if (s.format->pb) {
    const int closed = avio_closep(&s.format->pb);
    if (closed < 0) s.Fail("closing the file: " + ErrorText(closed));
  }
  const std::string error = s.error;
  state.reset();
  if (error.empty()) return true;
  if (why) *why = error;
  return false;
}

std::string VideoFile::Codecs() const { return codecWords; }

}  // namespace video
