// MNE-Python's processed data: the averages of its evoked blocks and the epochs of its epochs block, read as
// MNE-Python 1.3 reads them.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "block_tree.h"
#include "fiff_f.h"

namespace fiff {

// The channels as MNE-Python's measurement information gives them to processed data: the records
// of the first measurement-information block, its count and sampling frequency. Problem says
// why MNE-Python would refuse them; empty when it would not.
struct TMneInfo {
  std::vector<TChannelInfo> Channels;
  float Frequency = 0;
  std::string Problem;
};
TMneInfo ReadMneInfo(TFiff& Reader, const TBlockTree& Tree);

// What an aspect block says of its average: its name (the evoked block's unless the aspect has
// its own; Latin-1, as stored), the epochs averaged, and its kind (100 an average, 101 a standard
// error, ...).
struct TAspect {
  std::string Comment = "No comment";
  int32_t Nave = 1;
  std::optional<int32_t> Kind;
};
// The aspect of each packed epoch (type 23) that an aspect block holds, by the epoch's entry: how
// the averages of the packed form learn what MNE-Python would say of them.
std::map<int32_t, TAspect> PackedEpochAspects(TFiff& Reader, const TBlockTree& Tree);

// An average in floats: one aspect of an evoked block (MNE-Python reads the first of each block,
// this every one, in order), with what its block and aspect state.
struct TFloatAverage {
  int32_t Entry = 0;  // of its first epoch: its place among the file's averages
  // Where each channel's samples begin in the file (one matrix of channels x samples, or one
  // epoch per channel), and their type: kTypeFloat or kTypeDouble.
  std::vector<int64_t> Columns;
  int32_t DataType = kTypeFloat;
  std::vector<TChannelInfo> Channels;  // the block's own records, else the measurement's
  int32_t Samples = 0;
  // The times: FirstTime + k / Frequency where the block states a first time and a sample count
  // (as MNE-Python prefers them), else (FirstSample + k) / Frequency.
  std::optional<float> FirstTime;
  int32_t FirstSample = 0, LastSample = 0;
  float Frequency = 0;
  TAspect Aspect;
  std::string Problem;  // why MNE-Python would refuse it; empty when it would not
};
// The aspects whose epochs are floats or doubles (one matrix, or one epoch per channel), in file
// order; those of the packed 16-bit form are the packed averages' (averages.h).
std::vector<TFloatAverage> ReadFloatAverages(TFiff& Reader, const TBlockTree& Tree, const TMneInfo& Info);

// MNE-Python's epochs: one matrix of epochs x channels x samples of floats or doubles, each epoch
// with its event (sample, value) and a name for its value.
struct TEpochs {
  int64_t Data = 0;  // where the values begin in the file
  int32_t DataType = kTypeFloat;
  int32_t Count = 0, Samples = 0;  // epochs, and samples of each
  std::vector<TChannelInfo> Channels;
  float Frequency = 0;
  int32_t FirstSample = 0, LastSample = 0;     // of each epoch, counted from its event
  std::vector<std::array<int32_t, 3>> Events;  // sample, the value before, the value
  std::vector<std::string> Names;              // of each event's value (UTF-8), or empty for none
  bool Renumbered = false;                     // a sample below 0 made them 1, 2, ..., as MNE-Python does
  std::string Problem;                         // why MNE-Python would refuse them; empty when it would not
};
// The file's epochs block (373, else 122), when it has one.
std::optional<TEpochs> ReadEpochs(TFiff& Reader, const TBlockTree& Tree, const TMneInfo& Info);

// A number tag's first value as MNE-Python's int() and float() take it: a 32-bit integer, float or
// double by its type.
double ReadNumber(TFiff& Reader, int32_t Index);
// The dimensions of a dense matrix tag (1 to 3 of them, stored after its values), the slowest
// first; nothing for another tag.
std::optional<std::vector<int32_t>> MatrixDims(TFiff& Reader, int32_t Index);

// The trial names of an epochs file's description "name:id;name:id": each item split at its last
// colon, the id an integer; items without one name nothing.
std::vector<std::pair<std::string, int64_t>> ParseEventNames(const std::string& Description);

}  // namespace fiff
