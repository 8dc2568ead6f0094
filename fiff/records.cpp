// Records of FIFF tags: the channel-information record and a channel's calibration scale.
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
  // Scan number, logical number, kind, range, calibration, coil type, location: one after another.
  fiff::TChannelInfo c;
  SeekTagData(Index);
  c.Scan = ReadLong();
  ReadLong();  // the logical number
  c.Kind = ReadLong();
  c.Range = ReadSingle();
  c.Cal = ReadSingle();
  c.Coil = ReadLong();
  for (float& v : c.Loc) v = ReadSingle();
  return c;
}
