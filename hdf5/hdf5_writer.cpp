// HDF5 output files: the root and its marks, a dataset per variable, hyperslabs of the elements as they come, checked
// calls.
#include "hdf5_writer.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <system_error>

#include "tessaline_version.h"

namespace {

// HDF5 prints its error stack on standard error unless told not to; the errors are ours to report.
// Nor may it close files at the program's end: one whose writes failed is left open (below).
void QuietOnce() {
  static const bool quiet = H5dont_atexit() >= 0 && H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr) >= 0;
  (void)quiet;
}

// Closes File. HDF5 1.10 cannot close a file whose last writes failed (a full disk): the close
// fails, and any later attempt, its own at the program's end included, crashes it. Such a file is
// given up: its descriptor is closed here, and HDF5 never touches it again.
herr_t CloseFile(hid_t File) {
  int* handle = nullptr;
  const int fd = H5Fget_vfd_handle(File, H5P_DEFAULT, reinterpret_cast<void**>(&handle)) >= 0 && handle ? *handle : -1;
  const herr_t closed = H5Fclose(File);
  if (closed < 0 && fd >= 0) ::close(fd);
  return closed;
}

// The innermost description on HDF5's error stack: the reason nearest the system.
herr_t Innermost(unsigned int, const H5E_error2_t* Error, void* Text) {
  if (Error->desc && *Error->desc) *static_cast<std::string*>(Text) = Error->desc;
  return 0;
}

// An HDF5 id, closed when it goes out of scope: after an error has been read off HDF5's stack,
// which the next HDF5 call would clear.
class THid {
 public:
  THid(hid_t Id, herr_t (*Close)(hid_t)) : FId(Id), FClose(Close) {}
  ~THid() {
    if (FId >= 0) FClose(FId);
  }
  THid(const THid&) = delete;
  THid& operator=(const THid&) = delete;
  operator hid_t() const { return FId; }

 private:
  hid_t FId;
  herr_t (*FClose)(hid_t);
};

// MATLAB's header: its text, padded with blanks to 116 bytes, 8 bytes of subsystem offset, the
// version 0x0200 and the endian mark "IM".
void MatHeader(uint8_t (&Header)[128]) {
  std::memset(Header, ' ', 116);
  std::memset(Header + 116, 0, 8);
  const std::time_t now = std::time(nullptr);
  char date[32] = "";
  std::tm t{};
  if (::gmtime_r(&now, &t)) std::strftime(date, sizeof date, "%a %b %e %H:%M:%S %Y", &t);
  const std::string text =
      std::string("MATLAB 7.3 MAT-file, Platform: GLNXA64, Created on: ") + date + " HDF5 schema 1.00 .";
  std::memcpy(Header, text.data(), std::min<size_t>(text.size(), 116));
  Header[124] = 0x00;
  Header[125] = 0x02;
  Header[126] = 'I';
  Header[127] = 'M';
}

}  // namespace

THdf5Writer::~THdf5Writer() { Discard(); }

[[noreturn]] void THdf5Writer::Fail(const char* What) const {
  std::string reason;
  H5Ewalk2(H5E_DEFAULT, H5E_WALK_DOWNWARD, Innermost, &reason);
  H5Eclear2(H5E_DEFAULT);
  // HDF5's file driver names the system's error in its text (errno = 28, error message = '...'):
  // that is the reason a user can act on, as for the other formats.
  const size_t at = reason.find("errno = ");
  if (at != std::string::npos) {
    const int err = std::atoi(reason.c_str() + at + 8);
    if (err > 0) throw std::system_error(err, std::generic_category(), "Cannot write \"" + FOut.FileName() + "\"");
  }
  throw std::system_error(
      EIO, std::generic_category(),
      "Cannot write \"" + FOut.FileName() + "\": " + What + (reason.empty() ? "" : " (" + reason + ")"));
}

