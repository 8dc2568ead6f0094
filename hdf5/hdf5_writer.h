// The writer of Scilab 6's data files (SOD) and MATLAB 7.3 MAT-files: HDF5, one dataset per variable, written block by
// block.
#pragma once

#include <hdf5.h>

#include <cstdint>
#include <string>
#include <vector>

#include "output_file.h"
#include "sink.h"

// Both formats are HDF5 files of one dataset per variable at the root, whose dimensions are
// Scilab's and MATLAB's reversed (a channels x samples matrix is the dataset {samples, channels},
// whose bytes are the elements in Scilab's order). They differ in what marks the variables:
//  - SOD: the root's SCILAB_sod_version (3) and SCILAB_scilab_version, each dataset's SCILAB_Class
//    ("double", "integer") and SCILAB_precision ("16", "u8"), fixed-length null-terminated strings
//    of shape {1}, as Scilab 6.1.1's save writes them;
//  - MAT: a 512-byte user block holding MATLAB's 128-byte header, and each dataset's MATLAB_class
//    ("double", "int16", "uint8"), a fixed-length string of shape scalar.
// The file is created hidden beside its name and renamed when complete (TOutputFile); every HDF5
// call is checked, and a failure is an error naming the file with HDF5's reason.
class THdf5Writer : public TSink {
 public:
  enum class TFlavour { Sod, Mat };

  explicit THdf5Writer(TFlavour Flavour) : FFlavour(Flavour) {}
  // An unfinished file is removed.
  ~THdf5Writer() override;
  THdf5Writer(const THdf5Writer&) = delete;
  THdf5Writer& operator=(const THdf5Writer&) = delete;

  void Open(const std::string& FileName);
  // A variable of Scilab's dimensions (rows, columns, and pages for a hypermatrix), whose elements
  // follow through Write. A name written before is replaced, as load takes the later of two.
  void Begin(const std::string& Name, TElement Type, const TDims& Dims) override;
  // The next Bytes of the variable's elements, little-endian, in Scilab's order (whole elements).
  void Write(const uint8_t* Data, int64_t Bytes) override;
  void Commit(TOutputBatch& Batch) override;
  void Discard() override;

 private:
  void CloseDataset();
  [[noreturn]] void Fail(const char* What) const;
  void Check(herr_t Result, const char* What) const {
    if (Result < 0) Fail(What);
  }
  hid_t Checked(hid_t Id, const char* What) const {
    if (Id < 0) Fail(What);
    return Id;
  }
  void StringAttribute(hid_t Object, const char* Name, const std::string& Value);

  const TFlavour FFlavour;
  TOutputFile FOut;
  hid_t FFile = -1;
  hid_t FDataset = -1;
  std::vector<hsize_t> FDims;  // of the open dataset, HDF5's order
  hsize_t FElementSize = 0;
  hid_t FType = -1;   // of its elements (a predefined type, not closed)
  hsize_t FDone = 0;  // elements written
};
