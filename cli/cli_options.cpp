// Parsing of tessaline-convert's arguments, in the manner of the classic Unix tools (getopt_long).
#include "cli_options.h"

#include <getopt.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

const char* const kHelpText =
    "Usage: tessaline-convert [options] FILE...\n"
    "Converts FIFF files into Scilab data files, as Tessaline's window does, and shows\n"
    "each file's measurement summary. It reads FIFF 1.x files (1.0 to 1.65535), raw data of\n"
    "16-bit and 32-bit integers, floats and doubles, and .fif.gz files (decompressed in memory).\n"
    "\n"
    "  -l, --limit MB        size limit in units of 1,000,000 bytes (1 to 2147, default 50);\n"
    "                        a larger input is written as a series NAME_01.dat, NAME_02.dat, ...\n"
    "  -o, --output-dir DIR  write the output files into DIR (which must exist), not beside the input\n"
    "  -n, --summary-only    show the summary, write nothing\n"
    "  -q, --quiet           no summary on standard output\n"
    "      --like-window     read as the window does: FIFF 1.1 only, 16-bit raw data only (types 2\n"
    "                        and 16), no .gz; for scripts that must give what the window gives\n"
    "      --format LIST     the data files' formats, a comma-separated list of dat (Scilab 5's\n"
    "                        binary files, the default), sod (Scilab 6's, which its load reads)\n"
    "                        and mat (MATLAB 7.3's, which load reads in MATLAB and GNU Octave)\n"
    "      --no-join         convert each file alone, not with the parts of a split recording\n"
    "                        that follow it\n"
    "      --pick LIST       keep these channels: MNE-Python's channel types (meg, mag, grad,\n"
    "                        ref_meg, eeg, eog, ecg, emg, stim, misc, ...) and names, * and ?\n"
    "                        matching any characters and one, separated by commas: the union\n"
    "      --exclude LIST    leave out the channels these names or patterns match\n"
    "      --exclude-bads    leave out the channels the file marks bad\n"
    "      --tmin SEC        keep the samples from SEC seconds after the first on (as\n"
    "      --tmax SEC        MNE-Python's crop), up to and including SEC seconds\n"
    "      --units UNITS     stored (the default: as stored, with CalXRnge) or si: raw_data in\n"
    "                        tesla, T/m, volt, ... as doubles, stored x range x calibration\n"
    "      --precision P     double (the default) or single: with --units si, raw_data of\n"
    "                        32-bit floats in sod and mat files\n"
    "      --stim-channel NAMES  decode trigger events from these channels (comma-separated; none:\n"
    "                        no trigger events); by default STI101, else STI 014, else every stim\n"
    "                        channel not marked bad, as MNE-Python's find_events takes them\n"
    "      --min-duration SEC, --consecutive increasing|yes|no, --mask N, --mask-type and|not_and,\n"
    "      --uint-cast, --initial-event\n"
    "                        the options of MNE-Python's find_events, with its defaults\n"
    "      --raw-as-double   the default: raw buffers of 32-bit integers, floats or doubles (FIFF\n"
    "                        types 3, 4, 5) become a raw_data matrix of doubles holding the stored\n"
    "                        values; 16-bit data stay int16. With --like-window it converts them too\n"

    "  -h, --help            show this help and exit\n"
    "      --version         show the version and exit\n"
    "\n"
    "A recording is converted whole and in time, as MNE-Python reads it: the parts of a split\n"
    "recording (run_raw.fif, run_raw-1.fif, ...) are joined into one, named after the first, and\n"
    "a data skip becomes zeros in place. Beside the outputs it writes (not with --like-window or\n"
    "--summary-only) NAME_channels.tsv, one row per row of raw_data with the channel's name, BIDS\n"
    "type, unit, filters, status and the factor si_factor that turns the row into its unit;\n"
    "NAME_recording.json, the recording's facts (first sample, date, source and output files);\n"
    "and NAME_events.tsv, its annotations, skips and trigger events in BIDS's events form.\n"
    "MNE-Python's averages (-ave.fif) become ave_0001, ... with NAME_averages.tsv, its epochs\n"
    "(-epo.fif) the variables epochs (samples x channels x epochs) and epo_time with\n"
    "NAME_epochs.tsv, one row per epoch with its event.\n"
    "\n"
    "Files are converted in order; a file that fails is reported on standard error and the\n"
    "next one is converted. While standard error is a terminal, a line shows the progress.\n"
    "An interrupt (SIGINT, SIGTERM, SIGHUP, SIGQUIT) removes the file being written.\n"
    "\n"
    "Exit status: 0 when every file was converted (or summarised), 1 when any file was not\n"
    "FIFF or failed, 2 for a usage error, 128 + N when signal N ended it.\n";

