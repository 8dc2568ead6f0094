// Output files: the hidden temporary, the interrupt cleanup armed around it, checked writes and the rename.
#include "output_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include "file_io.h"
#include "in_out_error.h"
#include "interrupt_cleanup.h"

TOutputFile::~TOutputFile() {
  if (IsOpen()) Discard();
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

void TOutputFile::Commit() {
  if (!IsOpen()) return;
  CloseDescriptor();
  if (FTempName.empty()) return;
  const std::string temp = FTempName;
  FTempName.clear();
  const bool renamed = ::rename(temp.c_str(), FFileName.c_str()) == 0;
  const int err = errno;
  if (!renamed) ::unlink(temp.c_str());
  DisarmInterruptCleanup(FArmed);  // after the rename: a signal before it still removes the file
  FArmed = -1;
  if (!renamed) ThrowInOutError("Cannot create", FFileName, err);
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
  FArmed = -1;
}

void WriteFileAtomically(const std::string& FileName, std::string_view Text) {
  TOutputFile out;
  out.OpenAtomic(FileName);
  out.Write(reinterpret_cast<const uint8_t*>(Text.data()), static_cast<int64_t>(Text.size()));
  out.Commit();
}
