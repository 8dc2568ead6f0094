// The fan-out: the staging buffer where a variable's values are made, handed to the output file of every format.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "sink.h"

// Values are staged here block by block and every sink writes each block from the same memory, so
// a second format costs its writes and no copy.
class TSinkSet {
 public:
  static constexpr int64_t kBufferSize = 10'000'004;

  TSinkSet();
  ~TSinkSet();
  TSinkSet(const TSinkSet&) = delete;
  TSinkSet& operator=(const TSinkSet&) = delete;

  void Add(std::unique_ptr<TSink> Sink) { FSinks.push_back(std::move(Sink)); }
  uint8_t* Buffer() const { return FBuffer; }

  void Begin(const std::string& Name, TElement Type, const TDims& Dims);
  // Writes the first Bytes of the buffer to every sink: the next values of the variable.
  void Write(int64_t Bytes);
  // Completes every file into Batch; on a failure the ones not yet complete are removed.
  void Commit(TOutputBatch& Batch);

 private:
  uint8_t* FBuffer;
  std::vector<std::unique_ptr<TSink>> FSinks;
};

// Stages doubles in a sink set's buffer and writes them block by block, so a variable of any
// size goes out as the same bytes one block would give.
class TDoubleStager {
 public:
  explicit TDoubleStager(TSinkSet& Out) : FOut(Out), FBuf(Out.Buffer()) {}
  void Put(double Value) {
    if (FCount == kPerBlock) Flush();
    std::memcpy(FBuf + 8 * FCount, &Value, 8);  // little-endian hosts only, as the formats are
    ++FCount;
  }
  void PutMany(int64_t Count, double Value) {
    for (int64_t i = 0; i < Count; ++i) Put(Value);
  }
  void Flush() {
    if (FCount > 0) FOut.Write(8 * FCount);
    FCount = 0;
  }

 private:
  static constexpr int64_t kPerBlock = TSinkSet::kBufferSize / 8;
  TSinkSet& FOut;
  uint8_t* FBuf;
  int64_t FCount = 0;
};
