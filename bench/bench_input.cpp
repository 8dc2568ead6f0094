// Large generated FIFF recordings for the benchmarks.
#include "bench_input.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace {

constexpr int kChannels = 306;

void Put32(std::vector<uint8_t>& Out, uint32_t V) {
  for (int s = 24; s >= 0; s -= 8) Out.push_back(static_cast<uint8_t>(V >> s));
}

void PutTag(std::vector<uint8_t>& Out, int32_t Kind, int32_t Type, const std::vector<uint8_t>& Data) {
  Put32(Out, static_cast<uint32_t>(Kind));
  Put32(Out, static_cast<uint32_t>(Type));
  Put32(Out, static_cast<uint32_t>(Data.size()));
  Put32(Out, 0);
  Out.insert(Out.end(), Data.begin(), Data.end());
}

std::vector<uint8_t> Be32(uint32_t V) {
  std::vector<uint8_t> d;
  Put32(d, V);
  return d;
}

std::vector<uint8_t> BeFloat(float F) {
  uint32_t bits;
  std::memcpy(&bits, &F, 4);
  return Be32(bits);
}

// The measurement information: 306 channels at 1000 Hz (204 planar gradiometers, 93 magnetometers
// and 9 EEG channels, or 8 and the stim channel STI101 with Stim), named and with their units.
void PutInfo(std::vector<uint8_t>& Out, bool Stim) {
  PutTag(Out, 200, 3, Be32(kChannels));
  PutTag(Out, 201, 4, BeFloat(1000.0f));
  PutTag(Out, 219, 4, BeFloat(330.0f));
  PutTag(Out, 223, 4, BeFloat(0.1f));
  for (int c = 0; c < kChannels; ++c) {
    std::vector<uint8_t> ch;
    const int kind = Stim && c == kChannels - 1 ? 3 : c < 297 ? 1 : 2;
    const int coil = c < 204 ? 3012 : c < 297 ? 3022 : 0;
    for (uint32_t v : {uint32_t(c + 1), uint32_t(c + 1), uint32_t(kind)}) Put32(ch, v);
    for (auto b : BeFloat(1.0f)) ch.push_back(b);
    for (auto b : BeFloat(1e-13f)) ch.push_back(b);
    Put32(ch, coil);
    for (int k = 0; k < 12; ++k)
      for (auto b : BeFloat(0.01f * k)) ch.push_back(b);
    Put32(ch, kind == 3 ? 0xFFFFFFFFu : coil == 3012 ? 201 : coil == 3022 ? 112 : 107);  // T/m, T, V
    Put32(ch, 0);
    char name[17];
    std::snprintf(name, sizeof name, kind == 3 ? "STI101" : kind == 1 ? "MEG %04d" : "EEG %03d", c + 1);
    ch.insert(ch.end(), name, name + std::strlen(name));
    ch.resize(96, 0);
    PutTag(Out, 203, 30, ch);
  }
}

std::vector<uint8_t> FileId() {
  std::vector<uint8_t> id(20, 0);
  id[1] = id[3] = 1;  // version 1.1
  return id;
}

}  // namespace

