// The sound actions: looping music (ACTMOD), one-shot samples (ACTSFX) and the music volume
// (ACTMVOL), over the sound layer. Volumes go to the layer only when the channel value changes,
// compared exactly; the first rendered frame always sends one. A handle of 0 (a file the layer
// could not read, or the layer closed) makes the calls that would name it no-ops. Nothing is
// handed to a closed layer.
#include "actions/Actions.h"

#include "actions/ActionsInternal.h"
#include "vfs/Vfs.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

std::vector<MusicPlayer*> musicTable;
int32_t musicVolumeIndex = 0;

void ResetMusicTable() {
  musicTable.clear();
  musicVolumeIndex = 0;
}

int32_t ActionVolume(float value, float factor) {
  const int64_t volume = actions::Truncate(factor * value);
  return int32_t(std::clamp<int64_t>(volume, 0, 100));
}

namespace {

// The file of that name in the Vfs, or none. An empty name finds nothing: it would otherwise
// match whichever file the Vfs lists first.
const VfsFile* FindFile(Vfs* vfs, const char* name) {
  if (!vfs || !*name) return nullptr;
  const VfsFile* file = vfs->Find(name);
  return file && file->loaded ? file : nullptr;
}

// The bytes a record really holds: a record claiming more than it has is read as far as it has.
size_t FileSize(const VfsFile* file) { return std::min<size_t>(file->size, file->data.size()); }

}  // namespace

// ---- MusicPlayer ----

bool MusicPlayer::Load(const VfsFile* file) {
  // A closed layer (no sound chosen, or a report without sound) would only say so each time.
  handle = sound::IsOpen() ? sound::MusicLoad(file->data.data(), FileSize(file)) : 0;
  return true;
}

bool MusicPlayer::Play(int32_t order, int32_t row, bool loop) {
  sound::Start();
  if (handle) sound::MusicPlay(handle, uint16_t(order & 0xFFFF), uint16_t(row & 0xFFFF), loop);
  return true;
}

void MusicPlayer::Stop() { sound::Stop(); }

void MusicPlayer::Free() {
  sound::Stop();
  if (handle) sound::MusicFree(handle);
  handle = 0;
}

// ---- ModuleAction ----

bool ModuleAction::Create(const char* params, Vfs* vfs, Scene*) {
  // Numbered in creation order whatever becomes of the file, so number n is the n-th ACTMOD.
  musicTable.push_back(&music);
  char name[256] = {};
  std::sscanf(params, "%255s %i %i %i", name, &startOrder, &param2, &param3);
  fileName = name;
  const VfsFile* file = FindFile(vfs, name);
  if (!file) return false;
  music.Load(file);
  playing = 0;
  return true;
}

void ModuleAction::Render(SceneObject* owner, float) {
  if (!created) return;
  const float volume = std::fabs(owner->channelValues[CHANNEL_SCALE_X]);
  if (volume != lastVolume) {
    if (music.handle) sound::MusicSetVolume(music.handle, ActionVolume(volume, 40.0f));
    lastVolume = volume;
    ++volumeSends;
  }
  if (!playing) {
    music.Play(startOrder, 0, true);
    playing = 1;
  }
}

void ModuleAction::Delete() {
  if (playing) music.Stop();
  music.Free();
  playing = 0;
  // The numbers of the others stay; the table empties once every music is gone.
  std::replace(musicTable.begin(), musicTable.end(), &music, static_cast<MusicPlayer*>(nullptr));
  while (!musicTable.empty() && !musicTable.back()) musicTable.pop_back();
}

void ModuleAction::ListFiles(std::vector<File>& files) const {
  if (!fileName.empty()) files.push_back({"music", fileName});
}

// ---- SoundAction ----

bool SoundAction::Create(const char* params, Vfs* vfs, Scene*) {
  char name[256] = {};
  std::sscanf(params, "%255s", name);
  fileName = name;
  const VfsFile* file = FindFile(vfs, name);
  if (!file) return false;
  if (!sound::IsOpen()) return false;
  sample = sound::SampleLoad(file->data.data(), FileSize(file), sound::SAMPLE_VOICES_MAX);
  return sample != 0;
}

void SoundAction::Render(SceneObject* owner, float) {
  if (!created) return;
  const float trigger = owner->channelValues[CHANNEL_SCALE_Y];
  if (trigger <= -1.0f) {
    if (playing) return;  // once per dip, even after the sound has ended
    sound::SamplePlay(sample, ActionVolume(std::fabs(owner->channelValues[CHANNEL_SCALE_X]), 50.0f));
    playing = 1;
    ++plays;
  } else if (playing) {
    sound::SampleStop(sample);
    playing = 0;
  }
}

void SoundAction::Delete() {
  if (sample) sound::SampleFree(sample);
  sample = 0;
}

void SoundAction::ListFiles(std::vector<File>& files) const {
  if (!fileName.empty()) files.push_back({"sample", fileName});
}

// ---- MusicVolumeAction ----

bool MusicVolumeAction::Create(const char* params, Vfs*, Scene*) {
  std::sscanf(params, "%i", &musicVolumeIndex);  // nothing read: the last index stays
  lastVolume = -2.0f;
  return true;
}

void MusicVolumeAction::Render(SceneObject* owner, float) {
  if (!created) return;
  const float volume = owner->channelValues[CHANNEL_SCALE_X];
  if (volume == lastVolume) return;
  const int32_t index = musicVolumeIndex;
  MusicPlayer* player = index >= 0 && size_t(index) < musicTable.size() ? musicTable[size_t(index)] : nullptr;
  if (!player) return;  // no such music: its volume stays as it is
  if (player->handle) sound::MusicSetVolume(player->handle, ActionVolume(volume, 40.0f));
  lastVolume = volume;
  ++volumeSends;
}
