// One output file in every format asked for: the .dat through TScilab, and the HDF5 formats beside it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "convert.h"
#include "hdf5_writer.h"
#include "scilab_f.h"

// The conversion stages each block of a variable in TScilab's buffer, as it always has; every
// format writes that block from there, so a second format costs its writes and no copy.
class TOutputSet {
 public:
  static constexpr int32_t kBufferSize = TScilab::kBufferSize;

  explicit TOutputSet(unsigned Formats) : FFormats(Formats) {}
  // Opens Base with the ending of each format (run.dat, run.sod, run.mat).
  void Open(const std::string& Base);
  // Completes every file; on a failure the ones not yet complete are removed.
  void Close();

  uint8_t* Buffer() { return FScilab.Buffer(); }
  void WriteRealMatrixHeader(const std::string& Name, int32_t Rows, int32_t Cols);
  void WriteInt16MatrixHeader(const std::string& Name, int32_t Rows, int32_t Cols);
  void WriteUInt8HypermatHeader(const std::string& Name, int32_t D1, int32_t D2, int32_t D3);
  void WriteRealHypermatHeader(const std::string& Name, int32_t D1, int32_t D2, int32_t D3);
  // Writes the first Count bytes of the buffer, the next block of the variable, in every format.
  void WriteBuffer(int32_t Count);

 private:
  void Begin(const std::string& Name, TElement Type, const std::vector<int64_t>& Dims);

  const unsigned FFormats;
  TScilab FScilab;  // its buffer stages every block, its file is the .dat
  std::vector<std::unique_ptr<THdf5Writer>> FHdf5;
};

// The ending of a format's files: ".dat", ".sod", ".mat".
const char* FormatEnding(unsigned Format);
