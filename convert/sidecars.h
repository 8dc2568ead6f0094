// The sidecars beside the data files: the channel table, the events and the recording's facts, as text.
#pragma once

#include <string>
#include <vector>

#include "plan.h"

// NAME_channels.tsv: one row per row of raw_data, in BIDS's channels.tsv convention.
std::string ChannelTableText(const TPlan& P);
// NAME_events.tsv: the events of the plan, in BIDS's events.tsv convention.
std::string EventsText(const TPlan& P);
// NAME_recording.json: the recording's facts and the files of its conversion.
std::string RecordingText(const TPlan& P);

// The files an older NAME_recording.json at Path lists as its conversion's (their names, as
// written there); none when there is none or it cannot be read.
std::vector<std::string> ListedOutputs(const std::string& Path);
// Whether Name could be a file of ours for the outputs named Stem: Stem, then an ending of a data
// file or a sidecar, and no folder.
bool IsOutputName(const std::string& Name, const std::string& Stem);
