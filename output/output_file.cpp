// Output files: the hidden temporary, the interrupt cleanup armed around it, checked writes and the rename.
#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <utility>

#include "file_io.h"
#include "in_out_error.h"
#include "interrupt_cleanup.h"

TOutputFile::~TOutputFile() {
  if (IsOpen()) Discard();
}

TOutputFile::TOutputFile(TOutputFile&& Other) noexcept { *this = std::move(Other); }

TOutputFile& TOutputFile::operator=(TOutputFile&& Other) noexcept {
  if (this == &Other) return *this;
  if (IsOpen()) Discard();
  FFd = std::exchange(Other.FFd, -1);
  FEnd = Other.FEnd;
  FArmed = std::exchange(Other.FArmed, nullptr);
  FFileName = std::move(Other.FFileName);
  FTempName = std::move(Other.FTempName);
  Other.FTempName.clear();
  return *this;
}

void TOutputFile::OpenAtomic(const std::string& FileName) {
  if (IsOpen()) throw std::logic_error("TOutputFile: a file is already open");
  const size_t slash = FileName.find_last_of('/');
  const size_t nameAt = slash == std::string::npos ? 0 : slash + 1;
  std::string temp = FileName.substr(0, nameAt) + "." + FileName.substr(nameAt) + ".XXXXXX";
  int fd;
  {
    const TInterruptsHeld held;  // a signal between the creation and the arming waits for the arming
    fd = ::mkstemp(temp.data());
    if (fd >= 0) FArmed = ArmInterruptCleanup(temp, FileName);
  }
  if (fd < 0) ThrowInOutError("Cannot create", FileName, errno);
  // mkstemp makes the file private; give it the mode a plain create would.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  FFd = fd;
  FEnd = 0;
  FFileName = FileName;
  FTempName = temp;
}

void TOutputFile::OpenInPlace(const std::string& FileName) {
  if (IsOpen()) throw std::logic_error("TOutputFile: a file is already open");
  const int fd = ::open(FileName.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) ThrowInOutError("Cannot create", FileName, errno);
  FFd = fd;
  FEnd = 0;
  FFileName = FileName;
  FTempName.clear();
}

void TOutputFile::Write(const uint8_t* Data, int64_t Count) {
  if (FFd < 0) throw std::logic_error("TOutputFile: no file is open for writing");
  ::WriteAt(FFd, FEnd, Data, Count, FFileName);
  FEnd += Count;
}

void TOutputFile::CloseDescriptor() {
  if (FFd < 0) return;
  const int fd = FFd;
  FFd = -1;
  if (::close(fd) != 0) {  // the last writes can fail here (NFS, a full disk)
    const int err = errno;
    Remove();
    ThrowInOutError("Cannot write", FFileName, err);
  }
}

void TOutputFile::WriteAt(int64_t Pos, const uint8_t* Data, int64_t Count) {
  if (FFd < 0) throw std::logic_error("TOutputFile: no file is open for writing");
  ::WriteAt(FFd, Pos, Data, Count, FFileName);
}

void TOutputFile::Complete() { CloseDescriptor(); }

void TOutputFile::Publish() {
  CloseDescriptor();
  if (FTempName.empty()) return;
  const std::string temp = FTempName;
  FTempName.clear();
  const bool renamed = ::rename(temp.c_str(), FFileName.c_str()) == 0;
  const int err = errno;
  if (!renamed) ::unlink(temp.c_str());
  DisarmInterruptCleanup(FArmed);  // after the rename: a signal before it still removes the file
  FArmed = nullptr;
  if (!renamed) ThrowInOutError("Cannot create", FFileName, err);
}

void TOutputFile::Commit() {
  Complete();
  Publish();
}

void TOutputFile::Discard() {
  if (FFd >= 0) ::close(FFd);
  FFd = -1;
  Remove();
}

void TOutputFile::Remove() {
  if (FTempName.empty()) return;
  ::unlink(FTempName.c_str());
  FTempName.clear();
  DisarmInterruptCleanup(FArmed);
  FArmed = nullptr;
}

TOutputBatch::~TOutputBatch() {
  for (TOutputFile& f : FFiles) f.Discard();
}

void TOutputBatch::Add(TOutputFile File) { FFiles.push_back(std::move(File)); }

void TOutputBatch::AddText(const std::string& FileName, std::string_view Text) {
  TOutputFile out;
  out.OpenAtomic(FileName);
  out.Write(reinterpret_cast<const uint8_t*>(Text.data()), static_cast<int64_t>(Text.size()));
  out.Complete();
  Add(std::move(out));
}

namespace {

// Keeps the older file of Target while the new one, Temp, takes its name: a second name for it
// (.NAME.XXXXXX.old beside Temp), or the file itself moved there where the file system has no
// second names. Empty when Target is free.
std::string BackUp(const std::string& Target, const std::string& Temp) {
  struct stat st {};
  if (::lstat(Target.c_str(), &st) != 0) {
    if (errno == ENOENT) return "";
    ThrowInOutError("Cannot replace", Target, errno);
  }
  const std::string backup = Temp + ".old";
  if (::link(Target.c_str(), backup.c_str()) != 0 && ::rename(Target.c_str(), backup.c_str()) != 0)
    ThrowInOutError("Cannot replace", Target, errno);
  return backup;
}

}  // namespace

void TOutputBatch::Publish() {
  std::vector<std::string> backups;
  try {
    for (TOutputFile& f : FFiles) {
      backups.push_back(BackUp(f.FileName(), f.Path()));
      f.Publish();  // one that fails is removed; the destructor removes those after it
    }
  } catch (...) {
    // The older files back in their place, the new ones that took a free name gone.
    for (size_t k = 0; k < backups.size(); ++k) {
      const std::string& name = FFiles[k].FileName();
      const bool failed = k + 1 == backups.size();  // its new file is gone, its older one may still stand
      struct stat now {
      }, old{};
      if (backups[k].empty()) {
        if (!failed) ::unlink(name.c_str());
      } else if (::lstat(name.c_str(), &now) == 0 && ::lstat(backups[k].c_str(), &old) == 0 &&
                 now.st_dev == old.st_dev && now.st_ino == old.st_ino) {
        ::unlink(backups[k].c_str());  // a second name of the file still in place
      } else {
        ::rename(backups[k].c_str(), name.c_str());
      }
    }
    throw;
  }
  for (const std::string& backup : backups)
    if (!backup.empty()) ::unlink(backup.c_str());
  FFiles.clear();
}

void WriteFileAtomically(const std::string& FileName, std::string_view Text) {
  TOutputFile out;
  out.OpenAtomic(FileName);
  out.Write(reinterpret_cast<const uint8_t*>(Text.data()), static_cast<int64_t>(Text.size()));
  out.Commit();
}
