// The Scilab 5 binary data file format as Tessaline writes it: type words, integer kinds, header layouts.
#pragma once

#include <cstdint>

// The layout is described in docs/scilab-format.md; the writer and the test reader use these names.
namespace scilab {

// Every record begins with the variable's name: 24 bytes of Scilab character codes.
inline constexpr int32_t kNameArea = 24;
inline constexpr uint8_t kNameBlank = 40;  // the code that ends a name and fills the area

// Type words (the first header word after the name).
inline constexpr int32_t kTypeRealMatrix = 1;
inline constexpr int32_t kTypeIntegerMatrix = 8;
inline constexpr int32_t kTypeStringMatrix = 10;
inline constexpr int32_t kTypeMlist = 17;

// The fourth header word of a matrix: real, or the integer kind.
inline constexpr int32_t kReal = 0;
inline constexpr int32_t kInt16 = 2;
inline constexpr int32_t kInt32 = 4;
inline constexpr int32_t kUInt8 = 11;

// A matrix: name, type, rows, columns, fourth word; then the elements column by column.
inline constexpr int32_t kMatrixHeader = 40;
inline constexpr int32_t kMatrixType = 24, kMatrixRows = 28, kMatrixCols = 32, kMatrixKind = 36;

// A three-dimensional hypermatrix: the mlist of "hm", "dims" and "entries".
inline constexpr int32_t kHypermatHeader = 176;
inline constexpr int32_t kHypermatFields = 3;
inline constexpr int32_t kHypermatEndOffset = 44;  // (d div 8) + 19 for bytes, d + 18 for doubles
inline constexpr int32_t kHypermatDims = 148;      // D1, D2, D3 at 148, 152, 156
inline constexpr int32_t kHypermatEntryType = 160, kHypermatEntryRows = 164, kHypermatEntryCols = 168,
                         kHypermatEntryKind = 172;
inline constexpr int32_t kHypermatByteEndBase = 19, kHypermatDoubleEndBase = 18;
// Its header words from offset 24 to 172, with 0 where the dimensions and sizes go.
// clang-format off
inline constexpr int32_t kHypermatTemplate[38] = {
    kTypeMlist, kHypermatFields, 1, 12, 16, 0,                 // fields and their offsets in 8-byte units
    kTypeStringMatrix, 1, 3, 0, 1, 3, 7, 14,                   // a 1 x 3 string matrix: where each name begins
    17, 22, 13, 18, 22, 28, 14, 23, 29, 27, 18, 14, 28,        // "hm" "dims" "entries" in character codes
    kTypeIntegerMatrix, 1, 3, kInt32, 0, 0, 0,                 // the int32 dimensions
    kTypeIntegerMatrix, 0, 1, kReal};                          // the entries' header
// clang-format on
// The template's words 6 to 30 (offsets 48 to 144) are the same in every header.
inline constexpr int kHypermatFieldWords = 25;

}  // namespace scilab
