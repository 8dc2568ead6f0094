// The shared fuzz harness: load, summarise and convert an arbitrary file, then check the outputs.
#include "harness.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include "convert.h"
#include "scilab_reader.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const std::string& Why) {
  std::fprintf(stderr, "fuzz harness: %s\n", Why.c_str());
  std::abort();
}

}  // namespace

void CheckOneInput(const uint8_t* Data, size_t Size, const std::string& WorkDir) {
  fs::create_directories(WorkDir);
  for (const auto& e : fs::directory_iterator(WorkDir)) fs::remove_all(e.path());
  const std::string input = WorkDir + "/in.fif";
  {
    std::ofstream out(input, std::ios::binary);
    out.write(reinterpret_cast<const char*>(Data), static_cast<std::streamsize>(Size));
  }
  {
    TFiff f;
    try {
      if (!f.LoadFiff(input)) return;
      f.MakeSummary();
      // A small limit, so that the series and its split points are exercised too.
      ConvertFiff(f, static_cast<int64_t>(Size / 3 + 1));
    } catch (const TInputError&) {
      // Refusals of bad input (data type, channel count) and I/O errors are messages, not
      // faults; anything else (a writer's range guard, a failed allocation) is a finding.
    } catch (const std::system_error&) {
    }
  }
  for (const auto& e : fs::directory_iterator(WorkDir)) {
    const std::string name = e.path().filename().string();
    if (name == "in.fif") continue;
    if (e.path().extension() != ".dat") Fail("a file other than an output is left: " + name);
    // Converted values are at most a few times the bytes they come from and invented ones stay
    // within their budget; more would be a file filled with padding.
    const uintmax_t size = fs::file_size(e.path());
    if (size > static_cast<uintmax_t>(OutputBytesAllowed(static_cast<int64_t>(Size))))
      Fail("an output of " + std::to_string(size) + " bytes from " + std::to_string(Size));
    try {
      ReadScilabFile(e.path().string());
    } catch (const std::exception& ex) {
      Fail(std::string("an output does not parse: ") + ex.what());
    }
  }
}
