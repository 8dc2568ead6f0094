// MNE-Python's epochs: the epochs block's matrix, the samples each epoch spans, and the events with their names.
#include <algorithm>
#include <functional>
#include <map>

#include "blocks.h"
#include "checked_size.h"
#include "processed.h"
#include "text.h"

namespace fiff {

namespace {

// The event list and the names of its values, from the first events block, as MNE-Python reads
// them: the names of a description "name:id;..." (the first name of each id), or one name per
// event (comments), or without either the value itself.
void ReadEvents(TFiff& R, const TBlockTree& Tree, TEpochs& E, const std::function<void(const std::string&)>& Problem) {
  const std::vector<int32_t> blocks = Tree.Find(kBlockMneEvents);
  if (blocks.empty()) return Problem("it has no event list");
  const std::vector<int32_t> entries = Tree.Entries(blocks[0]);
  std::optional<int32_t> list;
  for (const int32_t i : entries)
    if (R.Tag(i).Kind == kMneEventList) {
      list = i;
      break;
    }
  if (!list) return Problem("it has no event list");
  const TFiffTag& t = R.Tag(*list);
  if (t.DataType != kTypeInt || t.Size % 12 != 0) return Problem("its event list is no list of 3 integers each");
  E.Events.resize(static_cast<size_t>(t.Size / 12));
  R.SeekTagData(*list);
  for (auto& event : E.Events)
    for (int32_t& v : event) v = R.ReadLong();
  // A sample below 0 cannot be an event's: MNE-Python numbers them all 1, 2, ... instead.
  for (const auto& event : E.Events) E.Renumbered |= event[0] < 0;
  if (E.Renumbered)
    for (size_t k = 0; k < E.Events.size(); ++k) E.Events[k][0] = static_cast<int32_t>(k + 1);
  for (const int32_t i : entries) {
    if (R.Tag(i).Kind == kComment) {
      std::map<int64_t, std::string> byValue;
      for (const auto& [name, value] : ParseEventNames(Latin1ToUtf8(ReadStoredText(R, i, false))))
        byValue.try_emplace(value, name);
      for (const auto& event : E.Events) {
        const auto found = byValue.find(event[2]);
        E.Names.push_back(found == byValue.end() ? std::string() : found->second);
      }
      return;
    }
    if (R.Tag(i).Kind == kMneEventComments) {
      // One name per event, each ended by a zero byte.
      const std::string all = Latin1ToUtf8(ReadStoredText(R, i, false));
      for (size_t at = 0, end; (end = all.find('\0', at)) != std::string::npos; at = end + 1)
        E.Names.push_back(all.substr(at, end - at));
      if (E.Names.size() != E.Events.size()) Problem("its event comments do not name one event each");
      return;
    }
  }
  for (const auto& event : E.Events) E.Names.push_back(std::to_string(event[2]));
}

}  // namespace

std::optional<TEpochs> ReadEpochs(TFiff& Reader, const TBlockTree& Tree, const TMneInfo& Info) {
  std::vector<int32_t> blocks = Tree.Find(kBlockMneEpochs);
  if (blocks.empty()) blocks = Tree.Find(kBlockOldEpochs);
  if (blocks.empty()) return std::nullopt;
  TEpochs e;
  auto problem = [&](const std::string& Why) {
    if (e.Problem.empty()) e.Problem = Why;
  };
  if (blocks.size() > 1) problem("it holds " + std::to_string(blocks.size()) + " epochs blocks");
  problem(Info.Problem);
  e.Channels = Info.Channels;
  e.Frequency = Info.Frequency;
  std::optional<int32_t> data, first, last;
  for (const int32_t i : Tree.Entries(blocks[0])) {
    switch (Reader.Tag(i).Kind) {
      case kFirstSample: first = Reader.ReadLongAt(i); break;
      case kLastSample: last = Reader.ReadLongAt(i); break;
      case kEpoch: data = i; break;  // the last, as MNE-Python takes it
      default: break;
    }
  }
  ReadEvents(Reader, Tree, e, problem);
  if (!first || !last) problem("its epochs block states no first and last sample");
  if (!data) problem("its epochs block holds no epochs");
  if (!e.Problem.empty()) return e;
  e.FirstSample = *first;
  e.LastSample = *last;
  const TFiffTag& t = Reader.Tag(*data);
  e.Data = int64_t{t.Pos} + kTagHeaderSize;
  e.DataType = t.DataType ^ kMatrixDense;
  if (e.DataType == kTypeComplexFloat || e.DataType == kTypeComplexDouble) problem("its epochs are complex");
  if (e.DataType != kTypeFloat && e.DataType != kTypeDouble)
    problem("its epochs are FIFF data type " + std::to_string(t.DataType) + ", not a matrix of floats or doubles");
  if (!e.Problem.empty()) return e;
  // MNE-Python's test of the size: the values the tag holds beside its 16 bytes of dimensions.
  const int64_t item = e.DataType == kTypeDouble ? 8 : 4;
  const int64_t samples = int64_t{e.LastSample} - e.FirstSample + 1;
  const auto count = static_cast<int64_t>(e.Events.size()), channels = static_cast<int64_t>(e.Channels.size());
  const std::optional<int64_t> expected = CheckedMul(count * channels, samples);  // each count below 2^31
  const int64_t held = t.Size / item - 16 / item;
  if (samples <= 0 || samples > INT32_MAX || !expected || *expected != held)
    problem("its epochs hold " + std::to_string(held) + " values where " + std::to_string(count) + " events of " +
            std::to_string(channels) + " channels x " + std::to_string(samples) + " samples need " +
            (expected ? std::to_string(*expected) : "more"));
  const auto dims = MatrixDims(Reader, *data);
  if (e.Problem.empty() &&
      (!dims || *dims != std::vector<int32_t>{static_cast<int32_t>(count), static_cast<int32_t>(channels),
                                              static_cast<int32_t>(samples)}))
    problem("its epochs' dimensions are not " + std::to_string(count) + " x " + std::to_string(channels) + " x " +
            std::to_string(samples));
  e.Count = static_cast<int32_t>(count);
  e.Samples = static_cast<int32_t>(std::clamp<int64_t>(samples, 0, INT32_MAX));
  return e;
}

}  // namespace fiff
