// pread and pwrite until done: the reader, the writers and the way in share this loop.
#include "file_io.h"

#include <unistd.h>

#include <cerrno>

#include "in_out_error.h"

int64_t ReadAt(int Fd, int64_t Pos, uint8_t* Dest, int64_t Count, const std::string& FileName) {
  int64_t done = 0;
  while (done < Count) {
    const ssize_t n = ::pread(Fd, Dest + done, static_cast<size_t>(Count - done), Pos + done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowInOutError("Cannot read", FileName, errno);
    if (n == 0) break;
    done += n;
  }
  return done;
}

void WriteAt(int Fd, int64_t Pos, const uint8_t* Data, int64_t Count, const std::string& FileName) {
  while (Count > 0) {
    const ssize_t n = ::pwrite(Fd, Data, static_cast<size_t>(Count), Pos);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowInOutError("Cannot write", FileName, errno);
    if (n == 0) ThrowInOutError("Cannot write", FileName, ENOSPC);
    Data += n;
    Pos += n;
    Count -= n;
  }
}
