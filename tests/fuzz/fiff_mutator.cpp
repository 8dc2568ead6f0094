// Tag-level mutations of FIFF files, so the fuzzer reaches deep states (a huge count, then an epoch) in few steps.
#include "fiff_mutator.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <limits>
#include <random>
#include <vector>

#include "fiff_kinds.h"
#include "processed.h"

namespace {

struct TTag {
  int32_t Kind = 0, Type = 0, Size = 0, Next = 0;
  std::vector<uint8_t> Data;  // the bytes that follow the header, as many as the file has
};

struct TFile {
  std::vector<TTag> Tags;
  std::vector<uint8_t> Rest;  // fewer bytes than a header at the end
};

int32_t GetBE(const uint8_t* P) {
  return static_cast<int32_t>((uint32_t{P[0]} << 24) | (uint32_t{P[1]} << 16) | (uint32_t{P[2]} << 8) | P[3]);
}

void PutBE(std::vector<uint8_t>& Out, int32_t V) {
  const auto u = static_cast<uint32_t>(V);
  for (int s = 24; s >= 0; s -= 8) Out.push_back(static_cast<uint8_t>(u >> s));
}

// Walks headers as the reader does, but keeps every byte so that writing back gives the input.
TFile Parse(const uint8_t* Data, size_t Size) {
  TFile f;
  size_t pos = 0;
  while (Size - pos >= 16) {
    TTag t;
    t.Kind = GetBE(Data + pos);
    t.Type = GetBE(Data + pos + 4);
    t.Size = GetBE(Data + pos + 8);
    t.Next = GetBE(Data + pos + 12);
    pos += 16;
    const size_t n = std::min<size_t>(t.Size < 0 ? 0 : static_cast<size_t>(t.Size), Size - pos);
    t.Data.assign(Data + pos, Data + pos + n);
    pos += n;
    f.Tags.push_back(std::move(t));
  }
  f.Rest.assign(Data + pos, Data + Size);
  return f;
}

std::vector<uint8_t> Write(const TFile& F) {
  std::vector<uint8_t> out;
  for (const TTag& t : F.Tags) {
    PutBE(out, t.Kind);
    PutBE(out, t.Type);
    PutBE(out, t.Size);
    PutBE(out, t.Next);
    out.insert(out.end(), t.Data.begin(), t.Data.end());
  }
  out.insert(out.end(), F.Rest.begin(), F.Rest.end());
  return out;
}

constexpr int32_t kKinds[] = {fiff::kNChan,          fiff::kSFreq,
                              fiff::kChInfo,         fiff::kMeasDate,
                              fiff::kComment,        fiff::kNAve,
                              fiff::kFirstSample,    fiff::kLastSample,
                              fiff::kExperimenter,   fiff::kDigPoint,
                              fiff::kHpiSlopes,      fiff::kLowpass,
                              fiff::kBadChs,         fiff::kCoordTrans,
                              fiff::kHighpass,       fiff::kNoSamples,
                              fiff::kFirstTime,      fiff::kName,
                              fiff::kHpiFitGoodness, fiff::kHpiFitGoodLimit,
                              fiff::kHpiCoilNo,      fiff::kDataBuffer,
                              fiff::kDataSkip,       fiff::kEpoch,
                              fiff::kSubjFirstName,  fiff::kSubjBirthDay,
                              fiff::kSubjSex,        fiff::kSubjHand,
                              fiff::kMriPixelData,   fiff::kMriWidth,
                              fiff::kMriHeight,      fiff::kBemSurfId,
                              fiff::kBemSurfNNode,   fiff::kBemSurfNTri,
                              fiff::kBemApprox,      fiff::kBemCoordFrame,
                              fiff::kBemSigma,       fiff::kProjItemVectors,
                              fiff::kProjItemChList, fiff::kBlockStart,
                              fiff::kBlockEnd,       fiff::kRefRole,
                              fiff::kRefFileName,    fiff::kRefFileNum,
                              fiff::kLineFreq,       fiff::kChDacqName,
                              fiff::kMneChNameList,  fiff::kMneBaselineMin,
                              fiff::kMneBaselineMax, fiff::kAspectKind,
                              fiff::kMneEventList,   fiff::kMneEventComments,
                              fiff::kLargestKind + 1};
// Blocks whose insides the readers look into: raw data, references to other files, annotations, ...
constexpr int32_t kBlocks[] = {fiff::kBlockMeasInfo,       fiff::kBlockRawData,  fiff::kBlockRef,
                               fiff::kBlockMneAnnotations, fiff::kBlockChInfo,   fiff::kBlockMneBadChannels,
                               fiff::kBlockEvoked,         fiff::kBlockAspect,   fiff::kBlockMneEpochs,
                               fiff::kBlockMneEvents,      fiff::kBlockIasAspect};
constexpr int32_t kTypes[] = {fiff::kTypeVoid,
                              fiff::kTypeByte,
                              fiff::kTypeShort,
                              fiff::kTypeInt,
                              fiff::kTypeFloat,
                              fiff::kTypeDouble,
                              fiff::kTypeString,
                              fiff::kTypeDauPack16,
                              fiff::kTypeOldPack,
                              fiff::kTypeChInfo,
                              fiff::kTypeDigPoint,
                              fiff::kTypeCoordTrans,
                              fiff::kTypeComplexFloat,
                              fiff::kMatrixDense | fiff::kTypeFloat,
                              fiff::kMatrixDense | fiff::kTypeDouble};

class TMutation {
 public:
  TMutation(TFile& File, size_t FileSize, unsigned int Seed) : F(File), FFileSize(FileSize), R(Seed) {}

