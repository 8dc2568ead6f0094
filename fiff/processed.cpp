// The measurement information of processed data, the dimensions of a dense matrix, and the names of epochs' events.
#include "processed.h"

#include <bit>
#include <cctype>
#include <charconv>
#include <map>

namespace fiff {

TMneInfo ReadMneInfo(TFiff& Reader, const TBlockTree& Tree) {
  TMneInfo info;
  const std::vector<int32_t> blocks = Tree.Find(kBlockMeasInfo);
  if (blocks.empty()) {
    info.Problem = "it has no measurement information";
    return info;
  }
  std::optional<int32_t> count;
  for (const int32_t i : Tree.Entries(blocks[0])) {
    switch (Reader.Tag(i).Kind) {
      case kNChan: count = Reader.ReadLongAt(i); break;
      case kSFreq: info.Frequency = static_cast<float>(ReadNumber(Reader, i)); break;
      case kChInfo: info.Channels.push_back(Reader.ReadChannelInfo(i)); break;
      default: break;
    }
  }
  if (!count || info.Frequency == 0)
    info.Problem = "its measurement information states no channel count or sampling frequency";
  else if (info.Channels.empty() || *count != static_cast<int64_t>(info.Channels.size()))
    info.Problem = "its measurement information states " + std::to_string(*count) + " channels and describes " +
                   std::to_string(info.Channels.size());
  return info;
}

double ReadNumber(TFiff& Reader, int32_t Index) {
  const TFiffTag& t = Reader.Tag(Index);
  Reader.SeekTagData(Index);
  if (t.DataType == kTypeFloat) return Reader.ReadSingle();
  if (t.DataType == kTypeDouble) {
    const uint64_t hi = Reader.ReadLongWord();
    return std::bit_cast<double>(hi << 32 | Reader.ReadLongWord());
  }
  return Reader.ReadLong();
}

std::optional<std::vector<int32_t>> MatrixDims(TFiff& Reader, int32_t Index) {
  const TFiffTag& t = Reader.Tag(Index);
  if ((t.DataType & 0x7FFF0000) != kMatrixDense || t.Size < 8) return std::nullopt;
  Reader.SeekTagOffset(Index, kTagHeaderSize + t.Size - 4);
  const int32_t n = Reader.ReadLong();
  if (n < 1 || n > 3 || t.Size < 4 * (n + 1)) return std::nullopt;
  std::vector<int32_t> dims(static_cast<size_t>(n));
  Reader.SeekTagOffset(Index, kTagHeaderSize + t.Size - 4 * (n + 1));
  for (int32_t k = n - 1; k >= 0; --k) dims[static_cast<size_t>(k)] = Reader.ReadLong();  // stored last first
  return dims;
}

std::vector<std::pair<std::string, int64_t>> ParseEventNames(const std::string& Description) {
  std::vector<std::pair<std::string, int64_t>> names;
  std::map<std::string, size_t> index;
  for (size_t at = 0; at <= Description.size();) {
    const size_t end = std::min(Description.find(';', at), Description.size());
    const std::string item = Description.substr(at, end - at);
    at = end + 1;
    const size_t colon = item.rfind(':');
    if (colon == std::string::npos) continue;
    // An id as Python's int() reads it: an optional sign, digits, blanks around them.
    std::string_view id(item);
    id.remove_prefix(colon + 1);
    while (!id.empty() && std::isspace(static_cast<unsigned char>(id.front()))) id.remove_prefix(1);
    while (!id.empty() && std::isspace(static_cast<unsigned char>(id.back()))) id.remove_suffix(1);
    if (id.size() > 1 && id.front() == '+' && std::isdigit(static_cast<unsigned char>(id[1]))) id.remove_prefix(1);
    int64_t value = 0;
    const auto [p, err] = std::from_chars(id.data(), id.data() + id.size(), value);
    if (id.empty() || err != std::errc() || p != id.data() + id.size()) continue;
    // A name given twice keeps its place and its last id, as a dictionary does.
    const auto [place, added] = index.try_emplace(item.substr(0, colon), names.size());
    if (added)
      names.emplace_back(place->first, value);
    else
      names[place->second].second = value;
  }
  return names;
}

}  // namespace fiff
