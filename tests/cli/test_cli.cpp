// tessaline-convert run as a user runs it: outputs, summary, batch errors, options and exit status.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <filesystem>

#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

#include <nlohmann/json.hpp>

#include "convert_helpers.h"
#include "recording_builder.h"
#include "summary_helpers.h"
#include "text.h"

namespace {

namespace fs = std::filesystem;

struct TRun {
  int Status = -1;
  std::string Out, Err;
};

std::string Slurp(const std::string& Path) {
  std::ifstream in(Path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// Runs tessaline-convert with Args (shell words) in the C locale; standard error is a file.
TRun Cli(const std::string& Args, const TTempDir& Logs) {
  const std::string out = Logs.File("stdout"), err = Logs.File("stderr");
  const int status =
      std::system(("LC_ALL=C '" + std::string(TESSALINE_CLI) + "' " + Args + " > " + out + " 2> " + err).c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
}

// Names as ListDir gives them: sorted, joined by blanks.
std::string ListOf(std::vector<std::string> Names) {
  std::sort(Names.begin(), Names.end());
  std::string s;
  for (const std::string& n : Names) s += (s.empty() ? "" : " ") + n;
  return s;
}

// Text as a JSON string's inside.
std::string EscapeJson(const std::string& Text) {
  const std::string quoted = nlohmann::json(EscapeNonUtf8(Text)).dump();
  return quoted.substr(1, quoted.size() - 2);
}

std::string Lines(const TLines& L) {
  std::string s;
  for (const auto& l : L) s += l + "\n";
  return s;
}

// A small recording of two EEG channels and Buffers buffers of 100 samples each.
TFiffBuilder Recording(int Buffers, int32_t Type = kTypeShort) {
  TFiffBuilder b;
  b.Int(200, 2).Float(201, 100.0f).Channel({.Kind = 2}).Channel({.Scan = 2, .Kind = 2});
  for (int i = 0; i < Buffers; ++i) {
    if (Type == kTypeShort) {
      std::vector<int16_t> s(200);
      for (int k = 0; k < 200; ++k) s[k] = static_cast<int16_t>(i * 200 + k);
      b.RawBuffer(s);
    } else if (Type == kTypeFloat) {
      std::vector<float> v(200);
      for (int k = 0; k < 200; ++k) v[k] = 0.25f * static_cast<float>(k) - 1e-7f * static_cast<float>(i);
      b.Tag(300, kTypeFloat, BEFloats(v));
    } else {
      std::vector<int32_t> v(200);
      for (int k = 0; k < 200; ++k) v[k] = (k % 2 ? -1 : 1) * (2'000'000'000 - k - i);
      b.Tag(300, kTypeInt, BEInts(v));
    }
  }
  return b;
}

TEST(Cli, SameOutputsAndSummaryAsTheWindowsConversion) {
  TTempDir cli, lib, logs;
  std::vector<std::string> inputs;
  for (const char* name : {"brainvision_test_bin_raw.fif", "test-proj.fif", "306m.fif"}) {
    inputs.push_back(PatchedCopy(name, cli.Path()));
    PatchedCopy(name, lib.Path());
  }
  inputs.push_back(Recording(5).Write(cli.File("gen.fif")));
  Recording(5).Write(lib.File("gen.fif"));
  std::string args, expect;
  for (const auto& in : inputs) {
    args += " '" + in + "'";
    expect += Lines(SummaryOf(in)) + "<<<<<< converted fiff >>>>>>\n";
  }
  const TRun r = Cli(args, logs);
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(r.Out, expect);
  EXPECT_EQ(r.Err, "");  // no progress when standard error is not a terminal

  for (const auto& in : inputs) {
    const std::string name = fs::path(in).filename().string();
    const auto made = ConvertFile(lib.File(name));
    for (const auto& file : made.Files) {
      const std::string twin = cli.File(fs::path(file).filename().string());
      EXPECT_EQ(ReadFileBytes(twin), ReadFileBytes(file)) << twin;
    }
  }
}

TEST(Cli, SeriesAtTheSmallestLimitAndTheLargest) {
  TTempDir dir, logs;
  // 2 x 200,000 x 2 bytes a buffer, six buffers: 4.8 MB, over a limit of 1 MB.
  TFiffBuilder b;
  b.Int(200, 2).Float(201, 1000.0f);
  for (int i = 0; i < 6; ++i) b.RawBuffer(std::vector<int16_t>(400'000, static_cast<int16_t>(i)));
  const std::string in = b.Write(dir.File("big.fif"));
  ASSERT_EQ(Cli("-q -l 1 " + in, logs).Status, 0);
  TTempDir ref;
  const auto made = ConvertFile(b.Write(ref.File("big.fif")), 1'000'000);
  ASSERT_EQ(made.Files.size(), 4u);  // 1.6 MB a file: two buffers each, and an empty last one
  for (const auto& f : made.Files)
    EXPECT_EQ(ReadFileBytes(dir.File(fs::path(f).filename().string())), ReadFileBytes(f)) << f;

  TTempDir whole;
  const std::string one = b.Write(whole.File("big.fif"));
  ASSERT_EQ(Cli("--quiet --limit 2147 " + one, logs).Status, 0);
  EXPECT_EQ(ListDir(whole.Path()), "big.dat big.fif big_channels.tsv big_recording.json");

  for (const char* bad : {"0", "2148", "-1", "5x", "''", "99999999999999999999"}) {
    const TRun r = Cli(std::string("-l ") + bad + " " + one, logs);
    EXPECT_EQ(r.Status, 2) << bad;
    EXPECT_NE(r.Err.find("--limit takes a whole number from 1 to 2147"), std::string::npos) << r.Err;
  }
  EXPECT_EQ(ListDir(whole.Path()), "big.dat big.fif big_channels.tsv big_recording.json");
}

TEST(Cli, ABatchGoesOnPastFilesThatFail) {
  TTempDir dir, logs;
  const std::string first = Recording(2).Write(dir.File("first.fif"));
  WriteFileBytes(dir.File("junk.fif"), TBytes(100, 7));
  const std::string floats = Recording(2, kTypeFloat).Write(dir.File("floats.fif"));
  WriteFileBytes(dir.File("v2.fif"), TFiffBuilder(2, 0).Data());
  const std::string blocked = Recording(2).Write(dir.File("blocked.fif"));
  fs::create_directory(dir.File("blocked.dat"));  // its output cannot be written
  const std::string last = Recording(3).Write(dir.File("last.fif"));
  const TRun r = Cli(first + " " + dir.File("junk.fif") + " " + dir.File("v2.fif") + " " + blocked + " " + last +
                         " --like-window " + floats,
                     logs);
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(ListDir(dir.Path()),
            "blocked.dat blocked.fif first.dat first.fif floats.fif junk.fif last.dat last.fif v2.fif");
  EXPECT_NE(r.Out.find("This is not FIFF file\n"), std::string::npos);
  EXPECT_NE(r.Err.find(dir.File("junk.fif") + ": not a FIFF file\n"), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find(dir.File("v2.fif") + ": FIFF version 2.0; tessaline-convert reads FIFF 1.x\n"),
            std::string::npos)
      << r.Err;
  EXPECT_NE(r.Err.find(floats + ": Cannot convert \"" + floats + "\": its raw data buffers hold FIFF data type 4"),
            std::string::npos)
      << r.Err;
  EXPECT_NE(r.Err.find("(with --like-window, add --raw-as-double)"), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find(blocked + ": Cannot create \"" + dir.File("blocked.dat") + "\""), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("4 of 6 files failed"), std::string::npos) << r.Err;
  // Every converted file's block is closed; the failed ones' are not.
  size_t closed = 0;
  for (size_t at = 0; (at = r.Out.find("<<<<<< converted fiff >>>>>>", at)) != std::string::npos; ++at) ++closed;
  EXPECT_EQ(closed, 2u);

  const TRun missing = Cli(dir.File("gone.fif"), logs);
  EXPECT_EQ(missing.Status, 1);
  EXPECT_NE(missing.Err.find(dir.File("gone.fif") + ": Cannot open"), std::string::npos) << missing.Err;
}

TEST(Cli, OutputFolderAndNamesThatClash) {
  TTempDir dir, logs;
  fs::create_directories(dir.File("a"));
  fs::create_directories(dir.File("b"));
  fs::create_directories(dir.File("out"));
  const std::string a = Recording(2).Write(dir.File("a/run.fif"));
  const std::string b = Recording(3).Write(dir.File("b/run.fif"));
  ::chmod(dir.File("a").c_str(), 0555);  // inputs in a read-only archive
  const TRun r = Cli("-q -o " + dir.File("out") + " " + a + " " + b, logs);
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Out, "");
  EXPECT_EQ(ListDir(dir.File("out")), "run.dat run_channels.tsv run_recording.json");
  EXPECT_EQ(ListDir(dir.File("a")), "run.fif");
  EXPECT_NE(r.Err.find(b + ": Cannot convert \"" + b + "\": its output file \"" + dir.File("out/run.dat") +
                       "\" was written for \"" + a + "\""),
            std::string::npos)
      << r.Err;
  TTempDir ref;
  EXPECT_EQ(ReadFileBytes(dir.File("out/run.dat")),
            ReadFileBytes(ConvertFile(Recording(2).Write(ref.File("run.fif"))).Files.at(0)));

  // Beside their inputs too: run.fif and run.fiff would both give run.dat.
  const std::string twin = Recording(3).Write(dir.File("b/run.fiff"));
  const TRun beside = Cli("-q " + b + " " + twin, logs);
  EXPECT_EQ(beside.Status, 1);
  EXPECT_NE(beside.Err.find(twin + ": Cannot convert"), std::string::npos) << beside.Err;
  EXPECT_EQ(ListDir(dir.File("b")), "run.dat run.fif run.fiff run_channels.tsv run_recording.json");

  for (const auto& [folder, why] : {std::pair{dir.File("nowhere"), "does not exist"}, {a, "is not a folder"}}) {
    const TRun missing = Cli("-o " + folder + " " + b, logs);
    EXPECT_EQ(missing.Status, 2);
    EXPECT_NE(missing.Err.find("the output folder '" + folder + "' " + why), std::string::npos) << missing.Err;
  }

  // No input is an output: a FIFF file named run.dat is not replaced by run.fif's output, by any
  // spelling, and the same file named twice is converted once.
  TTempDir same;
  const std::string in = Recording(2).Write(same.File("run.fif"));
  Recording(3).Write(same.File("run.dat"));
  const TBytes older = ReadFileBytes(same.File("run.dat"));
  const TRun clash = Cli("-q " + in + " " + same.Path() + "/./run.dat", logs);
  EXPECT_EQ(clash.Status, 1);
  EXPECT_NE(clash.Err.find(in + ": Cannot convert \"" + in + "\": the output file \"" + same.File("run.dat") +
                           "\" would overwrite \"" + same.Path() + "/./run.dat\", an input of this run"),
            std::string::npos)
      << clash.Err;
  EXPECT_EQ(ReadFileBytes(same.File("run.dat")), older);
  const TRun twice = Cli(in + " " + same.Path() + "/../" + BaseName(same.Path()) + "/run.fif", logs);
  EXPECT_EQ(twice.Status, 0) << twice.Err;
  EXPECT_NE(twice.Out.find("/run.fif: the same file as " + in + ", converted once"), std::string::npos);
}

// Every write and every rename of a conversion failing in turn, over the older conversion of
// another recording: the folder then holds the older files as they were, or every new one and
// nothing of the older conversion (its events table and third file), never a mix.
TEST(Cli, AFailureAtAnyWriteOrRenameLeavesOneWholeConversion) {
  TTempDir dir, logs, src, ref;
  using TFolder = std::map<std::string, TBytes>;
  auto snapshot = [](const std::string& Dir) {
    TFolder files;
    for (const auto& e : fs::directory_iterator(Dir)) files[e.path().filename()] = ReadFileBytes(e.path());
    return files;
  };
  // 4 kB a buffer: 600 buffers give three files over a limit of 1 MB, 350 give two.
  auto recording = [&](const char* Name, int Buffers, bool Annotated) {
    TRawPart p{.Channels = 2, .FirstSample = 0, .Buffers = std::vector<TRawPart::TBuffer>(Buffers, {1000, 0})};
    if (Annotated) p.Onsets = {0.5f}, p.Ends = {1.0f}, p.Descriptions = "blink";
    fs::create_directories(src.File(Name));
    return RawPartFile(p).Write(src.File(std::string(Name) + "/run.fif"));
  };
  const std::string older = recording("older", 600, true), newer = recording("newer", 350, false);
  const std::string options = "-q -l 1 --format dat,sod ";
  ASSERT_EQ(Cli(options + "-o " + dir.Path() + " " + older, logs).Status, 0);
  ASSERT_EQ(Cli(options + "-o " + ref.Path() + " " + newer, logs).Status, 0);
  const TFolder before = snapshot(dir.Path()), after = snapshot(ref.Path());
  ASSERT_EQ(before.size(), 9u);  // three of each format, the channel and events tables, the record
  ASSERT_EQ(after.size(), 6u);
  // Scilab 6's files hold the time they were written: their names are compared, the rest by bytes.
  auto isAfter = [&](const TFolder& F) {
    if (F.size() != after.size()) return false;
    for (const auto& [name, bytes] : F)
      if (!after.count(name) || (!name.ends_with(".sod") && after.at(name) != bytes)) return false;
    return true;
  };
  const std::string fault = "ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD=" + std::string(TESSALINE_FAULT_INJECT) +
                            " FAULT_COUNT=" + logs.File("count") + " FAULT_AT=";
  int calls = 0;
  for (int at = 0; at == 0 || at <= calls; ++at) {
    for (const auto& e : fs::directory_iterator(dir.Path())) fs::remove(e.path());
    for (const auto& [name, bytes] : before) WriteFileBytes(dir.File(name), bytes);
    const int status = std::system((fault + std::to_string(at) + " '" + TESSALINE_CLI + "' " + options + "-o " +
                                    dir.Path() + " " + newer + " 2> " + logs.File("err"))
                                       .c_str());
    if (at == 0) calls = std::stoi(Slurp(logs.File("count")));
    const TFolder now = snapshot(dir.Path());
    if (WEXITSTATUS(status) == 0)
      EXPECT_TRUE(isAfter(now)) << "a success at call " << at << " left " << ListDir(dir.Path());
    else
      EXPECT_TRUE(now == before || isAfter(now)) << "call " << at << " left " << ListDir(dir.Path());
  }
  EXPECT_GT(calls, 12);  // the writes of six files and their renames at least
}

TEST(Cli, WideRawDataKeepTheStoredValues) {
  TTempDir dir, logs;
  for (int32_t type : {kTypeFloat, kTypeInt}) {
    const TFiffBuilder b = Recording(3, type);
    const std::string in = b.Write(dir.File("wide.fif"));
    EXPECT_EQ(Cli("-q --like-window " + in, logs).Status, 1);  // the window refuses them
    ASSERT_EQ(Cli("-q --like-window --raw-as-double " + in, logs).Status, 0);
    const TBytes asked = ReadFileBytes(dir.File("wide.dat"));
    ASSERT_EQ(Cli("-q " + in, logs).Status, 0);  // the default
    EXPECT_EQ(ReadFileBytes(dir.File("wide.dat")), asked);
    const auto vars = ReadScilabFile(dir.File("wide.dat"));
    const TScilabVar& raw = FindOne(vars, "raw_data");
    ASSERT_EQ(raw.Type, TScilabVar::RealMatrix);
    ASSERT_EQ(raw.Rows, 2);
    ASSERT_EQ(raw.Cols, 300);
    for (int i = 0; i < 3; ++i)
      for (int k = 0; k < 200; ++k) {
        const double stored = type == kTypeFloat
                                  ? static_cast<double>(0.25f * static_cast<float>(k) - 1e-7f * static_cast<float>(i))
                                  : (k % 2 ? -1.0 : 1.0) * (2'000'000'000 - k - i);
        ASSERT_EQ(raw.Real(k % 2, i * 100 + k / 2), stored) << type << " " << i << " " << k;
      }
    EXPECT_EQ(FindOne(vars, "CalXRnge").Reals, (std::vector<double>{1e6, 1e6, 100.0}));
  }
  // 16-bit data are the same bytes with the option or without.
  const std::string in = Recording(3).Write(dir.File("short.fif"));
  ASSERT_EQ(Cli("-q " + in, logs).Status, 0);
  const TBytes plain = ReadFileBytes(dir.File("short.dat"));
  ASSERT_EQ(Cli("-q --raw-as-double " + in, logs).Status, 0);
  EXPECT_EQ(ReadFileBytes(dir.File("short.dat")), plain);
}

// The real files of version 1.3 and generated ones of every kind of version word.
TEST(Cli, ReadsEveryFiff1xByDefaultAndOnly11LikeTheWindow) {
  TTempDir dir, patched, logs;
  for (const char* name : {"brainvision_test_bin_raw.fif", "test-proj.fif"}) {
    const std::string original = dir.File(name);
    WriteFileBytes(original, ReadFileBytes(TestDataPath(name)));
    const std::string copy = PatchedCopy(name, patched.Path());
    const std::string out = fs::path(name).replace_extension(".dat").string();
    ASSERT_EQ(Cli("-q " + original, logs).Status, 0) << name;
    ASSERT_EQ(Cli("-q --like-window --raw-as-double " + copy, logs).Status, 0) << name;
    EXPECT_EQ(ReadFileBytes(dir.File(out)), ReadFileBytes(patched.File(out))) << name;
    fs::remove(dir.File(out));
    const TRun window = Cli("--like-window " + original, logs);
    EXPECT_EQ(window.Status, 1);
    EXPECT_EQ(window.Out, "This is not FIFF file\n");
    EXPECT_EQ(window.Err, "tessaline-convert: " + original +
                              ": FIFF version 1.3; --like-window reads FIFF 1.1 only, as the window; without it "
                              "tessaline-convert reads it\n");
    EXPECT_FALSE(fs::exists(dir.File(out))) << name;
  }

  const TBytes reference = [&] {
    Cli("-q " + Recording(2).Write(dir.File("v11.fif")), logs);
    return ReadFileBytes(dir.File("v11.dat"));
  }();
  const struct {
    int16_t Major, Minor;
    bool Read;
    const char* Version;
  } kVersions[] = {{1, 0, true, "1.0"},      {1, 2, true, "1.2"},  {1, 3, true, "1.3"},  {1, 4, true, "1.4"},
                   {1, -1, true, "1.65535"}, {0, 1, false, "0.1"}, {2, 1, false, "2.1"}, {-1, 1, false, "65535.1"}};
  for (const auto& v : kVersions) {
    TFiffBuilder b(v.Major, v.Minor);
    TFiffBuilder body = Recording(2);
    b.Bytes(TBytes(body.Data().begin() + 36, body.Data().end()));  // the same tags after the signature
    const std::string in = b.Write(dir.File("v.fif"));
    const TRun r = Cli("-q " + in, logs);
    EXPECT_EQ(r.Status, v.Read ? 0 : 1) << v.Version;
    if (v.Read) {
      EXPECT_EQ(ReadFileBytes(dir.File("v.dat")), reference) << v.Version;
      fs::remove(dir.File("v.dat"));
    } else {
      EXPECT_EQ(r.Err,
                "tessaline-convert: " + in + ": FIFF version " + v.Version + "; tessaline-convert reads FIFF 1.x\n");
      EXPECT_FALSE(fs::exists(dir.File("v.dat"))) << v.Version;
    }
  }
}

// Runs gzip on a copy of Data and returns the compressed bytes.
TBytes Gzipped(const TBytes& Data, const TTempDir& Dir) {
  WriteFileBytes(Dir.File("plain"), Data);
  if (std::system(("gzip -nf " + Dir.File("plain")).c_str()) != 0) throw std::runtime_error("gzip failed");
  return ReadFileBytes(Dir.File("plain.gz"));
}

TEST(Cli, GzipFilesAreReadAsTheFileInside) {
  TTempDir dir, plain, logs;
  const TFiffBuilder rec = Recording(4);
  const std::string in = rec.Write(plain.File("run_raw.fif"));
  const TRun ref = Cli(in, logs);
  ASSERT_EQ(ref.Status, 0);
  const TBytes packed = Gzipped(rec.Data(), logs);
  const std::string gz = dir.File("run_raw.fif.gz");
  WriteFileBytes(gz, packed);

  const TRun r = Cli(gz, logs);
  EXPECT_EQ(r.Status, 0) << r.Err;
  EXPECT_EQ(ListDir(dir.Path()), "run_raw.dat run_raw.fif.gz run_raw_channels.tsv run_raw_recording.json");
  EXPECT_EQ(ReadFileBytes(dir.File("run_raw.dat")), ReadFileBytes(plain.File("run_raw.dat")));
  EXPECT_EQ(ReadFileBytes(dir.File("run_raw_channels.tsv")), ReadFileBytes(plain.File("run_raw_channels.tsv")));
  std::string expect = ref.Out;
  expect.replace(0, in.size(), gz);  // the same summary, under the compressed file's name
  EXPECT_EQ(r.Out, expect);
  EXPECT_EQ(ReadFileBytes(gz), packed);  // the input is never changed
  for (const char* out : {"run_raw.dat", "run_raw_channels.tsv", "run_raw_recording.json"}) fs::remove(dir.File(out));

  // Faults of the compressed file: each an error naming it, nothing written.
  TBytes crc = packed, bomb = packed;
  crc[crc.size() - 8] ^= 0x55;
  const uint32_t huge = 0x80000000u;  // the stated length: 2 GiB
  std::memcpy(bomb.data() + bomb.size() - 4, &huge, 4);
  const struct {
    const char* Case;
    TBytes Data;
    const char* Why;
  } kBroken[] = {
      {"cut in its data", TBytes(packed.begin(), packed.begin() + packed.size() / 2),
       "the compressed data are damaged or cut short"},
      {"cut in its trailer", TBytes(packed.begin(), packed.end() - 1),
       "the gzip file is cut short (its trailer is missing)"},
      {"a damaged checksum", crc, "the gzip checksum does not match: the data are damaged"},
      {"too large", bomb,
       "the gzip trailer states 2147483648 bytes, more than any FIFF file holds (or the file is cut short)"},
  };
  for (const auto& b : kBroken) {
    WriteFileBytes(gz, b.Data);
    const TRun bad = Cli(gz, logs);
    EXPECT_EQ(bad.Status, 1) << b.Case;
    EXPECT_EQ(bad.Out, "") << b.Case;
    EXPECT_EQ(bad.Err, "tessaline-convert: " + gz + ": Cannot read \"" + gz + "\": " + b.Why + "\n") << b.Case;
    EXPECT_EQ(ListDir(dir.Path()), "run_raw.fif.gz") << b.Case;
  }

  // A .gz of something else is no FIFF file; the window's rules read no .gz at all.
  WriteFileBytes(gz, Gzipped(TBytes(100, 7), logs));
  const TRun junk = Cli(gz, logs);
  EXPECT_EQ(junk.Status, 1);
  EXPECT_EQ(junk.Out, "This is not FIFF file\n");
  WriteFileBytes(gz, packed);
  const TRun window = Cli("--like-window " + gz, logs);
  EXPECT_EQ(window.Status, 1);
  EXPECT_EQ(window.Out, "This is not FIFF file\n");
  EXPECT_NE(window.Err.find("--like-window reads no .gz"), std::string::npos) << window.Err;
  EXPECT_EQ(ListDir(dir.Path()), "run_raw.fif.gz");
}

// Named in a glob's order, the parts of a split recording convert once, from the first; each later
// part says which recording it belongs to. With --no-join a part converts alone.
TEST(Cli, ASplitRecordingConvertsOnceFromItsFirstPart) {
  TTempDir dir, logs;
  const std::vector<std::string> names = {"run_raw.fif", "run_raw-1.fif", "run_raw-2.fif"};
  const std::vector<TRawPart> parts = SplitRecording(names, true);
  for (size_t k = 0; k < parts.size(); ++k) RawPartFile(parts[k]).Write(dir.File(names[k]));
  const TRun r = Cli(dir.File("run_raw-1.fif") + " " + dir.File("run_raw.fif"), logs);
  EXPECT_EQ(r.Status, 0) << r.Err;
  for (const std::string line :
       {dir.File("run_raw-1.fif") + ": part 2 of the recording " + dir.File("run_raw.fif") + ", converted with it\n",
        "joined " + dir.File("run_raw-1.fif") + " (2.0 sec)\njoined " + dir.File("run_raw-2.fif") + " (2.0 sec)\n"})
    EXPECT_NE(r.Out.find(line), std::string::npos) << r.Out;
  EXPECT_EQ(ListDir(dir.Path()),
            "run_raw-1.fif run_raw-2.fif run_raw.dat run_raw.fif run_raw_channels.tsv run_raw_events.tsv "
            "run_raw_recording.json");
  EXPECT_EQ(FindOne(ReadScilabFile(dir.File("run_raw.dat")), "raw_data").Cols, 7000);
  ASSERT_EQ(Cli("-q --no-join " + dir.File("run_raw-1.fif"), logs).Status, 0);
  EXPECT_EQ(FindOne(ReadScilabFile(dir.File("run_raw-1.dat")), "raw_data").Cols, 2000);
}

TEST(Cli, SummaryOnlyWritesNothing) {
  TTempDir dir, logs;
  const std::string in = Recording(2).Write(dir.File("run.fif"));
  const TRun r = Cli("--summary-only " + in, logs);
  EXPECT_EQ(r.Status, 0);
  EXPECT_EQ(r.Out, Lines(SummaryOf(in)));
  EXPECT_EQ(ListDir(dir.Path()), "run.fif");
  EXPECT_EQ(Cli("-n -q " + in, logs).Out, "");
  // A choice adds what it keeps after the summary; one the file cannot meet is a usage error.
  const TRun kept = Cli("-n --pick CH2 --tmax 0.5 " + in, logs);
  EXPECT_EQ(kept.Status, 0) << kept.Err;
  EXPECT_EQ(kept.Out, Lines(SummaryOf(in)) + "kept 1 of 2 channels, 0.000\u2013" + "0.500 s\n");
  const TRun none = Cli("-q --pick CH3 " + in, logs);
  EXPECT_EQ(none.Status, 2);
  EXPECT_EQ(none.Err, "tessaline-convert: " + in + ": Cannot convert \"" + in +
                          "\": --pick 'CH3' names no channel of the file\n");
  EXPECT_EQ(ListDir(dir.Path()), "run.fif");
}

// The table comes with the default conversion only: the window's rules write none.
TEST(Cli, SidecarsByDefaultAndTheFormatsAsked) {
  TTempDir dir, logs, out;
  const std::string in = Recording(2).Write(dir.File("run.fif"));
  ASSERT_EQ(Cli("-q --like-window " + in, logs).Status, 0);
  EXPECT_EQ(ListDir(dir.Path()), "run.dat run.fif");
  ASSERT_EQ(Cli("-q --format mat,sod -o " + out.Path() + " " + in, logs).Status, 0);
  EXPECT_EQ(ListDir(out.Path()), "run.mat run.sod run_channels.tsv run_recording.json");
  ASSERT_EQ(Cli("-q " + in, logs).Status, 0);
  EXPECT_EQ(ListDir(dir.Path()), "run.dat run.fif run_channels.tsv run_recording.json");
  const TBytes table = ReadFileBytes(dir.File("run_channels.tsv"));
  EXPECT_EQ(std::string(table.begin(), table.end()),
            "name\ttype\tunits\tsampling_frequency\tlow_cutoff\thigh_cutoff\tstatus\tsi_factor\tfiff_kind\t"
            "fiff_coil_type\n"
            "CH1\tEEG\tT\t100\tn/a\tn/a\tgood\t1\t2\t3012\n"
            "CH2\tEEG\tT\t100\tn/a\tn/a\tgood\t1\t2\t3012\n");
}

// A stim channel that changes on every sample: every event written, the close ones said to be,
// and the events beyond what the table may take left out, said to be.
TEST(Cli, TriggerEventsMnePythonRefusesOrTooManyAreSaid) {
  TTempDir dir, logs;
  const std::string in = RawPartFile({.Buffers = std::vector<TRawPart::TBuffer>(100, {1000, 0}),
                                      .Stim = [](int64_t S) -> int16_t { return static_cast<int16_t>(S % 3 + 1); }})
                             .Write(dir.File("run.fif"));
  const TRun r = Cli("-q " + in, logs);
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Err.find("trigger events follow the one before by fewer than 2 samples"), std::string::npos) << r.Err;
  EXPECT_NE(r.Err.find("the trigger events after that are left out"), std::string::npos) << r.Err;
  const TBytes table = ReadFileBytes(dir.File("run_events.tsv"));
  const auto rows = std::count(table.begin(), table.end(), '\n') - 1;
  // Of 100,000 samples, the steps kept are bounded by the budget (1/64 of it), the events by them.
  EXPECT_GT(rows, 40'000);
  EXPECT_LT(rows, 66'667);
}

// Names of every kind give UTF-8 sidecars that parse (bytes that are not UTF-8 written \xHH); an
// older conversion's files that this one does not write go, and only those: never a file its
// record names outside the folder, under another name, or an input.
TEST(Cli, HostileNamesAndTheRecordOfAnOlderConversion) {
  for (const std::string name :
       {std::string("r\xe9sum\xe9_raw"), std::string("quote\"and\\back"), std::string("tab\tname")}) {
    TTempDir dir, logs;
    const std::string in = Recording(2).Write(dir.File(name + ".fif"));
    WriteFileBytes(dir.File(name + "_events.tsv"), {1});  // listed by the older record below: stale
    WriteFileBytes(dir.File("victim.dat"), {2});
    const std::string older = "{\"OutputFiles\": [{\"File\": \"../" + BaseName(dir.Path()) +
                              "/victim.dat\"}, {\"File\": \"victim.dat\"}], \"EventsFile\": \"" + EscapeJson(name) +
                              "_events.tsv\", \"SourceFile\": \"" + EscapeJson(name) + ".fif\"}";
    WriteFileBytes(dir.File(name + "_recording.json"), TBytes(older.begin(), older.end()));
    const TRun r = Cli("-q '" + in + "'", logs);
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(ListDir(dir.Path()),
              ListOf({name + ".dat", name + ".fif", name + "_channels.tsv", name + "_recording.json", "victim.dat"}))
        << name;
    const TBytes record = ReadFileBytes(dir.File(name + "_recording.json"));
    const nlohmann::json j = nlohmann::json::parse(std::string(record.begin(), record.end()));
    EXPECT_EQ(j["SourceFiles"][0], EscapeNonUtf8(name) + ".fif");
  }
}

TEST(Cli, HelpVersionAndUsageErrors) {
  TTempDir logs;
  const TRun help = Cli("--help", logs);
  EXPECT_EQ(help.Status, 0);
  EXPECT_EQ(help.Out.rfind("Usage: tessaline-convert [options] FILE...", 0), 0u);
  for (const char* option : {"--raw-as-double   the default", "--like-window", ".fif.gz", "--format LIST", "--no-join",
                             "--stim-channel NAMES", "NAME_averages.tsv", "NAME_epochs.tsv"})
    EXPECT_NE(help.Out.find(option), std::string::npos) << option;
  const TRun version = Cli("--version", logs);
  EXPECT_EQ(version.Status, 0);
  EXPECT_EQ(version.Out, "tessaline-convert (Tessaline) 1.1.0\n");
  for (const char* args :
       {"", "--frobnicate x.fif", "-z x.fif", "-l", "--format dat,xls x.fif", "--format '' x.fif",
        "--like-window --format dat x.fif", "--pick mag, x.fif", "--tmin nan x.fif", "--tmax 1s x.fif",
        "--units volts x.fif", "--precision single x.fif", "--units si --precision single x.fif",
        "--like-window --pick mag x.fif", "--stim-channel STI,,X x.fif", "--consecutive sometimes x.fif",
        "--mask 0x1z x.fif", "--mask-type or x.fif", "--min-duration 2ms x.fif"}) {
    const TRun r = Cli(args, logs);
    EXPECT_EQ(r.Status, 2) << args;
    EXPECT_NE(r.Err.find("Try 'tessaline-convert --help'"), std::string::npos) << args << r.Err;
  }
}

// The program is held in the middle of its raw data by a terminal nobody reads: its progress
// line fills the terminal's buffer and the next write waits. A signal then finds the file half
// written, however fast the machine is.
TEST(Cli, AnInterruptLeavesNothingAndSaysWhatWasNotWritten) {
  TTempDir dir, logs;
  TFiffBuilder b;
  b.Int(200, 1).Float(201, 1.0f);
  for (int i = 0; i < 20000; ++i) b.RawBuffer({static_cast<int16_t>(i)});  // a progress line per sample
  const std::string in = b.Write(dir.File("run.fif"));
  fs::create_directories(dir.File("out"));
  WriteFileBytes(dir.File("out/run.dat"), {4, 5, 6});

  for (const int signal : {SIGINT, SIGTERM}) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const std::string slave = ::ptsname(master);
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
      const int tty = ::open(slave.c_str(), O_RDWR);
      const int out = ::open(logs.File("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (tty < 0 || out < 0) ::_exit(120);
      ::dup2(tty, STDERR_FILENO);
      ::dup2(out, STDOUT_FILENO);
      // As from an interactive shell: a test run in the background inherits SIGINT ignored.
      for (int s : {SIGINT, SIGTERM}) ::signal(s, SIG_DFL);
      ::execl(TESSALINE_CLI, TESSALINE_CLI, "-q", "-o", dir.File("out").c_str(), in.c_str(), nullptr);
      ::_exit(121);
    }
    // Wait until the hidden temporary file is there, then interrupt.
    bool writing = false;
    for (int tries = 0; tries < 60000 && !writing; ++tries) {
      for (const auto& e : fs::directory_iterator(dir.File("out")))
        writing = writing || e.path().filename().string().rfind(".run.dat.", 0) == 0;
      if (!writing) ::usleep(1000);
    }
    ASSERT_TRUE(writing);
    ::kill(pid, signal);
    // Drain the terminal until the program is gone, so its last line can be written.
    std::string seen;
    char chunk[4096];
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    int status = 0;
    for (bool gone = false; !gone;) {
      gone = ::waitpid(pid, &status, WNOHANG) == pid;
      for (ssize_t n; (n = ::read(master, chunk, sizeof chunk)) > 0;) seen.append(chunk, static_cast<size_t>(n));
      if (!gone) {
        pollfd p{master, POLLIN, 0};
        ::poll(&p, 1, 100);
      }
    }
    ::close(master);
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), signal);
    EXPECT_NE(seen.find("tessaline-convert: interrupted; \"" + dir.File("out/run.dat") + "\" was not written"),
              std::string::npos)
        << seen.substr(seen.size() > 300 ? seen.size() - 300 : 0);
    EXPECT_EQ(ListDir(dir.File("out")), "run.dat");  // neither the output nor its table
    EXPECT_EQ(ReadFileBytes(dir.File("out/run.dat")), (TBytes{4, 5, 6}));
  }
}

TEST(Cli, ProgressOnlyOnATerminal) {
  if (std::system("command -v script > /dev/null 2>&1") != 0) GTEST_SKIP() << "no 'script' to give a terminal";
  TTempDir dir, logs;
  const std::string in = Recording(4).Write(dir.File("run.fif"));
  // script(1) runs the program on a terminal; its standard output goes away, standard error stays.
  const std::string log = logs.File("tty");
  const int status = std::system(
      ("script -qec \"'" + std::string(TESSALINE_CLI) + "' " + in + " > /dev/null\" " + log + " > /dev/null 2>&1")
          .c_str());
  ASSERT_EQ(WEXITSTATUS(status), 0);
  const std::string seen = Slurp(log);
  EXPECT_NE(seen.find("\r" + in + " -> " + dir.File("run.dat") + ": 4.0 sec written, 100%"), std::string::npos) << seen;
  EXPECT_EQ(Cli("-q " + in, logs).Err, "");
}

}  // namespace
