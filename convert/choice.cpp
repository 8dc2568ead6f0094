// The choice resolved against the recording: channels by MNE-Python's types and by names, the span as crop takes it.
#include <algorithm>
#include <cmath>
#include <string_view>

#include "bids.h"
#include "plan.h"

namespace {

// The types MNE-Python's pick takes, each a test of a channel's MNE type.
const std::vector<std::pair<std::string, std::vector<std::string>>>& PickTypes() {
  static const std::vector<std::pair<std::string, std::vector<std::string>>> kTypes = {
      {"meg", {"mag", "grad"}},  // and the references where the file holds a compensation
      {"mag", {"mag"}},
      {"grad", {"grad"}},
      {"ref_meg", {"ref_meg"}},
      {"eeg", {"eeg"}},
      {"csd", {"csd"}},
      {"eog", {"eog"}},
      {"ecg", {"ecg"}},
      {"emg", {"emg"}},
      {"stim", {"stim"}},
      {"misc", {"misc"}},
      {"resp", {"resp"}},
      {"chpi", {"chpi"}},
      {"syst", {"syst"}},
      {"ias", {"ias"}},
      {"exci", {"exci"}},
      {"bio", {"bio"}},
      {"seeg", {"seeg"}},
      {"ecog", {"ecog"}},
      {"dbs", {"dbs"}},
      {"dipole", {"dipole"}},
      {"gof", {"gof"}},
      {"temperature", {"temperature"}},
      {"gsr", {"gsr"}},
      {"fnirs", {"hbo", "hbr", "fnirs_cw_amplitude", "fnirs_od", "fnirs_fd_ac_amplitude", "fnirs_fd_phase"}},
      {"hbo", {"hbo"}},
      {"hbr", {"hbr"}},
  };
  return kTypes;
}

// A channel's type: MNE-Python's, or where it has none the channel table's (MEGOTHER, ...).
std::string TypeOf(const fiff::TChannelInfo& Ch) {
  const char* mne = fiff::MneChannelType(Ch);
  return mne ? mne : BidsType(Ch.Kind, Ch.Coil, Ch.Unit);
}

// Name as Pattern gives it: * any run of characters, ? one, every other character itself.
bool Matches(std::string_view Pattern, std::string_view Name) {
  size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
  while (n < Name.size()) {
    if (p < Pattern.size() && (Pattern[p] == '?' || Pattern[p] == Name[n])) {
      ++p, ++n;
    } else if (p < Pattern.size() && Pattern[p] == '*') {
      star = p++, resume = n;
    } else if (star != std::string_view::npos) {
      p = star + 1, n = ++resume;
    } else {
      return false;
    }
  }
  while (p < Pattern.size() && Pattern[p] == '*') ++p;
  return p == Pattern.size();
}

[[noreturn]] void Refuse(const TPlan& P, const std::string& Why) {
  throw TChoiceError("Cannot convert \"" + P.M().First().FileName() + "\": " + Why);
}

}  // namespace

void ChooseRows(TPlan& P) {
  const TChoice& c = P.Options.Choice;
  const TMeasurement& m = P.M();
  const std::vector<TRawChannel>& channels = m.Channels();
  if (c.Pick.empty() && c.Exclude.empty() && !c.ExcludeBads && !c.Si) return;
  // Rows a file could not describe (a damaged count) are no rows to choose from.
  if (m.RawRows() > m.InputSize())
    Refuse(P, "it declares " + std::to_string(m.RawRows()) + " channels, more than the file could describe");
  std::vector<bool> keep(static_cast<size_t>(std::max(0, m.RawRows())), c.Pick.empty());
  // Each item picks the channels of its type or those its name or pattern names, the union.
  for (const std::string& item : c.Pick) {
    bool any = false;
    const auto type =
        std::find_if(PickTypes().begin(), PickTypes().end(), [&](const auto& T) { return T.first == item; });
    for (size_t k = 0; k < channels.size(); ++k) {
      const std::string t = TypeOf(channels[k].Record);
      bool picked = Matches(item, channels[k].Name) || t == item;
      if (type != PickTypes().end())
        picked |= std::find(type->second.begin(), type->second.end(), t) != type->second.end() ||
                  (item == "meg" && t == "ref_meg" && m.HasCompensation());
      keep[k] = keep[k] || picked;
      any |= picked;
    }
    if (!any)
      Refuse(P, "--pick '" + item + "' names no channel of the file" +
                    (type != PickTypes().end() ? " (it has no " + item + " channel)" : ""));
  }
  for (const std::string& pattern : c.Exclude) {
    bool any = false;
    for (size_t k = 0; k < channels.size(); ++k)
      if (Matches(pattern, channels[k].Name)) keep[k] = false, any = true;
    if (!any) Refuse(P, "--exclude '" + pattern + "' names no channel of the file");
  }
  if (c.ExcludeBads)
    for (size_t k = 0; k < keep.size(); ++k)
      if (k < channels.size() ? channels[k].Bad : m.BadSlot(static_cast<int64_t>(k))) keep[k] = false;
  for (size_t k = 0; k < keep.size(); ++k)
    if (keep[k]) P.Selection.Rows.push_back(static_cast<int32_t>(k));
  if (P.Selection.Rows.empty() && m.HasBuffers()) Refuse(P, "the channels chosen leave none of the file's");
  // In SI units each row's factor is range x calibration in double, as MNE-Python's _cals; a row
  // without a channel record keeps its stored values.
  if (c.Si)
    for (const int32_t row : P.Selection.Rows)
      P.Selection.Factors.push_back(row < static_cast<int32_t>(channels.size())
                                        ? static_cast<double>(channels[static_cast<size_t>(row)].Record.Range) *
                                              static_cast<double>(channels[static_cast<size_t>(row)].Record.Cal)
                                        : 1.0);
}

