// Saving a finished survey from the window: JSON and CSV through the
// headless tool's formatters, the picture through its picture writer, each
// into a temporary file renamed over the chosen path once complete.
#include <string>

#include "app/survey_window/survey_window.h"
#include "app/sweep/survey_options.h"
#include "app/sweep/survey_picture.h"

namespace {
// A temporary file beside path, created new: path.partial, path.partial1, ...
bool CreateTemporaryBeside(const std::string& path, std::string* temporary, FileHandle* file) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    *temporary = path + ".partial" + (attempt == 0 ? std::string() : std::to_string(attempt));
    const CreateFileResult result = CreateNewFile(temporary->c_str(), file);
    if (result == FileCreated) return true;
    if (result == FileFailed) return false;
  }
  return false;
}
}  // namespace

bool WriteSurveyFile(const SurveySnapshot& snapshot, SurveyFileKind kind, const std::string& path,
                     std::string* error) {
  if (snapshot.record.runs.empty()) {
    *error = "no survey has finished a run yet";
    return false;
  }
  // The text is made before any file exists, so nothing is left behind should it fail.
  std::string text;
  if (kind == SurveyCsvFile) text = FormatSurveyCsv(snapshot.record);
  if (kind == SurveyJsonFile) text = FormatSurveyJson(snapshot.record, snapshot.facts);
  std::string temporary;
  FileHandle file = -1;
  if (!CreateTemporaryBeside(path, &temporary, &file)) {
    *error = "cannot create a file in the folder of " + path;
    return false;
  }
  bool written = false;
  if (kind == SurveyPictureFile) {
    // The headless tool's picture size; the writer removes the file on failure.
    const SurveyToolOptions defaults;
    const SurveyRun& run = snapshot.record.runs.back();
    written = WriteSurveyRecordPicture(snapshot.record, SurveyPictureTitle(snapshot.record.machine, run), file,
                                       temporary.c_str(), PictureFormat::Png, defaults.pictureWidth,
                                       defaults.pictureHeight);
  } else {
    written = WriteWholeBuffer(file, text.data(), static_cast<uint32_t>(text.size()));
    written = CloseFile(file) && written;
  }
  if (written && ReplaceFileWith(temporary.c_str(), path.c_str())) return true;
  RemoveFile(temporary.c_str());
  *error = "writing " + path + " failed; it was left as it was";
  return false;
}