  void Run() {
    // Values and lengths weigh double: they reach the states a reader of the file can get wrong.
    switch (Pick(12)) {
      case 0: Insert(); break;
      case 1: Drop(); break;
      case 2: Duplicate(); break;
      case 3: Reorder(); break;
      case 4:
        if (TTag* t = Some()) t->Kind = kKinds[Pick(std::size(kKinds))];
        break;
      case 5:
        if (TTag* t = Some()) t->Type = kTypes[Pick(std::size(kTypes))];
        break;
      case 6:
        if (TTag* t = Some()) t->Size = Boundary();
        break;
      case 7:
      case 8: SetFirstValue(); break;
      case 9: Enclose(); break;
      default: Resize(); break;
    }
  }

 private:
  size_t Pick(size_t N) { return std::uniform_int_distribution<size_t>(0, N - 1)(R); }
  int32_t Boundary() {
    const int32_t values[] = {0, 1, -1, std::numeric_limits<int32_t>::max(), static_cast<int32_t>(FFileSize)};
    return values[Pick(std::size(values))];
  }
  // A tag other than the file's identification, which must stay for anything to be read, and
  // that Wanted accepts. The kind is drawn first, so that one count among hundreds of channel
  // tags is found as often as any of them.
  template <class TWanted>
  TTag* Some(TWanted Wanted) {
    std::vector<int32_t> kinds;
    for (size_t k = 1; k < F.Tags.size(); ++k)
      if (Wanted(F.Tags[k]) && std::find(kinds.begin(), kinds.end(), F.Tags[k].Kind) == kinds.end())
        kinds.push_back(F.Tags[k].Kind);
    if (kinds.empty()) return nullptr;
    const int32_t kind = kinds[Pick(kinds.size())];
    std::vector<TTag*> tags;
    for (size_t k = 1; k < F.Tags.size(); ++k)
      if (F.Tags[k].Kind == kind && Wanted(F.Tags[k])) tags.push_back(&F.Tags[k]);
    return tags[Pick(tags.size())];
  }
  TTag* Some() {
    return Some([](const TTag&) { return true; });
  }
  size_t Place() { return 1 + Pick(F.Tags.size()); }

