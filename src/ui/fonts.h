#pragma once

#include <QFont>

// The faces the meter software was drawn with do not exist on a Linux desktop.
// These map them to installed fonts of the same design that also draw the
// Chinese captions, and give the sizes in pixels so layouts do not depend on
// the desktop's DPI setting.
namespace orvana::ui {

// Faces as the program names them; substitutions make them real fonts.
inline constexpr const char* kDialogFace = "MS Shell Dlg";
inline constexpr const char* kSongFace = "宋体";
inline constexpr const char* kArialFace = "Arial";

// Registers the substitutions once, before any widget is made.
void InstallFontSubstitutions();

// The dialog font at `points` (9 for the main window, 8 for the dialogs).
QFont DialogFont(int points);

// "宋体" at a height in pixels (the table's cells and header titles); width 0
// keeps the natural width. Song characters are crisp only without
// antialiasing at these sizes.
QFont SongFont(int pixelHeight, int pixelWidth = 0);

// The platform's default GUI font: the dialog face at 8 points.
QFont DefaultGuiFont();

// Arial at `points`, for the value fields.
QFont ArialFont(int points);

// Points at the 96 DPI the templates were drawn for, as pixels.
constexpr int PointsToPixels(int points) { return (points * 96 + 36) / 72; }

}  // namespace orvana::ui
