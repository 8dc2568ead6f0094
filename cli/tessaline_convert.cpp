// tessaline-convert: the window's reading, summary and conversion for many files, from a shell or a script.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <exception>
#include <map>
#include <new>
#include <string>
#include <system_error>

#include "cli_options.h"
#include "convert.h"
#include "interrupt_cleanup.h"
#include "summary.h"
#include "tessaline_version.h"
#include "text.h"

namespace {

constexpr const char* kProgram = "tessaline-convert";

// The separators of the number pictures from the user's locale, read once; every number is
// then formatted in the C locale, whatever the user's.
TNumberSeparators LocaleSeparators() {
  TNumberSeparators s;
  if (std::setlocale(LC_NUMERIC, "")) {
    const lconv* c = std::localeconv();
    if (c->decimal_point && *c->decimal_point) s.Decimal = c->decimal_point;
    if (c->thousands_sep && *c->thousands_sep) s.Thousands = c->thousands_sep;
  }
  std::setlocale(LC_NUMERIC, "C");
  return s;
}

// One line on standard error, rewritten in place, while it is a terminal.
class TProgressLine {
 public:
  explicit TProgressLine(bool Terminal) : FTerminal(Terminal) {}
  void Show(const std::string& Input, const TConvertProgress& P) {
    if (!FTerminal || P.RawDataDone) return;
    const int percent = P.BytesTotal > 0 ? static_cast<int>(100.0 * P.BytesDone / P.BytesTotal) : 100;
    char text[64];
    std::snprintf(text, sizeof text, ": %.1f sec written, %d%%", P.SecondsWritten, percent);
    const std::string line = Input + " -> " + P.OutputFile + text;
    if (line == FShown) return;
    std::fprintf(stderr, "\r%s\033[K", line.c_str());  // the rest of an older, longer line is cleared
    FShown = line;
  }
  // Ends the line of a file, so the next file gets its own.
  void End() {
    if (!FShown.empty()) std::fputc('\n', stderr);
    FShown.clear();
  }

 private:
  bool FTerminal;
  std::string FShown;
};

class TBatch {
 public:
  TBatch(const TCliOptions& Options, TNumberSeparators Separators)
      : FOptions(Options), FSeparators(std::move(Separators)), FProgress(::isatty(STDERR_FILENO) == 1) {}

  // Reads, summarises and converts one file; false when it was not FIFF or failed.
  bool Run(const std::string& Path) {
    std::string why;
    try {
      return Convert(Path);
    } catch (const TChoiceError& e) {  // the choice asks what the file does not have: a usage error
      why = e.what();
      FUsage = true;
    } catch (const TInputError& e) {  // the file is refused
      why = e.what();
    } catch (const std::system_error& e) {  // the system's errors: disk full, no access, ...
      why = e.what();
    } catch (const std::bad_alloc&) {
      why = "Cannot convert \"" + Path + "\": not enough memory";
    } catch (const std::exception& e) {  // a fault of ours
      why = std::string("internal error, please report it: ") + e.what();
    }
    FProgress.End();
    Fail(Path, why);  // and the batch goes on
    return false;
  }

