// The measurement read once: its three channel lists, the raw directory of its parts, the one raw reader, the sinks.
#include <gtest/gtest.h>

#include <hdf5.h>

#include <cstring>
#include <filesystem>

#include "../../convert/formats.h"
#include "block_tree.h"
#include "convert_helpers.h"
#include "recording_builder.h"
#include "sink_set.h"

namespace {

// A recording of Parts as the command line reads it (skips kept) or as the window does.
struct TOpened {
  std::vector<TInput> Inputs;
  std::unique_ptr<TMeasurement> M;
};
TOpened Open(const std::vector<std::string>& Paths, bool KeepSkips) {
  TOpened o;
  std::vector<TFiff*> parts;
  for (const std::string& p : Paths) {
    o.Inputs.push_back(OpenInput(p, {true, true}));
    parts.push_back(o.Inputs.back().Reader.get());
  }
  o.M = std::make_unique<TMeasurement>(parts, TMeasurementRules{KeepSkips});
  return o;
}

// Blocks as MNE-Python's directory tree holds them: each block's own entries without its
// children's, found at any depth in file order; a block never closed ends with the directory, an end
// with none open closes nothing. Each case: the tags (B k opens block k, E closes, a number is a tag
// of that kind), the block asked for, its own entries' kinds and the kinds of all the blocks within.
TEST(BlockTree, EntriesAndBlocksAsMnePythonsTreeHoldsThem) {
  const struct {
    std::vector<std::string> Tags;
    int32_t Kind;
    std::vector<int32_t> Entries, Within;
  } kCases[] = {
      {{"B104", "206", "B105", "302", "E", "207", "E"}, 104, {206, 207}, {105}},
      {{"B104", "206", "B105", "302", "E", "207", "E"}, 105, {302}, {}},
      {{"B100", "B104", "B105", "302", "B105", "303", "E", "E", "E"}, 100, {}, {104, 105, 105}},
      {{"E", "B373", "208", "B361", "3561"}, 373, {208}, {361}},  // never closed; a stray end first
      {{"B373", "208", "E", "E", "209"}, 373, {208}, {}},
  };
  TTempDir dir;
  for (const auto& c : kCases) {
    TFiffBuilder b;
    for (const std::string& t : c.Tags)
      t[0] == 'B' ? b.Begin(std::stoi(t.substr(1))) : t == "E" ? b.End(0) : b.Int(std::stoi(t), 0);
    TFiff f;
    ASSERT_TRUE(f.LoadFiff(b.Write(dir.File("t.fif"))));
    const fiff::TBlockTree tree(f);
    const std::vector<int32_t> found = tree.Find(c.Kind);
    ASSERT_FALSE(found.empty()) << c.Kind;
    std::vector<int32_t> entries, within;
    for (const int32_t i : tree.Entries(found[0])) entries.push_back(f.Tag(i).Kind);
    for (const int32_t kind : {104, 105, 361, 373})
      for (const int32_t k : tree.Find(kind, found[0])) within.push_back(tree.Block(k).Kind);
    EXPECT_EQ(entries, c.Entries) << c.Kind;
    EXPECT_EQ(within, c.Within) << c.Kind;
  }
}

TEST(Measurement, EachChannelListByItsOwnRule) {
  TTempDir dir;
  TFiffBuilder b;
  b.Int(200, 4).Float(201, 1000.0f);
  b.Channel({.Scan = 1, .Cal = 2.0f, .Coil = 3022, .Loc = Locations(10)});
  b.Channel({.Scan = 2, .Kind = 2, .Cal = 3.0f, .Loc = Locations(20)});
  b.Channel({.Scan = 2, .Kind = 2, .Cal = 5.0f, .Loc = Locations(30), .Name = "again"});
  b.Channel({.Scan = 3, .Kind = 3, .Cal = 7.0f, .Loc = Locations(40)});
  b.RawBuffer(std::vector<int16_t>(8, 1));
  b.Int(200, 2).Int(208, -1).Epoch(0, 1, {1, 2}).Epoch(0, 1, {3});
  const TOpened o = Open({b.Write(dir.File("c.fif"))}, true);
  const TMeasurement& m = *o.M;
  // ChInform: a scan number not beyond those taken is a repeated list's.
  ASSERT_EQ(m.ChInformLocations().size(), 3u);
  EXPECT_EQ(m.ChInformLocations()[1][0], 20.0f);
  EXPECT_EQ(m.ChInformLocations()[2][0], 40.0f);
  // raw_data's rows and CalXRnge: every record of the vector, in file order.
  ASSERT_EQ(m.Calibration().size(), 1u);
  EXPECT_EQ(m.Calibration()[0].Records.size(), 4u);
  ASSERT_EQ(m.Channels().size(), 4u);
  EXPECT_EQ(m.Channels()[2].Name, "again");
  EXPECT_EQ(m.RawRows(), 4);
  // The averages: a column's factor is its scan number's, as the last record of it defines it.
  ASSERT_EQ(m.Averages().size(), 1u);
  const fiff::TAverage& a = m.Averages()[0];
  EXPECT_EQ(a.Epochs[0].Factor, 2.0f * 1e13f * 100.0f);
  EXPECT_EQ(a.Epochs[1].Factor, 5.0f * 1e6f);
  EXPECT_EQ(a.InventedBytes, 8);  // the second epoch is a sample short
  EXPECT_EQ(a.FirstSample, -1);
}

TEST(Measurement, RawDirectoryOfEveryPartInOrder) {
  TTempDir dir;
  const std::string first =
      RawPartFile({.FirstSample = 100, .Buffers = {{1000, 0}, {500, 2}}, .After = {{2, "b.fif", 1}}})
          .Write(dir.File("a.fif"));
  RawPartFile({.FirstSample = 2600, .InitialSkip = 1, .Buffers = {{1000, 0}}}).Write(dir.File("b.fif"));
  const struct {
    bool KeepSkips;
    std::vector<int32_t> Skips;
    std::vector<int64_t> FirstSamples;
    std::vector<double> Seconds;
  } kRules[] = {{true, {0, 2, 1}, {100, 2600}, {2.5, 2.0}}, {false, {0, 0, 0}, {0, 0}, {1.5, 1.0}}};
  for (const auto& r : kRules) {
    const TOpened o = Open({first, dir.File("b.fif")}, r.KeepSkips);
    std::vector<int32_t> skips, parts;
    for (const TRawBuffer& b : o.M->Buffers()) skips.push_back(b.SkipBuffers), parts.push_back(b.Part);
    EXPECT_EQ(skips, r.Skips);
    EXPECT_EQ(parts, (std::vector<int32_t>{0, 0, 1}));
    EXPECT_EQ(o.M->PartStarts()[0].FirstSample, r.FirstSamples[0]);
    EXPECT_EQ(o.M->PartStarts()[1].FirstSample, r.FirstSamples[1]);  // its initial skip is zeros in place
    EXPECT_EQ(o.M->PartStarts()[1].FirstBuffer, 2);
    EXPECT_EQ(PartSeconds(*o.M), r.Seconds);
  }
}

// Whatever the rows and columns asked for and the staging buffer's size, the flushed bytes are
// the values of those rows and columns, skips as zeros, as stored or in SI units.
TEST(RawReader, AnyRowsSpanAndStagingGiveTheirValues) {
  TTempDir dir;
  const std::string path =
      RawPartFile({.FirstSample = 0, .Buffers = {{3, 0}, {2, 1}, {1, 0}}}).Write(dir.File("r.fif"));
  const TOpened o = Open({path}, true);
  const double cal[3] = {1e-13f, 1e-6f, 1e-6f};  // the builder's MEG, EEG and stimulus channels
  const struct {
    std::vector<int32_t> Rows;
    int64_t From, To;
    TRawValues Values;
  } kCases[] = {{{}, 0, 8, TRawValues::Int16},           {{}, 0, 8, TRawValues::Double},
                {{2, 0}, 0, 8, TRawValues::Int16},       {{}, 2, 6, TRawValues::Int16},
                {{0, 1, 2}, 4, 8, TRawValues::SiDouble}, {{1}, 1, 4, TRawValues::SiSingle}};
  for (const auto& c : kCases) {
    TRawSelection selection{c.Rows, {}, c.From, c.To};
    const std::vector<int32_t> rows = c.Rows.empty() ? std::vector<int32_t>{0, 1, 2} : c.Rows;
    for (const int32_t r : rows)
      if (c.Values == TRawValues::SiDouble || c.Values == TRawValues::SiSingle) selection.Factors.push_back(cal[r]);
    std::vector<double> expected;
    for (int64_t col = c.From; col < c.To; ++col)
      for (size_t k = 0; k < rows.size(); ++k) {
        const double v = col >= 3 && col < 5 || rows[k] == 2 ? 0 : SampleValue(col, rows[k]);
        expected.push_back(c.Values == TRawValues::SiDouble   ? v * cal[rows[k]]
                           : c.Values == TRawValues::SiSingle ? static_cast<float>(v * cal[rows[k]])
                                                              : v);
      }
    const int64_t size = RawValueBytes(c.Values);
    for (const int64_t capacity : {8, 10, 12, 17, 1000}) {
      std::vector<uint8_t> staging(static_cast<size_t>(capacity)), out;
      int64_t columns = 0;
      TRawReader reader(*o.M, c.Values, selection, {staging.data(), capacity, [&](int64_t Bytes) {
                                                      ASSERT_LE(Bytes, capacity);
                                                      out.insert(out.end(), staging.begin(), staging.begin() + Bytes);
                                                    }});
      reader.Read(0, 3, 0, [&](const TRawBuffer&, int64_t Columns) { columns += Columns; });
      EXPECT_EQ(columns, c.To - c.From);
      std::vector<double> got;
      for (size_t k = 0; k + size <= out.size(); k += static_cast<size_t>(size)) {
        int16_t i16;
        float f;
        double d;
        std::memcpy(size == 2   ? static_cast<void*>(&i16)
                    : size == 4 ? static_cast<void*>(&f)
                                : &d,
                    out.data() + k, static_cast<size_t>(size));
        got.push_back(size == 2 ? i16 : size == 4 ? f : d);
      }
      EXPECT_EQ(got, expected) << capacity << " " << c.From << " " << c.Rows.size();
    }
  }
}

// The doubles of dataset Name of an HDF5 file, in Scilab's order.
std::vector<double> Hdf5Values(const std::string& Path, const char* Name) {
  const hid_t file = H5Fopen(Path.c_str(), H5F_ACC_RDONLY, H5P_DEFAULT);
  const hid_t set = H5Dopen2(file, Name, H5P_DEFAULT);
  const hid_t space = H5Dget_space(set);
  std::vector<double> v(static_cast<size_t>(H5Sget_simple_extent_npoints(space)));
  H5Dread(set, H5T_NATIVE_DOUBLE, H5S_ALL, H5S_ALL, H5P_DEFAULT, v.data());
  H5Sclose(space), H5Dclose(set), H5Fclose(file);
  return v;
}

// Every format takes a variable's values in any pieces as it takes them in one, for every sink of
// the set; a sink not committed leaves nothing.
TEST(Sinks, EveryFormatTakesValuesInPiecesAsInOne) {
  TTempDir dir;
  std::vector<double> values(3 * 5);
  for (size_t k = 0; k < values.size(); ++k) values[k] = 0.5 * static_cast<double>(k) - 3;
  TSinkSet set;
  for (const TFormatInfo& f : Formats()) set.Add(f.Open(dir.File(std::string("v") + f.Ending)));
  set.Begin("CalXRnge", TElement::Double, {3, 5});
  for (const size_t piece : {1u, 4u, 10u}) {
    std::memcpy(set.Buffer(), values.data() + (piece == 1 ? 0 : piece == 4 ? 1 : 5), 8 * piece);
    set.Write(static_cast<int64_t>(8 * piece));
  }
  TOutputBatch batch;
  set.Commit(batch);
  for (const auto& e : std::filesystem::directory_iterator(dir.Path()))  // complete, hidden until put in place
    EXPECT_EQ(e.path().filename().string()[0], '.');
  batch.Publish();
  EXPECT_EQ(FindOne(ReadScilabFile(dir.File("v.dat")), "CalXRnge").Reals, values);
  EXPECT_EQ(Hdf5Values(dir.File("v.sod"), "CalXRnge"), values);
  EXPECT_EQ(Hdf5Values(dir.File("v.mat"), "CalXRnge"), values);
  {
    TSinkSet unfinished;
    for (const TFormatInfo& f : Formats()) unfinished.Add(f.Open(dir.File(std::string("u") + f.Ending)));
    unfinished.Begin("x", TElement::Int16, {1, 1});
  }
  EXPECT_EQ(ListDir(dir.Path()), "v.dat v.mat v.sod");
}

}  // namespace
