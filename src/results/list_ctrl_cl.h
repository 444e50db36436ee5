#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QStyledItemDelegate>
#include <QTableView>
#include <map>

#include "results/colors.h"
#include "results/header_ctrl_cl.h"
#include "results/results_model.h"
#include "results/table_operations.h"

// The results table as the user sees it: a list with full-row selection,
// grid lines and fixed row heights, over the core's table, whose cells are
// drawn by us so every cell keeps its pass/fail colour, selected or not.
namespace orvana::results {

class CListCtrlCl;

// Draws one cell: the background (highlight when its row is selected, else
// the list's background), the text in the cell's own colour, the list's
// font. No focus rectangle.
class CellDelegate final : public QStyledItemDelegate {
 public:
  explicit CellDelegate(CListCtrlCl& list);
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;

 private:
  CListCtrlCl& m_list;
};

class CListCtrlCl final : public QTableView {
  Q_OBJECT

 public:
  enum class Format { Left, Right, Center };

  explicit CListCtrlCl(QWidget* parent = nullptr);

  // The model must outlive the view or be replaced first.
  void SetResultsModel(ResultsModel* model);
  ResultsModel* Model() const { return m_model; }
  CHeaderCtrlCl& Header() { return *m_header; }
  const CHeaderCtrlCl& Header() const { return *m_header; }

  // Appends a column title and its alignment code and sets its width.
  void InsertColumn(int index, const QString& title, Format format, int width);
  void SetRowHeight(int height);
  int RowHeight() const { return m_rowHeight; }
  void SetListTextColor(Rgb color) { m_textColor = color; }
  Rgb ListTextColor() const { return m_textColor; }
  void SetBackColor(Rgb color);
  Rgb BackColor() const { return m_backColor; }
  void SetFontSize(int height, int width);
  const QFont& CellFont() const { return m_cellFont; }
  // The cell font, or a smaller one when `text` would not fit `cellWidth`.
  const QFont& CellFontFor(const QString& text, int cellWidth) const;
  // Height of the default GUI font's text, which centres the cell text.
  int GuiTextHeight() const { return m_guiTextHeight; }

  // Takes the look the core decided: colours, gradient, row height, font.
  void ApplyLook(const TableLook& look);
  // Column widths, row height and font for the window's size.
  void ApplyMetrics(const TableMetrics& metrics);

  // The row that last became selected; -1 when none has since the last clear.
  int SelectionMark() const { return m_selectionMark; }
  // Scrolls only as far as needed to show `row`. The newest row is followed
  // only while the view stands at the bottom: once the user scrolls up to an
  // earlier row, new rows leave the view where it is until the user goes
  // back to the bottom (the scrollbar, the wheel, or Ctrl+End).
  void MakeRowVisible(int row);
  bool FollowsNewestRow() const { return m_followNewest; }

 private:
  void OnSelectionChanged(const QItemSelection& selected);

  CHeaderCtrlCl* m_header;
  ResultsModel* m_model = nullptr;
  int m_rowHeight = 0;
  Rgb m_textColor{0, 0, 0};
  Rgb m_backColor{255, 255, 255};
  int m_fontHeight = 12;
  int m_fontWidth = 0;
  QFont m_cellFont;
  QFontMetrics m_cellMetrics;
  mutable std::map<int, QFont> m_shrunkFonts;
  int m_guiTextHeight = 0;
  int m_selectionMark = -1;
  bool m_followNewest = true;
  // One scroll to the bottom per pass of the event loop, however many rows
  // arrived in it.
  bool m_scrollPending = false;
};

}  // namespace orvana::results
