// Parsing of tessaline-convert's arguments, in the manner of the classic Unix tools (getopt_long).
#include "cli_options.h"

#include <getopt.h>
#include <sys/stat.h>

#include <algorithm>
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
    "and NAME_events.tsv, its annotations and skips in BIDS's events form.\n"
    "\n"
    "Files are converted in order; a file that fails is reported on standard error and the\n"
    "next one is converted. While standard error is a terminal, a line shows the progress.\n"
    "An interrupt (SIGINT, SIGTERM, SIGHUP, SIGQUIT) removes the file being written.\n"
    "\n"
    "Exit status: 0 when every file was converted (or summarised), 1 when any file was not\n"
    "FIFF or failed, 2 for a usage error, 128 + N when signal N ended it.\n";

namespace {

enum { kRawAsDouble = 256, kLikeWindow, kNoJoin, kFormat, kVersion };

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
