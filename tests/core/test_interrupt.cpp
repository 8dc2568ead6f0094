// Signals in a conversion: the temporary goes, older outputs and completed files stay, the signal ends the program.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

#include "convert_helpers.h"
#include "interrupt_cleanup.h"

namespace {

namespace fs = std::filesystem;

// Two channels, Buffers buffers of 100 samples.
TFiffBuilder Recording(int Buffers) {
  TFiffBuilder b;
  b.Int(200, 2).Float(201, 100.0f);
  for (int i = 0; i < Buffers; ++i) b.RawBuffer(std::vector<int16_t>(200, static_cast<int16_t>(i)));
  return b;
}

// Converts Input in a child that raises Signal on itself after the third buffer; returns the
// child's wait status. Its standard error goes to ErrFile.
int ConvertAndRaise(const std::string& Input, int64_t Limit, int Signal, const std::string& ErrFile,
                    unsigned Formats = TFormat::Dat) {
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (!std::freopen(ErrFile.c_str(), "w", stderr)) ::_exit(3);
    const rlimit noCore{0, 0};  // SIGQUIT would dump core
    ::setrlimit(RLIMIT_CORE, &noCore);
    // As from an interactive shell: a test run in the background inherits SIGINT ignored.
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::signal(s, SIG_DFL);
    InstallInterruptCleanup("tessaline-convert");
    TFiff f;
    if (!f.LoadFiff(Input)) ::_exit(4);
    int buffers = 0;
    TConvertOptions o;
    o.SizeLimit = Limit;
    o.Formats = Formats;
    ConvertFiff(f, o, [&](const TConvertProgress& P) {
      if (!P.RawDataDone && ++buffers == 3) ::raise(Signal);
    });
    ::_exit(0);  // not reached: the signal ends the child
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

std::string Slurp(const std::string& Path) {
  const TBytes b = ReadFileBytes(Path);
  return std::string(b.begin(), b.end());
}

TEST(Interrupt, TheFileBeingWrittenGoesAndTheSignalEndsTheProgram) {
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    TTempDir dir, logs;
    const std::string in = Recording(6).Write(dir.File("run.fif"));
    WriteFileBytes(dir.File("run.dat"), {1, 2, 3});  // an older output
    const int status = ConvertAndRaise(in, 50'000'000, signal, logs.File("err"));
    ASSERT_TRUE(WIFSIGNALED(status)) << signal << " " << status;
    EXPECT_EQ(WTERMSIG(status), signal);
    EXPECT_EQ(ListDir(dir.Path()), "run.dat run.fif") << signal;  // no hidden temporary either
    EXPECT_EQ(ReadFileBytes(dir.File("run.dat")), (TBytes{1, 2, 3}));
    EXPECT_EQ(Slurp(logs.File("err")),
              "tessaline-convert: interrupted; \"" + dir.File("run.dat") + "\" was not written\n");
  }
}

// In every format, and the files of a series completed before it: every file of the conversion
// goes, each named, since they are put in place together.
TEST(Interrupt, ASeriesLeavesNoneOfItsFiles) {
  TTempDir dir, logs;
  // 400 bytes a buffer over a limit of 700: two buffers a file; the third buffer is the first
  // of the second file, so the first file is complete when the signal comes.
  const std::string in = Recording(6).Write(dir.File("run.fif"));
  WriteFileBytes(dir.File("run_01.dat"), {4, 5});  // an older output
  const int status = ConvertAndRaise(in, 700, SIGTERM, logs.File("err"), TFormat::Dat | TFormat::Sod | TFormat::Mat);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(WTERMSIG(status), SIGTERM);
  EXPECT_EQ(ListDir(dir.Path()), "run.fif run_01.dat");
  EXPECT_EQ(ReadFileBytes(dir.File("run_01.dat")), (TBytes{4, 5}));
  std::string said;
  for (const char* file : {"run_01.dat", "run_01.sod", "run_01.mat", "run_02.dat", "run_02.sod", "run_02.mat"})
    said += "tessaline-convert: interrupted; \"" + dir.File(file) + "\" was not written\n";
  EXPECT_EQ(Slurp(logs.File("err")), said);
}

TEST(Interrupt, TheTemporaryFileIsHiddenWhileItIsWritten) {
  TTempDir dir;
  const std::string in = Recording(3).Write(dir.File("run.fif"));
  std::vector<std::string> seen;
  ConvertFile(in, 50'000'000, [&](const TConvertProgress&) {
    for (const auto& e : fs::directory_iterator(dir.Path())) seen.push_back(e.path().filename().string());
  });
  ASSERT_FALSE(seen.empty());
  for (const std::string& name : seen)
    if (name != "run.fif") EXPECT_EQ(name.rfind(".run.dat.", 0), 0u) << name;
  EXPECT_EQ(ListDir(dir.Path()), "run.dat run.fif");
}

}  // namespace
