// The channel table beside the outputs: rows as raw_data's, BIDS types, SI units, factors, both kinds of bad channel.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "convert_helpers.h"

namespace {

using TTable = std::vector<std::vector<std::string>>;

TTable ReadTable(const std::string& Path) {
  const TBytes bytes = ReadFileBytes(Path);
  std::istringstream in(std::string(bytes.begin(), bytes.end()));
  TTable rows;
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> cells;
    std::istringstream cols(line);
    for (std::string c; std::getline(cols, c, '\t');) cells.push_back(c);
    rows.push_back(cells);
  }
  return rows;
}

// Converts with the table; returns it, header first.
TTable Table(const TFiffBuilder& B, const TTempDir& Dir, int64_t Limit = 50'000'000) {
  TFiff f;
  if (!f.LoadFiff(B.Write(Dir.File("run.fif")))) throw std::runtime_error("not FIFF");
  TConvertOptions o;
  o.SizeLimit = Limit;
  o.ChannelTable = true;
  const auto files = ConvertFiff(f, o);
  EXPECT_EQ(files.back(), Dir.File("run_channels.tsv"));
  return ReadTable(files.back());
}

// Values from MNE-Python 1.3's reading of the file (raw.ch_names, get_channel_types(), raw._cals).
TEST(ChannelTable, ARealFileAsMnePythonReadsIt) {
  TTempDir dir;
  TFiff f;
  ASSERT_TRUE(f.LoadFiff(PatchedCopy("brainvision_test_bin_raw.fif", dir.Path())));
  TConvertOptions o;
  o.ChannelTable = true;
  const auto files = ConvertFiff(f, o);
  const TTable t = ReadTable(files.back());
  ASSERT_EQ(t.size(), 34u);
  EXPECT_EQ(t[0], (std::vector<std::string>{"name", "type", "units", "sampling_frequency", "low_cutoff", "high_cutoff",
                                            "status", "si_factor", "fiff_kind", "fiff_coil_type"}));
  for (int k = 1; k <= 32; ++k) {
    char name[16];
    std::snprintf(name, sizeof name, "EEG %03d", k);
    EXPECT_EQ(t[k], (std::vector<std::string>{name, "EEG", "V", "1000", "n/a", "500", "good", "4.9999999873762135e-07",
                                              "2", "1"}));
    EXPECT_EQ(std::stod(t[k][7]), 4.999999987376214e-07);
  }
  EXPECT_EQ(t[33], (std::vector<std::string>{"STI 014", "TRIG", "V", "1000", "n/a", "500", "good", "1", "3", "0"}));
  EXPECT_EQ(FindOne(ReadScilabFile(files[0]), "raw_data").Rows, 33);
}

TEST(ChannelTable, TypesUnitsAndFactorsOfEachKindOfChannel) {
  TTempDir dir;
  const struct {
    TChannel Channel;
    const char* Type;
    const char* Units;
    const char* Factor;
  } kRows[] = {
      {TChannel{.Scan = 1, .Cal = 1e-13f, .Coil = 3022}, "MEGMAG", "T", "9.9999998245167004e-14"},
      {TChannel{.Scan = 2, .Cal = 1e-13f, .Coil = 3024}, "MEGMAG", "T",
       "9.9999998245167004e-14"},  // no factor of 100 here
      {TChannel{.Scan = 3, .Range = 2.0f, .Cal = 0.5f, .Unit = 201}, "MEGGRADPLANAR", "T/m", "1"},
      {TChannel{.Scan = 4, .Coil = 5001 | (3 << 16)}, "MEGGRADAXIAL", "T", "1"},  // CTF with its grade bits
      {TChannel{.Scan = 5, .Kind = 301, .Coil = 5002}, "MEGREFMAG", "T", "1"},
      {TChannel{.Scan = 6, .Kind = 301, .Coil = 5003}, "MEGREFGRADAXIAL", "T", "1"},
      {TChannel{.Scan = 7, .Kind = 2, .Cal = 0.25f, .Coil = 1, .Unit = 107}, "EEG", "V", "0.25"},
      {TChannel{.Scan = 8, .Kind = 202, .Coil = 1, .Unit = 107}, "EOG", "V", "1"},
      {TChannel{.Scan = 9, .Kind = 402, .Coil = 1, .Unit = 107}, "ECG", "V", "1"},
      {TChannel{.Scan = 10, .Kind = 3, .Coil = 0, .Unit = -1}, "TRIG", "n/a", "1"},
      {TChannel{.Scan = 11, .Kind = 602, .Coil = 0, .Unit = 0}, "RESP", "n/a", "1"},
      {TChannel{.Scan = 12, .Kind = 4242, .Range = 3.0f, .Coil = 0, .Unit = 5}, "MISC", "K",
       "3"},  // a kind BIDS has no type for
  };
  TFiffBuilder b;
  b.Int(200, 13).Float(201, 600.0f).Float(219, 172.5f).Float(223, 0.1f);
  for (const auto& r : kRows) b.Channel(r.Channel);
  b.RawBuffer(std::vector<int16_t>(26, 1));
  const TTable t = Table(b, dir);
  ASSERT_EQ(t.size(), 14u);  // 13 rows of raw_data, one without a record
  for (size_t k = 0; k < std::size(kRows); ++k) {
    const auto& row = t[k + 1];
    EXPECT_EQ(row[0], "CH" + std::to_string(k + 1));
    EXPECT_EQ(row[1], kRows[k].Type) << k;
    EXPECT_EQ(row[2], kRows[k].Units) << k;
    EXPECT_EQ(row[3], "600");
    EXPECT_EQ(row[4], "0.100000001");  // the float as stored
    EXPECT_EQ(row[5], "172.5");
    EXPECT_EQ(row[7], kRows[k].Factor) << k;
    EXPECT_EQ(std::stod(row[7]),
              static_cast<double>(kRows[k].Channel.Range) * static_cast<double>(kRows[k].Channel.Cal));
    EXPECT_EQ(row[8], std::to_string(kRows[k].Channel.Kind));
    EXPECT_EQ(row[9], std::to_string(kRows[k].Channel.Coil));
  }
  EXPECT_EQ(t[13], (std::vector<std::string>{"n/a", "n/a", "n/a", "600", "n/a", "n/a", "good", "n/a", "n/a", "n/a"}));
}

