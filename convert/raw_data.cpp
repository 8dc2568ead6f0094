// raw_data: the samples of one file's stretch of the recording, channels in rows, 16-bit or as doubles.
#include "variables.h"

void WriteRawData(const TPlan& P, const TStretch& Stretch, TSinkSet& Out,
                  const std::function<void(const TRawBuffer&, int64_t Columns)>& After, const TRawObserver* Observer) {
  // Columns are the samples actually written, counted with the rows of the header; the plan
  // checked that they fit.
  const TElement type = P.Values == TRawValues::Int16      ? TElement::Int16
                        : P.Values == TRawValues::SiSingle ? TElement::Single
                                                           : TElement::Double;
  Out.Begin("raw_data", type, {P.Rows(), Stretch.Columns});
  TRawReader reader(P.M(), P.Values, P.Selection,
                    {Out.Buffer(), TSinkSet::kBufferSize, [&Out](int64_t Bytes) { Out.Write(Bytes); }}, Observer);
  reader.Read(Stretch.FirstBuffer, Stretch.EndBuffer, Stretch.BufferColumn, After);
}
