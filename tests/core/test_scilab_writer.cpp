// The Scilab writer: name codes, headers byte for byte, the buffer's bounds and I/O errors.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <system_error>

#include "fiff_builder.h"
#include "scilab_f.h"
#include "scilab_reader.h"
#include "test_files.h"

namespace {

TBytes NameArea(const std::string& Name, size_t Count = 9) {
  TScilab w;
  w.EncodeName(Name);
  return TBytes(w.Buffer(), w.Buffer() + Count);
}

TBytes WithTail(TBytes Head) {
  Head.resize(25, 40);
  return Head;
}

TEST(EncodeName, NamesTheConversionWrites) {
  EXPECT_EQ(NameArea("ChInform"), (TBytes{244, 16, 238, 22, 15, 24, 27, 22, 40}));
  EXPECT_EQ(NameArea("DigitPts"), (TBytes{243, 17, 16, 18, 29, 231, 28, 28, 40}));
  EXPECT_EQ(NameArea("raw_data"), (TBytes{27, 10, 32, 36, 13, 10, 29, 10, 40}));
  EXPECT_EQ(NameArea("CalXQnge"), (TBytes{244, 9, 21, 223, 229, 22, 16, 14, 40}));
  EXPECT_EQ(NameArea("ave_0001"), (TBytes{10, 31, 14, 36, 0, 0, 0, 1, 40}));
  EXPECT_EQ(NameArea("PCA_0001"), (TBytes{231, 243, 245, 35, 0, 0, 0, 1, 40}));
  EXPECT_EQ(NameArea("CalXRnge")[4], 228);
  EXPECT_EQ(NameArea("ChInform", 25), WithTail({244, 16, 238, 22, 15, 24, 27, 22}));
}

TEST(EncodeName, FixedNamesAndTheEighthByte) {
  EXPECT_EQ(NameArea("slice2MR"), (TBytes{28, 21, 18, 12, 14, 2, 234, 228, 40}));
  EXPECT_EQ(NameArea("HEAD2MRI"), (TBytes{239, 241, 245, 242, 2, 234, 228, 237, 40}));
  EXPECT_EQ(NameArea("Volume3D"), (TBytes{225, 23, 21, 30, 22, 14, 3, 243, 40}));
  EXPECT_EQ(NameArea("MEG2HEAD")[8], 40);
  EXPECT_EQ(NameArea("ABCDEFGH")[8], 39);
  EXPECT_EQ(NameArea("PCA", 4), (TBytes{231, 243, 245, 39}));
  EXPECT_EQ(NameArea("", 25), TBytes(25, 40));
  // '-' is skipped: its byte stays 40 and the capital's borrow reaches the 'b'.
  EXPECT_EQ(NameArea("A-b", 4), (TBytes{246, 40, 10, 40}));
}

TEST(EncodeName, ScilabDecodesWhatWeStore) {
  for (const char* n : {"ChInform", "DigitPts", "raw_data", "ave_0001", "PCA_0001", "slice2MR", "Volume3D"}) {
    TScilab w;
    w.EncodeName(n);
    EXPECT_EQ(DecodeScilabName(w.Buffer()), n);
  }
  TScilab w;
  w.EncodeName("CalXQnge");
  EXPECT_EQ(DecodeScilabName(w.Buffer()), "CalXRnge");
}

TEST(Headers, MatricesByteForByteAndLongNamesCut) {
  TTempDir dir;
  const std::string path = dir.File("m.dat");
  {
    TScilab w;
    w.OpenOutput(path);
    w.WriteRealMatrixHeader("ChInform", 12, 306);
    w.WriteBuffer(12 * 306 * 8);
    w.WriteInt16MatrixHeader("abcdefghijklmnopqrstuvwxyz", 3, 1);
    w.PutShort(0, -2);
    w.PutShort(2, 1);
    w.PutShort(4, 0x1234);
    w.WriteBuffer(6);
    w.WriteRealMatrixHeader("x", 1, 1);
    w.PutDouble(0, 1.0);
    w.WriteBuffer(8);
    w.CloseOutput();
  }
  const TBytes all = ReadFileBytes(path);
  const TBytes head(all.begin(), all.begin() + 40);
  const TBytes d(all.begin() + 12 * 306 * 8, all.end());  // from here on as if it started at 40
  ASSERT_EQ(d.size(), 40u + 40 + 6 + 40 + 8);
  EXPECT_EQ(head, (TBytes{244, 16, 238, 22, 15, 24, 27, 22, 40, 40, 40, 40, 40, 40, 40, 40, 40, 40, 40, 40,
                          40,  40, 40,  40, 1,  0,  0,  0,  12, 0,  0,  0,  50, 1,  0,  0,  0,  0,  0,  0}));
  // The cut name keeps all 24 bytes and leaves the type word alone.
  EXPECT_EQ(d[40 + 23], 'x' - 87);
  EXPECT_EQ(d[40 + 24], 8);
  EXPECT_EQ(d[40 + 36], 2);
  // The odd 16-bit matrix is followed at once by the next name.
  EXPECT_EQ((TBytes(d.begin() + 80, d.begin() + 86)), (TBytes{0xFE, 0xFF, 1, 0, 0x34, 0x12}));
  EXPECT_EQ(d[86], 'x' - 87);
  const auto vars = ReadScilabFile(path);
  ASSERT_EQ(vars.size(), 3u);
  EXPECT_EQ(vars[0].Rows, 12);
  EXPECT_EQ(vars[0].Cols, 306);
  EXPECT_EQ(vars[1].Name, "abcdefghijklmnopqrstuvwx");
  EXPECT_EQ(vars[1].Shorts, (std::vector<int16_t>{-2, 1, 0x1234}));
  EXPECT_EQ(vars[2].Reals, (std::vector<double>{1.0}));
}

int32_t EndOffset(bool Bytes, int32_t D1, int32_t D2, int32_t D3) {
  TTempDir dir;
  TScilab w;
  w.OpenOutput(dir.File("h.dat"));
  if (Bytes)
    w.WriteUInt8HypermatHeader("Volume3D", D1, D2, D3);
  else
    w.WriteRealHypermatHeader("slice2MR", D1, D2, D3);
  w.CloseOutput();
  const TBytes d = ReadFileBytes(dir.File("h.dat"));
  EXPECT_EQ(d.size(), 176u);
  return d[44] | d[45] << 8 | d[46] << 16 | d[47] << 24;
}

TEST(Headers, HypermatrixEndOffsets) {
  EXPECT_EQ(EndOffset(true, 7, 1, 1), 19);
  EXPECT_EQ(EndOffset(true, 1, 1, 1), 19);
  EXPECT_EQ(EndOffset(true, 2, 2, 2), 20);
  EXPECT_EQ(EndOffset(true, 256, 256, 3), 24595);
  EXPECT_EQ(EndOffset(true, 256, 256, 1), 8211);
  EXPECT_EQ(EndOffset(false, 3, 8, 5), 138);
}

TEST(Headers, HypermatricesParseWithTheirEntries) {
  TTempDir dir;
  const std::string path = dir.File("h.dat");
  {
    TScilab w;
    w.OpenOutput(path);
    w.WriteUInt8HypermatHeader("Volume3D", 2, 3, 1);
    for (int i = 0; i < 6; ++i) w.PutByte(i, static_cast<uint8_t>(i * 10));
    w.WriteBuffer(6);
    w.WriteRealHypermatHeader("slice2MR", 3, 8, 1);
    for (int i = 0; i < 24; ++i) w.PutDouble(8 * i, i + 0.5);
    w.WriteBuffer(192);
    w.CloseOutput();
  }
  const TBytes d = ReadFileBytes(path);
  // The fixed part of the header, checked word by word against the format.
  const int32_t expect[] = {17, 3,  1,  12, 16, 19, 10, 1,  3, 0, 1, 3, 7, 14, 17, 22, 13, 18, 22,
                            28, 14, 23, 29, 27, 18, 14, 28, 8, 1, 3, 4, 2, 3,  1,  8,  6,  1,  11};
  for (int i = 0; i < 38; ++i) {
    const size_t at = 24 + 4 * i;
    EXPECT_EQ(d[at] | d[at + 1] << 8 | d[at + 2] << 16 | d[at + 3] << 24, expect[i]) << "offset " << at;
  }
  const auto vars = ReadScilabFile(path);
  ASSERT_EQ(vars.size(), 2u);
  EXPECT_EQ(vars[0].Name, "Volume3D");
  EXPECT_EQ(vars[0].Bytes, (TBytes{0, 10, 20, 30, 40, 50}));
  EXPECT_EQ(vars[1].Name, "slice2MR");
  EXPECT_EQ(vars[1].Reals[23], 23.5);
}

TEST(Buffer, NothingIsStagedOutsideIt) {
  TScilab w;
  EXPECT_THROW(w.PutLong(TScilab::kBufferSize - 3, 1), std::out_of_range);
  EXPECT_THROW(w.PutDouble(-1, 1), std::out_of_range);
  EXPECT_THROW(w.PutShort(TScilab::kBufferSize - 1, 1), std::out_of_range);
  EXPECT_THROW(w.PutByte(TScilab::kBufferSize, 1), std::out_of_range);
  EXPECT_NO_THROW(w.PutLong(TScilab::kBufferSize - 4, 1));
  EXPECT_NO_THROW(w.PutByte(TScilab::kBufferSize - 1, 1));
  EXPECT_THROW(w.WriteBuffer(TScilab::kBufferSize + 1), std::out_of_range);
}

TEST(Output, OpenEmptiesAnExistingFile) {
  TTempDir dir;
  const std::string path = dir.File("old.dat");
  WriteFileBytes(path, TBytes(1000, 7));
  TScilab w;
  w.OpenOutput(path);
  w.CloseOutput();
  EXPECT_EQ(std::filesystem::file_size(path), 0u);
}

TEST(Output, ErrorsNameTheFileAndTheReason) {
  TTempDir dir;
  const std::string missing = dir.File("no/such/folder/x.dat");
  TScilab w;
  try {
    w.OpenOutput(missing);
    FAIL();
  } catch (const std::system_error& e) {
    EXPECT_NE(std::string(e.what()).find(missing), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("No such file or directory"), std::string::npos);
  }
  TScilab full;
  full.OpenOutput("/dev/full");
  try {
    full.WriteRealMatrixHeader("x", 1, 1);
    FAIL() << "a write to /dev/full succeeded";
  } catch (const std::system_error& e) {
    EXPECT_EQ(e.code().value(), ENOSPC);
    EXPECT_NE(std::string(e.what()).find("/dev/full"), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("No space left on device"), std::string::npos);
  }
}

TEST(Output, AtomicOutputAppearsOnlyWhenComplete) {
  TTempDir dir;
  const std::string path = dir.File("run.dat");
  WriteFileBytes(path, TBytes{1, 2, 3});
  {
    TScilab w;
    w.OpenOutputAtomic(path);
    w.WriteRealMatrixHeader("x", 0, 0);
    EXPECT_EQ(ReadFileBytes(path), (TBytes{1, 2, 3}));  // the old file stands until the end
  }  // released without closing: the temporary file goes, the old one stays
  EXPECT_EQ(ListDir(dir.Path()), "run.dat");
  EXPECT_EQ(ReadFileBytes(path), (TBytes{1, 2, 3}));
  {
    TScilab w;
    w.OpenOutputAtomic(path);
    w.WriteRealMatrixHeader("x", 0, 0);
    w.CloseOutput();
  }
  EXPECT_EQ(ListDir(dir.Path()), "run.dat");
  EXPECT_EQ(ReadFileBytes(path).size(), 40u);
  struct stat st {};
  ::stat(path.c_str(), &st);
  EXPECT_NE(st.st_mode & 0044, 0u);  // readable by others, as a plain create would make it
}

}  // namespace
