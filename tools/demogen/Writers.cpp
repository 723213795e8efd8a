// The file writers: checksums, PNG, LWO2, MDD and WAV. Every multi-byte number of LWO2, MDD
// and PNG is big-endian; WAV is little-endian.
#include "DemoGen.h"
#include "LwoWriter.h"

#include <array>
#include <bit>
#include <cstring>
#include <map>
#include <type_traits>

namespace demogen {

namespace {

void PutU2(Bytes& out, uint32_t v) {
  out.push_back(uint8_t(v >> 8));
  out.push_back(uint8_t(v));
}
void PutU4(Bytes& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}
void PutLe2(Bytes& out, uint32_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}
void PutLe4(Bytes& out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(uint8_t(v >> shift));
}
void PutF4(Bytes& out, float v) { PutU4(out, std::bit_cast<uint32_t>(v)); }
void PutText(Bytes& out, const char* text) { out.insert(out.end(), text, text + std::strlen(text)); }

// The shininess level's chunk ID, written in two pieces as the object reader writes it.
constexpr char ID_SHININESS[] = "S" "PEC";

void WriteTextureBlock(iff::LwoWriter& w, const Texture& texture, uint32_t clip, uint32_t ordinal) {
  w.Sub("BLOK");
  w.Sub("IMAP");
  w.S0(std::string(1, char(0x80 + ordinal)));
  w.Sub("CHAN"), w.Id(texture.channel == Channel::COLOR ? "COLR" : "TRAN"), w.End();
  w.Sub("ENAB"), w.U2(1), w.End();
  w.Sub("OPAC"), w.U2(0), w.F4(1), w.VX(0), w.End();
  w.End();
  w.Sub("TMAP");
  w.Sub("CNTR"), w.Vec(texture.center.x, texture.center.y, texture.center.z), w.VX(0), w.End();
  w.Sub("SIZE"), w.Vec(texture.size.x, texture.size.y, texture.size.z), w.VX(0), w.End();
  w.Sub("ROTA"), w.Vec(0, 0, 0), w.VX(0), w.End();
  w.Sub("CSYS"), w.U2(0), w.End();
  w.End();
  w.Sub("PROJ"), w.U2(uint32_t(texture.projection)), w.End();
  w.Sub("AXIS"), w.U2(texture.axis), w.End();
  w.Sub("IMAG"), w.VX(clip), w.End();
  w.Sub("WRAP"), w.U2(1), w.U2(1), w.End();  // repeat both ways
  if (texture.projection == Projection::CYLINDRICAL || texture.projection == Projection::SPHERICAL) {
    w.Sub("WRPW"), w.F4(texture.wrapWidth), w.VX(0), w.End();
    w.Sub("WRPH"), w.F4(texture.wrapHeight), w.VX(0), w.End();
  }
  if (texture.projection == Projection::UV) w.Sub("VMAP"), w.S0("UV"), w.End();
  w.End();
}

void WriteLevel(iff::LwoWriter& w, const char* id, float level, uint32_t envelope = 0) {
  w.Sub(id), w.F4(level), w.VX(envelope), w.End();
}

// ENVL: constant behaviour both ways, the keys with straight spans.
void WriteEnvelope(iff::LwoWriter& w, uint32_t index, const LevelKeys& keys) {
  w.Chunk("ENVL"), w.VX(index);
  w.Sub("PRE "), w.U2(1), w.End();
  w.Sub("POST"), w.U2(1), w.End();
  for (const auto& [seconds, value] : keys) {
    w.Sub("KEY "), w.F4(seconds), w.F4(value), w.End();
    w.Sub("SPAN"), w.Id("LINE"), w.End();
  }
  w.End();
}

}  // namespace

// ---- Checksums ----

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc) {
  static const std::array<uint32_t, 256> TABLE = [] {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
      uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[n] = c;
    }
    return table;
  }();
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) crc = TABLE[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

uint32_t Adler32(const uint8_t* data, size_t size) {
  constexpr uint32_t MOD = 65521;
  uint32_t a = 1, b = 0;
  for (size_t i = 0; i < size; ++i) {
    a = (a + data[i]) % MOD;
    b = (b + a) % MOD;
  }
  return (b << 16) | a;
}

// ---- PNG ----

void Image::Set(uint32_t x, uint32_t y, uint8_t r, uint8_t g, uint8_t b) {
  uint8_t* p = At(x, y);
  p[0] = r, p[1] = g, p[2] = b;
}

Bytes EncodePng(const Image& image) {
  // Filter type 0 (none) before every row.
  const size_t rowBytes = size_t(image.width) * 3;
  Bytes raw;
  raw.reserve((rowBytes + 1) * image.height);
  for (uint32_t y = 0; y < image.height; ++y) {
    raw.push_back(0);
    const uint8_t* row = image.rgb.data() + y * rowBytes;
    raw.insert(raw.end(), row, row + rowBytes);
  }

  // zlib: deflate with a 32K window, no dictionary (0x78 0x01 is a multiple of 31), then stored
  // blocks of at most 65535 bytes, then the Adler-32 of the raw data.
  Bytes zlib = {0x78, 0x01};
  size_t at = 0;
  do {
    const size_t length = std::min<size_t>(raw.size() - at, 65535);
    const bool last = at + length == raw.size();
    zlib.push_back(last ? 1 : 0);
    PutLe2(zlib, uint32_t(length));
    PutLe2(zlib, uint32_t(~length & 0xFFFF));
    zlib.insert(zlib.end(), raw.begin() + at, raw.begin() + at + length);
    at += length;
  } while (at < raw.size());
  PutU4(zlib, Adler32(raw.data(), raw.size()));

  Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  auto chunk = [&png](const char* type, const Bytes& data) {
    PutU4(png, uint32_t(data.size()));
    const size_t start = png.size();
    PutText(png, type);
    png.insert(png.end(), data.begin(), data.end());
    PutU4(png, Crc32(png.data() + start, png.size() - start));
  };
  Bytes header;
  PutU4(header, image.width);
  PutU4(header, image.height);
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, adaptive filters, no interlace
  chunk("IHDR", header);
  chunk("IDAT", zlib);
  chunk("IEND", {});
  return png;
}

// ---- LWO2 ----

uint32_t Mesh::AddPoint(float x, float y, float z) {
  points.push_back({x, y, z});
  return uint32_t(points.size() - 1);
}

uint32_t Mesh::AddPoint(float x, float y, float z, float u, float v) {
  uv.resize(points.size() * 2);
  uv.push_back(u);
  uv.push_back(v);
  return AddPoint(x, y, z);
}

void Mesh::AddFace(uint32_t a, uint32_t b, uint32_t c, uint16_t surface) { faces.push_back({a, b, c, surface}); }

void Mesh::AddQuad(uint32_t a, uint32_t b, uint32_t c, uint32_t d, uint16_t surface) {
  AddFace(a, b, c, surface);
  AddFace(a, c, d, surface);
}

void Mesh::Append(const Mesh& other, float dx, float dy, float dz) {
  const uint32_t base = uint32_t(points.size());
  if (!other.uv.empty() || !uv.empty()) {
    uv.resize(points.size() * 2);
    if (other.uv.empty()) {
      uv.resize((points.size() + other.points.size()) * 2);
    } else {
      uv.insert(uv.end(), other.uv.begin(), other.uv.end());
    }
  }
  for (const Point& p : other.points) points.push_back({p.x + dx, p.y + dy, p.z + dz});
  for (const Face& f : other.faces) faces.push_back({f.a + base, f.b + base, f.c + base, f.surface});
}

Bytes EncodeLwo(const ObjectModel& object) {
  iff::LwoWriter w;
  std::vector<std::string> tags;
  for (const SurfaceLook& surface : object.surfaces) tags.push_back(surface.name);
  w.Tags(tags);

  // One clip per distinct image, numbered from 1 in order of first use.
  std::map<std::string, uint32_t> clips;
  for (const SurfaceLook& surface : object.surfaces) {
    for (const Texture& texture : surface.textures) {
      if (clips.count(texture.image)) continue;
      const uint32_t index = uint32_t(clips.size() + 1);
      clips[texture.image] = index;
      w.StillClip(index, texture.image);
    }
  }

  // Envelopes numbered from 1 in surface order, transparency before luminosity.
  std::vector<std::pair<uint32_t, uint32_t>> envelopes;  // per surface: transparency, luminosity
  uint32_t nextEnvelope = 1;
  for (const SurfaceLook& surface : object.surfaces) {
    auto add = [&](const LevelKeys& keys) {
      if (keys.empty()) return 0u;
      WriteEnvelope(w, nextEnvelope, keys);
      return nextEnvelope++;
    };
    const uint32_t transparency = add(surface.transparencyKeys);
    envelopes.push_back({transparency, add(surface.luminosityKeys)});
  }

  for (size_t l = 0; l < object.layers.size(); ++l) {
    const Layer& layer = object.layers[l];
    const Mesh& mesh = layer.mesh;
    w.Layer(uint16_t(l), layer.hidden ? 1 : 0, 0, 0, 0, layer.name);
    w.Chunk("PNTS");
    for (const Point& p : mesh.points) w.Vec(p.x, p.y, p.z);
    w.End();
    // The UV map comes before the polygons: the reader hands the points' u, v to the corners
    // of the triangles as it reads them.
    if (!mesh.uv.empty()) {
      w.Chunk("VMAP"), w.Id("TXUV"), w.U2(2), w.S0("UV");
      for (uint32_t i = 0; i < mesh.points.size(); ++i) w.VX(i), w.F4(mesh.uv[2 * i]), w.F4(mesh.uv[2 * i + 1]);
      w.End();
    }
    w.Chunk("POLS"), w.Id("FACE");
    for (const Face& f : mesh.faces) w.U2(3), w.VX(f.a), w.VX(f.b), w.VX(f.c);
    w.End();
    w.Chunk("PTAG"), w.Id("SURF");
    for (uint32_t i = 0; i < mesh.faces.size(); ++i) w.VX(i), w.U2(mesh.faces[i].surface);
    w.End();
  }

  for (size_t s = 0; s < object.surfaces.size(); ++s) {
    const SurfaceLook& surface = object.surfaces[s];
    w.Chunk("SURF"), w.S0(surface.name), w.S0("");
    w.Sub("COLR"), w.Vec(surface.red, surface.green, surface.blue), w.VX(0), w.End();
    WriteLevel(w, "DIFF", surface.diffuse);
    WriteLevel(w, "LUMI", surface.luminosity, envelopes[s].second);
    WriteLevel(w, ID_SHININESS, surface.shininess);
    WriteLevel(w, "TRAN", surface.transparency, envelopes[s].first);
    w.Sub("SMAN"), w.F4(surface.smoothing), w.End();
    w.Sub("SIDE"), w.U2(surface.doubleSided ? 3 : 1), w.End();
    for (size_t t = 0; t < surface.textures.size(); ++t)
      WriteTextureBlock(w, surface.textures[t], clips[surface.textures[t].image], uint32_t(t));
    w.End();
  }

  return w.File();
}

// ---- MDD ----

Bytes EncodeMdd(const std::vector<std::vector<Point>>& samples, float sampleSeconds) {
  const uint32_t frames = uint32_t(samples.size());
  const uint32_t points = frames ? uint32_t(samples[0].size()) : 0;
  Bytes out;
  PutU4(out, frames);
  PutU4(out, points);
  for (uint32_t i = 0; i < frames; ++i) PutF4(out, float(i) * sampleSeconds);
  for (const std::vector<Point>& sample : samples)
    for (const Point& p : sample) PutF4(out, p.x), PutF4(out, p.y), PutF4(out, p.z);
  return out;
}

// ---- WAV ----

namespace {

template <typename Sample>
Bytes EncodeWavOf(const std::vector<Sample>& samples, uint32_t channels, uint32_t rate) {
  constexpr uint32_t bytes = sizeof(Sample);
  const uint32_t dataBytes = uint32_t(samples.size() * bytes);
  Bytes out;
  PutText(out, "RIFF");
  PutLe4(out, 36 + dataBytes);
  PutText(out, "WAVE");
  PutText(out, "fmt ");
  PutLe4(out, 16);
  PutLe2(out, std::is_same_v<Sample, float> ? 3 : 1);  // float or PCM
  PutLe2(out, channels);
  PutLe4(out, rate);
  PutLe4(out, rate * channels * bytes);  // bytes per second
  PutLe2(out, channels * bytes);         // bytes per frame
  PutLe2(out, bytes * 8);
  PutText(out, "data");
  PutLe4(out, dataBytes);
  for (Sample s : samples) {
    if constexpr (bytes == 2) PutLe2(out, uint16_t(s));
    else PutLe4(out, std::bit_cast<uint32_t>(s));
  }
  return out;
}

}  // namespace

Bytes EncodeWav(const std::vector<int16_t>& samples, uint32_t channels, uint32_t rate) {
  return EncodeWavOf(samples, channels, rate);
}
Bytes EncodeWav(const std::vector<float>& samples, uint32_t channels, uint32_t rate) {
  return EncodeWavOf(samples, channels, rate);
}

// ---- ProTracker module ----

Bytes EncodeMod(const Module& module) {
  Bytes out;
  auto fixedText = [&out](const std::string& text, size_t size) {
    for (size_t i = 0; i < size; ++i) out.push_back(i < text.size() ? uint8_t(text[i]) : 0);
  };
  fixedText(module.title, 20);
  for (size_t i = 0; i < 31; ++i) {
    if (i >= module.samples.size()) {
      fixedText("", 22);
      PutU2(out, 0), out.push_back(0), out.push_back(0), PutU2(out, 0), PutU2(out, 1);
      continue;
    }
    const ModSample& s = module.samples[i];
    fixedText(s.name, 22);
    PutU2(out, uint32_t(s.data.size() / 2));  // lengths in words
    out.push_back(0);                         // finetune
    out.push_back(s.volume);
    PutU2(out, s.loopLength ? s.loopStart / 2 : 0);
    PutU2(out, s.loopLength ? s.loopLength / 2 : 1);  // one word: no loop
  }
  out.push_back(uint8_t(module.orders.size()));
  out.push_back(127);
  for (size_t i = 0; i < 128; ++i) out.push_back(i < module.orders.size() ? module.orders[i] : 0);
  PutText(out, "M.K.");
  for (const std::vector<Note>& pattern : module.patterns) {
    for (size_t cell = 0; cell < MOD_ROWS * MOD_CHANNELS; ++cell) {
      const Note n = cell < pattern.size() ? pattern[cell] : Note{};
      out.push_back(uint8_t((n.sample & 0xF0) | ((n.period >> 8) & 0x0F)));
      out.push_back(uint8_t(n.period));
      out.push_back(uint8_t(((n.sample & 0x0F) << 4) | (n.effect & 0x0F)));
      out.push_back(n.parameter);
    }
  }
  for (const ModSample& s : module.samples)
    for (int8_t v : s.data) out.push_back(uint8_t(v));
  return out;
}

}  // namespace demogen
