// Decompression of .fif.gz files with libdeflate: whole members straight into one reserved mapping.
#include "gzip_input.h"

#include <sys/mman.h>
#include <unistd.h>

#include <libdeflate.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

#include "mapped_file.h"

namespace {

constexpr uint8_t kGzipMagic[2] = {0x1f, 0x8b};
constexpr size_t kTrailerSize = 8;  // CRC-32 and the length modulo 2^32, little-endian

[[noreturn]] void Refuse(const std::string& Path, const std::string& Why) {
  throw TInputError("Cannot read \"" + Path + "\": " + Why);
}

uint32_t LE32(const uint8_t* P) {
  return uint32_t{P[0]} | (uint32_t{P[1]} << 8) | (uint32_t{P[2]} << 16) | (uint32_t{P[3]} << 24);
}

// Where a member's compressed data begin, past its header (RFC 1952); 0 when the header is
// not a gzip header or is cut short.
size_t BodyOffset(const uint8_t* P, size_t N) {
  if (N < 10 || P[0] != kGzipMagic[0] || P[1] != kGzipMagic[1] || P[2] != 8) return 0;  // 8: deflate
  const uint8_t flags = P[3];
  size_t at = 10;
  if (flags & 0x04) {  // extra field
    if (N < at + 2) return 0;
    at += 2 + (size_t{P[at]} | (size_t{P[at + 1]} << 8));
  }
  for (const uint8_t text : {uint8_t{0x08}, uint8_t{0x10}}) {  // file name, comment: zero-terminated
    if (!(flags & text)) continue;
    while (at < N && P[at] != 0) ++at;
    ++at;
  }
  if (flags & 0x02) at += 2;  // header CRC
  return at <= N ? at : 0;
}

// An anonymous mapping, unmapped when released.
struct TAnonymous {
  void* Data = MAP_FAILED;
  size_t Length = 0;
  ~TAnonymous() {
    if (Data != MAP_FAILED) ::munmap(Data, Length);
  }
};

struct TDecompressor {
  libdeflate_decompressor* D = libdeflate_alloc_decompressor();
  ~TDecompressor() { libdeflate_free_decompressor(D); }
};

}  // namespace

std::shared_ptr<const uint8_t> InflateGzipFile(const TInputFile& File, const std::string& Path, int64_t& Size,
                                               int64_t Limit) {
  const size_t inSize = static_cast<size_t>(File.Size);
  if (inSize < 10 + kTrailerSize) Refuse(Path, "the gzip file is cut short");

  TMappedFile in;
  if (!in.Map(File.Fd, File.Size))
    throw std::system_error(errno, std::generic_category(), "Cannot read \"" + Path + "\"");
  const uint8_t* src = in.Data();
  const std::string tooLarge =
      "it decompresses to more than " + std::to_string(Limit) + " bytes, more than any FIFF file holds";
  // The last member's stated length, read first: a bomb of one member stops before it begins
  // (a file cut short ends in other bytes, which is why the message names both).
  if (const uint32_t stated = LE32(src + inSize - 4); stated > static_cast<uint64_t>(Limit))
    Refuse(Path, "the gzip trailer states " + std::to_string(stated) +
                     " bytes, more than any FIFF file holds (or the file is cut short)");

  // Address room for the largest FIFF file; only the pages written take memory.
  const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  TAnonymous out;
  out.Length = (static_cast<size_t>(Limit) + page) & ~(page - 1);
  out.Data = ::mmap(nullptr, out.Length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (out.Data == MAP_FAILED) throw std::system_error(errno, std::generic_category(), "Cannot read \"" + Path + "\"");
  ::madvise(out.Data, out.Length, MADV_HUGEPAGE);  // fewer page faults while it fills
  auto* dst = static_cast<uint8_t*>(out.Data);

  TDecompressor decompressor;
  if (!decompressor.D) throw std::bad_alloc();
  size_t at = 0, produced = 0;
  while (true) {
    const size_t body = BodyOffset(src + at, inSize - at);
    if (body == 0)
      Refuse(Path, at == 0 ? "not gzip data" : "the gzip header of a later member is damaged or cut short");
    size_t used = 0, made = 0;
    const libdeflate_result r =
        libdeflate_deflate_decompress_ex(decompressor.D, src + at + body, inSize - at - body, dst + produced,
                                         static_cast<size_t>(Limit) - produced, &used, &made);
    if (r == LIBDEFLATE_INSUFFICIENT_SPACE) Refuse(Path, tooLarge);
    if (r != LIBDEFLATE_SUCCESS) Refuse(Path, "the compressed data are damaged or cut short");
    at += body + used;
    if (inSize - at < kTrailerSize) Refuse(Path, "the gzip file is cut short (its trailer is missing)");
    if (LE32(src + at) != libdeflate_crc32(0, dst + produced, made))
      Refuse(Path, "the gzip checksum does not match: the data are damaged");
    if (LE32(src + at + 4) != static_cast<uint32_t>(made))
      Refuse(Path, "the length stored in the gzip trailer does not match: the data are damaged");
    at += kTrailerSize;
    produced += made;
    // Another member may follow (as `cat a.gz b.gz` makes); zeros are padding.
    while (at < inSize && src[at] == 0) ++at;
    if (at == inSize) break;
  }
  if (in.Faulted()) Refuse(Path, "the file changed while it was being read");

  // Read-only from here on, and the address room past the data given back (one page stays,
  // so even an empty file has an image).
  const size_t length = std::max((produced + page - 1) & ~(page - 1), page);
  if (length < out.Length) ::munmap(dst + length, out.Length - length);
  out.Length = length;
  ::mprotect(dst, length, PROT_READ);
  std::shared_ptr<const uint8_t> image(dst, [length](const uint8_t* P) { ::munmap(const_cast<uint8_t*>(P), length); });
  out.Data = MAP_FAILED;  // the pointer owns it now
  Size = static_cast<int64_t>(produced);
  return image;
}