namespace {

enum {
  kRawAsDouble = 256,
  kLikeWindow,
  kNoJoin,
  kFormat,
  kVersion,
  kPick,
  kExclude,
  kExcludeBads,
  kTMin,
  kTMax,
  kUnits,
  kPrecision,
  kStimChannel,
  kMinDuration,
  kConsecutive,
  kMask,
  kMaskType,
  kUintCast,
  kInitialEvent
};

// A comma-separated list of names, none empty.
std::vector<std::string> ParseList(const char* Option, const std::string& Text) {
  std::vector<std::string> items;
  for (size_t at = 0; at <= Text.size();) {
    const size_t comma = std::min(Text.find(',', at), Text.size());
    items.push_back(Text.substr(at, comma - at));
    if (items.back().empty())
      throw TUsageError(std::string(Option) + " takes names or types separated by commas, not '" + Text + "'");
    at = comma + 1;
  }
  return items;
}

// Seconds: a finite number, all of the text.
double ParseSeconds(const char* Option, const std::string& Text) {
  char* end = nullptr;
  const double v = Text.empty() ? 0 : std::strtod(Text.c_str(), &end);
  if (Text.empty() || *end != '\0' || !std::isfinite(v))
    throw TUsageError(std::string(Option) + " takes a number of seconds, not '" + Text + "'");
  return v;
}

// A whole number, all of the text.
int64_t ParseInteger(const char* Option, const std::string& Text) {
  char* end = nullptr;
  errno = 0;
  const long long v = Text.empty() ? 0 : std::strtoll(Text.c_str(), &end, 0);
  if (Text.empty() || *end != '\0' || errno == ERANGE)
    throw TUsageError(std::string(Option) + " takes a whole number, not '" + Text + "'");
  return v;
}

// One of two words.
bool ParseEither(const char* Option, const std::string& Text, const char* No, const char* Yes) {
  if (Text == No) return false;
  if (Text == Yes) return true;
  throw TUsageError(std::string(Option) + " takes " + No + " or " + Yes + ", not '" + Text + "'");
}

// A comma-separated list of dat, sod and mat.
unsigned ParseFormats(const std::string& Text) {
  unsigned formats = 0;
  for (size_t at = 0; at <= Text.size();) {
    const size_t comma = std::min(Text.find(',', at), Text.size());
    const std::optional<unsigned> format = FormatNamed(Text.substr(at, comma - at));
    if (!format) throw TUsageError("--format takes a list of dat, sod and mat separated by commas, not '" + Text + "'");
    formats |= *format;
    at = comma + 1;
  }
  return formats;
}

int64_t ParseLimit(const std::string& Text) {
  char* end = nullptr;
  const long long mb = Text.empty() ? 0 : std::strtoll(Text.c_str(), &end, 10);
  if (Text.empty() || *end != '\0' || mb < 1 || mb > 2147)
    throw TUsageError("--limit takes a whole number from 1 to 2147, not '" + Text + "'");
  return mb * 1'000'000;
}

}  // namespace

