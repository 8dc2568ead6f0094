// Loading an input by the rules asked for: the window's FIFF 1.1, or any FIFF 1.x and .fif.gz.
#include <fcntl.h>
#include <unistd.h>

#include "convert.h"
#include "gzip_input.h"

bool IsGzipFile(const std::string& Path) {
  if (Path.size() < 3 || Path.compare(Path.size() - 3, 3, ".gz") != 0) return false;
  const int fd = ::open(Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;  // the reading that follows reports why
  uint8_t magic[2] = {0, 0};
  const bool gzip = ::pread(fd, magic, 2, 0) == 2 && magic[0] == 0x1f && magic[1] == 0x8b;
  ::close(fd);
  return gzip;
}

bool LoadInput(TFiff& Reader, const std::string& Path, const TReadRules& Rules) {
  if (Rules.Gzip && IsGzipFile(Path)) {
    int64_t size = 0;
    std::shared_ptr<const uint8_t> image = InflateGzipFile(Path, size);
    return Reader.LoadFiffImage(Path, std::move(image), size, Rules.AnyMinorVersion);
  }
  return Reader.LoadFiff(Path, Rules.AnyMinorVersion);
}
