// The Scilab data file writer TScilab: name codes, variable headers and the staging buffer.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "output_file.h"

class TScilab {
 public:
  // One header or one block is staged here at a time.
  static constexpr int32_t kBufferSize = 10'000'004;

  TScilab();
  // Closes a file still open; an unfinished atomic output is removed.
  ~TScilab();
  TScilab(const TScilab&) = delete;
  TScilab& operator=(const TScilab&) = delete;

  // Creates FileName, or empties it, for writing.
  void OpenOutput(const std::string& FileName);
  // Writes to a new temporary file beside FileName; CloseOutput renames it to FileName,
  // so a failure never leaves half a file nor destroys an older one.
  void OpenOutputAtomic(const std::string& FileName);
  void CloseOutput();
  // Closes the file and hands it, complete and still hidden, to Batch.
  void CloseOutput(TOutputBatch& Batch);
  // Closes without completing: an atomic output's temporary file is removed.
  void DiscardOutput();
  bool IsOpen() const { return FOut.IsOpen(); }

  // Little-endian values into FBuffer; a position outside it throws std::out_of_range.
  void PutLong(int32_t Pos, int32_t Value);
  void PutShort(int32_t Pos, int16_t Value);
  void PutByte(int32_t Pos, uint8_t Value);
  void PutDouble(int32_t Pos, double Value);
  // Appends FBuffer[0..Count-1] to the file.
  void WriteBuffer(int32_t Count);
  // Appends Count bytes staged elsewhere.
  void Write(const uint8_t* Data, int64_t Count);
  uint8_t* Buffer() { return FBuffer.get(); }

  void EncodeName(const std::string& Name);
  void WriteRealMatrixHeader(const std::string& Name, int32_t Rows, int32_t Cols);
  void WriteInt16MatrixHeader(const std::string& Name, int32_t Rows, int32_t Cols);
  void PutHypermatTemplate();
  void WriteUInt8HypermatHeader(const std::string& Name, int32_t D1, int32_t D2, int32_t D3);
  void WriteRealHypermatHeader(const std::string& Name, int32_t D1, int32_t D2, int32_t D3);

 private:
  void CheckRange(int32_t Pos, int32_t Count) const;
  void WriteMatrixHeader(const std::string& Name, int32_t Type, int32_t Rows, int32_t Cols, int32_t Kind);
  void WriteHypermatHeader(const std::string& Name, int32_t D1, int32_t D2, int32_t D3, bool Bytes);

  struct TFree {
    void operator()(uint8_t* P) const;
  };
  std::unique_ptr<uint8_t[], TFree> FBuffer;
  TOutputFile FOut;
};
