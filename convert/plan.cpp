// The plan: each data buffer checked in order (its type, the part it begins, its skip), the split into a series, the
// names.
#include "plan.h"

#include "bids.h"
#include "checked_size.h"
#include "formats.h"
#include "text.h"

namespace {

const char* DataTypeName(int32_t Type) {
  switch (Type) {
    case fiff::kTypeVoid: return "void";
    case fiff::kTypeByte: return "8-bit integers";
    case fiff::kTypeInt: return "32-bit integers";
    case fiff::kTypeFloat: return "32-bit floats";
    case fiff::kTypeDouble: return "64-bit floats";
    case fiff::kTypeComplexFloat: return "complex floats";
    case fiff::kTypeComplexDouble: return "complex doubles";
    default: return "not 16-bit integers";
  }
}

// An n/a row of the channel table is shorter than this.
constexpr int64_t kBlankRowBytes = 64;

[[noreturn]] void Refuse(const TFiff& File, const std::string& Why) {
  throw TInputError("Cannot convert \"" + File.FileName() + "\": " + Why);
}

[[noreturn]] void RefuseSkip(const TFiff& File, int32_t Buffers, int32_t Pos, int64_t InputSize) {
  Refuse(File, "its data skip of " + std::to_string(Buffers) + " buffers before the buffer at byte " +
                   std::to_string(Pos) + " stands for more zeros than its conversion may invent (" +
                   std::to_string(InventedBytesAllowed(InputSize)) + " bytes of invented values)");
}

// raw_data holds 16-bit integers, or doubles when asked: any other buffer type would be stored as
// garbage. True when the buffer makes raw_data doubles.
bool CheckType(const TFiff& File, const TRawBuffer& Buffer, const TConvertOptions& Options) {
  const int32_t type = Buffer.DataType;
  const bool wide = type == fiff::kTypeInt || type == fiff::kTypeFloat || type == fiff::kTypeDouble;
  if (wide && Options.RawAsDouble) return true;
  if (type != fiff::kTypeShort && type != fiff::kTypeDauPack16)
    Refuse(File,
           "its raw data buffers hold FIFF data type " + std::to_string(type) + " (" + DataTypeName(type) +
               "), and raw_data stores only 16-bit integers (types 2 and 16)" +
               (wide ? "; tessaline-convert converts them as doubles (with --like-window, add --raw-as-double)" : ""));
  return false;
}

// The parts of a split recording must continue one another: the same channels and frequency, and
// each part's first sample the one after the last of the part before. Column is where the part
// begins in the recording.
void CheckContinues(const TMeasurement& M, int32_t Part, int64_t FirstSample, int64_t Column) {
  const TPartStart& s = M.PartStarts()[static_cast<size_t>(Part)];
  const std::string name = "its part \"" + M.Part(Part).FileName() + "\"";
  if (s.Channels != M.RawRows())
    Refuse(M.First(), name + " has " + std::to_string(s.Channels) + " channels where the part before has " +
                          std::to_string(M.RawRows()));
  if (s.Frequency != M.RawFrequency())
    Refuse(M.First(), name + " is sampled at " + Shortest(s.Frequency) + " Hz where the part before is sampled at " +
                          Shortest(M.RawFrequency()) + " Hz");
  if (s.FirstSample != FirstSample + Column)
    Refuse(M.First(), name + " begins at sample " + std::to_string(s.FirstSample) + ", not at " +
                          std::to_string(FirstSample + Column) + ", the one after the part before");
}

// MNE-Python's averages and epochs, each as MNE-Python reads it: one it would refuse is refused by
// name rather than its data dropped, and the parts of split epochs must continue one another.
void CheckProcessed(const TPlan& P) {
  const TMeasurement& m = P.M();
  for (const fiff::TFloatAverage& a : m.FloatAverages())
    if (!a.Problem.empty())
      Refuse(m.First(), "its average \"" + Cell(Latin1ToUtf8(a.Aspect.Comment)) + "\" cannot be read: " + a.Problem);
  const TChoice& c = P.Options.Choice;
  if ((m.HasEpochs() || !m.FloatAverages().empty()) &&
      (!c.Pick.empty() || !c.Exclude.empty() || c.ExcludeBads || c.TMin || c.TMax))
    throw TChoiceError("Cannot convert \"" + m.First().FileName() +
                       "\": its averages and epochs are converted whole; --pick, --exclude, --exclude-bads, --tmin "
                       "and --tmax choose from raw data");
  if (!m.HasEpochs()) return;
  if (m.HasBuffers()) Refuse(m.First(), "it holds both raw data and epochs");
  const fiff::TEpochs& first = *m.Epochs()[0];
  for (int32_t part = 0; part < m.PartCount(); ++part) {
    const std::optional<fiff::TEpochs>& e = m.Epochs()[static_cast<size_t>(part)];
    const std::string name = part == 0 ? "its epochs" : "the epochs of its part \"" + m.Part(part).FileName() + "\"";
    if (!e) Refuse(m.First(), "its part \"" + m.Part(part).FileName() + "\" holds no epochs");
    if (!e->Problem.empty()) Refuse(m.First(), name + " cannot be read: " + e->Problem);
    if (e->Channels.size() != first.Channels.size() || e->Samples != first.Samples ||
        e->FirstSample != first.FirstSample || e->Frequency != first.Frequency)
      Refuse(m.First(), name + " differ from the first part's in their channels, samples or sampling frequency");
  }
}

// The zeros of the skips again, at eight bytes a value, for raw_data of doubles: more than the
// conversion's budget is refused.
void RecountDoubleZeros(const TPlan& P) {
  const TMeasurement& m = P.M();
  int64_t total = 0;
  for (const TSkipFill& skip : P.Skips) {
    total += skip.Columns * m.RawRows() * 8;
    if (total > InventedBytesAllowed(m.InputSize()))
      RefuseSkip(m.Part(skip.Part), skip.Buffers, skip.Pos, m.InputSize());
  }
}

// The buffers that the span [From, To) takes split into the series: each file takes the buffers
// after the previous one's last, up to and including the buffer at which their sizes first add up
// to more than the limit. Without a choice the sizes are the buffers' (and those their skips stand
// for), as the window counts them; with one, the bytes each buffer gives raw_data.
bool SplitIntoFiles(TPlan& P, const std::vector<int64_t, THugePageAllocator<int64_t>>& Starts) {
  const TMeasurement& m = P.M();
  const auto& buffers = m.Buffers();
  const bool chosen = P.Options.Choice.Any();
  const int64_t from = P.Selection.From, to = P.Selection.To, value = RawValueBytes(P.Values);
  auto written = [&](size_t K) {
    return std::max<int64_t>(0, std::min(to, Starts[K + 1]) - std::max(from, Starts[K]));
  };
  // Over the limit, a series: the input (or what raw_data takes of it) larger than the limit.
  int64_t all = 0;
  for (size_t k = 0; k < buffers.size(); ++k) all += written(k) * P.Rows() * value;
  const bool series = chosen ? all > P.Options.SizeLimit : m.InputSize() > P.Options.SizeLimit;
  size_t first = 0, end = buffers.size();
  if (chosen) {  // only the buffers the span takes
    while (first < end && Starts[first + 1] <= from) ++first;
    while (end > first && Starts[end - 1] >= to) --end;
  }
  P.Stretches = {TStretch{static_cast<int32_t>(first), static_cast<int32_t>(first), Starts[first],
                          std::max(from, Starts[first]), 0, 0, 0}};
  int64_t total = 0;
  for (size_t k = first; k < end; ++k) {
    const TRawBuffer& b = buffers[k];
    TStretch& s = P.Stretches.back();
    const int64_t columns = written(k), skip = Starts[k] + b.SkipBuffers * m.Columns(b);
    s.Columns += columns;
    s.ZeroBytes += std::max<int64_t>(0, std::min(to, skip) - std::max(from, Starts[k])) * P.Rows() * value;
    total += chosen ? columns * P.Rows() * value : (int64_t{b.SkipBuffers} + 1) * b.Size;
    if (series && total > P.Options.SizeLimit) {
      s.EndBuffer = static_cast<int32_t>(k + 1);
      s.SplitPos = b.Part == 0 ? b.Pos : 0;
      P.Stretches.push_back({static_cast<int32_t>(k + 1), static_cast<int32_t>(k + 1), Starts[k + 1],
                             std::max(from, Starts[k + 1]), 0, 0, 0});
      total = 0;
    }
  }
  P.Stretches.back().EndBuffer = static_cast<int32_t>(end);
  return series;
}

// The names of the data files (one, or a series), and of the sidecars asked for.
void NameFiles(TPlan& P, const std::string& Base, bool Series) {
  const TMeasurement& m = P.M();
  // Over the size limit the files are numbered, even a series of one.
  P.DataBases = Series ? SeriesBases(Base, P.Stretches.size()) : std::vector<std::string>{Base};
  for (const std::string& file : P.DataBases)
    for (const TFormatInfo& format : Formats())
      if (P.Options.Formats & format.Bit) P.DataFiles.push_back(file + format.Ending);
  // The table's rows without a channel record are invented: a count far beyond the records (a
  // damaged file) would fill the disk with rows of n/a, so the table is then left out.
  if (P.Options.ChannelTable && m.HasBuffers()) {
    int64_t blank = (m.RawRows() - static_cast<int64_t>(m.Channels().size())) * kBlankRowBytes;
    if (!P.Selection.Rows.empty()) {
      blank = 0;
      for (int64_t k = 0; k < P.Rows(); ++k) blank += P.Channel(k) ? 0 : kBlankRowBytes;
    }
    if (blank <= P.InventedLeft) {
      P.ChannelTable = Base + "_channels.tsv";
      P.InventedLeft -= std::max<int64_t>(blank, 0);
    }
  }
  P.Base = Base;
  P.OlderRecordingFile = Base + "_recording.json";
  if (!P.Options.KeepSkips) return;
  if (m.HasBuffers()) {
    P.Events = RecordingEvents(P);
    if (!P.Events.empty() || !P.StimRows.empty()) P.EventsFile = Base + "_events.tsv";
  }
  if (!m.Averages().empty() || !m.FloatAverages().empty()) P.AveragesTable = Base + "_averages.tsv";
  if (m.HasEpochs()) {
    // Its rows repeat the events' names: a name far longer than the file could fill the disk.
    int64_t bytes = 0;
    for (const auto& e : m.Epochs())
      for (const std::string& name : e->Names) bytes += static_cast<int64_t>(name.size()) + kBlankRowBytes;
    if (bytes > P.InventedLeft)
      Refuse(m.First(), "its table of epochs would take " + std::to_string(bytes) +
                            " bytes, more than its conversion may write beside its data (" +
                            std::to_string(P.InventedLeft) + " bytes)");
    P.EpochsTable = Base + "_epochs.tsv";
  }
  if (m.HasBuffers() || !P.AveragesTable.empty() || !P.EpochsTable.empty()) P.RecordingFile = P.OlderRecordingFile;
}

}  // namespace

