// Reading saved survey JSON (lorvanta-sweep --survey --json) for --compare.
#pragma once
#include <string>

#include "app/sweep/compare_record.h"

// The schema version of the saved survey that --compare reads.
constexpr int kCompareSchemaVersion = 1;

// Reads and checks the file at path into file. False, with one line in error
// naming the file and what is wrong, for a file that cannot be read, is no
// JSON or ends early, is the exact sweep's JSON, carries another or no schema
// version, or lacks what the comparison needs.
bool ReadCompareFile(const std::string& path, CompareFile* file, std::string* error);
// The same for text already read from path.
bool ParseCompareText(const std::string& path, const std::string& text, CompareFile* file, std::string* error);