TCliOptions ParseArguments(int argc, char** argv) {
  static const option kLong[] = {{"limit", required_argument, nullptr, 'l'},
                                 {"output-dir", required_argument, nullptr, 'o'},
                                 {"summary-only", no_argument, nullptr, 'n'},
                                 {"quiet", no_argument, nullptr, 'q'},
                                 {"raw-as-double", no_argument, nullptr, kRawAsDouble},
                                 {"like-window", no_argument, nullptr, kLikeWindow},
                                 {"no-join", no_argument, nullptr, kNoJoin},
                                 {"format", required_argument, nullptr, kFormat},
                                 {"pick", required_argument, nullptr, kPick},
                                 {"exclude", required_argument, nullptr, kExclude},
                                 {"exclude-bads", no_argument, nullptr, kExcludeBads},
                                 {"tmin", required_argument, nullptr, kTMin},
                                 {"tmax", required_argument, nullptr, kTMax},
                                 {"units", required_argument, nullptr, kUnits},
                                 {"precision", required_argument, nullptr, kPrecision},
                                 {"stim-channel", required_argument, nullptr, kStimChannel},
                                 {"min-duration", required_argument, nullptr, kMinDuration},
                                 {"consecutive", required_argument, nullptr, kConsecutive},
                                 {"mask", required_argument, nullptr, kMask},
                                 {"mask-type", required_argument, nullptr, kMaskType},
                                 {"uint-cast", no_argument, nullptr, kUintCast},
                                 {"initial-event", no_argument, nullptr, kInitialEvent},
                                 {"help", no_argument, nullptr, 'h'},
                                 {"version", no_argument, nullptr, kVersion},
                                 {nullptr, 0, nullptr, 0}};
  TCliOptions o;
  bool rawAsDouble = false, formatGiven = false;
  ::opterr = 0;  // our own messages
  ::optind = 1;
  for (int c; (c = ::getopt_long(argc, argv, ":l:o:nqh", kLong, nullptr)) != -1;) {
    switch (c) {
      case 'l': o.Convert.SizeLimit = ParseLimit(::optarg); break;
      case 'o': o.Convert.OutputDir = ::optarg; break;
      case 'n': o.SummaryOnly = true; break;
      case 'q': o.Quiet = true; break;
      case kRawAsDouble: rawAsDouble = true; break;
      case kLikeWindow: o.LikeWindow = true; break;
      case kNoJoin: o.Join = false; break;
      case kFormat: o.Convert.Formats = ParseFormats(::optarg), formatGiven = true; break;
      case kPick: o.Convert.Choice.Pick = ParseList("--pick", ::optarg); break;
      case kExclude: o.Convert.Choice.Exclude = ParseList("--exclude", ::optarg); break;
      case kExcludeBads: o.Convert.Choice.ExcludeBads = true; break;
      case kTMin: o.Convert.Choice.TMin = ParseSeconds("--tmin", ::optarg); break;
      case kTMax: o.Convert.Choice.TMax = ParseSeconds("--tmax", ::optarg); break;
      case kUnits: o.Convert.Choice.Si = ParseEither("--units", ::optarg, "stored", "si"); break;
      case kPrecision: o.Convert.Choice.Single = ParseEither("--precision", ::optarg, "double", "single"); break;
      case kStimChannel:
        o.Convert.Triggers.Off = std::string(::optarg) == "none";
        o.Convert.Triggers.StimChannels =
            o.Convert.Triggers.Off ? std::vector<std::string>{} : ParseList("--stim-channel", ::optarg);
        break;
      case kMinDuration: o.Convert.Triggers.MinDuration = ParseSeconds("--min-duration", ::optarg); break;
      case kConsecutive: {
        const std::string v = ::optarg;
        using C = TTriggerOptions::TConsecutive;
        if (v != "increasing" && v != "yes" && v != "no")
          throw TUsageError("--consecutive takes increasing, yes or no, not '" + v + "'");
        o.Convert.Triggers.Consecutive = v == "increasing" ? C::Increasing : v == "yes" ? C::Yes : C::No;
        break;
      }
      case kMask: o.Convert.Triggers.Mask = ParseInteger("--mask", ::optarg); break;
      case kMaskType: o.Convert.Triggers.MaskNotAnd = ParseEither("--mask-type", ::optarg, "and", "not_and"); break;
      case kUintCast: o.Convert.Triggers.UintCast = true; break;
      case kInitialEvent: o.Convert.Triggers.InitialEvent = true; break;
      case 'h': o.Help = true; break;
      case kVersion: o.Version = true; break;
      case ':': throw TUsageError(std::string("option '") + argv[::optind - 1] + "' needs a value");
      default: {
        const std::string name = ::optopt != 0 ? std::string("-") + static_cast<char>(::optopt) : argv[::optind - 1];
        throw TUsageError("unknown option '" + name + "'");
      }
    }
  }
  // By default what researchers have is read; --like-window gives the window's rules.
  o.Read.AnyMinorVersion = !o.LikeWindow;
  o.Read.Gzip = !o.LikeWindow;
  o.Convert.RawAsDouble = rawAsDouble || !o.LikeWindow;
  o.Convert.ChannelTable = !o.LikeWindow;
  o.Convert.KeepSkips = !o.LikeWindow;
  o.Join = o.Join && !o.LikeWindow;
  if (o.LikeWindow && formatGiven)
    throw TUsageError("--like-window writes the window's .dat files only; leave out --format");
  const TChoice& choice = o.Convert.Choice;
  if (o.LikeWindow && (choice.Any() || choice.Single))
    throw TUsageError(
        "--like-window converts every channel and sample as stored, as the window does; leave out "
        "--pick, --exclude, --exclude-bads, --tmin, --tmax, --units and --precision");
  if (choice.Single && !choice.Si)
    throw TUsageError("--precision single is for values in SI units: add --units si (stored values keep their type)");
  if (choice.Single && (o.Convert.Formats & TFormat::Dat))
    throw TUsageError("--precision single needs --format sod or mat: Scilab 5's .dat has no 32-bit real type");
  if (o.Help || o.Version) return o;
  for (int i = ::optind; i < argc; ++i) o.Files.emplace_back(argv[i]);
  if (o.Files.empty()) throw TUsageError("no FIFF file given");
  if (!o.Convert.OutputDir.empty()) {
    struct stat st {};
    if (::stat(o.Convert.OutputDir.c_str(), &st) != 0)
      throw TUsageError("the output folder '" + o.Convert.OutputDir + "' does not exist");
    if (!S_ISDIR(st.st_mode)) throw TUsageError("the output folder '" + o.Convert.OutputDir + "' is not a folder");
  }
  return o;
}