 private:
  bool Convert(const std::string& Path) {
    if (const auto it = FRun.SameAs.find(Path); it != FRun.SameAs.end()) {
      Print(Path + ": the same file as " + it->second + ", converted once");
      return true;
    }
    if (const auto it = FRun.LaterParts.find(Path); it != FRun.LaterParts.end()) {
      Print(Path + ": part " + std::to_string(it->second.second) + " of the recording " + it->second.first +
            ", converted with it");
      return true;
    }
    TRecordingInput in = OpenRecording(Path, FOptions.Read, FOptions.Join);
    if (in.First.Refusal == TRefusal::Missing) {
      Fail(Path, "Cannot open \"" + Path + "\": No such file or directory");
      return false;
    }
    if (in.First.Refusal != TRefusal::None) {
      Print(kNotFiffLine);
      Fail(Path, Refusal(in.First));
      return false;
    }
    for (const std::string& line : MakeSummary(*in.First.Reader, FSeparators)) Print(line);
    const TRecording recording = in.Recording();
    const bool chosen = FOptions.Convert.Choice.Any();
    if (FOptions.SummaryOnly && recording.Parts.size() == 1 && !chosen) return true;
    const std::shared_ptr<const TMeasurement> measurement = ReadMeasurement(recording, FOptions.Convert);
    if (recording.Parts.size() > 1) {
      const std::vector<double> seconds = PartSeconds(*measurement);
      for (size_t k = 1; k < recording.Parts.size(); ++k)
        Print("joined " + recording.Parts[k]->FileName() + " (" + FormatFloat(seconds[k], "0.0", FSeparators) +
              " sec)");
    }
    if (FOptions.SummaryOnly && !chosen) return true;

    TConvertOptions options = FOptions.Convert;
    options.RunInputs = FRun.Inputs;
    const TConversionPlan plan = PlanConversion(recording, measurement, options);
    if (chosen) {
      const TKept kept = Kept(plan);
      Print("kept " + std::to_string(kept.Rows) + " of " + std::to_string(kept.AllRows) + " channels, " +
            FormatFloat(kept.From, "0.000", FSeparators) + "\u2013" + FormatFloat(kept.To, "0.000", FSeparators) +
            " s");
    }
    if (FOptions.SummaryOnly) return true;
    // Two inputs of one name would overwrite each other's output in one folder.
    for (const std::string& out : plan.Files)
      if (const auto it = FWritten.find(Written(out)); it != FWritten.end()) {
        Fail(Path, "Cannot convert \"" + Path + "\": its output file \"" + out + "\" was written for \"" + it->second +
                       "\" in this run");
        return false;
      }
    ConvertRecording(plan, [&](const TConvertProgress& P) {
      if (P.Note.empty()) return FProgress.Show(Path, P);
      FProgress.End();
      std::fprintf(stderr, "%s: %s: %s\n", kProgram, EscapeNonUtf8(Path).c_str(), P.Note.c_str());
    });
    FProgress.End();
    for (const std::string& out : plan.Files) FWritten.emplace(Written(out), Path);
    Print(kConvertedLine);
    return true;
  }

  // Why a file failed the signature, and what would read it.
  static std::string Refusal(const TInput& In) {
    if (In.Refusal == TRefusal::GzipNotRead)
      return "not a FIFF file but gzip data; --like-window reads no .gz, as the window; without it "
             "tessaline-convert reads the FIFF file inside";
    if (!In.Version.Found) return "not a FIFF file";
    const std::string version =
        "FIFF version " + std::to_string(In.Version.Major) + "." + std::to_string(In.Version.Minor);
    if (In.Version.Major != 1) return version + "; tessaline-convert reads FIFF 1.x";
    return version + "; --like-window reads FIFF 1.1 only, as the window; without it tessaline-convert reads it";
  }

  void Print(const std::string& Line) const {
    if (!FOptions.Quiet) std::printf("%s\n", Line.c_str());
  }
  // Names whose bytes are not UTF-8 are shown with those bytes escaped.
  static void Fail(const std::string& Path, const std::string& Why) {
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s: %s\n", kProgram, EscapeNonUtf8(Path).c_str(), EscapeNonUtf8(Why).c_str());
  }

  const TCliOptions& FOptions;
  TNumberSeparators FSeparators;
  TProgressLine FProgress;
  // An output file, whatever spelling names it: the file itself once it exists.
  static std::string Written(const std::string& Out) {
    struct stat st {};
    if (::stat(Out.c_str(), &st) == 0) return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    return Out;
  }
  std::map<std::string, std::string> FWritten;  // output file -> the input it came from

 public:
  bool FUsage = false;  // a file's choice was a usage error

 public:
  TRunFiles FRun;  // what the files named are, found before any is converted
};

}  // namespace

int main(int argc, char** argv) {
  TCliOptions options;
  try {
    options = ParseArguments(argc, argv);
  } catch (const TUsageError& e) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", kProgram, e.what(), kProgram);
    return 2;
  }
  if (options.Help) {
    std::fputs(kHelpText, stdout);
    return 0;
  }
  if (options.Version) {
    std::printf("%s (Tessaline) %s\n", kProgram, TESSALINE_VERSION);
    return 0;
  }
  InstallInterruptCleanup(kProgram);  // Ctrl-C or a scheduler's SIGTERM leaves no half-written file
  TBatch batch(options, LocaleSeparators());
  batch.FRun = ExamineRun(options.Files, options.Read, options.Join && options.Files.size() > 1);
  int failed = 0;
  for (const std::string& file : options.Files)
    if (!batch.Run(file)) ++failed;
  std::fflush(stdout);
  if (failed > 0 && options.Files.size() > 1)
    std::fprintf(stderr, "%s: %d of %zu files failed\n", kProgram, failed, options.Files.size());
  return batch.FUsage ? 2 : failed > 0 ? 1 : 0;
}
