// The output files of one stretch of a recording, in every format: headers and blocks handed to each writer.
#include "output_set.h"

const char* FormatEnding(unsigned Format) {
  switch (Format) {
    case TFormat::Sod: return ".sod";
    case TFormat::Mat: return ".mat";
    default: return ".dat";
  }
}

void TOutputSet::Open(const std::string& Base) {
  if (FFormats & TFormat::Dat) FScilab.OpenOutputAtomic(Base + ".dat");
  for (const unsigned format : {TFormat::Sod, TFormat::Mat}) {
    if (!(FFormats & format)) continue;
    FHdf5.push_back(std::make_unique<THdf5Writer>(format == TFormat::Sod ? THdf5Writer::TFlavour::Sod
                                                                         : THdf5Writer::TFlavour::Mat));
    FHdf5.back()->Open(Base + FormatEnding(format));
  }
}

void TOutputSet::Close() {
  FScilab.CloseOutput();
  for (const auto& w : FHdf5) w->Commit();
}

void TOutputSet::Begin(const std::string& Name, TElement Type, const std::vector<int64_t>& Dims) {
  for (const auto& w : FHdf5) w->Begin(Name, Type, Dims);
}

void TOutputSet::WriteRealMatrixHeader(const std::string& Name, int32_t Rows, int32_t Cols) {
  // Scilab's own packing of CalXRnge is what the encoder gives for CalXQnge.
  if (FFormats & TFormat::Dat) FScilab.WriteRealMatrixHeader(Name == "CalXRnge" ? "CalXQnge" : Name, Rows, Cols);
  Begin(Name, TElement::Double, {Rows, Cols});
}

void TOutputSet::WriteInt16MatrixHeader(const std::string& Name, int32_t Rows, int32_t Cols) {
  if (FFormats & TFormat::Dat) FScilab.WriteInt16MatrixHeader(Name, Rows, Cols);
  Begin(Name, TElement::Int16, {Rows, Cols});
}

void TOutputSet::WriteUInt8HypermatHeader(const std::string& Name, int32_t D1, int32_t D2, int32_t D3) {
  if (FFormats & TFormat::Dat) FScilab.WriteUInt8HypermatHeader(Name, D1, D2, D3);
  Begin(Name, TElement::UInt8, {D1, D2, D3});
}

void TOutputSet::WriteRealHypermatHeader(const std::string& Name, int32_t D1, int32_t D2, int32_t D3) {
  if (FFormats & TFormat::Dat) FScilab.WriteRealHypermatHeader(Name, D1, D2, D3);
  Begin(Name, TElement::Double, {D1, D2, D3});
}

void TOutputSet::WriteBuffer(int32_t Count) {
  if (FFormats & TFormat::Dat) FScilab.WriteBuffer(Count);
  for (const auto& w : FHdf5) w->Write(FScilab.Buffer(), Count);
}
