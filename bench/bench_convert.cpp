// Benchmark: a plain copy against the conversion, the window's whole flow without the window, and the command line.
// Usage: bench_convert [folder] [repetitions] [cases]; cases is any of memory, file, small, gzip
// (all when not given). Each case runs in a child process of its own, in a fresh folder made
// inside the one given (or the system's temporary folder) and removed after.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_input.h"
#include "convert.h"
#include "temp_dir.h"

namespace {

// The physical reference: read the input and write as many bytes, with buffered stdio.
void PlainCopy(const std::string& From, const std::string& To) {
  FILE* in = std::fopen(From.c_str(), "rb");
  if (!in) throw std::runtime_error("cannot open " + From);
  FILE* out = std::fopen(To.c_str(), "wb");
  if (!out) {
    std::fclose(in);
    throw std::runtime_error("cannot create " + To);
  }
  std::vector<char> buf(1 << 20);
  size_t n;
  bool ok = true;
  while (ok && (n = std::fread(buf.data(), 1, buf.size(), in)) > 0) ok = std::fwrite(buf.data(), 1, n, out) == n;
  ok = !std::ferror(in) && ok;
  std::fclose(in);
  if (std::fclose(out) != 0 || !ok) throw std::runtime_error("copy failed");
}

// The process's private resident memory in KiB (anonymous pages; mapped file pages belong to
// the page cache).
long PrivateKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("RssAnon:", 0) == 0) return std::stol(line.substr(8));
  return 0;
}

// The largest private memory seen, sampled as the conversion tells its progress: at most once
// per 4 MiB of data, so that reading /proc costs nothing beside a file of one-sample buffers.
struct TPeak {
  long Base = PrivateKiB();
  long Max = 0;
  int64_t Next = 0;
  void Sample() { Max = std::max(Max, PrivateKiB() - Base); }
  void Sample(const TConvertProgress& P) {
    if (P.BytesDone < Next && !P.RawDataDone) return;
    Next = P.BytesDone + (4 << 20);
    Sample();
  }
};

constexpr int64_t kLimit = 500'000'000;  // the window's largest: over it, a series of two

// One reading: load, summary.
void Read(TFiff& F, const std::string& Path, TPeak& Peak) {
  if (!F.LoadFiff(Path)) throw std::runtime_error("not FIFF: " + Path);
  F.MakeSummary();
  Peak.Sample();
}

// The library's conversion: one reading, then ConvertFiff.
void Convert(const std::string& Path, TPeak& Peak) {
  TFiff f;
  Read(f, Path, Peak);
  ConvertFiff(f, kLimit, [&](const TConvertProgress& P) { Peak.Sample(P); });
}

// One press of the window's open button: a reading for the summary, released, then a second
// reading that is summarised again and converted.
void Flow(const std::string& Path, TPeak& Peak) {
  {
    TFiff first;
    Read(first, Path, Peak);
  }
  Convert(Path, Peak);
}

void Run(const std::string& Command) {
  if (std::system(Command.c_str()) != 0) throw std::runtime_error("failed: " + Command);
}

void CommandLine(const std::string& Path) { Run("'" + std::string(TESSALINE_CLI) + "' -q -l 500 '" + Path + "'"); }

// The largest resident memory of the programs this process ran, in KiB.
long ChildrenPeakKiB() {
  rusage u{};
  ::getrusage(RUSAGE_CHILDREN, &u);
  return u.ru_maxrss;
}

void RemoveOutputs(const std::string& Dir) {
  for (const auto& e : std::filesystem::directory_iterator(Dir))
    if (e.path().extension() == ".dat") std::filesystem::remove(e.path());
}

struct TResult {
  double Seconds = 0;
  double PeakMiB = 0;  // private memory above the process's baseline
};

