// The Scilab 5 data file as an output format: each variable's header by TScilab, its values as they come.
#pragma once

#include <string>

#include "scilab_f.h"
#include "sink.h"

// Matrices of doubles and 16-bit integers, hypermatrices of doubles and bytes, as the window's
// files hold them; written to a hidden file renamed when complete.
class TScilabSink : public TSink {
 public:
  explicit TScilabSink(const std::string& FileName) { FScilab.OpenOutputAtomic(FileName); }
  void Begin(const std::string& Name, TElement Type, const TDims& Dims) override;
  void Write(const uint8_t* Data, int64_t Bytes) override { FScilab.Write(Data, Bytes); }
  void Commit(TOutputBatch& Batch) override { FScilab.CloseOutput(Batch); }
  void Discard() override { FScilab.DiscardOutput(); }

 private:
  TScilab FScilab;
};
