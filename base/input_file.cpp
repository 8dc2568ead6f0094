// Opening an input once: open, fstat and the first bytes in one read.
#include "input_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "file_io.h"
#include "in_out_error.h"
#include "input_error.h"

TInputFile::~TInputFile() {
  if (Fd >= 0) ::close(Fd);
}

TInputFile::TInputFile(TInputFile&& Other) noexcept { *this = std::move(Other); }

TInputFile& TInputFile::operator=(TInputFile&& Other) noexcept {
  if (this == &Other) return *this;
  if (Fd >= 0) ::close(Fd);
  Fd = std::exchange(Other.Fd, -1);
  Size = Other.Size;
  ModifiedNs = Other.ModifiedNs;
  Device = Other.Device;
  Inode = Other.Inode;
  std::copy(Other.Head, Other.Head + kHeadSize, Head);
  HeadLength = Other.HeadLength;
  return *this;
}

int TInputFile::Release() { return std::exchange(Fd, -1); }

std::optional<TInputFile> OpenInputFile(const std::string& Path) {
  if (Path.empty()) return std::nullopt;
  // O_NONBLOCK keeps a FIFO from hanging the open; anything but a regular file is refused.
  TInputFile f;
  f.Fd = ::open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (f.Fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
    ThrowInOutError("Cannot open", Path, errno);
  }
  struct stat st {};
  if (::fstat(f.Fd, &st) != 0) ThrowInOutError("Cannot open", Path, errno);
  if (S_ISDIR(st.st_mode)) ThrowInOutError("Cannot open", Path, EISDIR);
  if (!S_ISREG(st.st_mode)) throw TInputError("Cannot open \"" + Path + "\": not a regular file");
  f.Size = st.st_size;
  f.ModifiedNs = int64_t{st.st_mtim.tv_sec} * 1'000'000'000 + st.st_mtim.tv_nsec;
  f.Device = st.st_dev;
  f.Inode = st.st_ino;
  f.HeadLength = static_cast<int>(ReadAt(f.Fd, 0, f.Head, TInputFile::kHeadSize, Path));
  return f;
}
