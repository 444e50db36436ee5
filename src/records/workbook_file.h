#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/settle_file.h"
#include "records/report_content.h"
#include "records/workbook_writer.h"

// A workbook written to a name a user gave, the one way both programs do it.
// Only a new name or a regular file that is none of the files to protect
// (a link counts as what it leads to, and the link itself stays) takes one:
// a FIFO, a device or one of the day's logs is refused and left as it is.
// The workbook is made in a private folder beside its place and takes the
// name only once it is whole; a file it replaces keeps its mode and, where
// the user may keep them, its owner and group (on Windows the new file takes
// its folder's access rights, as the old one did).
namespace orvana::records {

// Which file it is, whatever its name: the volume and the file's number there.
struct FileId {
  uint64_t volume = 0;
  uint64_t index = 0;
};

// The regular files in `folder` and in its folders one level down (the
// day's logs, the uploaded records, the outbox), for a writer to leave alone.
std::vector<FileId> FilesToProtectIn(const std::string& folder);
// The file `path` names, when there is one.
bool IdOfFile(const std::string& path, FileId& id);

// Where the workbook for a name goes.
struct WorkbookTarget {
  std::string name;             // as the user gave it
  std::string path;             // the name to replace, links resolved
  bool exists = false;          // a regular file is there now
  platform::KeptAccess access;  // its mode and owner, kept for the new one
};

// Empty when `name` may take a workbook (and `target` says where); else why
// not, in words for the user.
std::string ResolveWorkbookTarget(const std::string& name, const std::vector<FileId>& protect,
                                  WorkbookTarget& target);

// Writes `content` to `target`. The error, when there is one, names the
// user's name, never the private folder. With `removeOnStopSignal`, a stop
// from outside (SIGINT, SIGTERM and SIGHUP; a console's Ctrl+C, Ctrl+Break
// or closing on Windows) removes the private folder before it ends the
// program (for a program that has no handling of its own for them; only one
// write at a time may ask for it).
WorkbookResult WriteWorkbookTo(const WorkbookTarget& target, const ReportContent& content,
                               const WorkbookOptions& options = {},
                               bool removeOnStopSignal = false);

// Both in one: refused (Failed, nothing written) or written.
WorkbookResult WriteWorkbookAs(const std::string& name, const ReportContent& content,
                               const std::vector<FileId>& protect,
                               const WorkbookOptions& options = {});

}  // namespace orvana::records
