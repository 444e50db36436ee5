#pragma once

#include <QString>

#include "station/station_ui.h"

class QLabel;

// The bench mode's news of each part, shown quietly: the day's counts above
// the table, and beside the serial field a note when a part took the serial
// of the part before it. Never a box: a scanner's Enter would answer it.
namespace orvana::app {

// "Today: tested 100 · passed 86 · failed 14 · yield 86.0 %", and the same
// for the order when one is set.
QString BenchCountsText(const station::BenchCounts& counts);

void ShowPartRecorded(QLabel& counts, QLabel& serialNote, const station::PartRecorded& part);

}  // namespace orvana::app
