// MNE-Python's averages and epochs: converted as MNE-Python 1.3 reads them, refused where it refuses them.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>

#include "convert_helpers.h"
#include "processed.h"
#include "recording_builder.h"

namespace {

using namespace fiff;

// The expected values below are MNE-Python 1.3's read_evokeds(proj=False) and
// read_epochs(proj=False).get_data() of the same files, x the unit factor, taken once by hand.

// An evoked block of four samples from -2 (or -0.002 s), its aspect's epochs written by Epochs.
TFiffBuilder& Evoked(TFiffBuilder& B, const std::string& Comment, int32_t Kind,
                     const std::function<void(TFiffBuilder&)>& Epochs, bool FirstTime = true) {
  B.Begin(kBlockEvoked).Text(kComment, Comment);
  if (FirstTime) B.Float(kFirstTime, -0.002f).Int(kNoSamples, 4);
  B.Int(kFirstSample, -2).Int(kLastSample, 1).Begin(kBlockAspect).Int(kAspectKind, Kind).Int(kNAve, 9);
  Epochs(B);
  return B.End(kBlockAspect).End(kBlockEvoked);
}
void FloatMatrix(TFiffBuilder& B) { B.Matrix(kEpoch, kTypeFloat, BEFloats(EpochValues(1, 3, 4)), {3, 4}); }
void EpochsMatrix(TFiffBuilder& B) { B.Matrix(kEpoch, kTypeFloat, BEFloats(EpochValues(3, 3, 4)), {3, 3, 4}); }

struct TOutput {
  std::vector<TScilabVar> Vars;
  std::string Averages, Epochs;
};

// Converts the recording at Path as the command line does by default.
TOutput ConvertDefault(const std::string& Path, const TTempDir& Out, const TChoice& Choice = {}) {
  TRecordingInput in = OpenRecording(Path, {true, true}, true);
  TConvertOptions o;
  o.OutputDir = Out.Path();
  o.RawAsDouble = o.ChannelTable = o.KeepSkips = true;
  o.Choice = Choice;
  TOutput r;
  for (const std::string& f : ConvertRecording(PlanConversion(in.Recording(), o))) {
    const TBytes b = ReadFileBytes(f);
    if (f.ends_with(".dat")) r.Vars = ReadScilabFile(f);
    if (f.ends_with("_averages.tsv")) r.Averages.assign(b.begin(), b.end());
    if (f.ends_with("_epochs.tsv")) r.Epochs.assign(b.begin(), b.end());
  }
  return r;
}

TEST(MneAverages, FloatAndPackedAveragesInFileOrder) {
  TTempDir dir, out;
  TFiffBuilder b = ProcessedOpening();
  Evoked(b, "aud", kAspectAverage, FloatMatrix);
  Evoked(b, "vis", kAspectStdErr, [](TFiffBuilder& B) {
    for (int c = 0; c < 3; ++c) B.Epoch(0.5f, 2.0f, {1, 2, 3, 4});  // the window's packed form
  });
  Evoked(
      b, "Reiz \xe4", 200,
      [](TFiffBuilder& B) {
        for (int c = 0; c < 3; ++c) B.Tag(kEpoch, kTypeDouble, BEDoubles({c + 0.5, c + 1.5, c + 2.5, c + 3.5}));
      },
      false);
  const TOutput r = ConvertDefault(ProcessedClosing(b).Write(dir.File("x-ave.fif")), out);
  EXPECT_EQ(Names(r.Vars), (std::vector<std::string>{"ChInform", "ave_0001", "ave_0002", "ave_0003"}));
  const TScilabVar& a = FindOne(r.Vars, "ave_0001");
  ASSERT_EQ(a.Rows, 4);
  ASSERT_EQ(a.Cols, 4);
  EXPECT_EQ(a.Real(1, 0), 874999985098838.8);   // 1.25f x 0.7f x 1e15
  EXPECT_EQ(a.Real(3, 1), 3975000.1579523087);  // 13.25f x 0.3f x 1e6
  EXPECT_EQ(a.Real(0, 2), 20.25);
  // MNE-Python's times from the first time: (-0.002f + k / 1000) x 1000.
  EXPECT_EQ(a.Real(0, 3), -2.0000000949949026);
  EXPECT_EQ(a.Real(3, 3), 0.9999999050050975);
  EXPECT_EQ(FindOne(r.Vars, "ave_0002").Cols, 4);
  const TScilabVar& d = FindOne(r.Vars, "ave_0003");
  EXPECT_EQ(d.Real(2, 0), 1749999970197677.5);  // 2.5 x 0.7f x 1e15
  EXPECT_EQ(d.Real(0, 2), 2.5);
  EXPECT_EQ(d.Real(3, 3), 1.0);  // from the first sample: 1 / 1000 x 1000
  EXPECT_EQ(r.Averages,
            "variable\tcomment\tnave\tkind\tfirst_sample\tlast_sample\n"
            "ave_0001\taud\t9\taverage\t-2\t1\n"
            "ave_0002\tvis\t9\tstandard_error\t-2\t1\n"
            "ave_0003\tReiz \xc3\xa4\t9\t200\t-2\t1\n");

  // In SI units the stored values x calibration alone.
  const TOutput si = ConvertDefault(dir.File("x-ave.fif"), out, {.Si = true});
  EXPECT_EQ(FindOne(si.Vars, "ave_0001").Real(1, 0), 0.8749999850988388);
}

TEST(MneEpochs, OnePagePerEpochWithItsEvent) {
  TTempDir dir, out;
  TFiffBuilder b = ProcessedOpening();
  const TOutput r = ConvertDefault(ProcessedClosing(EpochsBlock(b)).Write(dir.File("x-epo.fif")), out);
  const TScilabVar& e = FindOne(r.Vars, "epochs");
  ASSERT_EQ(std::vector<int32_t>(e.Dims, e.Dims + 3), (std::vector<int32_t>{4, 3, 3}));
  EXPECT_EQ(e.Reals[0], 174999997019767.75);                // epoch 1, MEG, sample 1: 0.25 x 0.7f x 1e15
  EXPECT_EQ(e.Reals[4 * 3 * 2 + 4 + 3], 63975002.5421381);  // epoch 3, EEG, sample 4: 213.25 x 0.3f x 1e6
  EXPECT_EQ(e.Reals[4 * 3 * 2 + 8], 220.25);
  EXPECT_EQ(FindOne(r.Vars, "epo_time").Reals, (std::vector<double>{-1, 0, 1, 2}));
  EXPECT_EQ(r.Epochs,
            "epoch\tsample\tvalue\ttrial_type\n"
            "1\t100\t1\ta:x\n"
            "2\t250\t2\tb\n"
            "3\t400\t7\tn/a\n");
  // In SI units, get_data() as it is.
  EXPECT_EQ(FindOne(ConvertDefault(dir.File("x-epo.fif"), out, {.Si = true}).Vars, "epochs").Reals[0],
            0.17499999701976776);
}

// The names and samples of the events as MNE-Python gives them: without names each value names
// itself; one name per event (comments) as stored; a sample below 0 numbers the events from 1.
TEST(MneEpochs, EventNamesAndSamplesAsMnePythonGivesThem) {
  const struct {
    std::vector<int32_t> Events;
    std::function<void(TFiffBuilder&)> Names;
    std::string Rows;
  } kCases[] = {
      {{100, 0, 1, 250, 0, 2, 400, 0, 7}, [](TFiffBuilder&) {}, "1\t100\t1\t1\n2\t250\t2\t2\n3\t400\t7\t7\n"},
      {{100, 0, 1, 250, 0, 2, 400, 0, 7},
       [](TFiffBuilder& B) {
         B.Tag(kMneEventComments, kTypeString, TBytes{'x', 0, 'y', 0, 0xe4, 0});
       },
       "1\t100\t1\tx\n2\t250\t2\ty\n3\t400\t7\t\xc3\xa4\n"},
      {{100, 0, 1, -5, 0, 2, 400, 0, 7},
       [](TFiffBuilder& B) { B.Text(kComment, "a:1"); },
       "1\t1\t1\ta\n2\t2\t2\tn/a\n3\t3\t7\tn/a\n"},
  };
  TTempDir dir, out;
  for (const auto& c : kCases) {
    TFiffBuilder b = ProcessedOpening();
    b.Begin(kBlockMneEpochs).Int(kFirstSample, -1).Int(kLastSample, 2);
    b.Matrix(kEpoch, kTypeFloat, BEFloats(EpochValues(3, 3, 4)), {3, 3, 4});
    b.Begin(kBlockMneEvents).Tag(kMneEventList, kTypeInt, BEInts(c.Events));
    c.Names(b);
    b.End(kBlockMneEvents).End(kBlockMneEpochs);
    EXPECT_EQ(ConvertDefault(ProcessedClosing(b).Write(dir.File("e-epo.fif")), out).Epochs,
              "epoch\tsample\tvalue\ttrial_type\n" + c.Rows);
  }
}

TEST(MneEpochs, SplitPartsJoined) {
  TTempDir dir, out;
  for (int part = 0; part < 2; ++part) {
    TFiffBuilder b = ProcessedOpening();
    EpochsBlock(b, [&](TFiffBuilder& B) {
      B.Matrix(kEpoch, kTypeDouble, BEDoubles(std::vector<double>(36, part + 1.0)), {3, 3, 4});
      if (part == 0) B.Begin(kBlockRef).Int(kRefRole, 2).Text(kRefFileName, "x-epo-1.fif").End(kBlockRef);
    });
    ProcessedClosing(b).Write(dir.File(part == 0 ? "x-epo.fif" : "x-epo-1.fif"));
  }
  const TOutput r = ConvertDefault(dir.File("x-epo.fif"), out);
  const TScilabVar& e = FindOne(r.Vars, "epochs");
  ASSERT_EQ(std::vector<int32_t>(e.Dims, e.Dims + 3), (std::vector<int32_t>{4, 3, 6}));
  EXPECT_EQ(e.Reals[4 * 3 * 3 + 8], 2.0);  // the second part's first epoch, stim channel
  EXPECT_NE(r.Epochs.find("6\t400\t7\tn/a\n"), std::string::npos);
}

// Each is refused by name, as MNE-Python refuses it; but a matrix smaller than its dimensions, which
// MNE-Python reads on into the tags after it, and complex values, which no variable here holds.
TEST(MneProcessed, RefusedByName) {
  using TBody = std::function<void(TFiffBuilder&)>;
  auto evoked = [](TBody Epochs, bool Times = true) {
    return [=](TFiffBuilder& B) { Evoked(B, "c", kAspectAverage, Epochs, Times); };
  };
  auto epochs = [](TBody Data, TBody Events = nullptr) {
    return [=](TFiffBuilder& B) {
      if (!Events) return void(EpochsBlock(B, Data));
      B.Begin(kBlockMneEpochs).Int(kFirstSample, -1).Int(kLastSample, 2);
      Data(B);
      Events(B);
      B.End(kBlockMneEpochs);
    };
  };
  const TBody twoEpochs = [](TFiffBuilder& B) {
    for (int c = 0; c < 2; ++c) B.Tag(kEpoch, kTypeFloat, BEFloats({1, 2, 3, 4}));
  };
  const struct {
    TBody Body;
    std::string Message;
  } kCases[] = {
      {evoked(twoEpochs), "it holds 2 epochs for 3 channels"},
      {evoked([](TFiffBuilder& B) {
         B.Matrix(kEpoch, kTypeFloat, BEFloats(EpochValues(1, 2, 4)), {2, 4});
       }),
       "holds 2 rows for 3 channels"},
      {evoked([](TFiffBuilder& B) {
         B.Matrix(kEpoch, kTypeFloat, BEFloats(EpochValues(1, 2, 4)), {3, 4});
       }),
       "is smaller than its dimensions say"},
      {evoked([](TFiffBuilder& B) {
         B.Matrix(kEpoch, kTypeFloat, BEFloats(EpochValues(1, 3, 5)), {3, 5});
       }),
       "it holds 5 samples where its times state 4"},
      {evoked([](TFiffBuilder& B) {
         B.Matrix(kEpoch, kTypeComplexFloat, BEFloats(EpochValues(2, 3, 4)), {3, 4});
       }),
       "its values are complex"},
      {[](TFiffBuilder& B) {
         B.Begin(kBlockEvoked).Begin(kBlockAspect);
         FloatMatrix(B);
         B.End(kBlockAspect).End(kBlockEvoked);
       },
       "it states neither its first time and samples nor its first and last sample"},
      {[](TFiffBuilder& B) {
         B.Begin(kBlockEvoked).Int(kNChan, 2).Channel({}).Int(kFirstSample, 0).Int(kLastSample, 3);
         B.Begin(kBlockAspect).Tag(kEpoch, kTypeFloat, BEFloats({1, 2, 3, 4})).End(kBlockAspect).End(kBlockEvoked);
       },
       "its evoked block states 2 channels and describes 1"},
      {epochs([](TFiffBuilder& B) {
         B.Matrix(kEpoch, kTypeFloat, BEFloats(EpochValues(2, 3, 4)), {2, 3, 4});
       }),
       "its epochs hold 24 values where 3 events of 3 channels x 4 samples need 36"},
      {epochs([](TFiffBuilder& B) {
         B.Matrix(kEpoch, kTypeFloat, BEFloats(EpochValues(3, 3, 4)), {3, 4, 3});
       }),
       "its epochs' dimensions are not 3 x 3 x 4"},
      {epochs([](TFiffBuilder& B) { B.Tag(kEpoch, kTypeFloat, BEFloats(EpochValues(3, 3, 4))); }),
       "its epochs are FIFF data type 4, not a matrix of floats or doubles"},
      {epochs(EpochsMatrix, [](TFiffBuilder&) {}), "it has no event list"},
      {epochs(EpochsMatrix,
              [](TFiffBuilder& B) {
                B.Begin(kBlockMneEvents).Tag(kMneEventList, kTypeInt, BEInts({1, 2})).End(kBlockMneEvents);
              }),
       "its event list is no list of 3 integers each"},
      {[](TFiffBuilder& B) {
         EpochsBlock(B);
         B.Begin(kBlockRawData).RawBuffer({1, 2, 3}).End(kBlockRawData);
       },
       "it holds both raw data and epochs"},
  };
  TTempDir dir, out;
  for (const auto& c : kCases) {
    TFiffBuilder b = ProcessedOpening();
    c.Body(b);
    const std::string path = ProcessedClosing(b).Write(dir.File("bad.fif"));
    try {
      ConvertDefault(path, out);
      ADD_FAILURE() << "converted: " << c.Message;
    } catch (const TInputError& e) {
      EXPECT_NE(std::string(e.what()).find(c.Message), std::string::npos) << e.what();
    }
    EXPECT_TRUE(std::filesystem::is_empty(out.Path())) << c.Message;
  }
  // Channels and spans choose from raw data: a usage error for epochs.
  TFiffBuilder b = ProcessedOpening();
  const std::string path = ProcessedClosing(EpochsBlock(b)).Write(dir.File("x-epo.fif"));
  EXPECT_THROW(ConvertDefault(path, out, {.Pick = {"eeg"}}), TChoiceError);
}

TEST(MneProcessed, EventNamesSplitAtTheLastColon) {
  const struct {
    std::string Description;
    std::vector<std::pair<std::string, int64_t>> Names;
  } kCases[] = {
      {"a:x:1;b:2", {{"a:x", 1}, {"b", 2}}},
      {"auditory/left: 3 ;vis:-4", {{"auditory/left", 3}, {"vis", -4}}},
      {"no colon;:5;big:99999999999999999999;x:1.5;y:+7;z:+-7", {{"", 5}, {"y", 7}}},
      {"a:1;a:2;b:1", {{"a", 2}, {"b", 1}}},  // a name given again keeps its place and takes the new id
      {"", {}},
  };
  for (const auto& c : kCases) EXPECT_EQ(ParseEventNames(c.Description), c.Names) << c.Description;
}

}  // namespace
