// The FIFF vocabulary the system reads: tag kinds, data types, code values and record layouts.
#pragma once

#include <cstdint>
#include <string>

namespace fiff {

// Tag kinds, named as MNE names them.
inline constexpr int32_t kFileId = 100;
inline constexpr int32_t kBlockId = 103;
inline constexpr int32_t kBlockStart = 104;  // its value is the kind of block it opens
inline constexpr int32_t kBlockEnd = 105;
inline constexpr int32_t kParentBlockId = 110;
inline constexpr int32_t kRefRole = 115;      // a reference to another file: its role,
inline constexpr int32_t kRefFileId = 116;    // that file's identification,
inline constexpr int32_t kRefFileNum = 117;   // its number in a split recording,
inline constexpr int32_t kRefFileName = 118;  // and its name
inline constexpr int32_t kNChan = 200;
inline constexpr int32_t kSFreq = 201;
inline constexpr int32_t kChInfo = 203;
inline constexpr int32_t kMeasDate = 204;
inline constexpr int32_t kComment = 206;
inline constexpr int32_t kNAve = 207;
inline constexpr int32_t kFirstSample = 208;
inline constexpr int32_t kLastSample = 209;
inline constexpr int32_t kAspectKind = 210;
inline constexpr int32_t kExperimenter = 212;
inline constexpr int32_t kDigPoint = 213;
inline constexpr int32_t kHpiSlopes = 215;
inline constexpr int32_t kLowpass = 219;
inline constexpr int32_t kBadChs = 220;
inline constexpr int32_t kCoordTrans = 222;
inline constexpr int32_t kHighpass = 223;
inline constexpr int32_t kNoSamples = 228;
inline constexpr int32_t kFirstTime = 229;
inline constexpr int32_t kName = 233;
inline constexpr int32_t kHpiFitGoodness = 241;
inline constexpr int32_t kHpiFitGoodLimit = 243;
inline constexpr int32_t kLineFreq = 235;
inline constexpr int32_t kHpiCoilNo = 245;
inline constexpr int32_t kChDacqName = 258;  // a channel's full name, in its extended record
inline constexpr int32_t kDataBuffer = 300;
inline constexpr int32_t kDataSkip = 301;
inline constexpr int32_t kEpoch = 302;
inline constexpr int32_t kSubjFirstName = 401;
inline constexpr int32_t kSubjMiddleName = 402;
inline constexpr int32_t kSubjLastName = 403;
inline constexpr int32_t kSubjBirthDay = 404;
inline constexpr int32_t kSubjSex = 405;
inline constexpr int32_t kSubjHand = 406;
inline constexpr int32_t kMriPixelData = 2006;
inline constexpr int32_t kMriWidth = 2010;
inline constexpr int32_t kMriHeight = 2012;
inline constexpr int32_t kBemSurfId = 3101;
inline constexpr int32_t kBemSurfNNode = 3103;
inline constexpr int32_t kBemSurfNTri = 3104;
inline constexpr int32_t kBemApprox = 3111;
inline constexpr int32_t kBemCoordFrame = 3112;
inline constexpr int32_t kBemSigma = 3113;
inline constexpr int32_t kProjItemVectors = 3415;
inline constexpr int32_t kProjItemChList = 3417;
inline constexpr int32_t kMneChNameList = 3507;   // channel names separated by ':'
inline constexpr int32_t kMneBaselineMin = 3568;  // the onsets of MNE's annotations
inline constexpr int32_t kMneBaselineMax = 3569;  // and their ends
inline constexpr int32_t kMneEventList = 3561;    // an epochs file's events: sample, before, value
inline constexpr int32_t kMneEventComments = 3566;

// Block kinds, the value of a block-start tag.
inline constexpr int32_t kBlockMeas = 100;
inline constexpr int32_t kBlockMeasInfo = 101;
inline constexpr int32_t kBlockRawData = 102;
inline constexpr int32_t kBlockContinuousData = 112;
inline constexpr int32_t kBlockChInfo = 113;  // MNE's extended record of one channel
inline constexpr int32_t kBlockRef = 118;
inline constexpr int32_t kBlockIasRawData = 119;
inline constexpr int32_t kBlockMneBadChannels = 359;
inline constexpr int32_t kBlockMneAnnotations = 3810;
inline constexpr int32_t kBlockMneCtfCompData = 371;  // one of MNE's CTF compensations
inline constexpr int32_t kBlockEvoked = 104;
inline constexpr int32_t kBlockAspect = 105;
inline constexpr int32_t kBlockIasAspect = 120;  // MaxShield's aspect, read where an evoked block has no other
inline constexpr int32_t kBlockMneEvents = 361;
inline constexpr int32_t kBlockMneEpochs = 373;
inline constexpr int32_t kBlockOldEpochs = 122;  // the epochs block of MNE-Python before 0.11

// A kind above this is a header read one byte early (a stray byte in front of it).
inline constexpr int32_t kLargestKind = 6000;

// Data types.
inline constexpr int32_t kTypeVoid = 0;
inline constexpr int32_t kTypeByte = 1;
inline constexpr int32_t kTypeShort = 2;
inline constexpr int32_t kTypeInt = 3;
inline constexpr int32_t kTypeFloat = 4;
inline constexpr int32_t kTypeDouble = 5;
inline constexpr int32_t kTypeString = 10;
inline constexpr int32_t kTypeDauPack16 = 16;
inline constexpr int32_t kTypeComplexFloat = 20;
inline constexpr int32_t kTypeComplexDouble = 21;
inline constexpr int32_t kTypeOldPack = 23;
inline constexpr int32_t kTypeChInfo = 30;
inline constexpr int32_t kTypeId = 31;
inline constexpr int32_t kTypeDigPoint = 33;
inline constexpr int32_t kTypeCoordTrans = 35;
// A dense matrix: the element type in the low half, this bit above, the dimensions after the values.
inline constexpr int32_t kMatrixDense = 0x40000000;

// Values held in tags.
inline constexpr int32_t kChKindMeg = 1;
inline constexpr int32_t kChKindEeg = 2;
inline constexpr int32_t kChKindStim = 3;
inline constexpr int32_t kChKindDipole = 1000;
inline constexpr int32_t kChKindGoodness = 1001;
inline constexpr int32_t kCoilNm122 = 2;
inline constexpr int32_t kCoilVvPlanarT1 = 3012;
inline constexpr int32_t kCoilVvMagW = 3021;
inline constexpr int32_t kCoilVvMagT1 = 3022;
inline constexpr int32_t kCoilVvMagT2 = 3023;
inline constexpr int32_t kCoordMri = 5;
inline constexpr int32_t kCoordMriSlice = 6;
inline constexpr int32_t kRefRolePrevFile = 1;
inline constexpr int32_t kRefRoleNextFile = 2;
inline constexpr int32_t kAspectAverage = 100;
inline constexpr int32_t kAspectStdErr = 101;

// Record layouts: where fields lie, counted from the tag header or from the tag's data.
inline constexpr int32_t kTagHeaderSize = 16;
// The file-identification tag: its data size, and its first data words (the version).
inline constexpr int32_t kFileIdSize = 20;
inline constexpr int16_t kVersionMajor = 1;
inline constexpr int16_t kVersionMinor = 1;
// An epoch in the old packed form: offset and scale as floats, then 16-bit samples.
inline constexpr int32_t kOldPackSamples = 8;
// A matrix tag ends in its dimensions and their count: three 32-bit words that are no values.
inline constexpr int32_t kMatrixTrailingWords = 3;

// A channel-information record (type 30): scan number, logical number, kind, range, calibration,
// coil type, 12 location floats, unit, unit multiplier, then the name in 16 bytes.
inline constexpr int32_t kChInfoRecordSize = 96;
inline constexpr int32_t kChInfoNameSize = 16;

struct TChannelInfo {
  int32_t Scan = 0;
  int32_t Kind = 0;
  float Range = 0;
  float Cal = 0;
  int32_t Coil = 0;
  float Loc[12] = {};  // position, then three orientation vectors
  int32_t Unit = 0;    // the SI unit's code (112 T, 107 V, ...); -1 none
  int32_t UnitMul = 0;
  std::string Name;  // every byte before the first zero of its 16
};

// A digitised point (type 33): its kind (cardinal 1, HPI 2, EEG 3, extra 4), identity, then x, y, z.
struct TDigPoint {
  int32_t Kind = 0;
  int32_t Ident = 0;
  float R[3] = {};
};

// A coordinate transform (type 35): from-frame, to-frame, then 24 floats: the rotation (3 x 3, row
// by row), the move, the inverse rotation and the inverse move.
inline constexpr int32_t kCoordTransValues = 24;
struct TCoordTrans {
  int32_t From = 0;
  int32_t To = 0;
  float Values[kCoordTransValues] = {};
};

// The factors that give calibrated values: T x 1e13 for MEG, V x 1e6 (µV) for EEG, 1 for
// others; the coil factor is 100 for the Vectorview magnetometers 3021-3023.
struct TCalibrationScale {
  double Unit = 1.0;
  double Coil = 1.0;
};
TCalibrationScale CalibrationScale(int32_t ChannelKind, int32_t Coil);
// A channel's factor as CalXRnge holds it: range x the unit factor x calibration x the coil factor,
// in double precision.
double ScaledCalibration(const TChannelInfo& Channel);

// MNE-Python's type of a channel record, as its channel_type gives it ("mag", "grad", "eeg", "csd",
// "stim", "ref_meg", "eog", "ecg", "emg", "misc", "resp", "chpi", "syst", "ias", "exci", "bio",
// "seeg", "ecog", "dbs", "dipole", "gof", "hbo", "hbr", "fnirs_cw_amplitude", ..., "temperature",
// "gsr"); nullptr where it has none (an MEG record of another unit, an EEG record of another coil,
// an unknown kind).
const char* MneChannelType(const TChannelInfo& Channel);

// The SI symbol of a FIFF unit code (112 "T", 201 "T/m", 107 "V", ...); "n/a" for none (-1),
// unitless (0) and codes without a name.
const char* UnitSymbol(int32_t Unit);

// Bytes of one value in a raw data buffer: 4 for 32-bit integers and floats, 8 for doubles,
// 2 for 16-bit data and any other type. Inline: the summary asks once per buffer.
inline constexpr int64_t RawValueSize(int32_t DataType) {
  switch (DataType) {
    case kTypeInt:
    case kTypeFloat: return 4;
    case kTypeDouble: return 8;
    default: return 2;
  }
}

}  // namespace fiff
