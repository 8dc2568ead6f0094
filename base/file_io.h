// The one loop around pread and pwrite: partial transfers and interrupted calls retried, errors named.
#pragma once

#include <cstdint>
#include <string>

// Reads Count bytes at Pos into Dest: the count read, fewer only where the file ends. Throws,
// naming FileName, on an error of the system.
int64_t ReadAt(int Fd, int64_t Pos, uint8_t* Dest, int64_t Count, const std::string& FileName);
// Writes Count bytes at Pos: all of them, or an error naming FileName (a write that takes
// nothing counts as a full disk).
void WriteAt(int Fd, int64_t Pos, const uint8_t* Data, int64_t Count, const std::string& FileName);
