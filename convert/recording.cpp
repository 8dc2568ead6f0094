// A recording split over several files: its parts found by their references, opened once each, in order.
#include <filesystem>
#include <set>

#include "blocks.h"
#include "convert.h"

namespace {

// The part's identity on disk, so a reference that leads back to it is seen whatever its spelling.
std::string Identity(const TFiff& Part) {
  if (Part.FIdentity.Known) return std::to_string(Part.FIdentity.Device) + ":" + std::to_string(Part.FIdentity.Inode);
  return std::filesystem::absolute(Part.FFileName).lexically_normal().string();
}

}  // namespace

TRecording TRecordingInput::Recording() const {
  TRecording r;
  r.OutputName = First.OutputName;
  r.Parts.push_back(First.Reader.get());
  for (const TInput& part : Later) r.Parts.push_back(part.Reader.get());
  return r;
}

TRecordingInput OpenRecording(const std::string& Path, const TReadRules& Rules, bool Join,
                              const TNumberSeparators& Separators) {
  TRecordingInput in;
  in.First = OpenInput(Path, Rules, Separators);
  if (!Join || !in.First.Reader) return in;
  std::set<std::string> seen{Identity(*in.First.Reader)};
  std::string previous = Path;
  TFiff* last = in.First.Reader.get();
  for (;;) {
    const std::optional<std::string> next = fiff::NextPartName(fiff::ReadFileReferences(*last), previous);
    if (!next) break;
    auto refuse = [&](const std::string& Why) { throw TInputError("Cannot convert \"" + Path + "\": " + Why); };
    if (static_cast<int>(in.Later.size()) + 1 >= kMostParts)
      refuse("it is split over more than " + std::to_string(kMostParts) + " files; \"" + *next +
             "\" would be one more");
    TInput part = OpenInput(*next, Rules, Separators);
    if (part.Refusal == TRefusal::Missing)
      refuse("its part \"" + *next + "\", which \"" + previous + "\" names as the next, does not exist");
    if (part.Refusal != TRefusal::None) refuse("its part \"" + *next + "\" is not a FIFF file it reads");
    if (!seen.insert(Identity(*part.Reader)).second)
      refuse("the part after \"" + previous + "\" is \"" + *next + "\", an earlier part of the recording");
    previous = *next;
    last = part.Reader.get();
    in.Later.push_back(std::move(part));
  }
  return in;
}

std::optional<std::string> NextPart(const std::string& Path, const TReadRules& Rules) {
  const TInput in = OpenInput(Path, Rules);
  if (!in.Reader) return std::nullopt;
  return fiff::NextPartName(fiff::ReadFileReferences(*in.Reader), Path);
}
