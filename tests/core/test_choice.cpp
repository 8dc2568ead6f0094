// Channels, a span and SI units chosen: the rows, columns and values of every variable and table, as MNE-Python's pick,
// crop and get_data give them.
#include <gtest/gtest.h>

#include <sstream>

#include "convert_helpers.h"
#include "recording_builder.h"

namespace {

// One channel of every kind that picking tells apart; the second EEG channel is bad, the last
// MEG record has a unit MNE-Python knows no type for (the channel table's MEGOTHER).
const TChannel kChannels[] = {
    {.Scan = 1, .Range = 0.5f, .Cal = 3e-14f, .Coil = 3022, .Name = "MEG 0111"},
    {.Scan = 2, .Cal = 2e-13f, .Coil = 3012, .Unit = 201, .Name = "MEG 0112"},
    {.Scan = 3, .Cal = 4e-14f, .Coil = 3024, .Name = "MEG 0121"},
    {.Scan = 4, .Kind = 2, .Cal = 7e-7f, .Coil = 1, .Unit = 107, .Name = "EEG 001"},
    {.Scan = 5, .Kind = 2, .Cal = 9e-7f, .Coil = 1, .Unit = 107, .Name = "EEG 002"},
    {.Scan = 6, .Kind = 202, .Cal = 1e-6f, .Coil = 1, .Unit = 107, .Name = "EOG 061"},
    {.Scan = 7, .Kind = 3, .Coil = 0, .Unit = -1, .Name = "STI 014"},
    {.Scan = 8, .Kind = 301, .Cal = 5e-14f, .Coil = 5002, .Name = "REF 1"},
    {.Scan = 9, .Kind = 1, .Coil = 3012, .Unit = -1, .Name = "MEG odd"},
};
constexpr int kRows = 9;

// Two buffers of 100 samples at 100 Hz, a skip of one buffer between them: 300 columns.
std::string Recording(const TTempDir& Dir) {
  TFiffBuilder b;
  b.Int(fiff::kNChan, kRows).Float(fiff::kSFreq, 100.0f);
  for (const TChannel& c : kChannels) b.Channel(c);
  b.Tag(fiff::kBadChs, kTypeInt, BEInts({-1, -1, -1, -1, 1, -1, -1, -1, -1}));
  b.Int(fiff::kBlockStart, fiff::kBlockRawData).Int(fiff::kFirstSample, 50);
  for (int buffer = 0; buffer < 2; ++buffer) {
    if (buffer == 1) b.Int(fiff::kDataSkip, 1);
    std::vector<int16_t> v;
    for (int t = 0; t < 100; ++t)
      for (int c = 0; c < kRows; ++c) v.push_back(static_cast<int16_t>((buffer * 200 + t) * 10 + c));
    b.RawBuffer(v);
  }
  b.Int(fiff::kBlockEnd, fiff::kBlockRawData);
  return b.Write(Dir.File("run.fif"));
}

// The stored value of row Row at column Column of the recording (zeros in the skip).
double Stored(int Row, int64_t Column) {
  if (Column >= 100 && Column < 200) return 0;
  return static_cast<double>(Column * 10 + Row);
}

struct TOut {
  TScilabVar Raw, Cal, ChInform;
  std::vector<std::string> Names;
  std::string Recording;
};

TOut ConvertWith(const std::string& Path, const TChoice& Choice, const TTempDir& Out) {
  TRecordingInput in = OpenRecording(Path, {true, true}, true);
  TConvertOptions o;
  o.OutputDir = Out.Path();
  o.RawAsDouble = o.ChannelTable = o.KeepSkips = true;
  o.Choice = Choice;
  TOut r;
  for (const std::string& f : ConvertRecording(PlanConversion(in.Recording(), o))) {
    const TBytes b = ReadFileBytes(f);
    const std::string text(b.begin(), b.end());
    if (f.ends_with(".dat")) {
      const auto vars = ReadScilabFile(f);
      r.Raw = FindOne(vars, "raw_data"), r.Cal = FindOne(vars, "CalXRnge"), r.ChInform = FindOne(vars, "ChInform");
    } else if (f.ends_with("_channels.tsv")) {
      std::istringstream lines(text);
      std::string line;
      std::getline(lines, line);
      while (std::getline(lines, line)) r.Names.push_back(line.substr(0, line.find('\t')));
    } else if (f.ends_with("_recording.json")) {
      r.Recording = text;
    }
  }
  return r;
}

// The rows and columns each choice keeps (MNE-Python 1.3's pick, crop and get_data on the same
// file: raw.pick(...).crop(...)); with --units si every value is stored x range x calibration.
TEST(Choice, RowsColumnsAndValuesAsMnePythonTakesThem) {
  TTempDir dir;
  const std::string path = Recording(dir);
  const struct {
    TChoice Choice;
    std::vector<int> Rows;
    int64_t From, Columns;
  } kCases[] = {
      {{}, {0, 1, 2, 3, 4, 5, 6, 7, 8}, 0, 300},
      {{.Pick = {"mag"}, .Si = true}, {0, 2}, 0, 300},
      {{.Pick = {"meg"}}, {0, 1, 2}, 0, 300},  // without a compensation no references
      {{.Pick = {"grad", "EEG*", "MEGOTHER"}}, {1, 3, 4, 8}, 0, 300},
      {{.Pick = {"ref_meg", "STI 014"}, .Si = true}, {6, 7}, 0, 300},
      {{.Exclude = {"MEG 01?1", "E?G*"}}, {1, 6, 7, 8}, 0, 300},
      {{.Pick = {"eeg"}, .ExcludeBads = true, .Si = true, .Single = true}, {3}, 0, 300},
      {{.TMin = 0.505, .TMax = 2.465}, {0, 1, 2, 3, 4, 5, 6, 7, 8}, 50, 197},  // across the skip, ties to even
      {{.Pick = {"mag"}, .TMin = 1.994, .Si = true}, {0, 2}, 199, 101},
      {{.TMax = 0.0}, {0, 1, 2, 3, 4, 5, 6, 7, 8}, 0, 1},
  };
  for (const auto& c : kCases) {
    TTempDir out;
    TChoice choice = c.Choice;
    choice.Single = false;  // the .dat holds doubles; single precision is the HDF5 formats'
    const TOut r = ConvertWith(path, choice, out);
    ASSERT_EQ(r.Raw.Rows, static_cast<int32_t>(c.Rows.size()));
    ASSERT_EQ(r.Raw.Cols, c.Columns);
    std::vector<std::string> names;
    for (const int row : c.Rows) names.push_back(kChannels[row].Name);
    EXPECT_EQ(r.Names, names);
    EXPECT_EQ(r.Cal.Cols, static_cast<int32_t>(c.Rows.size()) + 1);
    if (!c.Choice.Pick.empty() || !c.Choice.Exclude.empty()) EXPECT_EQ(r.ChInform.Cols, r.Raw.Rows);
    for (size_t k = 0; k < c.Rows.size(); ++k) {
      const TChannel& ch = kChannels[c.Rows[k]];
      const double factor = static_cast<double>(ch.Range) * static_cast<double>(ch.Cal);
      EXPECT_EQ(r.Cal.Real(0, static_cast<int32_t>(k)),
                c.Choice.Si
                    ? 1.0
                    : fiff::ScaledCalibration({.Kind = ch.Kind, .Range = ch.Range, .Cal = ch.Cal, .Coil = ch.Coil}));
      for (int64_t col = 0; col < c.Columns; ++col) {
        const double v = Stored(c.Rows[k], c.From + col);
        const double got = c.Choice.Si ? r.Raw.Real(static_cast<int32_t>(k), static_cast<int32_t>(col))
                                       : r.Raw.Short(static_cast<int32_t>(k), static_cast<int32_t>(col));
        ASSERT_EQ(got, c.Choice.Si ? v * factor : v) << k << " " << col;
      }
    }
    EXPECT_NE(r.Recording.find("\"FirstSample\": " + std::to_string(50 + c.From)), std::string::npos);
    EXPECT_NE(r.Recording.find("\"Samples\": " + std::to_string(c.Columns)), std::string::npos);
  }
}

// A span across the join of two parts takes the samples of both, each at its time; the events
// inside it count from its first column, one across its edge is cut to it.
TEST(Choice, ASpanAcrossTheJoinOfTwoParts) {
  TTempDir dir, out;
  const std::vector<std::string> names = {"run_raw.fif", "run_raw-1.fif", "run_raw-2.fif"};
  const std::vector<TRawPart> parts = SplitRecording(names, true);
  for (size_t k = 0; k < parts.size(); ++k) RawPartFile(parts[k]).Write(dir.File(names[k]));
  TRecordingInput in = OpenRecording(dir.File(names[0]), {true, true}, true);
  TConvertOptions o;
  o.OutputDir = out.Path();
  o.KeepSkips = true;
  o.Choice.TMin = 0.75, o.Choice.TMax = 3.5;
  const std::vector<std::string> files = ConvertRecording(PlanConversion(in.Recording(), o));
  const TScilabVar raw = FindOne(ReadScilabFile(files[0]), "raw_data");
  ASSERT_EQ(raw.Cols, 2751);
  for (int32_t col = 0; col < raw.Cols; ++col) ASSERT_EQ(raw.Short(0, col), SampleValue(850 + col, 0)) << col;
  const TBytes events = ReadFileBytes(out.File("run_raw_events.tsv"));
  EXPECT_EQ(std::string(events.begin(), events.end()),
            "onset\tduration\ttrial_type\tsample\tvalue\n0\t0.25\tstim A\t850\tn/a\n");
}

// What the file does not have, or a span outside it: an error naming the file, nothing written.
TEST(Choice, WhatTheRecordingCannotMeetIsRefused) {
  TTempDir dir;
  const std::string path = Recording(dir);
  const struct {
    TChoice Choice;
    const char* Why;
  } kCases[] = {
      {{.Pick = {"eog", "ecg"}}, "--pick 'ecg' names no channel of the file (it has no ecg channel)"},
      {{.Pick = {"MEG 9*"}}, "--pick 'MEG 9*' names no channel of the file"},
      {{.Exclude = {"nothing"}}, "--exclude 'nothing' names no channel of the file"},
      {{.Pick = {"EEG 002"}, .ExcludeBads = true}, "the channels chosen leave none of the file's"},
      {{.TMin = -0.01}, "--tmin -0.01 is before the first sample"},
      {{.TMin = 2, .TMax = 1}, "--tmin 2 is after --tmax 1"},
      {{.TMax = 3}, "--tmax 3 is after the last sample, at 2.9900 s"},
  };
  for (const auto& c : kCases) {
    TTempDir out;
    try {
      ConvertWith(path, c.Choice, out);
      ADD_FAILURE() << c.Why;
    } catch (const TChoiceError& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot convert \"" + path + "\": " + c.Why);
    }
    EXPECT_EQ(ListDir(out.Path()), "") << c.Why;
  }
}

}  // namespace
