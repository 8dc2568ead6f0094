// A file mapped read-only into memory whose lost pages read as zeros, should the file shrink while mapped.
#pragma once

#include <cstddef>
#include <cstdint>

// Another program that truncates a mapped file makes the next access to the lost pages raise
// SIGBUS. A handler installed with the first mapping puts zero-filled memory in their place
// and records it; a bus error anywhere else keeps its usual effect.
class TMappedFile {
 public:
  TMappedFile() = default;
  ~TMappedFile() { Unmap(); }
  TMappedFile(const TMappedFile&) = delete;
  TMappedFile& operator=(const TMappedFile&) = delete;

  // Maps Size bytes of Fd read-only and asks the kernel to read them ahead; false (with
  // errno set) when the file cannot be mapped or too many files are mapped at once.
  bool Map(int Fd, int64_t Size);
  void Unmap();
  const uint8_t* Data() const { return FData; }
  // True once a page of the mapping was lost: the file shrank while it was mapped.
  bool Faulted() const;

 private:
  uint8_t* FData = nullptr;
  size_t FLength = 0;
  int FSlot = -1;
};
