// Records of FIFF tags: channel information, digitised points, coordinate transforms, and a channel's calibration
// scale.
#include <bit>
#include <cstring>

#include "fiff_f.h"

namespace fiff {

TCalibrationScale CalibrationScale(int32_t ChannelKind, int32_t Coil) {
  TCalibrationScale s;
  s.Unit = ChannelKind == kChKindMeg ? 1e13 : ChannelKind == kChKindEeg ? 1e6 : 1.0;
  if (Coil >= kCoilVvMagW && Coil <= kCoilVvMagT2) s.Coil = 100.0;
  return s;
}

}  // namespace fiff

fiff::TChannelInfo TFiff::ReadChannelInfo(int32_t Index) {
  // The whole record in one read, then its fields in the record's order; bytes past the end are 0.
  uint8_t r[fiff::kChInfoRecordSize];
  SeekTagData(Index);
  ReadBlock(r, sizeof r);
  auto word = [&r](int At) {
    return static_cast<int32_t>((uint32_t{r[At]} << 24) | (uint32_t{r[At + 1]} << 16) | (uint32_t{r[At + 2]} << 8) |
                                r[At + 3]);
  };
  auto single = [&word](int At) { return std::bit_cast<float>(word(At)); };
  fiff::TChannelInfo c;
  c.Scan = word(0);  // then the logical number, which nothing reads
  c.Kind = word(8);
  c.Range = single(12);
  c.Cal = single(16);
  c.Coil = word(20);
  for (int k = 0; k < 12; ++k) c.Loc[k] = single(24 + 4 * k);
  c.Unit = word(72);
  c.UnitMul = word(76);
  const char* name = reinterpret_cast<const char*>(r + 80);
  c.Name.assign(name, strnlen(name, fiff::kChInfoNameSize));
  return c;
}

fiff::TDigPoint TFiff::ReadDigPoint(int32_t Index) {
  fiff::TDigPoint p;
  SeekTagData(Index);
  p.Kind = ReadLong();
  p.Ident = ReadLong();
  for (float& v : p.R) v = ReadSingle();
  return p;
}

fiff::TCoordTrans TFiff::ReadCoordTrans(int32_t Index) {
  fiff::TCoordTrans t;
  SeekTagData(Index);
  t.From = ReadLong();
  t.To = ReadLong();
  for (float& v : t.Values) v = ReadSingle();
  return t;
}
