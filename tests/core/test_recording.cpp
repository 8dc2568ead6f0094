// Recordings as MNE-Python reads them: split parts joined, skips filled in place, events and facts beside the data.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "convert_helpers.h"
#include "recording_builder.h"

namespace {

// The numbers below are MNE-Python 1.3's reading of the same files (read_raw_fif: first_samp,
// n_times, annotations, events_from_annotations), taken once by hand.

std::vector<TRawPart::TBuffer> Buffers(int Count) { return std::vector<TRawPart::TBuffer>(Count, {1000, 0}); }

std::vector<std::string> ThreeParts(const TTempDir& Dir, const std::vector<std::string>& Names, bool ByName) {
  std::vector<std::string> paths;
  for (const TRawPart& part : SplitRecording(Names, ByName))
    paths.push_back(RawPartFile(part).Write(Dir.File(Names[paths.size()])));
  return paths;
}

struct TResult {
  std::vector<std::string> Files;
  TScilabVar Raw;
  std::string Events, Recording;
};

// Converts Path as the command line does by default, trigger events as Triggers asks.
TResult Convert(const std::string& Path, const TTempDir& Out, const TTriggerOptions& Triggers = {}) {
  TRecordingInput in = OpenRecording(Path, {true, true}, true);
  TConvertOptions o;
  o.OutputDir = Out.Path();
  o.RawAsDouble = o.ChannelTable = o.KeepSkips = true;
  o.Triggers = Triggers;
  const TRecording recording = in.Recording();
  TResult r;
  r.Files = ConvertRecording(PlanConversion(recording, o));
  r.Raw = FindOne(ReadScilabFile(r.Files[0]), "raw_data");
  for (const std::string& f : r.Files) {
    const TBytes b = ReadFileBytes(f);
    if (f.ends_with("_events.tsv")) r.Events.assign(b.begin(), b.end());
    if (f.ends_with("_recording.json")) r.Recording.assign(b.begin(), b.end());
  }
  return r;
}

// Every column holds the samples of the FIFF number First + column, or zeros where Zeros says.
void ExpectSamples(const TScilabVar& Raw, int64_t First, int64_t Columns, std::pair<int64_t, int64_t> Zeros = {0, 0}) {
  ASSERT_EQ(Raw.Cols, Columns);
  for (int32_t col = 0; col < Raw.Cols; ++col)
    for (int c = 0; c < Raw.Rows; ++c) {
      const bool zero = col >= Zeros.first && col < Zeros.second;
      ASSERT_EQ(Raw.Short(c, col), zero || c == Raw.Rows - 1 ? 0 : SampleValue(First + col, c)) << col;
    }
}

TEST(Recordings, SplitPartsJoinAsMnePythonReadsThem) {
  const struct {
    std::vector<std::string> Names;
    bool ByName;
  } kChains[] = {{{"run_raw.fif", "run_raw-1.fif", "run_raw-2.fif"}, true},
                 {{"run_raw.fif", "run_raw-1.fif", "run_raw-2.fif"}, false},
                 {{"sub-01_split-01_meg.fif", "sub-01_split-02_meg.fif", "sub-01_split-03_meg.fif"}, false}};
  for (const auto& chain : kChains) {
    TTempDir dir, out, later;
    const std::vector<std::string> parts = ThreeParts(dir, chain.Names, chain.ByName);
    const TResult r = Convert(parts[0], out);
    ExpectSamples(r.Raw, 100, 7000);
    EXPECT_EQ(r.Events,
              "onset\tduration\ttrial_type\tsample\tvalue\n0.5\t0.5\tstim A\t600\tn/a\n4.25\t0\tresp:B\t4350\tn/a\n");
    const std::string sources = "\"SourceFiles\": [\n    \"" + chain.Names[0] + "\",\n    \"" + chain.Names[1] +
                                "\",\n    \"" + chain.Names[2] + "\"\n  ]";
    EXPECT_NE(r.Recording.find(sources), std::string::npos) << r.Recording;
    for (const char* fact : {"\"FirstSample\": 100,", "\"Samples\": 7000,", "\"RecordingDuration\": 7.0,",
                             "\"MeasurementDate\": \"2021-03-04T05:06:07.25Z\"", "\"PowerLineFrequency\": 50.0"})
      EXPECT_NE(r.Recording.find(fact), std::string::npos) << fact;
    // A later part alone is read with those after it; the annotation before it is left out.
    const TResult l = Convert(parts[1], later);
    ExpectSamples(l.Raw, 3100, 4000);
    EXPECT_EQ(l.Events, "onset\tduration\ttrial_type\tsample\tvalue\n1.25\t0\tresp:B\t4350\tn/a\n");
  }
}

// Each an error naming the part, before anything is written.
TEST(Recordings, PartsThatAreMissingLoopOrDisagreeAreErrors) {
  const std::vector<std::string> names = {"run_raw.fif", "run_raw-1.fif", "run_raw-2.fif"};
  const struct {
    const char* Case;
    std::function<void(const TTempDir&)> Change;
    std::string Why;
  } kCases[] = {
      {"missing", [](const TTempDir& D) { std::filesystem::remove(D.File("run_raw-2.fif")); },
       "its part \"DIR/run_raw-2.fif\", which \"DIR/run_raw-1.fif\" names as the next, does not exist"},
      {"a loop",
       [](const TTempDir& D) {
         TRawPart p{.FirstSample = 3100, .Buffers = Buffers(2), .After = {{2, "run_raw.fif", 0}}};
         RawPartFile(p).Write(D.File("run_raw-1.fif"));
       },
       "the part after \"DIR/run_raw-1.fif\" is \"DIR/run_raw.fif\", an earlier part of the recording"},
      {"more channels",
       [](const TTempDir& D) {
         RawPartFile({.Channels = 4, .FirstSample = 5100, .Buffers = Buffers(2)}).Write(D.File("run_raw-2.fif"));
       },
       "its part \"DIR/run_raw-2.fif\" has 4 channels where the part before has 3"},
      {"another frequency",
       [](const TTempDir& D) {
         RawPartFile({.Frequency = 500, .FirstSample = 5100, .Buffers = Buffers(2)}).Write(D.File("run_raw-2.fif"));
       },
       "its part \"DIR/run_raw-2.fif\" is sampled at 500 Hz where the part before is sampled at 1000 Hz"},
      {"no raw data", [](const TTempDir& D) { RawPartFile({.FirstSample = 5100}).Write(D.File("run_raw-2.fif")); },
       "its part \"DIR/run_raw-2.fif\" holds no raw data"},
      {"a gap",
       [](const TTempDir& D) {
         RawPartFile({.FirstSample = 5200, .Buffers = Buffers(2)}).Write(D.File("run_raw-2.fif"));
       },
       "its part \"DIR/run_raw-2.fif\" begins at sample 5200, not at 5100, the one after the part before"},
      {"a copy cut short inside a buffer",
       [](const TTempDir& D) { std::filesystem::resize_file(D.File("run_raw-1.fif"), 5000); },
       "its part \"DIR/run_raw-1.fif\" ends inside a data buffer at byte 903: the file is cut short"},
  };
  for (const auto& c : kCases) {
    TTempDir dir, out;
    const std::vector<std::string> parts = ThreeParts(dir, names, true);
    c.Change(dir);
    std::string why = c.Why;
    for (size_t at; (at = why.find("DIR")) != std::string::npos;) why.replace(at, 3, dir.Path());
    try {
      Convert(parts[0], out);
      ADD_FAILURE() << c.Case;
    } catch (const TInputError& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot convert \"" + parts[0] + "\": " + why) << c.Case;
    }
    EXPECT_EQ(ListDir(out.Path()), "") << c.Case;
  }
}

