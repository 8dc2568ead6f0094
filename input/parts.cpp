// The parts of a split recording: the next part's name from a reference, the parts opened in order, the named later
// parts.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <deque>
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

// What ExamineRun learns of one file: who it is, and the part that follows it.
struct TExamined {
  std::string Key;  // its identity (device and inode), or its absolute path when it cannot be read
  std::optional<TFileIdentity> Identity;
  std::optional<std::string> Next;
};

class TRunExaminer {
 public:
  TRunExaminer(const TReadRules& Rules, bool Join) : FRules(Rules), FJoin(Join) {}

  // Path examined once, whatever spelling later names it; its identity is an input of the run.
  const TExamined& Examine(const std::string& Path) {
    if (const auto it = FByPath.find(Path); it != FByPath.end()) return FFiles[it->second];
    TExamined e;
    struct stat st {};
    if (::stat(Path.c_str(), &st) == 0) {
      e.Identity = TFileIdentity{st.st_dev, st.st_ino, true};
      e.Key = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    } else {
      e.Key = std::filesystem::absolute(Path).lexically_normal().string();
    }
    if (const auto it = FByKey.find(e.Key); it != FByKey.end()) return FFiles[FByPath[Path] = it->second];
    if (FJoin) {
      try {
        const TInput in = OpenInput(Path, FRules);
        if (in.Reader) e.Next = NextPartName(fiff::ReadFileReferences(*in.Reader), Path);
      } catch (const std::exception&) {  // the conversion of its recording says what is wrong
      }
    }
    if (e.Identity) Inputs.push_back({*e.Identity, Path});
    FFiles.push_back(std::move(e));
    FByPath[Path] = FByKey[FFiles.back().Key] = FFiles.size() - 1;
    return FFiles.back();
  }

  std::vector<TRunInput> Inputs;

 private:
  const TReadRules FRules;
  const bool FJoin;
  std::deque<TExamined> FFiles;
  std::map<std::string, size_t> FByPath, FByKey;
};

}  // namespace

TRunFiles ExamineRun(const std::vector<std::string>& Files, const TReadRules& Rules, bool Join) {
  TRunFiles run;
  TRunExaminer examiner(Rules, Join);
  std::map<std::string, std::string> named;  // key -> the first name given for it
  std::vector<std::string> heads;            // the named files in order, each file once
  for (const std::string& file : Files) {
    const auto [it, added] = named.try_emplace(examiner.Examine(file).Key, file);
    if (!added && it->second != file) run.SameAs.try_emplace(file, it->second);
    if (added) heads.push_back(file);
  }
  if (Join) {
    // One walk along the parts from each named file, ending where an earlier walk went on: a named
    // file met on the way is a later part of some recording, not one of its own.
    std::set<std::string> visited, later;
    for (const std::string& file : heads) {
      std::string at = file;
      std::set<std::string> seen{examiner.Examine(at).Key};
      if (!visited.insert(*seen.begin()).second) continue;
      for (size_t parts = 1; parts < static_cast<size_t>(kMostParts); ++parts) {
        const std::optional<std::string> next = examiner.Examine(at).Next;
        if (!next) break;
        const std::string key = examiner.Examine(*next).Key;
        if (!seen.insert(key).second) break;
        if (named.count(key)) later.insert(key);
        if (!visited.insert(key).second) break;
        at = *next;
      }
    }
    // Each recording's first named part converts the named files of its chain; a chain that leads
    // back into itself converts none, and each of its files reports the loop.
    for (const std::string& head : heads) {
      if (later.count(examiner.Examine(head).Key)) continue;
      std::string at = head;
      std::set<std::string> seen{examiner.Examine(at).Key};
      std::vector<std::pair<std::string, int>> parts;
      bool loop = false;
      for (int number = 2; number <= kMostParts; ++number) {
        const std::optional<std::string> next = examiner.Examine(at).Next;
        if (!next) break;
        const std::string key = examiner.Examine(*next).Key;
        if (!seen.insert(key).second) {
          loop = true;
          break;
        }
        if (const auto it = named.find(key); it != named.end()) parts.emplace_back(it->second, number);
        at = *next;
      }
      if (!loop)
        for (const auto& [file, number] : parts) run.LaterParts.try_emplace(file, head, number);
    }
  }
  run.Inputs = std::move(examiner.Inputs);
  return run;
}