void Generate(const std::string& Path, int64_t Size, int SamplesPerBuffer, int Parts, bool Stim) {
  std::vector<uint8_t> head;
  PutTag(head, 100, 31, FileId());
  PutInfo(head, Stim);
  const int64_t bufferBytes = int64_t{kChannels} * SamplesPerBuffer * 2;
  std::vector<uint8_t> buffer;
  Put32(buffer, 300);
  Put32(buffer, 2);
  Put32(buffer, static_cast<uint32_t>(bufferBytes));
  Put32(buffer, 0);
  for (int64_t i = 0; i < bufferBytes; ++i) buffer.push_back(static_cast<uint8_t>(i * 7 + 3));
  if (Stim)
    for (int64_t s = 0; s < SamplesPerBuffer; ++s) {
      const size_t at = static_cast<size_t>(16 + (s * kChannels + kChannels - 1) * 2);
      buffer[at] = 0;
      buffer[at + 1] = s < 10 ? 5 : 0;
    }
  // A split recording: each part its raw data block, with its first sample, and a reference to
  // the next part, as MNE-Python writes them (run.fif, run-1.fif, run-2.fif, ...).
  const int64_t buffers = (Size - static_cast<int64_t>(head.size())) / static_cast<int64_t>(buffer.size());
  const std::string stem = Path.substr(0, Path.rfind('.')), ending = Path.substr(Path.rfind('.'));
  auto partName = [&](int K) { return K == 0 ? Path : stem + "-" + std::to_string(K) + ending; };
  for (int part = 0; part < Parts; ++part) {
    FILE* f = std::fopen(partName(part).c_str(), "wb");
    if (!f) throw std::runtime_error("cannot create " + partName(part));
    std::vector<uint8_t> open = head, close;
    const int64_t from = buffers * part / Parts, to = buffers * (part + 1) / Parts;
    if (Parts > 1) {
      PutTag(open, 104, 3, Be32(102));
      PutTag(open, 208, 3, Be32(static_cast<uint32_t>(from * SamplesPerBuffer)));
      if (part + 1 < Parts) {
        PutTag(close, 104, 3, Be32(118));
        PutTag(close, 115, 3, Be32(2));
        const std::string next = partName(part + 1).substr(partName(part + 1).rfind('/') + 1);
        PutTag(close, 118, 10, std::vector<uint8_t>(next.begin(), next.end()));
        PutTag(close, 105, 3, Be32(118));
      }
      PutTag(close, 105, 3, Be32(102));
    }
    bool ok = std::fwrite(open.data(), 1, open.size(), f) == open.size();
    for (int64_t k = from; ok && k < to; ++k) ok = std::fwrite(buffer.data(), 1, buffer.size(), f) == buffer.size();
    ok = ok && std::fwrite(close.data(), 1, close.size(), f) == close.size();
    if (std::fclose(f) != 0 || !ok) throw std::runtime_error("cannot write " + partName(part));
  }
}

void GenerateEpochs(const std::string& Path, int64_t Size) {
  constexpr int kSamples = 401;
  std::vector<uint8_t> head;
  PutTag(head, 100, 31, FileId());
  PutTag(head, 104, 3, Be32(100));
  PutTag(head, 104, 3, Be32(101));
  PutInfo(head, true);
  PutTag(head, 105, 3, Be32(101));
  PutTag(head, 104, 3, Be32(103));
  PutTag(head, 104, 3, Be32(373));
  PutTag(head, 208, 3, Be32(static_cast<uint32_t>(-100)));
  PutTag(head, 209, 3, Be32(300));
  const int64_t epochBytes = int64_t{kChannels} * kSamples * 4;
  const int64_t epochs = std::max<int64_t>(1, (Size - static_cast<int64_t>(head.size())) / epochBytes);
  Put32(head, 302);
  Put32(head, 0x40000004);
  Put32(head, static_cast<uint32_t>(epochs * epochBytes + 16));
  Put32(head, 0);
  std::vector<uint8_t> epoch;
  for (int64_t i = 0; i < epochBytes / 4; ++i)
    for (auto b : BeFloat(static_cast<float>(i % 1000) * 1e-3f)) epoch.push_back(b);
  std::vector<uint8_t> tail;
  for (uint32_t d : {uint32_t(kSamples), uint32_t(kChannels), uint32_t(epochs), 3u}) Put32(tail, d);
  std::vector<uint8_t> events;
  for (int64_t e = 0; e < epochs; ++e)
    for (uint32_t v : {uint32_t(1000 + e * 500), 0u, uint32_t(1 + e % 4)}) Put32(events, v);
  PutTag(tail, 104, 3, Be32(361));
  PutTag(tail, 3561, 3, events);
  const std::string names = "left/auditory:1;right/auditory:2;left/visual:3;right/visual:4";
  PutTag(tail, 206, 10, std::vector<uint8_t>(names.begin(), names.end()));
  PutTag(tail, 105, 3, Be32(361));
  for (int32_t block : {373, 103, 100}) PutTag(tail, 105, 3, Be32(static_cast<uint32_t>(block)));
  FILE* f = std::fopen(Path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot create " + Path);
  bool ok = std::fwrite(head.data(), 1, head.size(), f) == head.size();
  for (int64_t e = 0; ok && e < epochs; ++e) ok = std::fwrite(epoch.data(), 1, epoch.size(), f) == epoch.size();
  ok = ok && std::fwrite(tail.data(), 1, tail.size(), f) == tail.size();
  if (std::fclose(f) != 0 || !ok) throw std::runtime_error("cannot write " + Path);
}