// One pass over the buffers checks the measurement and splits its raw data into the series: each
// file takes the buffers after the previous one's last, up to and including the buffer at which
// their sizes (and the sizes of the buffers their skips stand for) first add up to more than the
// limit.
TPlan MakePlan(const std::string& OutputName, std::shared_ptr<const TMeasurement> Measurement,
               const TConvertOptions& Options) {
  TPlan p;
  p.Options = Options;
  p.Measurement = std::move(Measurement);
  const TMeasurement& m = p.M();
  const int64_t allowed = InventedBytesAllowed(m.InputSize());
  int64_t zeros = 0;  // of every skip: one budget for the whole conversion
  int64_t column = 0;
  int32_t part = -1;
  // A file that ends inside a data buffer is a copy cut short: its samples, and the parts after it
  // (named at its end), would be missing from a recording that looks whole.
  if (Options.KeepSkips)
    for (const TFiff* cut : m.Parts())
      if (cut->Cut() && cut->Cut()->Kind == fiff::kDataBuffer)
        Refuse(m.First(), (cut == &m.First() ? std::string("it") : "its part \"" + cut->FileName() + "\"") +
                              " ends inside a data buffer at byte " + std::to_string(cut->Cut()->Pos) +
                              ": the file is cut short");
  // Each buffer checked in order, and the column where its skip's zeros begin.
  const auto& buffers = m.Buffers();
  // On huge pages, as the buffer list is: a list of many small buffers faults in once.
  std::vector<int64_t, THugePageAllocator<int64_t>> starts;
  starts.reserve(buffers.size() + 1);
  for (const TRawBuffer& b : buffers) {
    const TFiff& file = m.Part(b.Part);
    if (CheckType(file, b, Options)) p.RawDoubles = true;
    if (b.Part != part) {  // the part's first buffer
      if (b.Part != part + 1) Refuse(m.First(), "its part \"" + m.Part(part + 1).FileName() + "\" holds no raw data");
      if (b.Part == 0)
        p.FirstSample = m.PartStarts()[0].FirstSample;
      else
        CheckContinues(m, b.Part, p.FirstSample, column);
      part = b.Part;
    }
    // The zeros of a skip are invented values: more than the conversion's budget is refused.
    // Counted here at two bytes a value at least, so that no count can overflow; again below at the
    // size raw_data's values have.
    const int64_t columns = m.Columns(b);
    const std::optional<int64_t> skipped = CheckedMul(b.SkipBuffers, columns);
    const std::optional<int64_t> zeroBytes = skipped ? CheckedMul(*skipped, 2 * int64_t{m.RawRows()}) : std::nullopt;
    if (!zeroBytes || *zeroBytes > allowed - zeros) RefuseSkip(file, b.SkipBuffers, b.Pos, m.InputSize());
    if (*skipped > 0) p.Skips.push_back({column, *skipped, b.Part, b.Pos, b.SkipBuffers});
    zeros += *zeroBytes;
    starts.push_back(column);
    column += *skipped + columns;
  }
  starts.push_back(column);
  if (p.RawDoubles) RecountDoubleZeros(p);
  if (m.HasBuffers() && m.RawRows() <= 0)
    Refuse(m.First(), "it declares " + std::to_string(m.RawRows()) + " channels for its raw data buffers");
  // A part without raw data continues nothing; split epochs continue one another by their own rules.
  CheckProcessed(p);
  if (m.PartCount() > 1 && part + 1 < m.PartCount() && !m.HasEpochs())
    Refuse(m.First(), "its part \"" + m.Part(part + 1).FileName() + "\" holds no raw data");
  p.TotalColumns = column;
  p.Values = Options.Choice.Si ? (Options.Choice.Single ? TRawValues::SiSingle : TRawValues::SiDouble)
             : p.RawDoubles    ? TRawValues::Double
                               : TRawValues::Int16;
  ChooseRows(p);
  ChooseSpan(p);
  ChooseStimChannels(p);
  const bool series = SplitIntoFiles(p, starts);
  p.InventedLeft = allowed;
  for (const TStretch& s : p.Stretches) p.InventedLeft -= s.ZeroBytes;
  for (const TStretch& s : p.Stretches)
    if (!CheckedInt32(s.Columns))
      Refuse(m.First(), "its raw data hold " + std::to_string(s.Columns) + " samples, more than a Scilab matrix can");
  NameFiles(p, OutputBase(OutputName, Options.OutputDir), series);
  return p;
}

std::vector<std::string> TPlan::Files() const {
  std::vector<std::string> files = DataFiles;
  for (const std::string* sidecar : {&ChannelTable, &EventsFile, &AveragesTable, &EpochsTable, &RecordingFile})
    if (!sidecar->empty()) files.push_back(*sidecar);
  return files;
}

const TRawChannel* TPlan::Channel(int64_t K) const {
  const int64_t row = Selection.Rows.empty() ? K : Selection.Rows[static_cast<size_t>(K)];
  return row < static_cast<int64_t>(M().Channels().size()) ? &M().Channels()[static_cast<size_t>(row)] : nullptr;
}
