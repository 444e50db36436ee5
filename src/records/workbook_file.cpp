#include "records/workbook_file.h"

#include <cerrno>

#include "common/error_text.h"
#include "platform/file_info.h"
#include "platform/file_names.h"
#include "platform/folders.h"
#include "platform/real_path.h"
#include "platform/scratch_folder.h"

namespace orvana::records {
namespace {

// The workbook is written in a private folder beside its final place and
// renamed over it only once it is whole. A folder rather than one temporary
// file, because the workbook writer makes its own partial file beside the
// name it is given: the folder holds both, under short names, so a long
// output name never grows past what a file name may be, and one folder is
// all there is to remove when the run is stopped. (An unnamed O_TMPFILE
// would leave nothing even after SIGKILL, but the workbook is written by
// name.)

// The writer's messages name the file it wrote; the user knows only the name
// they gave.
std::string InTermsOf(std::string message, const std::string& temporary, const std::string& name) {
  for (size_t at = message.find(temporary); at != std::string::npos;
       at = message.find(temporary, at + name.size())) {
    message.replace(at, temporary.size(), name);
  }
  return message;
}

WorkbookResult Failure(std::string error) {
  WorkbookResult result;
  result.status = WorkbookResult::Status::Failed;
  result.error = std::move(error);
  return result;
}

FileId IdOf(const platform::FileInfo& info) { return {info.volume, info.index}; }

}  // namespace

bool IdOfFile(const std::string& path, FileId& id) {
  platform::FileInfo info;
  if (!platform::InfoAt(path, info)) return false;
  id = IdOf(info);
  return true;
}

std::vector<FileId> FilesToProtectIn(const std::string& folder) {
  std::vector<FileId> files;
  const auto add = [&files](const std::string& path) {
    const auto entries = platform::ListFolder(path);
    if (!entries) return;
    for (const platform::FolderEntry& entry : *entries) {
      platform::FileInfo info;
      if (platform::InfoAt(path + "/" + entry.name, info, /*followLinks=*/false) &&
          info.kind == platform::FileKind::Regular) {
        files.push_back(IdOf(info));
      }
    }
  };
  add(folder);
  if (const auto entries = platform::ListFolder(folder)) {
    for (const platform::FolderEntry& entry : *entries) {
      if (entry.isFolder) add(folder + "/" + entry.name);
    }
  }
  return files;
}

std::string ResolveWorkbookTarget(const std::string& name, const std::vector<FileId>& protect,
                                  WorkbookTarget& target) {
  target = WorkbookTarget{};
  target.name = name;
  target.path = name;
  platform::FileInfo entry;
  if (!platform::InfoAt(name, entry, /*followLinks=*/false)) {
    if (errno == ENOENT) return {};  // a new name; a missing folder shows when writing
    return common::ErrorText(errno);
  }
  if (entry.kind == platform::FileKind::Link) {
    target.path = platform::RealPath(name);
    if (target.path.empty()) return "a link that leads nowhere: " + common::ErrorText(errno);
  }
  platform::FileInfo info;
  if (!platform::InfoAt(target.path, info)) return common::ErrorText(errno);
  // A FIFO, a terminal or a device would be replaced by a plain file, and
  // whoever relied on it would find it gone.
  if (info.kind != platform::FileKind::Regular) return "not a regular file";
  for (const FileId& file : protect) {
    if (file.volume == info.volume && file.index == info.index) {
      return "it is one of the logs, which a workbook never replaces";
    }
  }
  if (!platform::AccessToKeep(target.path, target.access)) return common::ErrorText(errno);
  target.exists = true;
  return {};
}

WorkbookResult WriteWorkbookTo(const WorkbookTarget& target, const ReportContent& content,
                               const WorkbookOptions& options, bool removeOnStopSignal) {
  platform::ScratchFolder folder(removeOnStopSignal);
  if (const int error = folder.Create(target.path); error != 0) {
    return Failure("cannot write " + target.name + ": " + common::ErrorText(error));
  }
  // Where a stop waits for the writer (Windows), the writer gives up at the
  // next rows it is told of; the folder's removal then ends the program.
  WorkbookOptions writing = options;
  if (removeOnStopSignal) {
    writing.progress = [&folder, &options](size_t written, size_t total) {
      if (folder.StopAsked()) return false;
      return !options.progress || options.progress(written, total);
    };
  }
  const std::string written = folder.Path() + "/report.xlsx";
  WorkbookResult result = WriteWorkbook(written, content, writing);
  if (!result.Written()) {
    result.error = InTermsOf(result.error, written, target.name);
    return result;
  }
  // The mode and owner of the one it replaces, and on the disk before it
  // takes that one's place.
  if (const int error = platform::SettleFile(written, target.exists ? &target.access : nullptr);
      error != 0) {
    return Failure("cannot write " + target.name + ": " + common::ErrorText(error));
  }
  if (const int error = folder.MoveOut(written, target.path); error != 0) {
    return Failure("cannot write " + target.name + ": " +
                   platform::RenameFailure(target.path, error));
  }
  folder.Remove();
  return result;
}

WorkbookResult WriteWorkbookAs(const std::string& name, const ReportContent& content,
                               const std::vector<FileId>& protect, const WorkbookOptions& options) {
  WorkbookTarget target;
  if (std::string why = ResolveWorkbookTarget(name, protect, target); !why.empty()) {
    return Failure("will not write the report to " + name + ": " + why);
  }
  return WriteWorkbookTo(target, content, options);
}

}  // namespace orvana::records
