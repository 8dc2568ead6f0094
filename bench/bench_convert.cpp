// Benchmark: a plain copy against the conversion, the window's whole flow without the window, and the command line.
// Usage: bench_convert [folder] [repetitions]; each case runs in a child process of its own.
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

// The largest private memory seen, sampled whenever the conversion tells its progress.
struct TPeak {
  long Base = PrivateKiB();
  long Max = 0;
  void Sample() { Max = std::max(Max, PrivateKiB() - Base); }
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
  ConvertFiff(f, kLimit, [&](const TConvertProgress&) { Peak.Sample(); });
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

void CommandLine(const std::string& Path) {
  const std::string command = "'" + std::string(TESSALINE_CLI) + "' -q -l 500 '" + Path + "'";
  if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
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

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : (std::filesystem::temp_directory_path() / "tessaline-bench").string();
  const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  std::filesystem::create_directories(dir);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::printf("%d repetitions, medians, input in the page cache; peak private memory above the baseline is the\n"
              "largest of the runs (the command line's is not sampled)\n",
              reps);
  for (const int64_t size : {int64_t{400'000'000}, int64_t{600'000'000}}) {
    const std::string input = dir + "/bench.fif";
    const std::string output = dir + "/bench.dat";
    Generate(input, size);
    std::vector<TResult> copy, conv, flow, cli;
    for (int r = 0; r < reps; ++r) {
      copy.push_back(InChild([&] {
        PlainCopy(input, output);
        return 0L;
      }));
      RemoveOutputs(dir);
      conv.push_back(InChild([&] {
        TPeak peak;
        Convert(input, peak);
        return peak.Max;
      }));
      RemoveOutputs(dir);
      flow.push_back(InChild([&] {
        TPeak peak;
        Flow(input, peak);
        return peak.Max;
      }));
      RemoveOutputs(dir);
      cli.push_back(InChild([&] {
        CommandLine(input);
        return 0L;
      }));
      RemoveOutputs(dir);
    }
    const TResult mc = Median(copy), mv = Median(conv), mf = Median(flow), ml = Median(cli);
    std::printf("%lld bytes (%s)\n", static_cast<long long>(std::filesystem::file_size(input)),
                size <= 500'000'000 ? "held in memory" : "read through the file");
    std::printf("  copy          %7.3f s\n", mc.Seconds);
    for (const auto& [name, m] : {std::pair{"conversion", mv}, std::pair{"window flow", mf}})
      std::printf("  %-12s  %7.3f s  %5.2f x copy  peak %+6.1f MiB\n", name, m.Seconds, m.Seconds / mc.Seconds, m.PeakMiB);
    std::printf("  command line  %7.3f s  %5.2f x copy  %5.2f x conversion\n", ml.Seconds, ml.Seconds / mc.Seconds,
                ml.Seconds / mv.Seconds);
    std::filesystem::remove(input);
  }
  std::filesystem::remove(dir);
  return 0;
}
