// The sidecars beside the data files: the channel table, the events and the recording's facts, as text.
#pragma once

#include <string>
#include <vector>

#include "plan.h"

// NAME_channels.tsv: one row per row of raw_data, in BIDS's channels.tsv convention.
std::string ChannelTableText(const TPlan& P);
// What the conversion's pass found: every row of the events table (the annotations, skips and
// trigger events, by column), of the triggers how many, and the averages written.
struct TFound {
  std::vector<TEventRow> Events;
  int64_t Triggers = 0;
  std::vector<TAverageRow> Averages;
};
// NAME_events.tsv: the events found, in BIDS's events.tsv convention.
std::string EventsText(const TPlan& P, const TFound& Found);
// NAME_averages.tsv: one row per average variable, with what its aspect says of it.
std::string AveragesText(const std::vector<TAverageRow>& Rows);
// NAME_epochs.tsv: one row per epoch of every part, with its event and the name of its value.
std::string EpochsText(const TMeasurement& M);
// NAME_recording.json: the recording's facts and the files of its conversion.
std::string RecordingText(const TPlan& P, const TFound& Found);

// The files an older NAME_recording.json at Path lists as its conversion's (their names, as
// written there); none when there is none or it cannot be read.
std::vector<std::string> ListedOutputs(const std::string& Path);
// Whether Name could be a file of ours for the outputs named Stem: Stem, then an ending of a data
// file or a sidecar, and no folder.
bool IsOutputName(const std::string& Name, const std::string& Stem);
