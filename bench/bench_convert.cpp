// Benchmark: loading, summary and conversion of large generated files against a plain copy.
// Usage: bench_convert [folder] [repetitions]; each case runs in a child process so that its
// peak resident memory is its own.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
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

void Convert(const std::string& Path, double* SummarySeconds) {
  TFiff f;
  if (!f.LoadFiff(Path)) throw std::runtime_error("not FIFF");
  const auto t0 = std::chrono::steady_clock::now();
  f.MakeSummary();
  *SummarySeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  ConvertFiff(f, 500'000'000);  // the largest limit: over it, a series of two
}

void RemoveOutputs(const std::string& Dir) {
  for (const auto& e : std::filesystem::directory_iterator(Dir))
    if (e.path().extension() == ".dat") std::filesystem::remove(e.path());
}

struct TResult {
  double Seconds;
  double SummarySeconds;
  long PeakKiB;
};

// Runs Work in a child process and returns its time and peak resident memory.
TResult InChild(const std::function<double()>& Work) {
  int pipeFd[2];
  if (::pipe(pipeFd) != 0) throw std::runtime_error("pipe");
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(pipeFd[0]);
    double out[2] = {0, 0};
    const auto t0 = std::chrono::steady_clock::now();
    try {
      out[1] = Work();
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
  struct rusage usage {};
  ::wait4(pid, &status, 0, &usage);
  if (!got || !WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("benchmark case failed");
  return {in[0], in[1], usage.ru_maxrss};
}

TResult Median(std::vector<TResult> Runs) {
  std::sort(Runs.begin(), Runs.end(), [](const TResult& A, const TResult& B) { return A.Seconds < B.Seconds; });
  TResult m = Runs[Runs.size() / 2];
  for (const TResult& r : Runs) m.PeakKiB = std::max(m.PeakKiB, r.PeakKiB);
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : (std::filesystem::temp_directory_path() / "tessaline-bench").string();
  const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  std::filesystem::create_directories(dir);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  struct TCase {
    const char* Name;
    int64_t Size;
  } cases[] = {{"400 MB, in memory", 400'000'000}, {"600 MB, file stream", 600'000'000}};
  std::printf("%d repetitions, medians; peak resident memory is the largest of the runs\n", reps);
  for (const TCase& c : cases) {
    const std::string input = dir + "/bench.fif";
    const std::string output = dir + "/bench.dat";
    Generate(input, c.Size);
    const int64_t size = static_cast<int64_t>(std::filesystem::file_size(input));
    std::vector<TResult> copy, conv;
    for (int r = 0; r < reps; ++r) {
      copy.push_back(InChild([&] {
        PlainCopy(input, output);
        return 0.0;
      }));
      RemoveOutputs(dir);
      conv.push_back(InChild([&] {
        double summary = 0;
        Convert(input, &summary);
        return summary;
      }));
      RemoveOutputs(dir);
    }
    const TResult mc = Median(copy), mv = Median(conv);
    std::printf("%-20s input %lld bytes\n", c.Name, static_cast<long long>(size));
    std::printf("  convert: %7.3f s  peak %7.1f MiB  (summary %.3f ms)\n", mv.Seconds, mv.PeakKiB / 1024.0,
                mv.SummarySeconds * 1000);
    std::printf("  copy:    %7.3f s  peak %7.1f MiB\n", mc.Seconds, mc.PeakKiB / 1024.0);
    std::printf("  ratio convert/copy: %.2f   memory over input: %+.1f MiB\n", mv.Seconds / mc.Seconds,
                mv.PeakKiB / 1024.0 - size / 1048576.0);
    std::filesystem::remove(input);
  }
  std::filesystem::remove(dir);
  return 0;
}
