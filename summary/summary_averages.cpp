// Summary sections for the averaged responses and the boundary-element models.
#include <string>

#include "checked_size.h"
#include "code_names.h"
#include "summary.h"
#include "tag_walk.h"

void TSummary::ReportAverages() {
  bool headerPending = true;
  bool filterPending = false;
  float freq = 1.0f, lowpass = 0.0f, highpass = 0.0f, firstTime = 0.0f;
  int32_t averages = 0, firstSample = 0, lastSample = 0, samples = 0, epochs = 0;
  constexpr int kGoodness = 10;
  float goodness[kGoodness] = {};
  float goodnessLimit = 1.0f;
  std::string label;

  auto emitLine = [&] {
    if (headerPending) {
      FReport.push_back("");
      // "informatin" is the system's own text, pinned by tests.
      FReport.push_back("****** averaged informatin ******");
      headerPending = false;
    }
    if (filterPending) {
      FReport.push_back("bandpass filter(" + Format(highpass, "0.000") + "..." + Format(lowpass, "0.000") + "Hz)");
      filterPending = false;
    }
    int coil = 6;
    static const char* const kCoils[] = {"HPI1", "HPI2", "HPI3", "HPI4", "HPI5", "HPI6"};
    for (int h = 0; h < 6; ++h)
      if (label == kCoils[h]) coil = h;
    double t1, t2;
    if (firstSample < lastSample) {
      t1 = firstSample / double{freq} * 1000;
      t2 = lastSample / double{freq} * 1000;
    } else {
      const int32_t last = Wrap32(int64_t{samples} - 1);
      t1 = double{firstTime} * 1000;
      t2 = (last / double{freq} + firstTime) * 1000;
    }
    label.append(" ").append(Format(t1, "0.0")).append("...").append(Format(t2, "0.0"));
    label.append("msec(").append(std::to_string(averages)).append("ave ");
    label.append(Format(freq, "0.000")).append("Hz)");
    std::string fit;
    if (coil != 6) {
      const float g = goodness[coil];
      const char* relation = g > goodnessLimit ? " > " : g == goodnessLimit ? " = " : " < ";
      fit = "   GOF " + Format(double{g} * 100, "0.00") + "%" + relation + Format(double{goodnessLimit} * 100, "0.00") +
            "%";
    }
    FReport.push_back(label + fit);
    label.clear();
  };

  for (const TWalkEntry& e : TTagWalk(FReader, 1, 1.0f)) {
    const TFiffTag& t = *e.Tag;
    freq = e.Frequency;
    if (t.Kind != fiff::kEpoch) FReader.SeekTagData(e.Index);
    switch (t.Kind) {
      case fiff::kComment: label = ReadText(FReader, t.Size); break;
      case fiff::kNAve:
        averages = FReader.ReadLong();
        epochs = 0;
        break;
      case fiff::kFirstSample: firstSample = FReader.ReadLong(); break;
      case fiff::kLastSample: lastSample = FReader.ReadLong(); break;
      case fiff::kLowpass:
        lowpass = FReader.ReadSingle();
        filterPending = true;
        break;
      case fiff::kHighpass: highpass = FReader.ReadSingle(); break;
      case fiff::kNoSamples: samples = FReader.ReadLong(); break;
      case fiff::kFirstTime: firstTime = FReader.ReadSingle(); break;
      case fiff::kHpiFitGoodness: {
        const int32_t n = t.Size / 4 < kGoodness ? t.Size / 4 : kGoodness;  // ten coils at most
        for (int32_t k = 0; k < n; ++k) goodness[k] = FReader.ReadSingle();
        break;
      }
      case fiff::kHpiFitGoodLimit: goodnessLimit = FReader.ReadSingle(); break;
      case fiff::kHpiCoilNo:
        label = "HPI" + std::to_string(FReader.ReadLongWord());
        epochs = 0;
        break;
      case fiff::kEpoch:
        if (epochs == 0) emitLine();
        epochs = Wrap32(int64_t{epochs} + 1);
        break;
      default: break;
    }
  }
}

void TSummary::ReportBemModels() {
  std::string frame;  // never cleared: it stands under every later surface
  for (int32_t i = 0; i < FReader.TagCount(); ++i) {
    const TFiffTag& t = FReader.Tag(i);
    switch (t.Kind) {
      case fiff::kBemSurfId:
        FReport.push_back("");
        FReport.push_back("****** BEM model ******");
        if (!frame.empty()) FReport.push_back(frame);
        FReader.SeekTagData(i);
        FReport.push_back(ReadBemSurfaceName(FReader));
        break;
      case fiff::kBemSurfNNode:
        FReader.SeekTagData(i);
        FReport.push_back("number of nodes = " + std::to_string(FReader.ReadLongWord()));
        break;
      case fiff::kBemSurfNTri:
        FReader.SeekTagData(i);
        FReport.push_back("number of triangle = " + std::to_string(FReader.ReadLongWord()));
        break;
      case fiff::kBemApprox: {
        FReader.SeekTagData(i);
        const int32_t v = FReader.ReadLong();
        FReport.push_back(v == 1   ? "constant potential approach"
                          : v == 2 ? "linear potential approach"
                                   : "??? approach");
        break;
      }
      case fiff::kBemCoordFrame:
        FReader.SeekTagData(i);
        frame = "coordination = " + ReadCoordFrameName(FReader);
        break;
      case fiff::kBemSigma:
        FReader.SeekTagData(i);
        FReport.push_back("conductivity = " + Format(FReader.ReadSingle(), "0.0"));
        break;
      default: break;
    }
  }
}
