// The recording's sidecars: NAME_events.tsv (annotations and filled skips) and NAME_recording.json (its facts).
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <ctime>
#include <fstream>
#include <map>

#include <nlohmann/json.hpp>

#include "bids.h"
#include "input.h"
#include "sidecars.h"
#include "text.h"

namespace {

// Seconds rounded to the microsecond, as Python's timedelta holds them.
double Microseconds(double Seconds) { return std::nearbyint(Seconds * 1e6) / 1e6; }

// The float as it was stored, shortest ("600.615", not 600.614990234375).
double AsStored(float Value) {
  char text[32];
  const auto [end, err] = std::to_chars(text, text + sizeof text, Value);
  double d = Value;
  if (err == std::errc()) std::from_chars(text, end, d);
  return d;
}

// ISO 8601 in UTC: 2021-03-04T05:06:07.25Z; nothing for a time outside the years 1 to 9999 (a
// damaged date).
std::optional<std::string> IsoDate(double Seconds) {
  if (!(Seconds >= -62'135'596'800.0 && Seconds < 253'402'300'800.0)) return std::nullopt;
  const auto total = static_cast<int64_t>(std::nearbyint(Seconds * 1e6));  // microseconds
  const int64_t micro = (total % 1'000'000 + 1'000'000) % 1'000'000;
  const std::time_t whole = (total - micro) / 1'000'000;
  std::tm t{};
  if (!::gmtime_r(&whole, &t)) return std::nullopt;
  char text[64];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &t);
  std::string out = text;
  if (micro > 0) {
    char fraction[32];
    std::snprintf(fraction, sizeof fraction, ".%06lld", static_cast<long long>(micro));
    out += fraction;
    while (out.back() == '0') out.pop_back();
  }
  return out + "Z";
}

// A value, or null where the file states none.
template <typename T>
nlohmann::ordered_json OrNull(const std::optional<T>& Value) {
  return Value ? nlohmann::ordered_json(*Value) : nlohmann::ordered_json(nullptr);
}

// A file's name for the sidecar: UTF-8 whatever its bytes.
std::string NameIn(const std::string& Path) { return EscapeNonUtf8(BaseName(Path)); }

std::optional<std::string> NameOf(const std::string& Path) {
  return Path.empty() ? std::nullopt : std::optional<std::string>(NameIn(Path));
}

std::optional<double> Stored(const std::optional<float>& Value) {
  return Value ? std::optional<double>(AsStored(*Value)) : std::nullopt;
}

}  // namespace

