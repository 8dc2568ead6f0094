// raw_data: the samples of one file's stretch of the recording, channels in rows, 16-bit or as doubles.
#include "variables.h"

void WriteRawData(const TPlan& P, const TStretch& Stretch, TSinkSet& Out,
                  const std::function<void(const TRawBuffer&, int64_t Columns)>& After) {
  const TMeasurement& m = P.M();
  // Columns are the samples actually written, counted with the rows of the header; the plan
  // checked that they fit.
  Out.Begin("raw_data", P.RawDoubles ? TElement::Double : TElement::Int16, {m.RawRows(), Stretch.Columns});
  TRawReader reader(m, P.RawDoubles ? TRawValues::Double : TRawValues::Int16,
                    {Out.Buffer(), TSinkSet::kBufferSize, [&Out](int64_t Bytes) { Out.Write(Bytes); }});
  reader.Read(Stretch.FirstBuffer, Stretch.EndBuffer, After);
}
