// The one interface every output format implements: begin a variable, write its values, commit the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "output_file.h"

// The element types the conversion writes.
enum class TElement { Double, Single, Int16, UInt8 };
inline constexpr int64_t ElementSize(TElement Type) {
  return Type == TElement::Double ? 8 : Type == TElement::Single ? 4 : Type == TElement::Int16 ? 2 : 1;
}

// A variable's dimensions as Scilab and MATLAB count them: rows, columns, and pages for a
// three-dimensional one.
using TDims = std::vector<int64_t>;

// An output file of one format. Variables come one after another: Begin names one with its type
// and dimensions, and Write gives its elements, little-endian, in Scilab's order (column by
// column, whole elements), in as many pieces as the caller likes. Commit completes the file and
// hands it, still hidden, to the batch that puts a conversion's files in place together; Discard,
// or destroying a sink not committed, leaves nothing of it.
class TSink {
 public:
  virtual ~TSink() = default;
  virtual void Begin(const std::string& Name, TElement Type, const TDims& Dims) = 0;
  virtual void Write(const uint8_t* Data, int64_t Bytes) = 0;
  virtual void Commit(TOutputBatch& Batch) = 0;
  virtual void Discard() = 0;
};