void THdf5Writer::Open(const std::string& FileName) {
  QuietOnce();
  FOut.OpenAtomic(FileName);
  const THid create(H5Pcreate(H5P_FILE_CREATE), H5Pclose);
  Checked(create, "cannot set up the file");
  // MATLAB's header lives in the user block before HDF5's own start.
  if (FFlavour == TFlavour::Mat) Check(H5Pset_userblock(create, 512), "cannot set up the file");
  FFile = Checked(H5Fcreate(FOut.Path().c_str(), H5F_ACC_TRUNC, create, H5P_DEFAULT), "cannot create the HDF5 file");
  if (FFlavour == TFlavour::Sod) {
    StringAttribute(FFile, "SCILAB_scilab_version", "Tessaline " TESSALINE_VERSION);
    const hsize_t one = 1;
    const THid space(H5Screate_simple(1, &one, nullptr), H5Sclose);
    Checked(space, "cannot mark the file");
    const THid attr(H5Acreate2(FFile, "SCILAB_sod_version", H5T_STD_I32LE, space, H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
    Checked(attr, "cannot mark the file");
    const int32_t version = 3;
    Check(H5Awrite(attr, H5T_NATIVE_INT32, &version), "cannot mark the file");
  }
}

void THdf5Writer::StringAttribute(hid_t Object, const char* Name, const std::string& Value) {
  const THid type(H5Tcopy(H5T_C_S1), H5Tclose);
  Checked(type, "cannot mark a variable");
  Check(H5Tset_size(type, Value.size()), "cannot mark a variable");
  Check(H5Tset_strpad(type, H5T_STR_NULLTERM), "cannot mark a variable");
  // Scilab reads its marks from shape {1}, MATLAB from a scalar.
  const hsize_t one = 1;
  const THid space(FFlavour == TFlavour::Sod ? H5Screate_simple(1, &one, nullptr) : H5Screate(H5S_SCALAR), H5Sclose);
  Checked(space, "cannot mark a variable");
  const THid attr(H5Acreate2(Object, Name, type, space, H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
  Checked(attr, "cannot mark a variable");
  Check(H5Awrite(attr, type, Value.data()), "cannot mark a variable");
}

void THdf5Writer::Begin(const std::string& Name, TElement Type, const TDims& Dims) {
  CloseDataset();
  FDims.assign(Dims.rbegin(), Dims.rend());
  FType = Type == TElement::Double   ? H5T_IEEE_F64LE
          : Type == TElement::Single ? H5T_IEEE_F32LE
          : Type == TElement::Int16  ? H5T_STD_I16LE
                                     : H5T_STD_U8LE;
  FElementSize = static_cast<hsize_t>(ElementSize(Type));
  FDone = 0;
  if (H5Lexists(FFile, Name.c_str(), H5P_DEFAULT) > 0)
    Check(H5Ldelete(FFile, Name.c_str(), H5P_DEFAULT), "cannot replace a variable");
  // An empty variable is a dataset with a dimension of 0, which Scilab and Octave load as empty.
  const THid space(H5Screate_simple(static_cast<int>(FDims.size()), FDims.data(), nullptr), H5Sclose);
  Checked(space, "cannot create a variable");
  const THid props(H5Pcreate(H5P_DATASET_CREATE), H5Pclose);
  Checked(props, "cannot create a variable");
  // Contiguous, and never filled: every element is written once, by us.
  Check(H5Pset_fill_time(props, H5D_FILL_TIME_NEVER), "cannot create a variable");
  FDataset = Checked(H5Dcreate2(FFile, Name.c_str(), FType, space, H5P_DEFAULT, props, H5P_DEFAULT),
                     "cannot create a variable");
  const bool real = Type == TElement::Double || Type == TElement::Single;
  if (FFlavour == TFlavour::Sod) {
    // Scilab has no 32-bit reals: its load reads a float dataset of class double as doubles.
    StringAttribute(FDataset, "SCILAB_Class", real ? "double" : "integer");
    if (!real) StringAttribute(FDataset, "SCILAB_precision", Type == TElement::Int16 ? "16" : "u8");
  } else {
    StringAttribute(FDataset, "MATLAB_class",
                    Type == TElement::Double   ? "double"
                    : Type == TElement::Single ? "single"
                    : Type == TElement::Int16  ? "int16"
                                               : "uint8");
  }
}

void THdf5Writer::Write(const uint8_t* Data, int64_t Bytes) {
  const hsize_t count = static_cast<hsize_t>(Bytes) / FElementSize;
  if (count == 0) return;
  // The elements from FDone on, in row-major order of the dataset: a union of blocks, each the
  // most whole rows (or planes) that fit from where the last one ended.
  const int rank = static_cast<int>(FDims.size());
  const THid file(H5Dget_space(FDataset), H5Sclose);
  Checked(file, "cannot write a variable");
  std::vector<hsize_t> stride(rank + 1, 1);  // elements of one step along each dimension
  for (int k = rank - 1; k >= 0; --k) stride[k] = stride[k + 1] * FDims[k];
  hsize_t at = FDone, left = count;
  for (bool first = true; left > 0; first = false) {
    int unit = rank;  // the largest whole sub-block aligned at `at` that still fits
    while (unit > 0 && at % stride[unit - 1] == 0 && left >= stride[unit - 1]) --unit;
    std::vector<hsize_t> start(rank), size(rank, 1);
    for (int k = 0; k < rank; ++k) start[k] = at / stride[k + 1] % FDims[k];
    for (int k = unit; k < rank; ++k) size[k] = FDims[k];
    hsize_t steps = 1;
    if (unit > 0) steps = std::min(left / stride[unit], FDims[unit - 1] - start[unit - 1]), size[unit - 1] = steps;
    Check(
        H5Sselect_hyperslab(file, first ? H5S_SELECT_SET : H5S_SELECT_OR, start.data(), nullptr, size.data(), nullptr),
        "cannot write a variable");
    at += steps * stride[unit];
    left -= steps * stride[unit];
  }
  const THid memory(H5Screate_simple(1, &count, nullptr), H5Sclose);
  Checked(memory, "cannot write a variable");
  Check(H5Dwrite(FDataset, FType, memory, file, H5P_DEFAULT, Data), "cannot write a variable");
  FDone += count;
}

void THdf5Writer::CloseDataset() {
  if (FDataset < 0) return;
  const hid_t dataset = FDataset;
  FDataset = -1;
  Check(H5Dclose(dataset), "cannot complete a variable");
}

void THdf5Writer::Commit(TOutputBatch& Batch) {
  if (FFile < 0) return;
  CloseDataset();
  const herr_t closed = CloseFile(FFile);
  FFile = -1;
  Check(closed, "cannot complete the file");
  if (FFlavour == TFlavour::Mat) {
    uint8_t header[128];
    MatHeader(header);
    FOut.WriteAt(0, header, sizeof header);
  }
  FOut.Complete();
  Batch.Add(std::move(FOut));
}

void THdf5Writer::Discard() {
  if (FDataset >= 0) H5Dclose(FDataset);
  FDataset = -1;
  if (FFile >= 0) CloseFile(FFile);
  FFile = -1;
  H5Eclear2(H5E_DEFAULT);
  FOut.Discard();
}
