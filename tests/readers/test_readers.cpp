// The readers in readers/ run in Scilab, Octave and Python on our files and must load what the strict reader reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "convert_helpers.h"
#include "recording_builder.h"

namespace {

namespace fs = std::filesystem;

// Runs a shell command with its output in Log; returns the exit status.
int Shell(const std::string& Command, const std::string& Log) {
  const int status = std::system((Command + " > '" + Log + "' 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Slurp(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Have(const std::string& Command) { return Shell(Command, "/dev/null") == 0; }

// The Python that has NumPy: Debian's, where another python3 comes first on the path.
std::string Python() {
  for (const char* p : {"/usr/bin/python3", "python3"})
    if (Have(std::string(p) + " -c 'import numpy'")) return p;
  return "";
}

// Every kind of variable the converter writes: odd element counts, a non-square volume, eleven
// projections and twelve averages (the last cut short, so NaN columns), names with capitals at
// the end of a four-byte word (CalXRnge, Volume3D, slice2MR).
TFiffBuilder EveryKind() {
  TFiffBuilder b;
  for (int p = 0; p < 11; ++p) {
    std::vector<float> v;
    for (int k = 0; k <= 2 * p; ++k) v.push_back(0.1f * static_cast<float>(k) - static_cast<float>(p));
    b.Projection(v);
  }
  b.Tag(215, kTypeFloat, {});
  for (int i = 0; i < 5; ++i) b.DigPoint(4, i, 0.01f * i, -0.02f * i, 0.5f + i);
  b.Int(200, 3).Float(201, 250.0f);
  b.Channel({.Scan = 1, .Cal = 1.5f, .Coil = 3012, .Loc = Locations(0.001f)})
      .Channel({.Scan = 2, .Cal = 0.25f, .Coil = 3022, .Loc = Locations(0.002f)})
      .Channel({.Scan = 3, .Kind = 2, .Cal = 3.0f, .Coil = 0, .Loc = Locations(0.003f)});
  b.Int(2010, 5).Int(2012, 3);
  for (int s = 0; s < 2; ++s) {
    TBytes pixels;
    for (int k = 0; k < 15; ++k) pixels.push_back(static_cast<uint8_t>(17 * k + 100 * s));
    std::vector<float> t(24);
    for (int k = 0; k < 24; ++k) t[k] = 0.5f * k - s;
    b.Tag(2006, 1, pixels).Transform(6, 5, t);
  }
  b.Int(208, -2).Int(209, 4);
  for (int e = 0; e < 34; ++e) {
    std::vector<int16_t> s;
    for (int k = 0; k < 7; ++k) s.push_back(static_cast<int16_t>(k * 1000 - e * 37));
    b.Epoch(0.5f, 1.25f, s);
  }
  b.Float(243, 0.98f);  // ends the twelfth average after one of its three epochs
  for (int buffer = 0; buffer < 2; ++buffer) {
    std::vector<int16_t> s;
    for (int k = 0; k < 15; ++k) s.push_back(static_cast<int16_t>(buffer ? -32768 + k : 32767 - 3 * k));
    b.RawBuffer(s);
  }
  return b;
}

// One output series of one channel, 50 samples a buffer; at limit 250 the last file has no samples.
TFiffBuilder Series(float Cal) {
  TFiffBuilder b;
  const TChannel c{.Scan = 1, .Kind = 3, .Cal = Cal, .Coil = 0, .Loc = Locations(0.001f)};
  b.Int(200, 1).Float(201, 10.0f).Channel(c);
  for (int i = 0; i < 6; ++i) {
    std::vector<int16_t> s(50);
    for (int k = 0; k < 50; ++k) s[k] = static_cast<int16_t>(i * 100 + k);
    b.RawBuffer(s);
  }
  return b;
}

std::string ClassOf(const TScilabVar& V) {
  switch (V.Type) {
    case TScilabVar::Int16Matrix: return "int16";
    case TScilabVar::UInt8Hypermat: return "uint8";
    default: return "double";
  }
}

// Dimensions as the environments report them: trailing ones past the second are dropped
// (MATLAB and Scilab do not keep them).
std::vector<int64_t> Trimmed(std::vector<int64_t> Dims) {
  while (Dims.size() > 2 && Dims.back() == 1) Dims.pop_back();
  return Dims;
}

std::vector<int64_t> DimsOf(const TScilabVar& V) {
  if (V.Type == TScilabVar::RealMatrix || V.Type == TScilabVar::Int16Matrix) return {V.Rows, V.Cols};
  return {V.Dims[0], V.Dims[1], V.Dims[2]};
}

// The values of V in column-major order as the dump writes them (little-endian, native width).
std::string BytesOf(const TScilabVar& V) {
  switch (V.Type) {
    case TScilabVar::Int16Matrix: return {reinterpret_cast<const char*>(V.Shorts.data()), V.Shorts.size() * 2};
    case TScilabVar::UInt8Hypermat: return {reinterpret_cast<const char*>(V.Bytes.data()), V.Bytes.size()};
    default: return {reinterpret_cast<const char*>(V.Reals.data()), V.Reals.size() * 8};
  }
}

struct TLoaded {
  std::string Name, Class;
  std::vector<int64_t> Dims;
};

struct TDump {
  std::vector<TLoaded> Vars;
  std::map<std::string, std::string> Lines;  // the other lines by their first word
  std::string Values;
};

TDump ReadDump(const std::string& Out) {
  TDump d;
  std::istringstream txt(Slurp(Out + ".txt"));
  std::string line;
  while (std::getline(txt, line)) {
    std::istringstream words(line);
    std::string first;
    words >> first;
    if (first == "var") {
      TLoaded v;
      words >> v.Name >> v.Class;
      if (v.Class == "float64") v.Class = "double";
      for (int64_t n; words >> n;) v.Dims.push_back(n);
      v.Dims = Trimmed(v.Dims);
      d.Vars.push_back(v);
    } else {
      const size_t gap = line.find(' ');
      d.Lines[first] = gap == std::string::npos ? "" : line.substr(gap + 1);
    }
  }
  d.Values = Slurp(Out + ".bin");
  return d;
}

// Equal element for element: the same bits, or NaN on both sides.
void ExpectSameValues(const TScilabVar& V, const std::string& Got, const std::string& Where) {
  const std::string want = BytesOf(V);
  ASSERT_EQ(Got.size(), want.size()) << Where;
  if (V.Type != TScilabVar::RealMatrix && V.Type != TScilabVar::RealHypermat) {
    EXPECT_TRUE(Got == want) << Where << ": values differ";
    return;
  }
  for (size_t k = 0; k < want.size(); k += 8) {
    double a, b;
    std::memcpy(&a, Got.data() + k, 8);
    std::memcpy(&b, want.data() + k, 8);
    if (!(std::isnan(a) && std::isnan(b)) && std::memcmp(&a, &b, 8) != 0) {
      ADD_FAILURE() << Where << ": element " << k / 8 << " is " << a << ", expected " << b;
      return;
    }
  }
}

// The dump holds exactly Expected's variables, in order, with their classes, shapes and values.
void ExpectLoaded(const TDump& D, const std::vector<const TScilabVar*>& Expected, const std::string& Where,
                  bool ScilabEmpty = false) {
  ASSERT_EQ(D.Vars.size(), Expected.size()) << Where;
  size_t at = 0;
  for (size_t k = 0; k < Expected.size(); ++k) {
    const TScilabVar& v = *Expected[k];
    const std::string where = Where + " " + v.Name;
    EXPECT_EQ(D.Vars[k].Name, v.Name) << Where;
    const size_t n = BytesOf(v).size();
    if (n == 0 && ScilabEmpty) {
      // Scilab has one empty matrix, [], of doubles.
      EXPECT_EQ(D.Vars[k].Class, "double") << where;
      EXPECT_EQ(D.Vars[k].Dims, (std::vector<int64_t>{0, 0})) << where;
      continue;
    }
    EXPECT_EQ(D.Vars[k].Class, ClassOf(v)) << where;
    EXPECT_EQ(D.Vars[k].Dims, Trimmed(DimsOf(v))) << where;
    ASSERT_LE(at + n, D.Values.size()) << where;
    ExpectSameValues(v, D.Values.substr(at, n), where);
    at += n;
  }
  EXPECT_EQ(at, D.Values.size()) << Where << ": more values than variables";
}

std::vector<const TScilabVar*> All(const std::vector<TScilabVar>& Vars) {
  std::vector<const TScilabVar*> out;
  for (const auto& v : Vars) out.push_back(&v);
  return out;
}

enum class TEnv { Scilab, Octave, Python };

struct TJob {
  std::string Kind, Out, Path;
  std::vector<std::string> Names;
  int64_t Offset = -1;    // bad files: the byte offset the error must name
  std::string Reference;  // a .sod or .mat file: the .dat whose variables it holds
};

// The files every environment reads, made once.
class Readers : public ::testing::TestWithParam<TEnv> {
 protected:
  static void SetUpTestSuite() {
    FDir = new TTempDir();
    const std::string dir = FDir->Path();
    for (const char* name : {"brainvision_test_bin_raw.fif", "test-proj.fif", "306m.fif", "fsaverage-fiducials.fif"})
      AddNative(Add("load", ConvertFile(PatchedCopy(name, dir)).Files.at(0)), 50'000'000);
    EveryKind().Write(dir + "/all.fif");
    const std::string all = ConvertFile(dir + "/all.fif").Files.at(0);
    AddNative(Add("load", all), 50'000'000);
    Add("select", all, {"raw_data", "CalXRnge", "PCA_0011"});

    fs::create_directory(dir + "/series");
    FSeries = ConvertFile(Series(2.0f).Write(dir + "/series/run.fif"), 250).Files;
    for (const auto& f : FSeries) Add("load", f);
    AddNative(FSeries[0], 250);

    // Bad files, each with the offset its error must name.
    const TBytes good = ReadFileBytes(all);
    const auto vars = ReadScilabFile(all);
    const int64_t rawData = FindOne(vars, "raw_data").Offset + 40;
    WriteFileBytes(dir + "/truncated.dat", TBytes(good.begin(), good.end() - 7));
    AddBad(dir + "/truncated.dat", rawData);
    WriteFileBytes(dir + "/trailing.dat", good + TBytes{'a', 'b', 'c'});
    AddBad(dir + "/trailing.dat", static_cast<int64_t>(good.size()));
    TBytes unknown = good;
    unknown[24] = 5;
    WriteFileBytes(dir + "/unknown.dat", unknown);
    AddBad(dir + "/unknown.dat", 24);
    AddBad(PatchedCopy("test-proj.fif", dir), 0);  // a FIFF file is not ours
  }
  static void TearDownTestSuite() {
    delete FDir;
    FDir = nullptr;
  }

  static std::string Add(const std::string& Kind, const std::string& Path, std::vector<std::string> Names = {}) {
    FJobs.push_back({Kind, "", Path, std::move(Names)});
    return Path;
  }
  // The same input as Scilab 6's and MATLAB 7.3's files (every file of its series), for their own load.
  static void AddNative(const std::string& Dat, int64_t Limit) {
    const std::string input = fs::path(Dat).replace_extension().string();
    const std::string fif = (input.ends_with("_01") ? input.substr(0, input.size() - 3) : input) + ".fif";
    TFiff f;
    ASSERT_TRUE(f.LoadFiff(fif));
    TConvertOptions o;
    o.SizeLimit = Limit;
    o.Formats = TFormat::Sod | TFormat::Mat;
    for (const std::string& file : ConvertFiff(f, o)) {
      const std::string reference = fs::path(file).replace_extension(".dat").string();
      std::vector<std::string> names;
      for (const auto& v : ReadScilabFile(reference)) names.push_back(v.Name);
      FNative[file.ends_with(".sod") ? TEnv::Scilab : TEnv::Octave].push_back(
          {"native", "", file, names, -1, reference});
    }
  }
  static void AddBad(const std::string& Path, int64_t Offset) {
    FJobs.push_back({"bad", "", Path, {"raw_data", "CalXRnge", "ChInform"}, Offset});
  }

  // Writes the job list for one environment and runs it there; returns the jobs with their outputs.
  std::vector<TJob> RunIn(TEnv Env, const std::vector<TJob>& Extra = {}) {
    const std::string tag = Env == TEnv::Scilab ? "sci" : Env == TEnv::Octave ? "oct" : "py";
    std::vector<TJob> jobs = FJobs;
    jobs.insert(jobs.end(), Extra.begin(), Extra.end());
    std::string list;
    for (size_t k = 0; k < jobs.size(); ++k) {
      jobs[k].Out = FDir->File(tag + "-" + std::to_string(k));
      list += jobs[k].Kind + " " + jobs[k].Out + " " + jobs[k].Path;
      for (const auto& n : jobs[k].Names) list += " " + n;
      list += "\n";
    }
    const std::string jobFile = FDir->File(tag + "-jobs.txt");
    std::ofstream(jobFile) << list;
    const std::string readers = TESSALINE_READERS, drivers = TESSALINE_READER_DRIVERS;
    std::string command;
    if (Env == TEnv::Scilab)
      command = "scilab-cli -nb -nouserstartup -quit -e \"reader='" + readers + "/tessaline_load.sci'; jobs='" +
                jobFile + "'; exec('" + drivers + "/reader_dump.sce', -1);\"";
    else if (Env == TEnv::Octave)
      command = "octave-cli --norc --no-history --quiet --eval \"addpath('" + readers + "'); addpath('" + drivers +
                "'); reader_dump('" + jobFile + "')\"";
    else
      command = "PYTHONDONTWRITEBYTECODE=1 PYTHONPATH='" + readers + "/python' " + Python() + " '" + drivers +
                "/reader_dump.py' '" + jobFile + "'";
    const std::string log = FDir->File(tag + "-log.txt");
    const int status = Shell(command, log);
    EXPECT_EQ(status, 0) << command << "\n" << Slurp(log);
    return jobs;
  }

  static void SkipUnlessAvailable(TEnv Env) {
    if (Env == TEnv::Scilab && !Have("command -v scilab-cli")) GTEST_SKIP() << "scilab-cli is not installed";
    if (Env == TEnv::Octave && !Have("command -v octave-cli")) GTEST_SKIP() << "octave-cli is not installed";
    if (Env == TEnv::Python && Python().empty()) GTEST_SKIP() << "no python3 with NumPy";
  }

  static TTempDir* FDir;
  static std::vector<TJob> FJobs;
  static std::map<TEnv, std::vector<TJob>> FNative;  // the files of each environment's own load
  static std::vector<std::string> FSeries;
};

TTempDir* Readers::FDir = nullptr;
std::vector<TJob> Readers::FJobs;
std::map<TEnv, std::vector<TJob>> Readers::FNative;
std::vector<std::string> Readers::FSeries;

// Each reader, and Scilab's and Octave's own load of .sod and .mat files, load what the strict
// reader reads from the .dat: the same variables, types, shapes and values, NaN included.
TEST_P(Readers, LoadWhatTheStrictReaderReadsAndRefuseWhatItRefuses) {
  SkipUnlessAvailable(GetParam());
  for (const TJob& job : RunIn(GetParam(), FNative[GetParam()])) {
    const TDump d = ReadDump(job.Out);
    const std::string where = job.Kind + " " + job.Path;
    if (job.Kind == "native") {
      ExpectLoaded(d, All(ReadScilabFile(job.Reference)), where, GetParam() == TEnv::Scilab);
      continue;
    }
    if (job.Kind == "bad") {
      const std::string& error = d.Lines.count("error") ? d.Lines.at("error") : "(no error)";
      EXPECT_NE(error.find(job.Path), std::string::npos) << where << ": " << error;
      EXPECT_NE((error + " ").find("byte offset " + std::to_string(job.Offset) + " "), std::string::npos)
          << where << ": " << error;
      EXPECT_EQ(d.Lines.count("defined"), 1u) << where;
      if (d.Lines.count("defined")) EXPECT_EQ(d.Lines.at("defined"), "") << where << ": defined after an error";
      continue;
    }
    const auto vars = ReadScilabFile(job.Path);
    if (job.Kind == "load") {
      ExpectLoaded(d, All(vars), where, GetParam() == TEnv::Scilab);
    } else {
      std::vector<const TScilabVar*> chosen;
      for (const auto& v : vars)
        if (std::find(job.Names.begin(), job.Names.end(), v.Name) != job.Names.end()) chosen.push_back(&v);
      ASSERT_EQ(chosen.size(), job.Names.size()) << where;
      ExpectLoaded(d, chosen, where, GetParam() == TEnv::Scilab);
    }
    if (GetParam() == TEnv::Octave && job.Kind == "load") {
      // Without an output the same variables appear in the caller.
      std::vector<std::string> want = Names(vars), got;
      std::sort(want.begin(), want.end());
      std::istringstream words(d.Lines.count("caller") ? d.Lines.at("caller") : "");
      for (std::string w; words >> w;) got.push_back(w);
      EXPECT_EQ(got, want) << where;
    }
  }
}

TEST(PythonReader, JoinsASeriesAndRefusesOneThatDisagrees) {
  const std::string python = Python();
  if (python.empty()) GTEST_SKIP() << "no python3 with NumPy";
  TTempDir dir;
  const auto files = ConvertFile(Series(2.0f).Write(dir.File("run.fif")), 250).Files;
  ASSERT_EQ(files.size(), 3u);
  fs::create_directory(dir.File("other"));
  const auto other = ConvertFile(Series(4.0f).Write(dir.File("other/run.fif")), 250).Files;
  fs::create_directory(dir.File("mixed"));
  for (int k = 0; k < 3; ++k)
    fs::copy_file(k == 1 ? other[k] : files[k], dir.File("mixed/run_0" + std::to_string(k + 1) + ".dat"));
  std::ofstream(dir.File("jobs.txt")) << "series " << dir.File("joined") << " " << files[0] << "\n"
                                      << "badseries " << dir.File("mixed-out") << " " << dir.File("mixed/run_01.dat")
                                      << "\n";
  const std::string log = dir.File("log.txt");
  ASSERT_EQ(Shell("PYTHONPATH='" + std::string(TESSALINE_READERS) + "/python' " + python + " '" +
                      TESSALINE_READER_DRIVERS + "/reader_dump.py' " + dir.File("jobs.txt"),
                  log),
            0)
      << Slurp(log);

  // One raw_data of every sample in order, the information variables once.
  std::vector<std::vector<TScilabVar>> vars;
  for (const auto& f : files) vars.push_back(ReadScilabFile(f));
  TScilabVar joined = FindOne(vars[0], "raw_data");
  for (size_t k = 1; k < vars.size(); ++k) {
    const auto& more = FindOne(vars[k], "raw_data");
    joined.Shorts.insert(joined.Shorts.end(), more.Shorts.begin(), more.Shorts.end());
    joined.Cols += more.Cols;
  }
  EXPECT_EQ(joined.Cols, 300);
  ExpectLoaded(ReadDump(dir.File("joined")), {&FindOne(vars[0], "ChInform"), &FindOne(vars[0], "CalXRnge"), &joined},
               "series");
  const std::string error = ReadDump(dir.File("mixed-out")).Lines["error"];
  EXPECT_NE(error.find(dir.File("mixed/run_02.dat") + ": calibration"), std::string::npos) << error;
}

TEST(PythonReader, InstallsWithPipAndListsVariables) {
  const std::string python = Python();
  if (python.empty() || !Have(python + " -m pip --version")) GTEST_SKIP() << "no python3 with NumPy and pip";
  TTempDir dir;
  // A copy, since pip builds in the source folder.
  fs::copy(std::string(TESSALINE_READERS) + "/python", dir.File("src"), fs::copy_options::recursive);
  const std::string log = dir.File("log.txt");
  ASSERT_EQ(Shell(python + " -m pip install --no-build-isolation --no-deps --no-index --target " + dir.File("site") +
                      " " + dir.File("src"),
                  log),
            0)
      << Slurp(log);
  const auto files = ConvertFile(Series(2.0f).Write(dir.File("run.fif")), 250).Files;
  const std::string module = "PYTHONPATH=" + dir.File("site") + " " + python + " -m tessaline_dat ";
  ASSERT_EQ(Shell(module + files[2], log), 0) << Slurp(log);
  EXPECT_EQ(Slurp(log), "ChInform   float64  12 x 1\nCalXRnge   float64  1 x 2\nraw_data   int16    1 x 0\n");
  EXPECT_EQ(Shell(module + dir.File("run.fif"), log), 1);
  EXPECT_EQ(Slurp(log),
            "tessaline_dat: " + dir.File("run.fif") + ": name area that is not a Scilab name at byte offset 0\n");
}

// The events and the recording's facts, read from any file of a series or from a sidecar itself,
// and a recording without events as empty columns.
TEST(PythonReader, ReadsTheEventsAndTheRecordingBesideTheData) {
  const std::string python = Python();
  if (python.empty()) GTEST_SKIP() << "no python3 with NumPy";
  TTempDir dir;
  TRawPart p{.FirstSample = 100, .Buffers = std::vector<TRawPart::TBuffer>(4, {1000, 0}), .MeasDate = 1614834367};
  p.Buffers[2].SkipBefore = 1;
  p.Onsets = {0.5f};
  p.Ends = {0.75f};
  p.Descriptions = "stim";
  for (const char* name : {"run", "quiet"}) {
    TRecordingInput in = OpenRecording(RawPartFile(p).Write(dir.File(std::string(name) + ".fif")), {true, true}, true);
    TConvertOptions o;
    o.SizeLimit = 20'000;
    o.ChannelTable = o.KeepSkips = true;
    ConvertRecording(PlanConversion(in.Recording(), o));
    p.Onsets.clear(), p.Ends.clear(), p.Buffers[2].SkipBefore = 0;
  }
  const std::string py = dir.File("events.py"), log = dir.File("log.txt");
  std::ofstream(py)
      << "import tessaline_dat as t\n"
      << "for f in ('" << dir.File("run_02.dat") << "', '" << dir.File("run_events.tsv") << "', '"
      << dir.File("quiet_01.dat") << "'):\n"
      << "    e, r = t.read_events(f), t.read_recording(f)\n"
      << "    print(e['onset'].tolist(), e['duration'].tolist(), e['trial_type'], e['sample'].tolist())\n"
      << "    print(r['FirstSample'], r['SkippedSamples'], [o['LastSample'] for o in r['OutputFiles']])\n";
  ASSERT_EQ(Shell("PYTHONPATH='" + std::string(TESSALINE_READERS) + "/python' " + python + " '" + py + "'", log), 0)
      << Slurp(log);
  EXPECT_EQ(Slurp(log),
            "[0.5, 2.0] [0.25, 1.0] ['stim', 'BAD_ACQ_SKIP'] [600, 2100]\n100 1000 [4099, 5099]\n"
            "[0.5, 2.0] [0.25, 1.0] ['stim', 'BAD_ACQ_SKIP'] [600, 2100]\n100 1000 [4099, 5099]\n"
            "[] [] [] []\n100 0 [4099, 4099]\n");
}

// Runs a Scilab, an Octave and a Python script (each where its interpreter is installed), each of
// which writes Out; each run must succeed and write Expect. Returns how many ran.
int InEachEnvironment(const std::string& Sce, const std::string& M, const std::string& Py, const std::string& Out,
                      const std::string& Expect) {
  const std::string readers = TESSALINE_READERS, log = Out + ".log";
  const struct {
    const char* Name;
    const char* Probe;
    std::string Command;
  } kRuns[] = {
      {"Scilab", "command -v scilab-cli", "scilab-cli -nb -nouserstartup -quit -f '" + Sce + "'"},
      {"Octave", "command -v octave-cli", "octave-cli --norc --no-history --quiet '" + M + "'"},
      {"Python", "true", "PYTHONDONTWRITEBYTECODE=1 PYTHONPATH='" + readers + "/python' " + Python() + " '" + Py + "'"},
  };
  int ran = 0;
  for (const auto& r : kRuns) {
    if (!Have(r.Probe) || (std::string(r.Name) == "Python" && Python().empty())) continue;
    std::filesystem::remove(Out);
    EXPECT_EQ(Shell(r.Command, log), 0) << r.Name << "\n" << Slurp(log);
    EXPECT_EQ(Slurp(Out), Expect) << r.Name << "\n" << Slurp(log);
    ++ran;
  }
  return ran;
}

// The channel table read as the README shows it in each environment: names, status and factors
// row by row, against the C++ reading of the same file. Octave's textscan %f is one unit in the
// last place off for some numbers, so the factors are read as texts and turned by str2double.
TEST(ChannelTables, EachEnvironmentReadsTheTableAsWritten) {
  TTempDir dir;
  TFiffBuilder b;
  b.Int(200, 4).Float(201, 250.0f).Float(219, 40.0f);
  b.Channel({.Scan = 1, .Cal = 1e-13f, .Coil = 3024});
  b.Channel({.Scan = 2, .Cal = 3.3e-11f, .Unit = 201});
  b.Channel({.Scan = 3, .Kind = 2, .Cal = 2e-7f, .Coil = 1, .Unit = 107, .Name = "EEG 061"});
  // the fourth row has no record
  b.Tag(220, kTypeInt, BEInts({-1, 1, -1, -1}));
  b.RawBuffer(std::vector<int16_t>(40, 3));
  TFiff f;
  ASSERT_TRUE(f.LoadFiff(b.Write(dir.File("run.fif"))));
  TConvertOptions o;
  o.ChannelTable = true;
  const std::string table = ConvertFiff(f, o).back();

  // The C++ reading: name, status and factor of each row.
  std::string expect;
  std::istringstream in(Slurp(table));
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    std::vector<std::string> cells;
    std::istringstream cols(line);
    for (std::string c; std::getline(cols, c, '\t');) cells.push_back(c);
    char factor[40] = "n/a";
    if (cells.at(7) != "n/a") std::snprintf(factor, sizeof factor, "%.17g", std::stod(cells[7]));
    expect += cells[0] + "|" + cells[6] + "|" + factor + "\n";
  }
  ASSERT_EQ(expect,
            "CH1|good|9.9999998245167004e-14\nCH2|bad|3.2999998567095901e-11\nEEG 061|good|2.0000000233721948e-07\n"
            "n/a|good|n/a\n");

  const std::string out = dir.File("rows.txt");
  const std::string sce = dir.File("rows.sce"), m = dir.File("rows.m"), py = dir.File("rows.py");
  std::ofstream(sce)
      << "t = csvRead('" << table << "', ascii(9), [], 'string');\n"
      << "si = strtod(t(2:$, 8));\nfd = mopen('" << out << "', 'w');\n"
      << "for k = 2:size(t, 1)\n  f = msprintf('%.17g', si(k - 1)); if isnan(si(k - 1)) then f = 'n/a'; end\n"
      << "  mfprintf(fd, '%s|%s|%s\\n', t(k, 1), t(k, 7), f);\nend\nmclose(fd);\n";
  std::ofstream(m)
      << "fid = fopen('" << table << "');\n"
      << "c = textscan(fid, '%s%s%s%s%s%s%s%s%s%s', 'Delimiter', '\\t', 'HeaderLines', 1, 'Whitespace', '');\n"
      << "fclose(fid);\nsi = str2double(c{8});\nfd = fopen('" << out << "', 'w');\n"
      << "for k = 1:numel(c{1})\n  f = sprintf('%.17g', si(k)); if isnan(si(k)) f = 'n/a'; end\n"
      << "  fprintf(fd, '%s|%s|%s\\n', c{1}{k}, c{7}{k}, f);\nend\nfclose(fd);\n";
  std::ofstream(py) << "import math, tessaline_dat\nc = tessaline_dat.read_channels('" << dir.File("run.dat") << "')\n"
                    << "with open('" << out << "', 'w') as o:\n"
                    << "    for n, s, f in zip(c['name'], c['status'], c['si_factor']):\n"
                    << "        o.write(f\"{n}|{s}|{'n/a' if math.isnan(f) else '%.17g' % f}\\n\")\n";
  if (InEachEnvironment(sce, m, py, out, expect) == 0)
    GTEST_SKIP() << "none of scilab-cli, octave-cli and python3 with NumPy is installed";
}

// The epochs of one condition averaged as the README shows it in each environment, against the
// C++ reading of the same file; Python's tables of averages and epochs beside.
TEST(Epochs, EachEnvironmentAveragesACondition) {
  TTempDir dir;
  TFiffBuilder b = ProcessedOpening();
  TRecordingInput in = OpenRecording(
      ProcessedClosing(EpochsBlock(b, nullptr, "a:1;b b:2", 2)).Write(dir.File("s-epo.fif")), {true, true}, true);
  TConvertOptions o;
  o.KeepSkips = true;
  ConvertRecording(PlanConversion(in.Recording(), o));
  const TScilabVar e = FindOne(ReadScilabFile(dir.File("s-epo.dat")), "epochs");
  auto mean = [&](int Row, int Col) { return (e.Reals[12 + Col * 4 + Row] + e.Reals[24 + Col * 4 + Row]) / 2; };
  char expect[100];
  std::snprintf(expect, sizeof expect, "4 3 %.17g %.17g\n", mean(0, 0), mean(3, 1));

  const std::string out = dir.File("mean.txt"), readers = TESSALINE_READERS;
  const std::string sce = dir.File("m.sce"), m = dir.File("m.m"), py = dir.File("m.py");
  const std::string dat = dir.File("s-epo.dat"), table = dir.File("s-epo_epochs.tsv");
  std::ofstream(sce)
      << "exec('" << readers << "/tessaline_load.sci', -1);\ntessaline_load('" << dat << "');\n"
      << "e = csvRead('" << table << "', ascii(9), [], 'string');\n"
      << "m = mean(epochs(:, :, find(e(2:$, 4) == 'b b')), 3);\n"
      << "fd = mopen('" << out << "', 'w');\n"
      << "mfprintf(fd, '%d %d %.17g %.17g\\n', size(m, 1), size(m, 2), m(1, 1), m(4, 2));\nmclose(fd);\n";
  std::ofstream(m) << "addpath('" << readers << "');\ns = tessaline_load('" << dat << "');\n"
                   << "fid = fopen('" << table << "'); e = textscan(fid, '%f%f%f%s', 'Delimiter', '\\t', "
                   << "'HeaderLines', 1); fclose(fid);\n"
                   << "m = mean(s.epochs(:, :, strcmp(e{4}, 'b b')), 3);\n"
                   << "fd = fopen('" << out << "', 'w');\n"
                   << "fprintf(fd, '%d %d %.17g %.17g\\n', size(m, 1), size(m, 2), m(1, 1), m(4, 2));\nfclose(fd);\n";
  std::ofstream(py) << "import numpy as np, tessaline_dat\n"
                    << "v, e = tessaline_dat.read('" << dat << "'), tessaline_dat.read_epochs('" << dat << "')\n"
                    << "m = v['epochs'][:, :, np.array(e['trial_type']) == 'b b'].mean(axis=2)\n"
                    << "assert e['epoch'].tolist() == [1, 2, 3] and e['sample'].tolist() == [100, 250, 400]\n"
                    << "open('" << out << "', 'w').write('%d %d %.17g %.17g\\n' % (m.shape + (m[0, 0], m[3, 1])))\n";
  if (InEachEnvironment(sce, m, py, out, expect) == 0)
    GTEST_SKIP() << "none of scilab-cli, octave-cli and python3 with NumPy is installed";
}

INSTANTIATE_TEST_SUITE_P(
    Environments, Readers, ::testing::Values(TEnv::Scilab, TEnv::Octave, TEnv::Python), [](const auto& Info) {
      return std::string(Info.param == TEnv::Scilab ? "Scilab" : Info.param == TEnv::Octave ? "Octave" : "Python");
    });

}  // namespace
