// Summary sections for the averaged responses and the boundary-element models.
#include <string>

#include "checked_size.h"
#include "code_names.h"
#include "sections.h"
#include "tag_walk.h"

void ReportAverages(TSummaryPage& Page) {
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
      Page.Lines.push_back("");
      // "informatin" is the system's own text, pinned by tests.
      Page.Lines.push_back("****** averaged informatin ******");
      headerPending = false;
    }
    if (filterPending) {
      Page.Lines.push_back("bandpass filter(" + Page.Format(highpass, "0.000") + "..." + Page.Format(lowpass, "0.000") +
                           "Hz)");
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
    label.append(" ").append(Page.Format(t1, "0.0")).append("...").append(Page.Format(t2, "0.0"));
    label.append("msec(").append(std::to_string(averages)).append("ave ");
    label.append(Page.Format(freq, "0.000")).append("Hz)");
    std::string fit;
    if (coil != 6) {
      const float g = goodness[coil];
      const char* relation = g > goodnessLimit ? " > " : g == goodnessLimit ? " = " : " < ";
      fit = "   GOF " + Page.Format(double{g} * 100, "0.00") + "%" + relation +
            Page.Format(double{goodnessLimit} * 100, "0.00") + "%";
    }
    Page.Lines.push_back(label + fit);
    label.clear();
  };

  for (const TWalkEntry& e : TTagWalk(Page.Reader, 1, 1.0f)) {
    const TFiffTag& t = *e.Tag;
    freq = e.Frequency;
    if (t.Kind != fiff::kEpoch) Page.Reader.SeekTagData(e.Index);
    switch (t.Kind) {
      case fiff::kComment: label = ReadText(Page.Reader, t.Size); break;
      case fiff::kNAve:
        averages = Page.Reader.ReadLong();
        epochs = 0;
        break;
      case fiff::kFirstSample: firstSample = Page.Reader.ReadLong(); break;
      case fiff::kLastSample: lastSample = Page.Reader.ReadLong(); break;
      case fiff::kLowpass:
        lowpass = Page.Reader.ReadSingle();
        filterPending = true;
        break;
      case fiff::kHighpass: highpass = Page.Reader.ReadSingle(); break;
      case fiff::kNoSamples: samples = Page.Reader.ReadLong(); break;
      case fiff::kFirstTime: firstTime = Page.Reader.ReadSingle(); break;
      case fiff::kHpiFitGoodness: {
        const int32_t n = t.Size / 4 < kGoodness ? t.Size / 4 : kGoodness;  // ten coils at most
        for (int32_t k = 0; k < n; ++k) goodness[k] = Page.Reader.ReadSingle();
        break;
      }
      case fiff::kHpiFitGoodLimit: goodnessLimit = Page.Reader.ReadSingle(); break;
      case fiff::kHpiCoilNo:
        label = "HPI" + std::to_string(Page.Reader.ReadLongWord());
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

void ReportBemModels(TSummaryPage& Page) {
  std::string frame;  // never cleared: it stands under every later surface
  for (int32_t i = 0; i < Page.Reader.TagCount(); ++i) {
    const TFiffTag& t = Page.Reader.Tag(i);
    switch (t.Kind) {
      case fiff::kBemSurfId:
        Page.Lines.push_back("");
        Page.Lines.push_back("****** BEM model ******");
        if (!frame.empty()) Page.Lines.push_back(frame);
        Page.Reader.SeekTagData(i);
        Page.Lines.push_back(ReadBemSurfaceName(Page.Reader));
        break;
      case fiff::kBemSurfNNode:
        Page.Reader.SeekTagData(i);
        Page.Lines.push_back("number of nodes = " + std::to_string(Page.Reader.ReadLongWord()));
        break;
      case fiff::kBemSurfNTri:
        Page.Reader.SeekTagData(i);
        Page.Lines.push_back("number of triangle = " + std::to_string(Page.Reader.ReadLongWord()));
        break;
      case fiff::kBemApprox: {
        Page.Reader.SeekTagData(i);
        const int32_t v = Page.Reader.ReadLong();
        Page.Lines.push_back(v == 1   ? "constant potential approach"
                             : v == 2 ? "linear potential approach"
                                      : "??? approach");
        break;
      }
      case fiff::kBemCoordFrame:
        Page.Reader.SeekTagData(i);
        frame = "coordination = " + ReadCoordFrameName(Page.Reader);
        break;
      case fiff::kBemSigma:
        Page.Reader.SeekTagData(i);
        Page.Lines.push_back("conductivity = " + Page.Format(Page.Reader.ReadSingle(), "0.0"));
        break;
      default: break;
    }
  }
}
