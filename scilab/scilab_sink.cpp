// Variables to Scilab headers: a matrix or a hypermatrix by the count of dimensions, the calibration vector's name.
#include "scilab_sink.h"

#include <stdexcept>

void TScilabSink::Begin(const std::string& Name, TElement Type, const TDims& Dims) {
  // The dimensions are the caller's, checked to fit the format's 32-bit words.
  auto dim = [&Dims](size_t K) { return static_cast<int32_t>(Dims[K]); };
  if (Dims.size() == 2 && Type == TElement::Double) {
    // Scilab's own packing of CalXRnge is what the encoder gives for CalXQnge.
    FScilab.WriteRealMatrixHeader(Name == "CalXRnge" ? "CalXQnge" : Name, dim(0), dim(1));
  } else if (Dims.size() == 2 && Type == TElement::Int16) {
    FScilab.WriteInt16MatrixHeader(Name, dim(0), dim(1));
  } else if (Dims.size() == 3 && Type == TElement::UInt8) {
    FScilab.WriteUInt8HypermatHeader(Name, dim(0), dim(1), dim(2));
  } else if (Dims.size() == 3 && Type == TElement::Double) {
    FScilab.WriteRealHypermatHeader(Name, dim(0), dim(1), dim(2));
  } else {
    throw std::invalid_argument("TScilabSink: no Scilab 5 variable of that type and shape: " + Name);
  }
}