// Runs Work in a child process; it returns the peak private memory in KiB.
TResult InChild(const std::function<long()>& Work) {
  int pipeFd[2];
  if (::pipe(pipeFd) != 0) throw std::runtime_error("pipe");
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipeFd[0]);
    double out[2] = {0, 0};
    const auto t0 = std::chrono::steady_clock::now();
    try {
      out[1] = static_cast<double>(Work()) / 1024;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s\n", e.what());
      ::_exit(1);
    }
    out[0] = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (::write(pipeFd[1], out, sizeof out) != sizeof out) ::_exit(1);
    ::_exit(0);
  }
  ::close(pipeFd[1]);
  double in[2] = {0, 0};
  const bool got = ::read(pipeFd[0], in, sizeof in) == sizeof in;
  ::close(pipeFd[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (!got || !WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("benchmark case failed");
  return {in[0], in[1]};
}

TResult Median(std::vector<TResult> Runs) {
  std::sort(Runs.begin(), Runs.end(), [](const TResult& A, const TResult& B) { return A.Seconds < B.Seconds; });
  TResult m = Runs[Runs.size() / 2];
  for (const TResult& r : Runs) m.PeakMiB = std::max(m.PeakMiB, r.PeakMiB);
  return m;
}

// The median time, and the median of the ratios to the copy run just before each: on a shared
// machine the two of a pair see the same load, so the paired ratio varies least.
void Report(const char* Name, const std::vector<TResult>& Runs, const std::vector<TResult>& Copies, const char* Peak) {
  std::vector<double> ratios;
  for (size_t k = 0; k < Runs.size(); ++k) ratios.push_back(Runs[k].Seconds / Copies[k].Seconds);
  std::sort(ratios.begin(), ratios.end());
  const TResult m = Median(Runs);
  std::printf("  %-26s %7.3f s  %5.2f x copy  peak %7.1f MiB%s\n", Name, m.Seconds, ratios[ratios.size() / 2],
              m.PeakMiB, Peak);
}

// The copy, the conversion, the window's flow and the command line on one generated input.
void Recording(const TTempDir& Dir, int64_t Size, int SamplesPerBuffer, int Reps) {
  const std::string input = Dir.File("bench.fif");
  const std::string output = Dir.File("bench.dat");
  Generate(input, Size, SamplesPerBuffer);
  std::vector<TResult> copy, conv, flow, cli;
  for (int r = 0; r < Reps; ++r) {
    copy.push_back(InChild([&] {
      PlainCopy(input, output);
      return 0L;
    }));
    RemoveOutputs(Dir.Path());
    conv.push_back(InChild([&] {
      TPeak peak;
      Convert(input, peak);
      return peak.Max;
    }));
    RemoveOutputs(Dir.Path());
    flow.push_back(InChild([&] {
      TPeak peak;
      Flow(input, peak);
      return peak.Max;
    }));
    RemoveOutputs(Dir.Path());
    cli.push_back(InChild([&] {
      CommandLine(input);
      return ChildrenPeakKiB();
    }));
    RemoveOutputs(Dir.Path());
  }
  const TResult mc = Median(copy);
  std::printf("%lld bytes, %d-sample buffers (%s)\n", static_cast<long long>(std::filesystem::file_size(input)),
              SamplesPerBuffer, Size <= 500'000'000 ? "held in memory" : "read through the file");
  std::printf("  %-26s %7.3f s\n", "copy", mc.Seconds);
  Report("conversion", conv, copy, " private");
  Report("window flow", flow, copy, " private");
  Report("command line", cli, copy, " resident");
  std::filesystem::remove(input);
}

// A .fif.gz converted at once against gzip -dc into a file and the conversion of that file.
void Compressed(const TTempDir& Dir, int Reps) {
  const std::string input = Dir.File("bench.fif");
  Generate(input, 400'000'000);
  Run("gzip -1 -n -f '" + input + "'");
  const std::string gz = input + ".gz";
  const std::string cli = "'" + std::string(TESSALINE_CLI) + "' -q -l 500 ";
  std::vector<TResult> direct, twoSteps;
  for (int r = 0; r < Reps; ++r) {
    direct.push_back(InChild([&] {
      Run(cli + "'" + gz + "'");
      return ChildrenPeakKiB();
    }));
    RemoveOutputs(Dir.Path());
    twoSteps.push_back(InChild([&] {
      Run("gzip -dc '" + gz + "' > '" + input + "' && " + cli + "'" + input + "'");
      return ChildrenPeakKiB();
    }));
    RemoveOutputs(Dir.Path());
    std::filesystem::remove(input);
  }
  const TResult md = Median(direct), mt = Median(twoSteps);
  std::printf("%lld bytes of .fif.gz holding %lld bytes\n", static_cast<long long>(std::filesystem::file_size(gz)),
              400'000'000LL);
  std::printf("  %-26s %7.3f s  peak %7.1f MiB resident\n", "gzip -dc, then convert", mt.Seconds, mt.PeakMiB);
  std::printf("  %-26s %7.3f s  %5.2f x the two steps  peak %7.1f MiB resident\n", "tessaline-convert .fif.gz",
              md.Seconds, md.Seconds / mt.Seconds, md.PeakMiB);
  std::filesystem::remove(gz);
}

}  // namespace

int main(int argc, char** argv) {
  const TTempDir dir(argc > 1 ? argv[1] : "", "tessaline-bench");
  const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  const std::string cases = argc > 3 ? argv[3] : "memory,file,small,gzip";
  auto wanted = [&](const char* Case) { return cases.find(Case) != std::string::npos; };
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::printf(
      "%d repetitions, input in the page cache: median times, and the median of each run's ratio to the copy\n"
      "just before it; peak memory is the largest of the runs: private memory above the baseline for the\n"
      "library, the whole resident set for programs run\n",
      reps);
  if (wanted("memory")) Recording(dir, 400'000'000, 1000, reps);
  if (wanted("file")) Recording(dir, 600'000'000, 1000, reps);
  if (wanted("small"))
    Recording(dir, 92'000'000, 1, reps);  // one sample per buffer, as optically pumped magnetometers store
  if (wanted("gzip")) Compressed(dir, reps);
  return 0;
}