// As MNE-Python's crop(tmin, tmax): the times of the columns are k / frequency (as doubles); tmin
// and tmax are moved to the nearest sample (halves to even, as Python rounds), widened by half a
// sample, and the columns whose times lie between them are taken.
void ChooseSpan(TPlan& P) {
  const TChoice& c = P.Options.Choice;
  P.Selection.From = 0;
  P.Selection.To = P.TotalColumns;
  if (!c.TMin && !c.TMax) return;
  const double f = P.M().RawFrequency();
  const double last = static_cast<double>(P.TotalColumns - 1) / f;
  const double tmin = c.TMin.value_or(0.0), tmax = c.TMax.value_or(last);
  if (P.TotalColumns == 0) Refuse(P, "it has no raw data to take a span of");
  if (tmin > tmax) Refuse(P, "--tmin " + Shortest(tmin) + " is after --tmax " + Shortest(tmax));
  if (tmin < 0) Refuse(P, "--tmin " + Shortest(tmin) + " is before the first sample");
  if (tmax > last)
    Refuse(P, "--tmax " + Shortest(tmax) + " is after the last sample, at " + Number(last, "%.4f") + " s");
  const double lo = std::nearbyint(tmin * f) / f - 0.5 / f, hi = std::nearbyint(tmax * f) / f + 0.5 / f;
  auto time = [f](int64_t K) { return static_cast<double>(K) / f; };
  int64_t from = std::max<int64_t>(0, static_cast<int64_t>(std::nearbyint(tmin * f)) - 1);
  while (from < P.TotalColumns && time(from) < lo) ++from;
  int64_t to = std::min<int64_t>(P.TotalColumns - 1, static_cast<int64_t>(std::nearbyint(tmax * f)) + 1);
  while (to >= 0 && time(to) > hi) --to;
  if (from > to) Refuse(P, "--tmin and --tmax take no sample");
  P.Selection.From = from;
  P.Selection.To = to + 1;
}

// As find_events with its defaults: STI101 where the file has it, else STI 014, else every stim
// channel not marked bad; or the names given (those of them the file has, as pick_channels takes
// them), in the file's order.
void ChooseStimChannels(TPlan& P) {
  const TTriggerOptions& t = P.Options.Triggers;
  const std::vector<TRawChannel>& channels = P.M().Channels();
  if (t.Off || !P.Options.KeepSkips || !P.M().HasBuffers()) return;
  auto named = [&](const std::string& Name) {
    return std::any_of(channels.begin(), channels.end(), [&](const TRawChannel& C) { return C.Name == Name; });
  };
  std::vector<std::string> names = t.StimChannels;
  if (names.empty()) {
    for (const char* name : {"STI101", "STI 014"})
      if (names.empty() && named(name)) names = {name};
  } else if (std::none_of(names.begin(), names.end(), named)) {
    Refuse(P, "--stim-channel names no channel of the file");
  }
  for (size_t k = 0; k < channels.size(); ++k) {
    const TRawChannel& c = channels[k];
    const char* type = fiff::MneChannelType(c.Record);
    const bool take = names.empty() ? type && std::string(type) == "stim" && !c.Bad
                                    : std::find(names.begin(), names.end(), c.Name) != names.end();
    if (!take) continue;
    P.StimRows.push_back(static_cast<int32_t>(k));
    P.StimNames.push_back(c.Name);
    P.StimFactors.push_back(static_cast<double>(c.Record.Range) * static_cast<double>(c.Record.Cal));
  }
}