// A skip before the first buffer moves the first sample; one in the middle is zeros in place,
// with its BAD_ACQ_SKIP event; under the window's rules the skipped buffers are left out; a skip
// stated as -1 (2^32 - 1 unsigned) is none, as MNE-Python reads it; one of more zeros than an
// output may be given is an error naming the file, with nothing written.
TEST(Recordings, SkipsKeepEverySampleAtItsTime) {
  TTempDir dir, out;
  TRawPart p{.FirstSample = 100, .InitialSkip = 2, .Buffers = Buffers(4), .MeasDate = 1614834367};
  p.Buffers[2].SkipBefore = 3;
  p.Onsets = {2.6f, 9.35f};
  p.Ends = {3.1f, 9.85f};
  p.Descriptions = "a:b";
  p.AnnotationOrigin = 1614834367.25;
  const std::string path = RawPartFile(p).Write(dir.File("skip_raw.fif"));
  const TResult r = Convert(path, out);
  ExpectSamples(r.Raw, 2100, 7000, {2000, 5000});
  EXPECT_EQ(r.Events,
            "onset\tduration\ttrial_type\tsample\tvalue\n0.5\t0.5\ta\t2600\tn/a\n2\t3\tBAD_ACQ_SKIP\t4100\tn/a\n");
  EXPECT_NE(r.Recording.find("\"SkippedSamples\": 3000,"), std::string::npos);
  EXPECT_EQ(FindOne(ConvertFile(path).Only(), "raw_data").Cols, 4000);  // the window's rules

  for (const int32_t skip : {-1, 2'147'483'647}) {
    p.Buffers[2].SkipBefore = skip;
    RawPartFile(p).Write(path);
    TTempDir none;
    if (skip < 0) {
      EXPECT_EQ(Convert(path, none).Raw.Cols, 4000);
      continue;
    }
    EXPECT_THROW(Convert(path, none), TInputError);
    EXPECT_EQ(ListDir(none.Path()), "");
  }
}

// The zeros of skips are invented values: 8 x the input's size + 1 MiB for the whole conversion,
// however many files of a series they fall in.
TEST(Recordings, OneBudgetForTheSkipsOfEveryFileOfASeries) {
  TTempDir dir;
  TRawPart p{.Channels = 1, .FirstSample = 0, .Buffers = Buffers(4)};
  p.Buffers[1].SkipBefore = p.Buffers[3].SkipBefore = 1;  // the size the file has with its skips
  const int64_t budget = 8 * static_cast<int64_t>(RawPartFile(p).Size()) + 1048576;
  for (const double share : {0.45, 0.6}) {  // of the budget, each of two skips in files of their own
    const auto skip =
        static_cast<int32_t>(share * static_cast<double>(budget) / 2000);  // 1000 zeros of 2 bytes a buffer
    p.Buffers[1].SkipBefore = p.Buffers[3].SkipBefore = skip;
    const std::string path = RawPartFile(p).Write(dir.File("s.fif"));
    TTempDir out;
    TRecordingInput in = OpenRecording(path, {true, true}, true);
    TConvertOptions o;
    o.SizeLimit = 3000;
    o.OutputDir = out.Path();
    o.KeepSkips = true;
    try {
      const std::vector<std::string> files = ConvertRecording(PlanConversion(in.Recording(), o));
      EXPECT_EQ(share, 0.45);
      EXPECT_EQ(files.size(), 5u);  // four files and the record
    } catch (const TInputError& e) {
      EXPECT_EQ(share, 0.6);
      EXPECT_NE(std::string(e.what()).find("more zeros than its conversion may invent (" + std::to_string(budget)),
                std::string::npos)
          << e.what();
      EXPECT_EQ(ListDir(out.Path()), "");
    }
  }
}

// MNE-Python writes a part that begins in a skip (a BAD_ACQ_SKIP annotation at the split) with the
// first sample after the part before and the skip first: its zeros stand in place, and the samples
// after them at their time (MNE-Python 1.3 itself puts them early).
TEST(Recordings, ALaterPartBeginningWithASkipKeepsItsSamplesInTime) {
  TTempDir dir, out;
  RawPartFile({.FirstSample = 100, .Buffers = Buffers(3), .After = {{2, "b.fif", 1}}}).Write(dir.File("a.fif"));
  RawPartFile({.FirstSample = 3100, .InitialSkip = 2, .Buffers = Buffers(2)}).Write(dir.File("b.fif"));
  const TResult r = Convert(dir.File("a.fif"), out);
  ExpectSamples(r.Raw, 100, 7000, {3000, 5000});
  EXPECT_EQ(r.Events, "onset\tduration\ttrial_type\tsample\tvalue\n3\t2\tBAD_ACQ_SKIP\t3100\tn/a\n");
}

// Onsets count from the time stored with them (the measurement's start, or a second later), or
// without it from the first sample, with or without a measurement date (from the file's id when
// none is stated; a file without any counts from the stated first sample, as MNE-Python writes
// it); an annotation reaching out of the recording is cut to it, one wholly outside left out; lists
// of unequal length give the annotations all three describe. Descriptions are Latin-1, as
// MNE-Python writes them, and a table cell holds no tab, zero byte or leading quote; an end before
// the onset is a duration of 0.
TEST(Recordings, AnnotationsAsMnePythonPlacesThem) {
  const struct {
    std::optional<double> Origin;
    std::optional<int32_t> MeasDate;
    std::vector<float> Onsets, Ends;
    std::string Descriptions, Events;
    bool Undated = false;
  } kCases[] = {
      {1614834367.25, 1614834367, {2.6f, 9.35f}, {3.1f, 9.85f}, "a:b", "2.5\t0.5\ta\t2600\tn/a\n"},
      {1614834368.25, 1614834367, {2.6f, 9.35f}, {3.1f, 9.85f}, "a:b", "3.5\t0.5\ta\t3600\tn/a\n"},
      {std::nullopt, 1614834367, {2.6f, 9.35f}, {3.1f, 9.85f}, "a:b", "2.6\t0.5\ta\t2700\tn/a\n"},
      {std::nullopt, std::nullopt, {2.6f, 9.35f}, {3.1f, 9.85f}, "a\tb:c", "2.6\t0.5\ta b\t2700\tn/a\n"},
      {std::nullopt, std::nullopt, {-0.5f, 3.9f}, {0.4f, 4.5f}, "x:y", "0\t0.4\tx\t100\tn/a\n3.9\t0.1\ty\t4000\tn/a\n"},
      {std::nullopt, 1614834367, {2.6f, 0.5f}, {3.1f}, "a:b", "2.6\t0.5\ta\t2700\tn/a\n"},
      {std::nullopt, std::nullopt, {1.2f}, {1.7f}, "blink", "1.1\t0.5\tblink\t1200\tn/a\n", true},
      {std::nullopt,
       1614834367,
       {1.0f, 2.0f, 3.0f, 3.5f},
       {1.0f, 2.0f, 2.5f, 3.5f},
       std::string("a\0b:Reiz \xe4:\"q\":z", 16),
       "1\t0\ta b\t1100\tn/a\n2\t0\tReiz \xc3\xa4\t2100\tn/a\n3\t0\t q\"\t3100\tn/a\n3.5\t0\tz\t3600\tn/a\n"},
  };
  for (const auto& c : kCases) {
    TTempDir dir, out;
    TRawPart p{.FirstSample = 100, .Buffers = Buffers(4), .MeasDate = c.MeasDate, .FileIdDateNone = c.Undated};
    p.Onsets = c.Onsets;
    p.Ends = c.Ends;
    p.Descriptions = c.Descriptions;
    p.AnnotationOrigin = c.Origin;
    EXPECT_EQ(Convert(RawPartFile(p).Write(dir.File("run_raw.fif")), out).Events,
              "onset\tduration\ttrial_type\tsample\tvalue\n" + c.Events)
        << c.Events;
  }
}

// The stim channel (CH 3, the only one of kind 3) read in the same pass as the raw data: its
// events are rows of the events table with their values, skips read as zeros, a split recording's
// parts as one; MNE-Python's find_events(raw) gives the same samples and values for these files.
TEST(Recordings, TriggerEventsJoinTheEventsTable) {
  const auto pulses = [](int64_t S) -> int16_t {
    return S % 1000 >= 100 && S % 1000 < 110 ? 5 : S % 1000 == 500 ? 3 : 0;
  };
  const struct {
    std::vector<TRawPart> Parts;
    TTriggerOptions Options;
    std::string Rows;
  } kCases[] = {
      {{{.FirstSample = 100, .Buffers = Buffers(3), .Stim = pulses}},
       {},
       "0.4\t0\tn/a\t500\t3\n1\t0\tn/a\t1100\t5\n1.4\t0\tn/a\t1500\t3\n2\t0\tn/a\t2100\t5\n2.4\t0\tn/a\t2500\t3\n"},
      {{{.FirstSample = 100, .Buffers = Buffers(3), .Stim = pulses}},
       {.Mask = 1, .InitialEvent = true},
       "0\t0\tn/a\t100\t1\n0.4\t0\tn/a\t500\t1\n1\t0\tn/a\t1100\t1\n1.4\t0\tn/a\t1500\t1\n2\t0\tn/a\t2100\t1\n"
       "2.4\t0\tn/a\t2500\t1\n"},
      // A skipped buffer reads as zeros: no pulse at 1100 or 1500.
      {{{.FirstSample = 100, .Buffers = {{1000, 0}, {1000, 1}, {1000, 0}}, .Stim = pulses}},
       {},
       "0.4\t0\tn/a\t500\t3\n1\t1\tBAD_ACQ_SKIP\t1100\tn/a\n2\t0\tn/a\t2100\t5\n2.4\t0\tn/a\t2500\t3\n"
       "3\t0\tn/a\t3100\t5\n3.4\t0\tn/a\t3500\t3\n"},
      // A pulse across the split of two parts is one event.
      {{{.FirstSample = 100,
         .Buffers = Buffers(1),
         .After = {{2, "b.fif", 1}},
         .Stim = [](int64_t S) -> int16_t { return S >= 1050 ? 7 : 0; }},
        {.FirstSample = 1100, .Buffers = Buffers(1), .Stim = [](int64_t S) -> int16_t { return S < 1150 ? 7 : 0; }}},
       {},
       "0.95\t0\tn/a\t1050\t7\n"},
      {{{.FirstSample = 100, .Buffers = Buffers(3), .Stim = pulses}}, {.Off = true}, ""},
  };
  for (const auto& c : kCases) {
    TTempDir dir, out;
    for (size_t k = 0; k < c.Parts.size(); ++k) RawPartFile(c.Parts[k]).Write(dir.File(k == 0 ? "a.fif" : "b.fif"));
    const TResult r = Convert(dir.File("a.fif"), out, c.Options);
    EXPECT_EQ(r.Events, c.Rows.empty() ? "" : "onset\tduration\ttrial_type\tsample\tvalue\n" + c.Rows) << c.Rows;
    const auto triggers =
        std::count(c.Rows.begin(), c.Rows.end(), '\n') - (c.Rows.find("BAD_ACQ_SKIP") != std::string::npos ? 1 : 0);
    EXPECT_NE(r.Recording.find("\"TriggerEvents\": " + std::to_string(triggers)), std::string::npos) << r.Recording;
    EXPECT_NE(r.Recording.find(c.Options.Off ? "\"TriggerChannels\": []" : "\"TriggerChannels\": [\n    \"CH 3\"\n  ]"),
              std::string::npos)
        << r.Recording;
  }
}

}  // namespace
