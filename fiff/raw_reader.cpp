// The one reader of raw data buffers: skips as zeros, 16-bit samples swapped in place, rows chosen and values
// converted.
#include "raw_reader.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

// Stored values read at a time when rows are chosen or values converted.
constexpr int64_t kBlockBytes = 1 << 20;

// A big-endian value of a raw data buffer, exactly as a double.
template <int32_t Type>
double Load(const uint8_t* P) {
  const auto u32 = [P] { return uint32_t{P[0]} << 24 | uint32_t{P[1]} << 16 | uint32_t{P[2]} << 8 | P[3]; };
  if constexpr (Type == fiff::kTypeInt) {
    return static_cast<int32_t>(u32());
  } else if constexpr (Type == fiff::kTypeFloat) {
    return std::bit_cast<float>(u32());
  } else if constexpr (Type == fiff::kTypeDouble) {
    const uint64_t hi = u32();
    const uint64_t lo = uint32_t{P[4]} << 24 | uint32_t{P[5]} << 16 | uint32_t{P[6]} << 8 | P[7];
    return std::bit_cast<double>(hi << 32 | lo);
  } else {
    return static_cast<int16_t>(static_cast<uint16_t>(P[0] << 8 | P[1]));
  }
}

// Columns of sample-major stored values (Rows of Size bytes each), the rows Keep of them (all
// when empty), as Values, into the room Room gives: as many values at a time as it has room for.
template <TRawValues Values, int32_t Type, typename TOut, typename TRoom>
void ConvertColumns(const uint8_t* Stored, int64_t Columns, int64_t Rows, const std::vector<int32_t>* Keep,
                    const double* Factors, TRoom&& Room) {
  constexpr int64_t size = fiff::RawValueSize(Type);
  const auto one = [&](const uint8_t* P, size_t Row) -> TOut {
    if constexpr (Values == TRawValues::Int16) {
      return static_cast<int16_t>(static_cast<uint16_t>(P[0] << 8 | P[1]));
    } else if constexpr (Values == TRawValues::Double) {
      return Load<Type>(P);
    } else if constexpr (Values == TRawValues::SiDouble) {
      return Load<Type>(P) * Factors[Row];
    } else {
      return static_cast<float>(Load<Type>(P) * Factors[Row]);
    }
  };
  const int64_t count = Keep ? static_cast<int64_t>(Keep->size()) : Rows;
  for (int64_t c = 0; c < Columns; ++c) {
    const uint8_t* column = Stored + c * Rows * size;
    for (int64_t k = 0; k < count;) {
      int64_t n = count - k;
      TOut* at = reinterpret_cast<TOut*>(Room(n));  // the staging buffer holds whole values of TOut
      if (!Keep)
        for (int64_t j = 0; j < n; ++j) at[j] = one(column + (k + j) * size, static_cast<size_t>(k + j));
      else
        for (int64_t j = 0; j < n; ++j)
          at[j] = one(column + int64_t{(*Keep)[static_cast<size_t>(k + j)]} * size, static_cast<size_t>(k + j));
      k += n;
    }
  }
}

}  // namespace

int64_t RawValueBytes(TRawValues Values) {
  return Values == TRawValues::Int16 ? 2 : Values == TRawValues::SiSingle ? 4 : 8;
}

TRawReader::TRawReader(const TMeasurement& Measurement, TRawValues Values, const TRawSelection& Selection,
                       TRawStaging Staging, const TRawObserver* Observer)
    : FMeasurement(Measurement),
      FValues(Values),
      FSelection(Selection),
      FStaging(std::move(Staging)),
      FValueSize(RawValueBytes(Values)),
      FRoom(FStaging.Capacity / FValueSize),
      FRows(Selection.Rows.empty() ? Measurement.RawRows() : static_cast<int64_t>(Selection.Rows.size())),
      FAllRows(Selection.Rows.empty()),
      FObserver(Observer && !Observer->Rows.empty() ? Observer : nullptr) {
  for (const int32_t row : Selection.Rows)
    if (!FRuns.empty() && FRuns.back().first + FRuns.back().second == row)
      ++FRuns.back().second;
    else
      FRuns.emplace_back(row, 1);
}

