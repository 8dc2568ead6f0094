// The parts of a split recording: the next part's name from a reference, the parts opened in order, the named later
// parts.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>

#include "blocks.h"
#include "input.h"

namespace {

std::string Folder(const std::string& Path) {
  const size_t slash = Path.find_last_of('/');
  return slash == std::string::npos ? "" : Path.substr(0, slash + 1);
}

bool AllDigits(const std::string& Text) {
  return !Text.empty() && Text.find_first_not_of("0123456789") == std::string::npos;
}

// MNE-Python's names for part Number (from 0) of a split recording whose part is Base.
std::string NumberedName(const std::string& Base, int32_t Number) {
  // BIDS: ..._split-01_... is part 0, ..._split-02_... part 1.
  if (const size_t split = Base.rfind("_split-"); split != std::string::npos) {
    const size_t digits = split + 7;
    const size_t end = Base.find_first_not_of("0123456789", digits);
    if (end != digits) {
      char number[16];
      std::snprintf(number, sizeof number, "%02d", Number + 1);
      return Base.substr(0, digits) + number + (end == std::string::npos ? "" : Base.substr(end));
    }
  }
  // Neuromag: run_raw.fif is part 0, run_raw-1.fif part 1, run_raw-2.fif part 2.
  const size_t dot = std::min(Base.find('.'), Base.size());
  std::string stem = Base.substr(0, dot);
  if (const size_t dash = stem.rfind('-'); dash != std::string::npos && AllDigits(stem.substr(dash + 1)))
    stem.resize(dash);
  return stem + "-" + std::to_string(Number) + Base.substr(dot);
}

// The file that follows Path in a split recording, as MNE-Python finds it: the first reference
// whose role is "next file" (or not stated) names it (its base name, in Path's folder: MNE-Python
// stores bare names, and a path would be of the machine that wrote the file), or else numbers it.
std::optional<std::string> NextPartName(const std::vector<fiff::TFileReference>& References, const std::string& Path) {
  for (const fiff::TFileReference& r : References) {
    if (r.Role != 0 && r.Role != fiff::kRefRoleNextFile) continue;
    if (!r.FileName.empty()) return Folder(Path) + BaseName(r.FileName);
    if (r.FileNumber) return Folder(Path) + NumberedName(BaseName(Path), *r.FileNumber);
  }
  return std::nullopt;
}

// The part's identity on disk, so a reference that leads back to it is seen whatever its spelling.
std::string Identity(const TFiff& Part) {
  if (Part.Identity().Known)
    return std::to_string(Part.Identity().Device) + ":" + std::to_string(Part.Identity().Inode);
  return std::filesystem::absolute(Part.FileName()).lexically_normal().string();
}

}  // namespace

TRecording TRecordingInput::Recording() const {
  TRecording r;
  r.OutputName = First.OutputName;
  r.Parts.push_back(First.Reader.get());
  for (const TInput& part : Later) r.Parts.push_back(part.Reader.get());
  return r;
}

TRecordingInput OpenRecording(const std::string& Path, const TReadRules& Rules, bool Join) {
  TRecordingInput in;
  in.First = OpenInput(Path, Rules);
  if (!Join || !in.First.Reader) return in;
  std::set<std::string> seen{Identity(*in.First.Reader)};
  std::string previous = Path;
  TFiff* last = in.First.Reader.get();
  for (;;) {
    const std::optional<std::string> next = NextPartName(fiff::ReadFileReferences(*last), previous);
    if (!next) break;
    auto refuse = [&](const std::string& Why) { throw TInputError("Cannot convert \"" + Path + "\": " + Why); };
    if (static_cast<int>(in.Later.size()) + 1 >= kMostParts)
      refuse("it is split over more than " + std::to_string(kMostParts) + " files; \"" + *next +
             "\" would be one more");
    TInput part = OpenInput(*next, Rules);
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

namespace {

// The part that follows Path, named by its next-file reference: nothing when Path has none or
// cannot be read as FIFF.
std::optional<std::string> NextPart(const std::string& Path, const TReadRules& Rules) {
  const TInput in = OpenInput(Path, Rules);
  if (!in.Reader) return std::nullopt;
  return NextPartName(fiff::ReadFileReferences(*in.Reader), Path);
}

}  // namespace

std::map<std::string, std::pair<std::string, int>> FindLaterParts(const std::vector<std::string>& Files,
                                                                  const TReadRules& Rules) {
  namespace fs = std::filesystem;
  auto key = [](const std::string& Path) { return fs::absolute(Path).lexically_normal().string(); };
  std::map<std::string, std::optional<std::string>> next;  // each file's next part, read once
  std::map<std::string, std::vector<std::string>> chains;  // each named file's later parts
  for (const std::string& file : Files) {
    std::vector<std::string>& chain = chains[key(file)];
    std::set<std::string> seen{key(file)};
    for (std::string at = file; static_cast<int>(chain.size()) + 1 < kMostParts;) {
      auto [it, added] = next.try_emplace(key(at));
      if (added) {
        try {
          it->second = NextPart(at, Rules);
        } catch (const std::exception&) {  // the conversion of its recording says what is wrong
        }
      }
      if (!it->second || !seen.insert(key(*it->second)).second) break;
      at = *it->second;
      chain.push_back(key(at));
    }
  }
  std::map<std::string, std::pair<std::string, int>> later;
  for (const std::string& head : Files) {
    const std::string headKey = key(head);
    bool isLater = false;  // a named file's later part itself: its own first part converts it
    for (const auto& [other, chain] : chains)
      if (other != headKey && std::find(chain.begin(), chain.end(), headKey) != chain.end()) isLater = true;
    if (isLater) continue;
    const std::vector<std::string>& chain = chains[headKey];
    for (const std::string& file : Files)
      if (const auto it = std::find(chain.begin(), chain.end(), key(file)); it != chain.end())
        later.try_emplace(file, head, static_cast<int>(it - chain.begin()) + 2);
  }
  return later;
}
