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

// Creates path exclusively, or with an empty path and numbered the next free
// screenshot-N.bmp here. False with one line for the user in error.
bool ClaimOutputFile(const std::string& path, bool numbered, ClaimedFile* file, std::string* error);
// Creates the next free stem-N.extension here, N counting from 0.
bool ClaimNumberedOutputFile(const char* stem, const char* extension, ClaimedFile* file, std::string* error);
// Closes and removes a claimed file that was not completed.
void AbandonOutputFile(ClaimedFile* file);
// Writes text, closes the file and keeps it; on a failure removes it.
bool CompleteOutputFile(ClaimedFile* file, const std::string& text);