void TRawReader::Observe(int64_t Column, const uint8_t* Stored, int32_t DataType, bool Swapped, int64_t Columns,
                         int64_t Rows) {
  if (!FObserver || Columns <= 0) return;
  const size_t n = FObserver->Rows.size();
  FObserved.resize(static_cast<size_t>(Columns) * n);
  const int64_t size = fiff::RawValueSize(DataType);
  for (int64_t c = 0; c < Columns; ++c)
    for (size_t k = 0; k < n; ++k) {
      const uint8_t* p = Stored + (c * Rows + FObserver->Rows[k]) * size;
      double v;
      if (Swapped) {
        int16_t s;
        std::memcpy(&s, p, 2);
        v = s;
      } else {
        switch (DataType) {
          case fiff::kTypeInt: v = Load<fiff::kTypeInt>(p); break;
          case fiff::kTypeFloat: v = Load<fiff::kTypeFloat>(p); break;
          case fiff::kTypeDouble: v = Load<fiff::kTypeDouble>(p); break;
          default: v = Load<fiff::kTypeShort>(p); break;
        }
      }
      FObserved[static_cast<size_t>(c) * n + k] = v;
    }
  FObserver->Take(Column, Columns, FObserved.data());
}

void TRawReader::Flush() {
  if (FStaged > 0) FStaging.Flush(FStaged * FValueSize);
  FStaged = 0;
}

uint8_t* TRawReader::Room(int64_t& Values) {
  if (FStaged == FRoom) Flush();
  Values = std::min(Values, FRoom - FStaged);
  uint8_t* at = FStaging.Data + FStaged * FValueSize;
  FStaged += Values;
  return at;
}

void TRawReader::Zeros(int64_t Values) {
  for (int64_t left = Values; left > 0;) {
    int64_t n = left;
    uint8_t* at = Room(n);
    std::memset(at, 0, static_cast<size_t>(n * FValueSize));
    left -= n;
  }
}

void TRawReader::Convert(const uint8_t* Stored, int32_t DataType, int64_t Columns, int64_t Rows,
                         const std::vector<int32_t>* Keep, const double* Factors) {
  // 16-bit rows chosen as stored: each run of neighbouring rows swapped at once, as whole columns are.
  if (FValues == TRawValues::Int16 && Keep && fiff::RawValueSize(DataType) == 2) {
    for (int64_t c = 0; c < Columns; ++c)
      for (const auto& [first, count] : FRuns)
        for (int64_t done = 0; done < count;) {
          int64_t n = count - done;
          uint8_t* at = Room(n);
          SwapShorts(Stored + (c * Rows + first + done) * 2, at, n);
          done += n;
        }
    return;
  }
  auto run = [&]<TRawValues Values>() {
    using TOut = std::conditional_t<Values == TRawValues::Int16, int16_t,
                                    std::conditional_t<Values == TRawValues::SiSingle, float, double>>;
    auto room = [this](int64_t& N) { return Room(N); };
    switch (DataType) {
      case fiff::kTypeInt:
        ConvertColumns<Values, fiff::kTypeInt, TOut>(Stored, Columns, Rows, Keep, Factors, room);
        break;
      case fiff::kTypeFloat:
        ConvertColumns<Values, fiff::kTypeFloat, TOut>(Stored, Columns, Rows, Keep, Factors, room);
        break;
      case fiff::kTypeDouble:
        ConvertColumns<Values, fiff::kTypeDouble, TOut>(Stored, Columns, Rows, Keep, Factors, room);
        break;
      default: ConvertColumns<Values, fiff::kTypeShort, TOut>(Stored, Columns, Rows, Keep, Factors, room); break;
    }
  };
  switch (FValues) {
    case TRawValues::Int16: run.template operator()<TRawValues::Int16>(); break;
    case TRawValues::Double: run.template operator()<TRawValues::Double>(); break;
    case TRawValues::SiDouble: run.template operator()<TRawValues::SiDouble>(); break;
    case TRawValues::SiSingle: run.template operator()<TRawValues::SiSingle>(); break;
  }
}

