// The table of output formats: Scilab 5's .dat, Scilab 6's .sod and MATLAB 7.3's .mat, each with its writer.
#include "formats.h"

#include "hdf5_writer.h"
#include "scilab_sink.h"

namespace {

std::unique_ptr<TSink> OpenHdf5(THdf5Writer::TFlavour Flavour, const std::string& FileName) {
  auto w = std::make_unique<THdf5Writer>(Flavour);
  w->Open(FileName);
  return w;
}

}  // namespace

const std::vector<TFormatInfo>& Formats() {
  static const std::vector<TFormatInfo> kFormats = {
      {TFormat::Dat, "dat", ".dat",
       [](const std::string& F) -> std::unique_ptr<TSink> { return std::make_unique<TScilabSink>(F); }},
      {TFormat::Sod, "sod", ".sod", [](const std::string& F) { return OpenHdf5(THdf5Writer::TFlavour::Sod, F); }},
      {TFormat::Mat, "mat", ".mat", [](const std::string& F) { return OpenHdf5(THdf5Writer::TFlavour::Mat, F); }},
  };
  return kFormats;
}

std::optional<unsigned> FormatNamed(const std::string& Name) {
  for (const TFormatInfo& f : Formats())
    if (Name == f.Name) return f.Bit;
  return std::nullopt;
}

const char* FormatEnding(unsigned Format) {
  for (const TFormatInfo& f : Formats())
    if (Format == f.Bit) return f.Ending;
  return ".dat";
}
