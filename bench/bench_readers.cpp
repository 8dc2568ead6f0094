// Benchmark: loading the raw_data of a 400 MB converted file in Scilab, Octave and Python, beside a plain read.
// Usage: bench_readers [folder]; every environment found on the path is measured in the same run.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "bench_input.h"
#include "convert.h"
#include "temp_dir.h"

namespace {

// Runs a command and returns what it printed.
std::string Output(const std::string& Command) {
  FILE* p = ::popen(Command.c_str(), "r");
  if (!p) throw std::runtime_error("cannot run " + Command);
  std::string out;
  char buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  if (::pclose(p) != 0) throw std::runtime_error("failed: " + Command + "\n" + out);
  return out;
}

bool Have(const std::string& Command) { return std::system((Command + " > /dev/null 2>&1").c_str()) == 0; }

// Each script prints the medians of three runs: seconds of the reader's load, seconds of a plain
// read of the same bytes (the file's last 2 x channels x samples bytes, which are raw_data's values).
std::string ScilabScript(const std::string& Readers, const std::string& File) {
  return "scilab-cli -nb -nouserstartup -quit -e \"exec('" + Readers +
         "/tessaline_load.sci', -1); a = []; b = []; "
         "for k = 1:3, tic(); tessaline_load('" +
         File +
         "', 'raw_data'); a(k) = toc(); n = size(raw_data, '*'); "
         "clear raw_data; fd = mopen('" +
         File +
         "', 'rb'); mseek(-2 * n, fd, 'end'); tic(); x = mgeti(n, 'sl', fd); "
         "b(k) = toc(); mclose(fd); clear x; end; mprintf('%.3f %.3f\\n', median(a), median(b));\"";
}

std::string OctaveScript(const std::string& Readers, const std::string& File) {
  return "octave-cli --norc --quiet --eval \"addpath('" + Readers + "'); for k = 1:3, tic; s = tessaline_load('" +
         File + "', 'raw_data'); a(k) = toc; n = numel(s.raw_data); clear s; fid = fopen('" + File +
         "', 'r', 'ieee-le'); fseek(fid, -2 * n, 'eof'); tic; x = fread(fid, n, 'int16=>int16'); b(k) = toc; "
         "fclose(fid); clear x; end; printf('%.3f %.3f\\n', median(a), median(b));\" 2>&1";
}

// Python reports the memory-mapped open too, then a copy into memory against np.fromfile.
std::string PythonScript(const std::string& Python, const std::string& Readers, const std::string& File) {
  return "PYTHONPATH='" + Readers + "/python' " + Python +
         " -c \"\n"
         "import statistics, time, numpy as np, tessaline_dat\n"
         "a, b, c = [], [], []\n"
         "for k in range(3):\n"
         "    t = time.perf_counter(); raw = tessaline_dat.read('" +
         File +
         "', 'raw_data')['raw_data']\n"
         "    c.append(time.perf_counter() - t); t = time.perf_counter(); copy = np.array(raw)\n"
         "    a.append(time.perf_counter() - t); del copy\n"
         "    h = open('" +
         File +
         "', 'rb'); h.seek(-2 * raw.size, 2)\n"
         "    t = time.perf_counter(); x = np.fromfile(h, '<i2', raw.size); b.append(time.perf_counter() - t)\n"
         "    h.close(); del x, raw\n"
         "m = statistics.median\n"
         "print('%.3f %.3f %.4f' % (m(a) + m(c), m(b), m(c)))\n\"";
}

}  // namespace

int main(int argc, char** argv) {
  const TTempDir dir(argc > 1 ? argv[1] : "", "tessaline-bench");  // a folder of its own, removed at the end
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const std::string input = dir.File("bench.fif");
  Generate(input, 400'000'000);
  std::string file;
  {
    TFiff f;
    if (!f.LoadFiff(input)) throw std::runtime_error("not FIFF: " + input);
    file = ConvertFiff(f, 500'000'000).at(0);
  }
  std::filesystem::remove(input);
  Output("cat '" + file + "' > /dev/null");  // in the page cache for every environment alike
  const std::string readers = TESSALINE_READERS;
  std::printf("raw_data of %s (%.1f MB), in the page cache; seconds, medians of 3\n", file.c_str(),
              std::filesystem::file_size(file) / 1e6);
  std::printf("%-28s %10s %12s\n", "environment", "reader", "plain read");
  if (Have("command -v scilab-cli")) {
    double a = 0, b = 0;
    std::sscanf(Output(ScilabScript(readers, file)).c_str(), "%lf %lf", &a, &b);
    std::printf("%-28s %10.3f %12.3f\n", "Scilab (tessaline_load)", a, b);
  }
  if (Have("command -v octave-cli")) {
    double a = 0, b = 0;
    std::sscanf(Output(OctaveScript(readers, file)).c_str(), "%lf %lf", &a, &b);
    std::printf("%-28s %10.3f %12.3f\n", "Octave (tessaline_load)", a, b);
  }
  for (const char* python : {"/usr/bin/python3", "python3"}) {
    if (!Have(std::string(python) + " -c 'import numpy'")) continue;
    double a = 0, b = 0, open = 0;
    std::sscanf(Output(PythonScript(python, readers, file)).c_str(), "%lf %lf %lf", &a, &b, &open);
    std::printf("%-28s %10.3f %12.3f   (memory-mapped read() alone: %.4f)\n", "Python (read, then a copy)", a, b, open);
    break;
  }
  return 0;
}