void TRawReader::Samples(const TRawBuffer& Buffer, int64_t From, int64_t To) {
  const int64_t rows = FMeasurement.RawRows();
  const int64_t size = fiff::RawValueSize(Buffer.DataType);
  const int64_t columnBytes = rows * size;
  int64_t at = int64_t{Buffer.Pos} + fiff::kTagHeaderSize + From * columnBytes;
  if (FAllRows && FValues == TRawValues::Int16 && (!FObserver || rows <= FRoom)) {
    // Straight into the staging buffer, swapped there; whole columns at a time when observed.
    int64_t column = From;
    for (int64_t left = (To - From) * rows; left > 0;) {
      int64_t n = left;
      if (FObserver) {
        if (FRoom - FStaged < rows) Flush();
        n = std::min(left, (FRoom - FStaged) / rows * rows);
      }
      uint8_t* place = Room(n);
      FSamples->ReadSwappedShorts(at, place, n);
      Observe(FColumn + column, place, fiff::kTypeShort, true, n / rows, rows);
      column += n / rows;
      at += 2 * n;
      left -= n;
    }
    return;
  }
  // Whole columns read in blocks, then the rows kept converted.
  const std::vector<int32_t>* keep = FAllRows ? nullptr : &FSelection.Rows;
  const double* factors = FSelection.Factors.empty() ? nullptr : FSelection.Factors.data();
  if (columnBytes <= kBlockBytes) {
    const int64_t perBlock = kBlockBytes / columnBytes;
    if (FBlock.size() < static_cast<size_t>(perBlock * columnBytes))
      FBlock.resize(static_cast<size_t>(perBlock * columnBytes));
    for (int64_t c = From; c < To;) {
      const int64_t n = std::min(perBlock, To - c);
      FSamples->Read(at, FBlock.data(), n * columnBytes);
      Observe(FColumn + c, FBlock.data(), Buffer.DataType, false, n, rows);
      Convert(FBlock.data(), Buffer.DataType, n, rows, keep, factors);
      at += n * columnBytes;
      c += n;
    }
    return;
  }
  // A column larger than a block (no real file has one): the rows kept, gathered a block at a time.
  const int64_t perBlock = kBlockBytes / size;
  if (FBlock.size() < static_cast<size_t>(kBlockBytes)) FBlock.resize(static_cast<size_t>(kBlockBytes));
  for (int64_t c = From; c < To; ++c, at += columnBytes) {
    if (FObserver) {
      std::vector<uint8_t> value(static_cast<size_t>(size));
      FObserved.clear();
      for (const int32_t row : FObserver->Rows) {
        FSamples->Read(at + row * size, value.data(), size);
        FObserved.push_back(Buffer.DataType == fiff::kTypeInt      ? Load<fiff::kTypeInt>(value.data())
                            : Buffer.DataType == fiff::kTypeFloat  ? Load<fiff::kTypeFloat>(value.data())
                            : Buffer.DataType == fiff::kTypeDouble ? Load<fiff::kTypeDouble>(value.data())
                                                                   : Load<fiff::kTypeShort>(value.data()));
      }
      FObserver->Take(FColumn + c, 1, FObserved.data());
    }
    for (int64_t k = 0; k < FRows; k += perBlock) {
      const int64_t n = std::min(perBlock, FRows - k);
      for (int64_t j = 0; j < n; ++j) {
        const int64_t row = keep ? (*keep)[static_cast<size_t>(k + j)] : k + j;
        FSamples->Read(at + row * size, FBlock.data() + j * size, size);
      }
      Convert(FBlock.data(), Buffer.DataType, 1, n, nullptr, factors ? factors + k : nullptr);
    }
  }
}

void TRawReader::Read(int32_t First, int32_t End, int64_t Column,
                      const std::function<void(const TRawBuffer&, int64_t Columns)>& After) {
  // The input is checked for changes after every few MiB of data, not after every buffer.
  constexpr int64_t kCheckEvery = 4 << 20;
  int64_t unchecked = 0;
  int32_t part = -1;
  for (int32_t k = First; k < End; ++k) {
    const TRawBuffer& b = FMeasurement.Buffers()[static_cast<size_t>(k)];
    if (b.Part != part) {
      if (part >= 0) FMeasurement.Part(part).CheckUnchanged();
      part = b.Part;
      FSamples.emplace(FMeasurement.Part(part));
    }
    const int64_t columns = FMeasurement.Columns(b);
    const int64_t skipped = b.SkipBuffers * columns;
    // The zeros, then the samples, each as far as the span reaches.
    const int64_t z0 = std::max(Column, FSelection.From), z1 = std::min(Column + skipped, FSelection.To);
    if (z1 > z0) {
      Zeros((z1 - z0) * FRows);
      if (FObserver) FObserver->Take(z0, z1 - z0, nullptr);
    }
    Column += skipped;
    FColumn = Column;
    const int64_t s0 = std::max(Column, FSelection.From) - Column,
                  s1 = std::min(Column + columns, FSelection.To) - Column;
    if (s1 > s0) Samples(b, s0, s1);
    Column += columns;
    unchecked += b.Size;
    if (unchecked >= kCheckEvery) {
      FMeasurement.Part(part).CheckUnchanged();
      unchecked = 0;
    }
    After(b, std::max<int64_t>(z1 - z0, 0) + std::max<int64_t>(s1 - s0, 0));
  }
  Flush();
  if (part >= 0) FMeasurement.Part(part).CheckUnchanged();
}

std::vector<double> PartSeconds(const TMeasurement& Measurement) {
  std::vector<double> seconds(static_cast<size_t>(Measurement.PartCount()), 0.0);
  if (Measurement.RawRows() <= 0) return seconds;
  for (const TRawBuffer& b : Measurement.Buffers())
    seconds[static_cast<size_t>(b.Part)] +=
        static_cast<double>((int64_t{b.SkipBuffers} + 1) * Measurement.Columns(b)) / Measurement.RawFrequency();
  return seconds;
}
