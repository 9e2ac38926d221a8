// The files the headless tool writes (CSV, picture): claimed before anything
// is measured, so that a bad path costs nothing and an existing file is never
// overwritten, and removed unless they are completed.
#pragma once
#include <string>

#include "platform/os.h"

#ifdef _WIN32
#include <io.h>
inline bool StandardErrorIsTerminal() { return _isatty(2) != 0; }
#else
#include <unistd.h>
inline bool StandardErrorIsTerminal() { return isatty(2) != 0; }
#endif

struct ClaimedFile {
  FileHandle handle = -1;  // -1: none claimed, or already completed
  std::string path;
};

// The numbered names a file takes when no path is given: the next free
// stem-N.extension in the working directory. No stem: a path is required.
struct NumberedNames {
  const char* stem;
  const char* extension;
};
constexpr NumberedNames kNoNumberedNames = {nullptr, nullptr};
constexpr NumberedNames kScreenshotNames = {"screenshot", "bmp"};

// Creates path exclusively, or with an empty path the next free numbered
// name. False with one line for the user in error.
bool ClaimOutputFile(const std::string& path, NumberedNames numbered, ClaimedFile* file, std::string* error);
// Closes and removes a claimed file that was not completed.
void AbandonOutputFile(ClaimedFile* file);
// Writes text, closes the file and keeps it; on a failure removes it.
bool CompleteOutputFile(ClaimedFile* file, const std::string& text);
