// The sidecars beside the data files: the channel table, the events and the recording's facts, as text.
#pragma once

#include <string>

#include "plan.h"

// NAME_channels.tsv: one row per row of raw_data, in BIDS's channels.tsv convention.
std::string ChannelTableText(const TMeasurement& M);
// NAME_events.tsv: the events of the plan, in BIDS's events.tsv convention.
std::string EventsText(const TPlan& P);
// NAME_recording.json: the recording's facts and the files of its conversion.
std::string RecordingText(const TPlan& P);
