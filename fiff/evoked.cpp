// MNE-Python's averages: each aspect of an evoked block whose epochs are floats, with its channels, times and counts.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "blocks.h"
#include "checked_size.h"
#include "processed.h"

namespace fiff {

namespace {

// The element type of an epoch tag (a vector, or a dense matrix), when it is a real or complex
// float type; 0 for the packed form and anything else.
int32_t ElementType(int32_t DataType) {
  const int32_t element = (DataType & kMatrixDense) ? DataType & ~kMatrixDense : DataType;
  switch (element) {
    case kTypeFloat:
    case kTypeDouble:
    case kTypeComplexFloat:
    case kTypeComplexDouble: return element;
    default: return 0;
  }
}

// What an evoked block states for all its aspects.
struct TEvokedBlock {
  std::optional<std::string> Comment;
  std::optional<int32_t> First, Last, Samples;
  std::optional<float> FirstTime;
  int32_t Channels = 0;
  float Frequency = -1;
  std::vector<TChannelInfo> Records;
};

TEvokedBlock ReadEvokedBlock(TFiff& R, const TBlockTree& Tree, int32_t Block) {
  TEvokedBlock b;
  for (const int32_t i : Tree.Entries(Block)) {
    switch (R.Tag(i).Kind) {
      case kComment: b.Comment = ReadStoredText(R, i, false); break;
      case kFirstSample: b.First = R.ReadLongAt(i); break;
      case kLastSample: b.Last = R.ReadLongAt(i); break;
      case kNChan: b.Channels = R.ReadLongAt(i); break;
      case kSFreq: b.Frequency = static_cast<float>(ReadNumber(R, i)); break;
      case kChInfo: b.Records.push_back(R.ReadChannelInfo(i)); break;
      case kFirstTime: b.FirstTime = static_cast<float>(ReadNumber(R, i)); break;
      case kNoSamples: b.Samples = R.ReadLongAt(i); break;
      default: break;
    }
  }
  return b;
}

// The channels, times and layout of an aspect's epochs, or the Problem MNE-Python would find.
void Describe(TFiff& R, const TEvokedBlock& B, const TMneInfo& Info, const std::vector<int32_t>& Epochs,
              TFloatAverage& A) {
  auto problem = [&](const std::string& Why) {
    if (A.Problem.empty()) A.Problem = Why;
  };
  if (B.Channels > 0) {
    if (B.Records.size() != static_cast<size_t>(B.Channels))
      problem("its evoked block states " + std::to_string(B.Channels) + " channels and describes " +
              std::to_string(B.Records.size()));
    A.Channels = B.Records;
    A.Frequency = B.Frequency > 0 ? B.Frequency : Info.Frequency;
  } else {
    if (!Info.Problem.empty()) problem(Info.Problem);
    A.Channels = Info.Channels;
    A.Frequency = Info.Frequency;
  }
  if (!(A.Frequency > 0) || !std::isfinite(A.Frequency)) problem("it states no sampling frequency");
  // The samples the times state.
  int64_t samples = 0;
  if (B.FirstTime && B.Samples) {
    A.FirstTime = B.FirstTime;
    samples = *B.Samples;
    const double first = std::nearbyint(static_cast<double>(*B.FirstTime) * A.Frequency);
    A.FirstSample = B.First.value_or(std::abs(first) < 2e9 ? static_cast<int32_t>(first) : 0);
    A.LastSample =
        B.Last.value_or(static_cast<int32_t>(std::clamp<int64_t>(A.FirstSample + samples - 1, INT32_MIN, INT32_MAX)));
  } else if (B.First && B.Last) {
    A.FirstSample = *B.First;
    A.LastSample = *B.Last;
    samples = int64_t{*B.Last} - *B.First + 1;
  } else {
    problem("it states neither its first time and samples nor its first and last sample");
  }
  const auto channels = static_cast<int64_t>(A.Channels.size());
  const auto nepoch = static_cast<int64_t>(Epochs.size());
  if (nepoch != 1 && nepoch != channels) {
    problem("it holds " + std::to_string(nepoch) + " epochs for " + std::to_string(channels) + " channels");
    return;
  }
  A.DataType = ElementType(R.Tag(Epochs[0]).DataType);
  if (A.DataType == kTypeComplexFloat || A.DataType == kTypeComplexDouble) {
    problem("its values are complex");
    return;
  }
  const int64_t item = A.DataType == kTypeDouble ? 8 : 4;
  // Each epoch's values: the matrix's rows, or each vector's values.
  int64_t held = -1;
  for (const int32_t e : Epochs) {
    const TFiffTag& t = R.Tag(e);
    if (ElementType(t.DataType) != A.DataType) return problem("its epochs hold values of different types");
    const int64_t data = int64_t{t.Pos} + kTagHeaderSize;
    int64_t rows = 1, length = t.Size / item;
    if (t.DataType & kMatrixDense) {
      const auto dims = MatrixDims(R, e);
      if (!dims || dims->size() > 2)
        return problem("its epoch at byte " + std::to_string(t.Pos) + " is no matrix of 2 dimensions");
      rows = dims->size() == 2 ? (*dims)[0] : 1;
      length = dims->back();
      // One channel's matrix may stand samples x 1, as MNE-Python reads it.
      if (dims->size() == 2 && (*dims)[1] == 1 && channels == 1) std::swap(rows, length);
      const std::optional<int64_t> values = CheckedMul(rows, length);
      if (rows < 0 || length < 0 || !values ||
          *values > (t.Size - 4 * (int64_t{static_cast<int32_t>(dims->size())} + 1)) / item)
        return problem("its epoch at byte " + std::to_string(t.Pos) + " is smaller than its dimensions say");
    }
    if (nepoch == 1 ? rows != channels : rows != 1)
      return problem("its epoch at byte " + std::to_string(t.Pos) + " holds " + std::to_string(rows) + " rows for " +
                     std::to_string(nepoch == 1 ? channels : 1) + " channels");
    if (held >= 0 && length != held) return problem("its epochs hold different numbers of samples");
    held = length;
    for (int64_t c = 0; c < rows; ++c) A.Columns.push_back(data + c * length * item);
  }
  if (!A.Problem.empty()) return;
  if (held != samples)
    return problem("it holds " + std::to_string(held) + " samples where its times state " + std::to_string(samples));
  if (samples <= 0 || samples > INT32_MAX) return problem("its times state " + std::to_string(samples) + " samples");
  A.Samples = static_cast<int32_t>(samples);
}

// What the aspect block and the evoked block around it say, and the aspect's epochs of floats.
TAspect ReadAspect(TFiff& R, const TBlockTree& Tree, const std::optional<std::string>& Comment, int32_t Block,
                   std::vector<int32_t>* Epochs) {
  TAspect a;
  if (Comment) a.Comment = *Comment;
  for (const int32_t i : Tree.Entries(Block)) {
    switch (R.Tag(i).Kind) {
      case kComment: a.Comment = ReadStoredText(R, i, false); break;
      case kAspectKind: a.Kind = R.ReadLongAt(i); break;
      case kNAve: a.Nave = R.ReadLongAt(i); break;
      case kEpoch:
        if (Epochs && ElementType(R.Tag(i).DataType) != 0) Epochs->push_back(i);
        break;
      default: break;
    }
  }
  return a;
}

// The evoked blocks' aspects as MNE-Python finds them: every aspect block within, or where there is
// none, every MaxShield aspect.
std::vector<int32_t> Aspects(const TBlockTree& Tree, int32_t Evoked) {
  std::vector<int32_t> aspects = Tree.Find(kBlockAspect, Evoked);
  return aspects.empty() ? Tree.Find(kBlockIasAspect, Evoked) : aspects;
}

}  // namespace

std::map<int32_t, TAspect> PackedEpochAspects(TFiff& Reader, const TBlockTree& Tree) {
  std::map<int32_t, TAspect> found;
  for (const int32_t evoked : Tree.Find(kBlockEvoked)) {
    std::optional<TEvokedBlock> block;  // read only where a packed epoch lies
    for (const int32_t aspect : Aspects(Tree, evoked)) {
      std::optional<TAspect> facts;
      for (const int32_t i : Tree.Entries(aspect)) {
        if (Reader.Tag(i).Kind != kEpoch || Reader.Tag(i).DataType != kTypeOldPack) continue;
        if (!block) block = ReadEvokedBlock(Reader, Tree, evoked);
        if (!facts) facts = ReadAspect(Reader, Tree, block->Comment, aspect, nullptr);
        found.emplace(i, *facts);
      }
    }
  }
  return found;
}

std::vector<TFloatAverage> ReadFloatAverages(TFiff& Reader, const TBlockTree& Tree, const TMneInfo& Info) {
  std::vector<TFloatAverage> averages;
  for (const int32_t evoked : Tree.Find(kBlockEvoked)) {
    const TEvokedBlock block = ReadEvokedBlock(Reader, Tree, evoked);
    for (const int32_t aspect : Aspects(Tree, evoked)) {
      TFloatAverage a;
      std::vector<int32_t> epochs;
      a.Aspect = ReadAspect(Reader, Tree, block.Comment, aspect, &epochs);
      if (epochs.empty()) continue;  // packed epochs, or none
      a.Entry = epochs[0];
      Describe(Reader, block, Info, epochs, a);
      averages.push_back(std::move(a));
    }
  }
  return averages;
}

}  // namespace fiff
