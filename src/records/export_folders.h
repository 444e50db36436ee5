#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

// The window's exports each get a fresh folder under the temporary folder,
// since the spreadsheet may still hold an earlier one open. Those folders are
// cleaned up here, without Qt, so the rule can be tested on its own.
namespace orvana::records {

// Each export folder is this prefix and six characters chosen at random.
inline constexpr std::string_view kExportFolderPrefix = "orvana-report-";
inline constexpr size_t kExportFolderRandomLength = 6;
// Nothing touched for this long is still open in a spreadsheet.
inline constexpr std::chrono::hours kExportFolderAge{24};

// Removes, with what they hold, the export folders in `base` that nothing has
// touched (the folder and what is directly in it, a spreadsheet's lock file
// included) for `age` before `now`. The most recently touched export folder
// always stays, however old: it is the last one handed to the spreadsheet.
// Only real folders of this user with the export folders' names are touched;
// links and other people's folders in a shared /tmp are left alone. Returns
// how many were removed.
size_t RemoveOldExportFolders(const std::string& base, std::chrono::system_clock::time_point now,
                              std::chrono::seconds age = kExportFolderAge);

}  // namespace orvana::records
