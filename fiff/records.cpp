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

const char* MneChannelType(const TChannelInfo& Channel) {
  switch (Channel.Kind) {
    case 1: return Channel.Unit == 201 ? "grad" : Channel.Unit == 112 ? "mag" : nullptr;
    case 2:
      switch (Channel.Coil) {
        case 0:
        case 1:
        case 5: return "eeg";
        case 6: return "csd";
        default: return nullptr;
      }
    case 1100:
      switch (Channel.Coil) {
        case 300: return "hbo";
        case 301: return "hbr";
        case 302: return "fnirs_cw_amplitude";
        case 303: return "fnirs_od";
        case 304: return "fnirs_fd_ac_amplitude";
        case 305: return "fnirs_fd_phase";
        default: return nullptr;
      }
    case 301: return "ref_meg";
    case 3: return "stim";
    case 202: return "eog";
    case 302: return "emg";
    case 402: return "ecg";
    case 602: return "resp";
    case 502: return "misc";
    case 920: return "exci";
    case 910: return "ias";
    case 900: return "syst";
    case 802: return "seeg";
    case 803: return "dbs";
    case 102: return "bio";
    case 1000: return "dipole";
    case 1001: return "gof";
    case 902: return "ecog";
    case 1200: return "temperature";
    case 1300: return "gsr";
    default: return Channel.Kind >= 700 && Channel.Kind <= 709 ? "chpi" : nullptr;
  }
}

double ScaledCalibration(const TChannelInfo& Channel) {
  const TCalibrationScale scale = CalibrationScale(Channel.Kind, Channel.Coil);
  double value = Channel.Range * scale.Unit;
  value *= Channel.Cal;
  value *= scale.Coil;
  return value;
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

const char* fiff::UnitSymbol(int32_t Unit) {
  switch (Unit) {
    case 1: return "m";
    case 2: return "kg";
    case 3: return "s";
    case 4: return "A";
    case 5: return "K";
    case 6: return "mol";
    case 7: return "rad";
    case 8: return "sr";
    case 9: return "cd";
    case 10: return "mol/m^3";
    case 101: return "Hz";
    case 102: return "N";
    case 103: return "Pa";
    case 104: return "J";
    case 105: return "W";
    case 106: return "C";
    case 107: return "V";
    case 108: return "F";
    case 109: return "Ohm";
    case 110: return "S";
    case 111: return "Wb";
    case 112: return "T";
    case 113: return "H";
    case 114: return "oC";
    case 115: return "lm";
    case 116: return "lx";
    case 117: return "V/m^2";
    case 118: return "s^2";
    case 201: return "T/m";
    case 202: return "Am";
    case 203: return "Am/m^2";
    case 204: return "Am/m^3";
    case 210: return "px";
    default: return "n/a";  // none (-1), unitless (0) and codes no table names
  }
}