// Placed as MNE-Python 1.3 places them: onsets stored with the time they count from (the
// measurement's start) are moved to the measurement date, others count from the first sample (in
// a file without a measurement date, from the stated first sample's time: MNE-Python writes them
// so); they are rounded to the microsecond, cut to the recording (left out when wholly outside
// it), and an event's sample is the nearest to its onset. A duration below 0 (an end before the
// onset, which MNE-Python keeps) is 0, as an events table needs.
std::vector<TEventRow> RecordingEvents(const TPlan& Plan) {
  std::vector<TEventRow> rows;
  const TMeasurement& m = Plan.M();
  const double frequency = m.RawFrequency();
  if (!(frequency > 0) || !std::isfinite(frequency)) return rows;
  const fiff::TAnnotations& a = m.Annotations();
  // A damaged block may hold lists of different lengths: the annotations all three describe.
  const size_t count = std::min({a.Onsets.size(), a.Ends.size(), a.Descriptions.size()});
  const double measured = m.Facts().Date.value_or(0.0);
  const double undated = m.Facts().Date ? 0.0 : static_cast<double>(m.PartStarts()[0].StatedFirstSample) / frequency;
  // Onsets count from the recording's first sample; the span chosen cuts them as crop does.
  const double recordingTime = static_cast<double>(Plan.FirstSample) / frequency;
  const double firstTime = static_cast<double>(Plan.SpanFirstSample()) / frequency;
  const double lastTime = static_cast<double>(Plan.SpanFirstSample() + Plan.SpanColumns()) / frequency;
  for (size_t k = 0; k < count; ++k) {
    double duration = a.Single ? static_cast<double>(static_cast<float>(a.Ends[k]) - static_cast<float>(a.Onsets[k]))
                               : a.Ends[k] - a.Onsets[k];
    if (std::isnan(duration)) duration = 0;
    double onset = Microseconds(a.Onsets[k]) + (a.Origin ? *a.Origin - measured : recordingTime - undated);
    double end = onset + duration;
    if (!std::isfinite(onset) || !std::isfinite(end) || onset > lastTime || end < firstTime) continue;
    if (onset < firstTime || end > lastTime) {
      onset = std::max(onset, firstTime);
      duration = Microseconds(std::min(end, lastTime) - onset);
    }
    rows.push_back({static_cast<int64_t>(std::nearbyint((onset - firstTime) * frequency)), std::max(duration, 0.0),
                    Cell(a.Descriptions[k]), std::nullopt});
  }
  // MNE-Python writes a skip of its own with its BAD_ACQ_SKIP annotation: one row says it.
  const size_t annotated = rows.size();
  const int64_t from = Plan.Selection.From, to = Plan.Selection.To;
  for (const TSkipFill& skip : Plan.Skips) {
    const int64_t begin = std::max(skip.Column, from), end = std::min(skip.Column + skip.Columns, to);
    if (end <= begin) continue;
    const TEventRow row{begin - from, static_cast<double>(end - begin) / frequency, "BAD_ACQ_SKIP", std::nullopt};
    const auto same = [&](const TEventRow& R) {
      return R.Type == row.Type && R.Column == row.Column && std::abs(R.Duration - row.Duration) < 0.5 / frequency;
    };
    if (std::none_of(rows.begin(), rows.begin() + static_cast<std::ptrdiff_t>(annotated), same)) rows.push_back(row);
  }
  std::stable_sort(rows.begin(), rows.end(),
                   [](const TEventRow& A, const TEventRow& B) { return A.Column < B.Column; });
  return rows;
}

std::string EventsText(const TPlan& P, const TFound& Found) {
  std::string out = "onset\tduration\ttrial_type\tsample\tvalue\n";
  for (const TEventRow& row : Found.Events)
    out += Shortest(static_cast<double>(row.Column) / P.M().RawFrequency()) + "\t" + Shortest(row.Duration) + "\t" +
           row.Type + "\t" + std::to_string(P.SpanFirstSample() + row.Column) + "\t" +
           (row.Value ? std::to_string(*row.Value) : "n/a") + "\n";
  return out;
}

std::string AveragesText(const std::vector<TAverageRow>& Rows) {
  std::string out = "variable\tcomment\tnave\tkind\tfirst_sample\tlast_sample\n";
  for (const TAverageRow& row : Rows) {
    const std::optional<fiff::TAspect>& a = row.Aspect;
    const std::string comment = a ? Cell(Latin1ToUtf8(a->Comment)) : "";
    const std::string kind = !a || !a->Kind                     ? "n/a"
                             : *a->Kind == fiff::kAspectAverage ? "average"
                             : *a->Kind == fiff::kAspectStdErr  ? "standard_error"
                                                                : std::to_string(*a->Kind);
    out += row.Variable + "\t" + (comment.empty() ? "n/a" : comment) + "\t" + (a ? std::to_string(a->Nave) : "n/a") +
           "\t" + kind + "\t" + std::to_string(row.FirstSample) + "\t" + std::to_string(row.LastSample) + "\n";
  }
  return out;
}

std::string EpochsText(const TMeasurement& M) {
  std::string out = "epoch\tsample\tvalue\ttrial_type\n";
  int64_t number = 0;
  for (const std::optional<fiff::TEpochs>& e : M.Epochs())
    for (size_t k = 0; k < e->Events.size(); ++k) {
      const std::string name = k < e->Names.size() ? Cell(e->Names[k]) : "";
      out += std::to_string(++number) + "\t" + std::to_string(e->Events[k][0]) + "\t" +
             std::to_string(e->Events[k][2]) + "\t" + (name.empty() ? "n/a" : name) + "\n";
    }
  return out;
}

