// A strict reader of the Scilab data files we write: every record parsed, every header checked.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct TScilabVar {
  enum TType { RealMatrix, Int16Matrix, UInt8Hypermat, RealHypermat };
  std::string Name;  // as Scilab decodes the name area
  std::array<uint8_t, 24> NameBytes{};
  TType Type = RealMatrix;
  int32_t Rows = 0, Cols = 0;   // matrices
  int32_t Dims[3] = {0, 0, 0};  // hypermatrices
  int64_t Offset = 0;           // where the record starts in the file
  std::vector<double> Reals;
  std::vector<int16_t> Shorts;
  std::vector<uint8_t> Bytes;

  // Column-major element access, as Scilab stores matrices.
  double Real(int32_t Row, int32_t Col) const { return Reals.at(static_cast<size_t>(Col) * Rows + Row); }
  int16_t Short(int32_t Row, int32_t Col) const { return Shorts.at(static_cast<size_t>(Col) * Rows + Row); }
};

// Parses a whole file; throws std::runtime_error (with the offset) on truncation, trailing
// bytes, an unknown record, or a header word that is not what our writer must write.
std::vector<TScilabVar> ReadScilabFile(const std::string& Path);
std::vector<TScilabVar> ParseScilab(const std::vector<uint8_t>& Data);
// Scilab's decoding of a 24-byte name area.
std::string DecodeScilabName(const uint8_t* Area);
// The variables of that name, in file order.
std::vector<const TScilabVar*> FindAll(const std::vector<TScilabVar>& Vars, const std::string& Name);
const TScilabVar& FindOne(const std::vector<TScilabVar>& Vars, const std::string& Name);
std::vector<std::string> Names(const std::vector<TScilabVar>& Vars);
