// Benchmark: the command line, the window's flow and the conversion as whole processes, each paired with dd of the same
// file. Usage: bench_convert [folder] [repetitions] [cases]; cases is any of memory, file, small, split, formats, gzip,
// triggers, epochs, choice (all when not given). The inputs are generated in a fresh folder made inside the one given
// (or the system's temporary folder) and removed after; each case writes its outputs to tmpfs
// (/dev/shm) and beside the input, and runs in a process of its own.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_input.h"
#include "convert.h"
#include "summary.h"
#include "temp_dir.h"

namespace {

constexpr int64_t kLimit = 500'000'000;  // the window's largest: over it, a series of two

struct TResult {
  double Seconds = 0;
  double PeakMiB = 0;  // the process's whole resident set at its largest
};

// Runs Work in a child process of its own: its wall time and its peak resident memory.
TResult InChild(const std::function<void()>& Work) {
  const auto t0 = std::chrono::steady_clock::now();
  const pid_t pid = ::fork();
  if (pid == 0) {
    try {
      Work();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", e.what());
      ::_exit(1);
    }
    ::_exit(0);
  }
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("benchmark case failed");
  return {seconds, static_cast<double>(usage.ru_maxrss) / 1024};
}

// A program as a whole process, its output thrown away.
TResult Program(const std::vector<std::string>& Args) {
  return InChild([&] {
    std::vector<char*> argv;
    for (const std::string& a : Args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::dup2(null, STDERR_FILENO);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  });
}

void ClearFolder(const std::string& Dir) {
  for (const auto& e : std::filesystem::directory_iterator(Dir)) std::filesystem::remove_all(e.path());
}

// One press of the window's open button: a reading for the summary, released, then a second
// reading that is summarised again and converted; Readings 1 is the conversion alone.
void Flow(const std::string& Input, const std::string& OutputDir, int Readings) {
  for (int r = 1; r < Readings; ++r) {
    TFiff first;
    if (!first.LoadFiff(Input)) throw std::runtime_error("not FIFF: " + Input);
    MakeSummary(first);
  }
  TFiff f;
  if (!f.LoadFiff(Input)) throw std::runtime_error("not FIFF: " + Input);
  MakeSummary(f);
  TConvertOptions options;
  options.SizeLimit = kLimit;
  options.OutputDir = OutputDir;
  ConvertFiff(f, options);
}

// The median time of Runs, with the largest resident set of any of them.
TResult Typical(std::vector<TResult> Runs) {
  std::sort(Runs.begin(), Runs.end(), [](const TResult& A, const TResult& B) { return A.Seconds < B.Seconds; });
  TResult t = Runs[Runs.size() / 2];
  for (const TResult& r : Runs) t.PeakMiB = std::max(t.PeakMiB, r.PeakMiB);
  return t;
}

// Runs, each paired with a run of the case it is compared with just before it: on a shared
// machine the two of a pair see the same load, so the median of the pairs' ratios varies least.
struct TSeries {
  std::vector<TResult> Runs, Bases;
  void Report(const std::string& Name, const char* Base) const {
    std::vector<double> ratios;
    for (size_t k = 0; k < Runs.size(); ++k) ratios.push_back(Runs[k].Seconds / Bases[k].Seconds);
    std::sort(ratios.begin(), ratios.end());
    const TResult t = Typical(Runs);
    std::printf("    %-22s %7.3f s  %5.2f x %-9s  peak %6.1f MiB resident\n", Name.c_str(), t.Seconds,
                ratios[ratios.size() / 2], Base, t.PeakMiB);
  }
};

// dd, the command line, the window's flow and the conversion on Input, writing into OutputDir.
void Measure(const std::string& Input, const std::string& OutputDir, int Reps) {
  const std::string copy = OutputDir + "/copy.bin";
  TSeries cli, flow, conv;
  std::vector<TResult> dd;
  auto paired = [&](TSeries& S, const std::function<TResult()>& Case) {
    const TResult d = Program({"dd", "if=" + Input, "of=" + copy, "bs=4M"});
    ClearFolder(OutputDir);
    S.Bases.push_back(d);
    S.Runs.push_back(Case());
    ClearFolder(OutputDir);
    dd.push_back(d);
  };
  for (int r = 0; r < Reps; ++r) {
    paired(cli, [&] { return Program({TESSALINE_CLI, "-q", "-l", "500", "-o", OutputDir, Input}); });
    paired(flow, [&] { return InChild([&] { Flow(Input, OutputDir, 2); }); });
    paired(conv, [&] { return InChild([&] { Flow(Input, OutputDir, 1); }); });
  }
  std::printf("    %-22s %7.3f s\n", "dd bs=4M", Typical(dd).Seconds);
  cli.Report("command line", "dd");
  flow.Report("window flow", "dd");
  conv.Report("conversion", "dd");
}

// The output folders: tmpfs, where no disk writes blur the figures, and beside the input.
void Recording(const TTempDir& Dir, int64_t Size, int SamplesPerBuffer, int Reps) {
  const std::string input = Dir.File("bench.fif");
  Generate(input, Size, SamplesPerBuffer);
  std::printf("%lld bytes, %d-sample buffers (%s)\n", static_cast<long long>(std::filesystem::file_size(input)),
              SamplesPerBuffer, Size <= kMemoryImageLimit ? "held in memory" : "read through the file");
  if (::access("/dev/shm", W_OK) == 0) {
    const TTempDir shm("/dev/shm", "tessaline-bench");
    std::printf("  output to tmpfs (/dev/shm)\n");
    Measure(input, shm.Path(), Reps);
  }
  const TTempDir beside(Dir.Path(), "out");
  std::printf("  output beside the input (%s)\n", Dir.Path().c_str());
  Measure(input, beside.Path(), Reps);
  std::filesystem::remove(input);
}

// A recording split over four files against the same recording in one, each converted from the
// command line: joining should cost nothing beside the copy.
void Split(const TTempDir& Dir, int Reps) {
  const std::string one = Dir.File("one.fif"), four = Dir.File("four.fif");
  Generate(one, 400'000'000);
  Generate(four, 400'000'000, 1000, 4);
  const TTempDir out(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : Dir.Path(), "tessaline-bench");
  TSeries joined;
  for (int r = 0; r < Reps; ++r) {
    joined.Bases.push_back(Program({TESSALINE_CLI, "-q", "-l", "500", "-o", out.Path(), one}));
    ClearFolder(out.Path());
    joined.Runs.push_back(Program({TESSALINE_CLI, "-q", "-l", "500", "-o", out.Path(), four}));
    ClearFolder(out.Path());
  }
  std::printf("400 MB recording, the command line to %s\n", out.Path().c_str());
  std::printf("    %-22s %7.3f s\n", "in one file", Typical(joined.Bases).Seconds);
  joined.Report("split over four files", "one file");
  for (const auto& e : std::filesystem::directory_iterator(Dir.Path()))
    if (e.path().extension() == ".fif") std::filesystem::remove(e.path());
}

// The 400 MB recording from the command line as Scilab 6's and MATLAB 7.3's files, each paired with
// the .dat run just before it.
void Formats(const TTempDir& Dir, int Reps) {
  const std::string input = Dir.File("bench.fif");
  Generate(input, 400'000'000);
  const TTempDir out(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : Dir.Path(), "tessaline-bench");
  std::printf("400 MB recording, the command line to %s\n", out.Path().c_str());
  std::vector<TResult> dat;
  for (const char* format : {"sod", "mat", "dat,sod,mat"}) {
    TSeries runs;
    for (int r = 0; r < Reps; ++r) {
      runs.Bases.push_back(Program({TESSALINE_CLI, "-q", "-l", "500", "-o", out.Path(), input}));
      dat.push_back(runs.Bases.back());
      ClearFolder(out.Path());
      runs.Runs.push_back(Program({TESSALINE_CLI, "-q", "-l", "500", "--format", format, "-o", out.Path(), input}));
      ClearFolder(out.Path());
    }
    runs.Report(std::string("--format ") + format, "the .dat");
  }
  const TResult d = Typical(dat);
  std::printf("    %-22s %7.3f s  %17s  peak %6.1f MiB resident\n", "--format dat", d.Seconds, "", d.PeakMiB);
  std::filesystem::remove(input);
}

// A .fif.gz converted at once against gzip -dc into a file and the conversion of that file.
void Compressed(const TTempDir& Dir, int Reps) {
  const std::string input = Dir.File("bench.fif");
  Generate(input, 400'000'000);
  if (std::system(("gzip -1 -n -f '" + input + "'").c_str()) != 0) throw std::runtime_error("gzip failed");
  const std::string gz = input + ".gz";
  const std::string cli = std::string("'") + TESSALINE_CLI + "' -q -l 500 ";
  std::vector<TResult> direct, twoSteps;
  for (int r = 0; r < Reps; ++r) {
    direct.push_back(Program({TESSALINE_CLI, "-q", "-l", "500", gz}));
    twoSteps.push_back(Program({"sh", "-c", "gzip -dc '" + gz + "' > '" + input + "' && " + cli + "'" + input + "'"}));
    std::filesystem::remove(input);
  }
  const TResult md = Typical(direct), mt = Typical(twoSteps);
  std::printf("%lld bytes of .fif.gz holding %lld bytes\n", static_cast<long long>(std::filesystem::file_size(gz)),
              400'000'000LL);
  std::printf("  %-26s %7.3f s  peak %7.1f MiB resident\n", "gzip -dc, then convert", mt.Seconds, mt.PeakMiB);
  std::printf("  %-26s %7.3f s  %5.2f x the two steps  peak %7.1f MiB resident\n", "tessaline-convert .fif.gz",
              md.Seconds, md.Seconds / mt.Seconds, md.PeakMiB);
  std::filesystem::remove(gz);
}

// A recording with a stim channel of a pulse a second, converted with its trigger events decoded,
// each run paired with the same conversion with --stim-channel none just before it.
void Triggers(const TTempDir& Dir, int Reps) {
  const std::string input = Dir.File("bench.fif");
  Generate(input, 400'000'000, 1000, 1, true);
  const TTempDir out(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : Dir.Path(), "tessaline-bench");
  TSeries decoded;
  for (int r = 0; r < Reps; ++r) {
    decoded.Bases.push_back(
        Program({TESSALINE_CLI, "-q", "-l", "500", "--stim-channel", "none", "-o", out.Path(), input}));
    ClearFolder(out.Path());
    decoded.Runs.push_back(Program({TESSALINE_CLI, "-q", "-l", "500", "-o", out.Path(), input}));
    ClearFolder(out.Path());
  }
  std::printf("400 MB recording with a stim channel, the command line to %s\n", out.Path().c_str());
  std::printf("    %-22s %7.3f s\n", "--stim-channel none", Typical(decoded.Bases).Seconds);
  decoded.Report("trigger events decoded", "none");
  std::filesystem::remove(input);
}

// Channels, a span and SI units chosen from the command line on the 400 MB recording, each run
// paired with the whole conversion just before it; SI doubles also with dd of a file as large as
// their output.
void Choice(const TTempDir& Dir, int Reps) {
  const std::string input = Dir.File("bench.fif"), output = Dir.File("output.bin");
  Generate(input, 400'000'000);
  const TTempDir out(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : Dir.Path(), "tessaline-bench");
  std::printf("400 MB recording (306 channels, 653 s), the command line to %s\n", out.Path().c_str());
  const std::vector<std::string> whole = {TESSALINE_CLI, "-q", "-l", "2000", "-o", out.Path(), input};
  const struct {
    const char* Name;
    std::vector<std::string> Options;
  } kChoices[] = {{"--tmin 100 --tmax 110", {"--tmin", "100", "--tmax", "110"}},
                  {"--pick mag (93 of 306)", {"--pick", "mag"}},
                  {"--units si", {"--units", "si"}}};
  for (const auto& c : kChoices) {
    TSeries chosen, copied;
    std::vector<std::string> args = whole;
    args.insert(args.begin() + 1, c.Options.begin(), c.Options.end());
    for (int r = 0; r < Reps; ++r) {
      chosen.Bases.push_back(Program(whole));
      ClearFolder(out.Path());
      chosen.Runs.push_back(Program(args));
      if (r == 0) std::filesystem::copy_file(out.Path() + "/bench.dat", output);
      ClearFolder(out.Path());
      copied.Bases.push_back(Program({"dd", "if=" + output, "of=" + out.Path() + "/copy.bin", "bs=4M"}));
      copied.Runs.push_back(chosen.Runs.back());
      ClearFolder(out.Path());
    }
    chosen.Report(c.Name, "whole");
    copied.Report(c.Name, "dd output");
    std::filesystem::remove(output);
  }
  std::filesystem::remove(input);
}

// An epochs file of MNE-Python from the command line, each run paired with dd of the input and
// with dd of a file as large as its output (the doubles it writes are twice the floats it reads).
void Epochs(const TTempDir& Dir, int Reps) {
  const std::string input = Dir.File("bench-epo.fif"), output = Dir.File("output.bin");
  GenerateEpochs(input, 400'000'000);
  const TTempDir out(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : Dir.Path(), "tessaline-bench");
  TSeries byInput, byOutput;
  for (int r = 0; r < Reps; ++r) {
    const TResult in = Program({"dd", "if=" + input, "of=" + out.Path() + "/copy.bin", "bs=4M"});
    ClearFolder(out.Path());
    const TResult run = Program({TESSALINE_CLI, "-q", "-l", "500", "-o", out.Path(), input});
    if (r == 0) std::filesystem::copy_file(out.Path() + "/bench-epo.dat", output);
    ClearFolder(out.Path());
    const TResult same = Program({"dd", "if=" + output, "of=" + out.Path() + "/copy.bin", "bs=4M"});
    ClearFolder(out.Path());
    byInput.Runs.push_back(run), byInput.Bases.push_back(in);
    byOutput.Runs.push_back(run), byOutput.Bases.push_back(same);
  }
  std::printf("%lld bytes of epochs (32-bit floats), the command line to %s\n",
              static_cast<long long>(std::filesystem::file_size(input)), out.Path().c_str());
  std::printf("    %-22s %7.3f s\n", "dd of the input", Typical(byInput.Bases).Seconds);
  std::printf("    %-22s %7.3f s  (%lld bytes)\n", "dd of the output's size", Typical(byOutput.Bases).Seconds,
              static_cast<long long>(std::filesystem::file_size(output)));
  byInput.Report("epochs converted", "dd input");
  byOutput.Report("epochs converted", "dd output");
  std::filesystem::remove(input);
  std::filesystem::remove(output);
}

}  // namespace

int main(int argc, char** argv) {
  const TTempDir dir(argc > 1 ? argv[1] : "", "tessaline-bench");
  const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const std::string cases = argc > 3 ? argv[3] : "memory,file,small,split,formats,gzip,triggers,epochs,choice";
  auto wanted = [&](const char* Case) { return cases.find(Case) != std::string::npos; };
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::printf(
      "%d repetitions, input in the page cache, every case a whole process: median times, the median of\n"
      "each run's ratio to the dd run just before it, and the largest resident set of the runs\n",
      reps);
  if (wanted("memory")) Recording(dir, 400'000'000, 1000, reps);
  if (wanted("file")) Recording(dir, 600'000'000, 1000, reps);
  if (wanted("small"))
    Recording(dir, 92'000'000, 1, reps);  // one sample per buffer, as optically pumped magnetometers store
  if (wanted("split")) Split(dir, reps);
  if (wanted("formats")) Formats(dir, reps);
  if (wanted("gzip")) Compressed(dir, reps);
  if (wanted("triggers")) Triggers(dir, reps);
  if (wanted("epochs")) Epochs(dir, reps);
  if (wanted("choice")) Choice(dir, reps);
  return 0;
}
