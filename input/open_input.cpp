// The one way in: an input opened once and loaded by the rules asked for (FIFF 1.1, or any 1.x and .fif.gz).
#include "gzip_input.h"
#include "input.h"

namespace {

bool EndsWith(const std::string& Text, const std::string& End) {
  return Text.size() >= End.size() && Text.compare(Text.size() - End.size(), End.size(), End) == 0;
}

}  // namespace

TInput OpenInput(const std::string& Path, const TReadRules& Rules) {
  TInput in;
  in.OutputName = Path;
  std::optional<TInputFile> file = OpenInputFile(Path);
  if (!file) {
    in.Refusal = TRefusal::Missing;
    return in;
  }
  auto reader = std::make_unique<TFiff>();
  const bool gzip = EndsWith(Path, ".gz") && file->HeadLength >= 2 && file->Head[0] == 0x1f && file->Head[1] == 0x8b;
  bool loaded;
  if (gzip && Rules.Gzip) {
    // run_raw.fif.gz gives run_raw.dat, as its decompressed run_raw.fif would.
    int64_t size = 0;
    std::shared_ptr<const uint8_t> image = InflateGzipFile(*file, Path, size);
    loaded = reader->LoadFiffImage(Path, std::move(image), size, Rules.AnyMinorVersion,
                                   TFileIdentity{file->Device, file->Inode, true});
    in.OutputName.resize(Path.size() - 3);
  } else {
    loaded = reader->LoadFiff(std::move(*file), Path, Rules.AnyMinorVersion);
  }
  in.Version = reader->Version();
  if (loaded)
    in.Reader = std::move(reader);
  else
    in.Refusal = gzip && !Rules.Gzip ? TRefusal::GzipNotRead : TRefusal::NotFiff;
  return in;
}
