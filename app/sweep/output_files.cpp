#include "app/sweep/output_files.h"

#include "app/screenshot_file.h"

bool ClaimOutputFile(const std::string& path, bool numbered, ClaimedFile* file, std::string* error) {
  file->path = path;
  const CreateFileResult created = path.empty() && numbered ? CreateNumberedScreenshotFile(&file->handle, &file->path)
                                                            : CreateNewFile(path.c_str(), &file->handle);
  if (created == FileCreated) return true;
  file->handle = -1;
  if (created == FileExists) *error = "'" + file->path + "' exists already; it is not overwritten";
  else if (file->path.empty()) *error = "cannot create a screenshot-N.bmp in the working directory";
  else *error = "cannot create '" + file->path + "'";
  return false;
}

bool ClaimNumberedOutputFile(const char* stem, const char* extension, ClaimedFile* file, std::string* error) {
  for (int n = 0; n < 1000000; ++n) {
    file->path = std::string(stem) + "-" + std::to_string(n) + "." + extension;
    const CreateFileResult created = CreateNewFile(file->path.c_str(), &file->handle);
    if (created == FileCreated) return true;
    if (created != FileExists) break;
  }
  file->handle = -1;
  *error = std::string("cannot create a ") + stem + "-N." + extension + " in the working directory";
  return false;
}

void AbandonOutputFile(ClaimedFile* file) {
  if (file->handle == -1) return;
  CloseFile(file->handle);
  RemoveFile(file->path.c_str());
  file->handle = -1;
}

bool CompleteOutputFile(ClaimedFile* file, const std::string& text) {
  const bool written = WriteWholeBuffer(file->handle, text.data(), static_cast<uint32_t>(text.size()));
  const bool closed = CloseFile(file->handle);
  file->handle = -1;
  if (!written || !closed) RemoveFile(file->path.c_str());
  return written && closed;
}