// Bad channels stored as positions (tag 220), as MNE-Python's list of names, or both; a long
// name from MNE's extended record; names with a tab or a line break.
TEST(ChannelTable, BadChannelsInBothFormsAndLongNames) {
  TTempDir dir;
  auto recording = [](bool Positions, bool Names) {
    TFiffBuilder b;
    b.Int(200, 4).Float(201, 100.0f);
    b.Channel({.Scan = 1, .Kind = 2, .Coil = 1, .Unit = 107, .Name = "EEG 001"})
        .Channel({.Scan = 2, .Kind = 2, .Coil = 1, .Unit = 107, .Name = "EEG\t002"});
    b.Channel({.Scan = 3, .Kind = 2, .Coil = 1, .Unit = 107, .Name = "EEG 003"})
        .Channel({.Scan = 4, .Kind = 2, .Coil = 1, .Unit = 107, .Name = "EEG 004"});
    // Extended records, one block per channel: the fourth has a name longer than 15 characters.
    for (int k = 0; k < 4; ++k) {
      b.Int(104, 113);
      if (k == 3) b.Text(258, "EEG 004-reference\nelectrode");
      b.Int(105, 113);
    }
    if (Positions) b.Tag(220, kTypeInt, BEInts({-1, 0, -1, -1}));
    if (Names) b.Int(104, 359).Text(3507, "EEG 003:EEG 004-reference\nelectrode").Int(105, 359);
    b.RawBuffer(std::vector<int16_t>(8, 0));
    return b;
  };
  const struct {
    bool Positions, Names;
    std::vector<std::string> Status;
  } kCases[] = {{false, false, {"good", "good", "good", "good"}},
                {true, false, {"good", "bad", "good", "good"}},
                {false, true, {"good", "good", "bad", "bad"}},
                {true, true, {"good", "bad", "bad", "bad"}}};
  for (const auto& c : kCases) {
    const TTable t = Table(recording(c.Positions, c.Names), dir);
    ASSERT_EQ(t.size(), 5u);
    for (size_t k = 0; k < 4; ++k) EXPECT_EQ(t[k + 1][6], c.Status[k]) << c.Positions << c.Names << k;
    EXPECT_EQ(t[2][0], "EEG 002");
    EXPECT_EQ(t[4][0], "EEG 004-reference electrode");
  }
}

TEST(ChannelTable, OneForASeriesAndNoneWithoutRawDataBeyondTheBudgetOrAfterAFailure) {
  TTempDir dir;
  TFiffBuilder b;
  b.Int(200, 1).Float(201, 10.0f).Channel({.Scan = 1, .Kind = 2, .Coil = 1, .Unit = 107});
  for (int i = 0; i < 4; ++i) b.RawBuffer(std::vector<int16_t>(100, 1));
  Table(b, dir, 250);
  EXPECT_EQ(ListDir(dir.Path()), "run.fif run_01.dat run_02.dat run_03.dat run_channels.tsv");

  TTempDir none;
  TFiffBuilder noData;
  noData.Int(200, 1).Channel({.Scan = 1, .Kind = 2, .Coil = 1, .Unit = 107});
  TFiff f;
  ASSERT_TRUE(f.LoadFiff(noData.Write(none.File("run.fif"))));
  TConvertOptions o;
  o.ChannelTable = true;
  ConvertFiff(f, o);
  EXPECT_EQ(ListDir(none.Path()), "run.dat run.fif");

  // Raw data of more rows than any record could name: rows of n/a beyond the budget of the file.
  TTempDir huge;
  TFiff h;
  ASSERT_TRUE(h.LoadFiff(TFiffBuilder().Int(200, 2'147'483'647).RawBuffer({1, 2}).Write(huge.File("run.fif"))));
  ConvertFiff(h, o);
  EXPECT_EQ(ListDir(huge.Path()), "run.dat run.fif");

  TTempDir failed;
  TFiff g;
  ASSERT_TRUE(g.LoadFiff(b.Write(failed.File("run.fif"))));
  std::filesystem::create_directory(failed.File("run.dat"));  // the output cannot be written
  EXPECT_THROW(ConvertFiff(g, o), std::system_error);
  EXPECT_EQ(ListDir(failed.Path()), "run.dat run.fif");
}

}  // namespace
