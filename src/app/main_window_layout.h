#pragma once

#include <QSize>
#include <optional>
#include <utility>

#include "app/main_window_controls.h"
#include "app/window_layout.h"

// The main window's controls put where the layout rules say, as the window's
// size changes and at every paint (the template's controls follow the size
// only when painted). The rules themselves are window_layout's.
namespace orvana::app {

class MainWindowLayout {
 public:
  MainWindowLayout(const MainWindowControls& controls, bool full)
      : m_controls(controls), m_full(full) {}

  // Sizes are only remembered until the window's parts are all made.
  void SetReady() { m_ready = true; }
  // A size change of `type` to a client of `width` by `height`.
  void OnSize(SizeType type, int width, int height);
  // What every paint applies; costs nothing while the size stays.
  void ApplyPaintTime();
  // A new look resets the row height and font: the table's metrics are
  // worked out again.
  void ForgetMetrics();

  SizeType LastSizeType() const { return m_lastSizeType; }
  Size Client() const { return {m_clientWidth, m_clientHeight}; }

 private:
  void PlaceExtraControls();
  void PlaceBenchLabels();

  const MainWindowControls& m_controls;
  const bool m_full;
  bool m_ready = false;
  SizeType m_lastSizeType = SizeType::Restored;
  int m_clientWidth = 0;
  int m_clientHeight = 0;
  // What the paint-time layout and the table metrics were last applied for,
  // so a repaint that changes neither costs nothing.
  QSize m_laidOutFor;
  std::optional<std::pair<SizeType, int>> m_metricsFor;
};

}  // namespace orvana::app
