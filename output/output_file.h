// The one way out: an output file written with checked writes, atomic ones complete or absent, and a conversion's files
// put in place together.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "interrupt_cleanup.h"

// An atomic output is written to a hidden temporary file beside its name, .NAME.XXXXXX (a dot
// first, so ls and file managers do not show it), armed so that an interrupt removes it, and
// renamed to its name once complete: a failure never leaves half a file nor destroys an older
// one. Every write is checked at once and raises an error naming the file.
class TOutputFile {
 public:
  TOutputFile() = default;
  // A file still open or not yet in place is removed (atomic) or left as written (in place).
  ~TOutputFile();
  TOutputFile(TOutputFile&& Other) noexcept;
  TOutputFile& operator=(TOutputFile&& Other) noexcept;
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  // Creates the hidden temporary file for FileName.
  void OpenAtomic(const std::string& FileName);
  // Creates FileName, or empties it, and writes there directly.
  void OpenInPlace(const std::string& FileName);
  bool IsOpen() const { return FFd >= 0 || !FTempName.empty(); }

  // Appends Count bytes: all of them, or an error (a short write counts as a full disk).
  void Write(const uint8_t* Data, int64_t Count);
  // Writes Count bytes at Pos, all of them or an error, leaving the end of the file where it is.
  void WriteAt(int64_t Pos, const uint8_t* Data, int64_t Count);
  // Closes the file: an atomic one is complete and still hidden, armed, until Publish. On failure
  // the temporary file is removed and the error names the file.
  void Complete();
  // Renames a complete atomic file to its name; on failure it is removed and the error names it.
  void Publish();
  // Complete, then Publish.
  void Commit();
  // Closes without completing: an atomic output's temporary file is removed.
  void Discard();

  // The path a library that opens files by name (HDF5) writes to: the hidden file, which stays
  // armed; the library closes it when done, and Commit renames it. In place, the file's own name.
  const std::string& Path() const { return FTempName.empty() ? FFileName : FTempName; }
  const std::string& FileName() const { return FFileName; }

 private:
  void CloseDescriptor();
  void Remove();

  int FFd = -1;
  int64_t FEnd = 0;  // where the next appended bytes go
  TArmed FArmed = nullptr;
  std::string FFileName;  // the name the user will see
  std::string FTempName;  // set while an atomic output is not in place
};

// The files of one conversion, complete and hidden, put in place together: nothing of them shows
// until every one is complete, and then each is renamed to its name, one after another, with
// nothing between the renames that can fail. Destroyed before Publish, it removes them all.
class TOutputBatch {
 public:
  TOutputBatch() = default;
  ~TOutputBatch();
  TOutputBatch(const TOutputBatch&) = delete;
  TOutputBatch& operator=(const TOutputBatch&) = delete;

  // A complete file (TOutputFile::Complete) to put in place with the others.
  void Add(TOutputFile File);
  // Text as the whole of FileName, complete and hidden.
  void AddText(const std::string& FileName, std::string_view Text);
  // Renames every file to its name, in the order added. Should a rename fail, every older file is
  // put back in its place (and a name that was free is free again) before the error is raised.
  void Publish();

 private:
  std::vector<TOutputFile> FFiles;
};

// Writes Text as the whole of FileName, atomically.
void WriteFileAtomically(const std::string& FileName, std::string_view Text);
