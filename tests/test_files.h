// Copies of the real FIFF files for tests, and temporary folders to put them in.
#pragma once

#include <string>

#include "temp_dir.h"

// Path of a file in tests/data.
std::string TestDataPath(const std::string& Name);
// Copies tests/data/Name into Dir with its version words set to 1.1, as the converter accepts.
std::string PatchedCopy(const std::string& Name, const std::string& Dir);
// Names of the files in a folder, sorted.
std::string ListDir(const std::string& Dir);
