#include "app/sweep/output_files.h"

#include "app/screenshot_file.h"

bool ClaimOutputFile(const std::string& path, NumberedNames numbered, ClaimedFile* file, std::string* error) {
  file->path = path;
  const bool takesNumber = path.empty() && numbered.stem != nullptr;
  const CreateFileResult created =
      takesNumber ? CreateNumberedFile(numbered.stem, numbered.extension, &file->handle, &file->path)
                  : CreateNewFile(path.c_str(), &file->handle);
  if (created == FileCreated) return true;
  file->handle = -1;
  if (created == FileExists) *error = "'" + file->path + "' exists already; it is not overwritten";
  else if (takesNumber)
    *error = std::string("cannot create a ") + numbered.stem + "-N." + numbered.extension + " in the working directory";
  else *error = "cannot create '" + file->path + "'";
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
