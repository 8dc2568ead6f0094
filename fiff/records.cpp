// Records of FIFF tags: the channel-information record, a channel's calibration scale, raw value sizes.
#include "fiff_f.h"

namespace fiff {

TCalibrationScale CalibrationScale(int32_t ChannelKind, int32_t Coil) {
  TCalibrationScale s;
  s.Unit = ChannelKind == kChKindMeg ? 1e13 : ChannelKind == kChKindEeg ? 1e6 : 1.0;
  if (Coil >= kCoilVvMagW && Coil <= kCoilVvMagT2) s.Coil = 100.0;
  return s;
}

int64_t RawValueSize(int32_t DataType) {
  switch (DataType) {
    case kTypeInt:
    case kTypeFloat:
      return 4;
    case kTypeDouble:
      return 8;
    default:
      return 2;
  }
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
