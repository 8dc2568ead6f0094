// The shared fuzz harness: load, summarise and convert an arbitrary file, then check the outputs.
#include "harness.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

#include <nlohmann/json.hpp>

#include "convert.h"
#include "fiff_builder.h"
#include "scilab_reader.h"
#include "summary.h"
#include "text.h"

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
  // The window's reading and conversion, then the command line's: any FIFF 1.x, wide data as
  // doubles, skips filled, a split recording joined, the formats and every sidecar. A small
  // limit, so that the series and its split points are exercised too.
  const int64_t limit = static_cast<int64_t>(Size / 3 + 1);
  for (const bool window : {true, false}) {
    try {
      if (window) {
        TFiff f;
        if (!f.LoadFiff(input)) return;
        MakeSummary(f);
        ConvertFiff(f, limit);
      } else {
        TRecordingInput in = OpenRecording(input, {true, true}, true);
        if (!in.First.Reader) return;
        MakeSummary(*in.First.Reader);
        TConvertOptions o;
        o.SizeLimit = limit;
        o.RawAsDouble = o.ChannelTable = o.KeepSkips = true;
        // HDF5's files cost three times a whole .dat conversion to create: one input in four
        // writes them, so the rest of the program keeps its share of the fuzzing time.
        o.Formats = TFormat::Dat | (Size % 4 == 0 ? TFormat::Sod | TFormat::Mat : 0);
        const TRecording recording = in.Recording();
        const std::shared_ptr<const TMeasurement> measurement = ReadMeasurement(recording, o);
        PartSeconds(*measurement);
        ConvertRecording(PlanConversion(recording, measurement, o));
      }
    } catch (const TInputError&) {
      // Refusals of bad input (data type, channel count) and I/O errors are messages, not
      // faults; anything else (a writer's range guard, a failed allocation) is a finding.
    } catch (const std::system_error&) {
    }
  }
  for (const auto& e : fs::directory_iterator(WorkDir)) {
    const std::string name = e.path().filename().string();
    if (name == "in.fif") continue;
    const std::string ending = e.path().extension().string();
    if (ending != ".dat" && ending != ".sod" && ending != ".mat" && ending != ".tsv" && ending != ".json")
      Fail("a file other than an output is left: " + name);
    // Converted values are at most a few times the bytes they come from and invented ones stay
    // within their budget; more would be a file filled with padding.
    const uintmax_t size = fs::file_size(e.path());
    if (size > static_cast<uintmax_t>(OutputBytesAllowed(static_cast<int64_t>(Size))))
      Fail("an output of " + std::to_string(size) + " bytes from " + std::to_string(Size) + ": " + name);
    try {
      if (ending == ".dat") ReadScilabFile(e.path().string());
      if (ending == ".json" && nlohmann::json::parse(std::ifstream(e.path())).is_discarded())
        Fail("a recording file is no JSON: " + name);
      if (ending == ".json" || ending == ".tsv") {
        const TBytes text = ReadFileBytes(e.path().string());
        if (!IsUtf8(std::string_view(reinterpret_cast<const char*>(text.data()), text.size())))
          Fail("a sidecar is not UTF-8: " + name);
      }
    } catch (const std::exception& ex) {
      Fail(std::string("an output does not parse: ") + name + ": " + ex.what());
    }
  }
}