namespace {

// The facts of a file without raw data: its averages or epochs, and its files.
nlohmann::ordered_json ProcessedRecord(const TPlan& P) {
  const TMeasurement& m = P.M();
  nlohmann::ordered_json j;
  const std::optional<fiff::TEpochs>& e = m.HasEpochs() ? m.Epochs()[0] : std::nullopt;
  const std::vector<fiff::TFloatAverage>& averages = m.FloatAverages();
  j["SamplingFrequency"] = OrNull(e                  ? std::optional<double>(AsStored(e->Frequency))
                                  : averages.empty() ? std::nullopt
                                                     : std::optional<double>(AsStored(averages[0].Frequency)));
  j["MeasurementDate"] = OrNull(m.Facts().Date ? IsoDate(*m.Facts().Date) : std::nullopt);
  j["PowerLineFrequency"] = OrNull(Stored(m.Facts().LineFrequency));
  int64_t epochs = 0;
  for (const auto& part : m.Epochs()) epochs += part->Count;
  j["Epochs"] = epochs;
  j["EpochFirstSample"] = OrNull(e ? std::optional<int64_t>(e->FirstSample) : std::nullopt);
  j["EpochLastSample"] = OrNull(e ? std::optional<int64_t>(e->LastSample) : std::nullopt);
  nlohmann::ordered_json sources = nlohmann::ordered_json::array();
  for (const TFiff* part : m.Parts()) sources.push_back(NameIn(part->FileName()));
  j["SourceFiles"] = sources;
  nlohmann::ordered_json outputs = nlohmann::ordered_json::array();
  for (const std::string& file : P.DataFiles) outputs.push_back({{"File", NameIn(file)}});
  j["OutputFiles"] = outputs;
  j["AveragesFile"] = OrNull(NameOf(P.AveragesTable));
  j["EpochsFile"] = OrNull(NameOf(P.EpochsTable));
  return j;
}

}  // namespace

