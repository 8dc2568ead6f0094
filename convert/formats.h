// The output formats: each one's name, ending and writer, in the order their files are listed.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "convert.h"
#include "sink.h"

struct TFormatInfo {
  unsigned Bit;        // in TConvertOptions::Formats
  const char* Name;    // as --format names it
  const char* Ending;  // of its files
  // Creates the file (hidden until committed) and its writer.
  std::unique_ptr<TSink> (*Open)(const std::string& FileName);
};
// Every format, in order: .dat, .sod, .mat.
const std::vector<TFormatInfo>& Formats();
