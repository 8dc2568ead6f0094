// Large generated FIFF recordings for the benchmarks.
#include "bench_input.h"

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

}  // namespace

void Generate(const std::string& Path, int64_t Size, int SamplesPerBuffer, int Parts) {
  std::vector<uint8_t> head;
  std::vector<uint8_t> id = {0, 1, 0, 1};
  id.resize(20, 0);
  PutTag(head, 100, 31, id);
  PutTag(head, 200, 3, Be32(kChannels));
  PutTag(head, 201, 4, BeFloat(1000.0f));
  PutTag(head, 219, 4, BeFloat(330.0f));
  PutTag(head, 223, 4, BeFloat(0.1f));
  for (int c = 0; c < kChannels; ++c) {
    std::vector<uint8_t> ch;
    const int kind = c < 204 ? 1 : c < 297 ? 1 : 2;
    const int coil = c < 204 ? 3012 : c < 297 ? 3022 : 0;
    for (uint32_t v : {uint32_t(c + 1), uint32_t(c + 1), uint32_t(kind)}) Put32(ch, v);
    for (auto b : BeFloat(1.0f)) ch.push_back(b);
    for (auto b : BeFloat(1e-13f)) ch.push_back(b);
    Put32(ch, coil);
    for (int k = 0; k < 12; ++k)
      for (auto b : BeFloat(0.01f * k)) ch.push_back(b);
    ch.resize(96, 0);
    PutTag(head, 203, 30, ch);
  }
  const int64_t bufferBytes = int64_t{kChannels} * SamplesPerBuffer * 2;
  std::vector<uint8_t> buffer;
  Put32(buffer, 300);
  Put32(buffer, 2);
  Put32(buffer, static_cast<uint32_t>(bufferBytes));
  Put32(buffer, 0);
  for (int64_t i = 0; i < bufferBytes; ++i) buffer.push_back(static_cast<uint8_t>(i * 7 + 3));
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
