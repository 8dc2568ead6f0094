// The channel table NAME_channels.tsv: one row per row of raw_data, in BIDS's channels.tsv convention.
#include "bids.h"
#include "sidecars.h"

std::string ChannelTableText(const TPlan& P) {
  const TMeasurement& M = P.M();
  std::string out =
      "name\ttype\tunits\tsampling_frequency\tlow_cutoff\thigh_cutoff\tstatus\tsi_factor\tfiff_kind\tfiff_coil_type\n";
  const std::string freq = M.TableFrequency() ? Number(*M.TableFrequency(), "%.9g") : "n/a";
  const std::string cutoffs = (M.Highpass() ? Number(*M.Highpass(), "%.9g") : "n/a") + "\t" +
                              (M.Lowpass() ? Number(*M.Lowpass(), "%.9g") : "n/a");
  for (int64_t k = 0; k < P.Rows(); ++k) {
    const TRawChannel* c = P.Channel(k);
    if (!c) {
      const int64_t row = P.Selection.Rows.empty() ? k : P.Selection.Rows[static_cast<size_t>(k)];
      out += "n/a\tn/a\tn/a\t" + freq + "\tn/a\tn/a\t" + (M.BadSlot(row) ? "bad" : "good") + "\tn/a\tn/a\tn/a\n";
      continue;
    }
    const fiff::TChannelInfo& ch = c->Record;
    // In SI units raw_data holds the values themselves.
    const std::string factor =
        P.Options.Choice.Si ? "1" : Number(static_cast<double>(ch.Range) * static_cast<double>(ch.Cal), "%.17g");
    out += Cell(c->Name) + "\t" + BidsType(ch.Kind, ch.Coil, ch.Unit) + "\t" + fiff::UnitSymbol(ch.Unit) + "\t" + freq +
           "\t" + cutoffs + "\t" + (c->Bad ? "bad" : "good") + "\t" + factor + "\t" + std::to_string(ch.Kind) + "\t" +
           std::to_string(ch.Coil) + "\n";
  }
  return out;
}