  void Insert() {
    if (F.Tags.empty()) return;
    TTag t;
    t.Kind = kKinds[Pick(std::size(kKinds))];
    t.Type = kTypes[Pick(std::size(kTypes))];
    const size_t lengths[] = {0, 4, 8, 12, 24, 96};
    t.Data.resize(lengths[Pick(std::size(lengths))]);
    for (uint8_t& b : t.Data) b = static_cast<uint8_t>(R());
    if (t.Data.size() >= 4 && Pick(2) == 0) {
      std::vector<uint8_t> v;
      PutBE(v, Boundary());
      std::copy(v.begin(), v.end(), t.Data.begin());
    }
    t.Size = static_cast<int32_t>(t.Data.size());
    F.Tags.insert(F.Tags.begin() + static_cast<std::ptrdiff_t>(Place()), std::move(t));
  }
  void Drop() {
    if (F.Tags.size() > 1) F.Tags.erase(F.Tags.begin() + static_cast<std::ptrdiff_t>(1 + Pick(F.Tags.size() - 1)));
  }
  void Duplicate() {
    if (const TTag* t = Some()) {
      TTag copy = *t;
      F.Tags.insert(F.Tags.begin() + static_cast<std::ptrdiff_t>(Place()), std::move(copy));
    }
  }
  void Reorder() {
    TTag* a = Some();
    TTag* b = Some();
    if (a && b) std::swap(*a, *b);
  }
  // Counts and sizes are single values: those tags are the ones given boundary values.
  void SetFirstValue() {
    TTag* t = Some([](const TTag& T) { return T.Data.size() == 4; });
    if (!t) t = Some();
    if (!t) return;
    if (t->Data.size() < 4) {
      t->Data.resize(4);
      t->Size = 4;
    }
    std::vector<uint8_t> v;
    PutBE(v, Boundary());
    std::copy(v.begin(), v.end(), t->Data.begin());
  }
  // A run of tags put into a block, or a block's start or end alone.
  void Enclose() {
    if (F.Tags.size() < 2) return;
    const int32_t block = kBlocks[Pick(std::size(kBlocks))];
    auto mark = [&](int32_t Kind) {
      TTag t;
      t.Kind = Kind;
      t.Type = fiff::kTypeInt;
      PutBE(t.Data, block);
      t.Size = 4;
      return t;
    };
    size_t from = 1 + Pick(F.Tags.size() - 1), to = 1 + Pick(F.Tags.size() - 1);
    if (from > to) std::swap(from, to);
    const size_t shape = Pick(4);  // both marks mostly, one alone now and then
    if (shape != 1) F.Tags.insert(F.Tags.begin() + static_cast<std::ptrdiff_t>(to) + 1, mark(fiff::kBlockEnd));
    if (shape != 2) F.Tags.insert(F.Tags.begin() + static_cast<std::ptrdiff_t>(from), mark(fiff::kBlockStart));
  }
  // New data lengths at the edges the readers test (an epoch of only its offset and scale, …).
  void Resize() {
    TTag* t = Some([](const TTag& T) { return T.Data.size() > 4; });
    if (!t) return;
    const size_t lengths[] = {0, 4, 8, t->Data.size() / 2, t->Data.size() + 4};
    t->Data.resize(lengths[Pick(std::size(lengths))]);
    t->Size = static_cast<int32_t>(t->Data.size());
  }

  TFile& F;
  size_t FFileSize;
  std::mt19937 R;
};

}  // namespace

size_t MutateFiffTags(uint8_t* Data, size_t Size, size_t MaxSize, unsigned int Seed) {
  TFile file = Parse(Data, Size);
  TMutation(file, Size, Seed).Run();
  const std::vector<uint8_t> out = Write(file);
  const size_t n = std::min(out.size(), MaxSize);
  std::memcpy(Data, out.data(), n);
  return n;
}