std::string RecordingText(const TPlan& P, const TFound& Found) {
  const TMeasurement& m = P.M();
  if (!m.HasBuffers())
    return ProcessedRecord(P).dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
  const fiff::TMeasurementFacts& facts = m.Facts();
  const double frequency = AsStored(m.RawFrequency());
  nlohmann::ordered_json j;
  j["SamplingFrequency"] = frequency;
  // Of the span chosen: all of the recording without one.
  j["FirstSample"] = P.SpanFirstSample();
  j["MeasurementDate"] = OrNull(facts.Date ? IsoDate(*facts.Date) : std::nullopt);
  j["PowerLineFrequency"] = OrNull(Stored(facts.LineFrequency));
  j["RecordingDuration"] = static_cast<double>(P.SpanColumns()) / m.RawFrequency();
  j["Samples"] = P.SpanColumns();
  int64_t skipped = 0;
  for (const TSkipFill& skip : P.Skips)
    skipped += std::max<int64_t>(
        0, std::min(skip.Column + skip.Columns, P.Selection.To) - std::max(skip.Column, P.Selection.From));
  j["SkippedSamples"] = skipped;
  nlohmann::ordered_json sources = nlohmann::ordered_json::array();
  for (const TFiff* part : m.Parts()) sources.push_back(NameIn(part->FileName()));
  j["SourceFiles"] = sources;
  nlohmann::ordered_json outputs = nlohmann::ordered_json::array();
  const size_t formats = P.DataFiles.size() / P.DataBases.size();
  for (size_t k = 0; k < P.DataFiles.size(); ++k) {
    const TStretch& s = P.Stretches[k / formats];
    outputs.push_back({{"File", NameIn(P.DataFiles[k])},
                       {"FirstSample", P.FirstSample + s.FirstColumn},
                       {"LastSample", P.FirstSample + s.FirstColumn + s.Columns - 1}});
  }
  j["OutputFiles"] = outputs;
  j["EventsFile"] = OrNull(NameOf(Found.Events.empty() ? std::string() : P.EventsFile));
  j["ChannelsFile"] = OrNull(NameOf(P.ChannelTable));
  j["AveragesFile"] = OrNull(NameOf(P.AveragesTable));
  // The channels of raw_data's rows by BIDS's groups, as meg.json and eeg.json count them.
  // Only rows with a record count: a damaged count of 2^31 rows has no more records than the file.
  std::map<std::string, int64_t> counts;
  const int64_t described =
      P.Selection.Rows.empty() ? std::min<int64_t>(P.Rows(), static_cast<int64_t>(m.Channels().size())) : P.Rows();
  for (int64_t k = 0; k < described; ++k) {
    const TRawChannel* c = P.Channel(k);
    if (!c) continue;
    const std::string type = BidsType(c->Record.Kind, c->Record.Coil, c->Record.Unit);
    const std::string group = type.rfind("MEGREF", 0) == 0 ? "MEGREF"
                              : type.rfind("MEG", 0) == 0  ? "MEG"
                              : type == "TRIG"             ? "Trigger"
                              : type == "MISC"             ? "Misc"
                                                           : type;
    ++counts[group];
  }
  j["Channels"] = P.Rows();
  for (const char* group : {"MEG", "MEGREF", "EEG", "ECOG", "SEEG", "EOG", "ECG", "EMG", "Misc", "Trigger"})
    j[std::string(group) + "ChannelCount"] = counts[group];
  nlohmann::ordered_json stim = nlohmann::ordered_json::array();
  for (const std::string& name : P.StimNames) stim.push_back(EscapeNonUtf8(name));
  j["TriggerChannels"] = stim;
  j["TriggerEvents"] = Found.Triggers;
  // The measurement's filters: its first highpass and lowpass corners.
  j["HighpassCutoff"] = OrNull(Stored(m.Highpass()));
  j["LowpassCutoff"] = OrNull(Stored(m.Lowpass()));
  // The choice as given, when one was.
  const TChoice& c = P.Options.Choice;
  if (c.Any()) {
    nlohmann::ordered_json pick = nlohmann::ordered_json::array(), exclude = nlohmann::ordered_json::array();
    for (const std::string& p : c.Pick) pick.push_back(EscapeNonUtf8(p));
    for (const std::string& e : c.Exclude) exclude.push_back(EscapeNonUtf8(e));
    j["Selection"] = {{"Pick", pick},
                      {"Exclude", exclude},
                      {"ExcludeBads", c.ExcludeBads},
                      {"TMin", OrNull(c.TMin)},
                      {"TMax", OrNull(c.TMax)},
                      {"Units", c.Si ? "si" : "stored"},
                      {"Precision", c.Single ? "single" : "double"}};
  }
  // Every text in it is UTF-8; should one not be, it is replaced rather than thrown over.
  return j.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

std::vector<std::string> ListedOutputs(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  if (!in) return {};
  const nlohmann::json j = nlohmann::json::parse(in, nullptr, false);
  std::vector<std::string> names;
  if (!j.is_object()) return names;
  if (const auto files = j.find("OutputFiles"); files != j.end() && files->is_array())
    for (const auto& f : *files)
      if (f.is_object() && f.contains("File") && f["File"].is_string()) names.push_back(f["File"]);
  for (const auto& [key, value] : j.items())
    if (key.size() > 4 && key.ends_with("File") && value.is_string()) names.push_back(value);
  return names;
}

bool IsOutputName(const std::string& Name, const std::string& Stem) {
  if (Name.find('/') != std::string::npos || !Name.starts_with(Stem)) return false;
  std::string rest = Name.substr(Stem.size());
  // A file of a series: _01, _02, ...
  if (rest.size() > 1 && rest[0] == '_' && std::isdigit(static_cast<unsigned char>(rest[1]))) {
    size_t digits = 1;
    while (digits < rest.size() && std::isdigit(static_cast<unsigned char>(rest[digits]))) ++digits;
    rest = rest.substr(digits);
  }
  for (const char* ending :
       {".dat", ".sod", ".mat", "_channels.tsv", "_events.tsv", "_averages.tsv", "_epochs.tsv", "_recording.json"})
    if (rest == ending) return true;
  return false;
}
