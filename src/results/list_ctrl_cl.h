#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QHash>
#include <QPointer>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <QTableView>
#include <array>
#include <map>
#include <string>

#include "results/colors.h"
#include "results/header_ctrl_cl.h"
#include "results/results_model.h"
#include "results/table_operations.h"
#include "ui/coalesced_update.h"

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
  // The bench mode's look: the row's verdict as its background, dark text,
  // the newest result in bold.
  void PaintBenchCell(QPainter* painter, const QStyleOptionViewItem& option,
                      const QModelIndex& index) const;
  CListCtrlCl& m_list;
};

class CListCtrlCl final : public QTableView {
  Q_OBJECT

 public:
  enum class Format { Left, Right, Center };

  explicit CListCtrlCl(QWidget* parent = nullptr);
  ~CListCtrlCl() override;
  CListCtrlCl(const CListCtrlCl&) = delete;
  CListCtrlCl& operator=(const CListCtrlCl&) = delete;

  // The model must outlive the view or be replaced first.
  void SetResultsModel(ResultsModel* model);
  ResultsModel* Model() const { return m_model; }
  CHeaderCtrlCl& Header() { return *m_header; }
  const CHeaderCtrlCl& Header() const { return *m_header; }

  // Appends a column title and its alignment code and sets its width.
  void InsertColumn(int index, const QString& title, Format format, int width);
  // The results' seven columns, centred, at their starting widths: "NO."
  // and the six titles of the language file.
  void InsertResultColumns(const std::array<std::string, kColumnCount - 1>& titles);
  void SetRowHeight(int height);
  int RowHeight() const { return m_rowHeight; }
  void SetListTextColor(Rgb color) { m_textColor = color; }
  Rgb ListTextColor() const { return m_textColor; }
  void SetBackColor(Rgb color);
  Rgb BackColor() const { return m_backColor; }
  // The view fills what it repaints with the background before its cells.
  bool FillsBackground() const { return m_fillsBackground; }
  void SetFontSize(int height, int width);
  const QFont& CellFont() const { return m_cellFont; }
  // A cell text as it is drawn: in the cell font, or in a smaller one when it
  // would not fit the cell, laid out once and kept, since the same texts
  // (values, serials, times) are drawn again at every repaint.
  struct DrawnText {
    QStaticText text;
    QFont font;
    int fontSize = 0;    // in pixels
    int width = 0;       // in that font
    int fontHeight = 0;  // that font's line height
    bool shrunk = false;
  };
  const DrawnText& DrawnTextFor(const QString& text, int cellWidth) const;
  // Height of the default GUI font's text, which centres the cell text.
  int GuiTextHeight() const { return m_guiTextHeight; }

  // Takes the look the core decided: colours, gradient, row height, font.
  void ApplyLook(const TableLook& look);
  // Column widths, row height and font for the window's size.
  void ApplyMetrics(const TableMetrics& metrics);

  // The bench mode's look (bench_look in results/colors.h) instead of the
  // cells' own colours.
  void SetBenchLook(bool on);
  bool BenchLook() const { return m_benchLook; }
  const QFont& BoldCellFont() const { return m_boldCellFont; }

  // The row that last became selected; -1 when none has since the last clear.
  int SelectionMark() const { return m_selectionMark; }
  // Scrolls only as far as needed to show `row`. The newest row is followed
  // only while the view stands at the bottom: once the user scrolls up to an
  // earlier row, new rows leave the view where it is until the user goes
  // back to the bottom (the scrollbar, the wheel, or Ctrl+End).
  void MakeRowVisible(int row);

  // The grid is drawn by the list in solid strips, where the base draws it
  // a pixel at a time down every column; the same lines in the same places.
  // Off, the base draws its own.
  void SetOwnGrid(bool own);
  bool DrawsOwnGrid() const { return m_ownGrid; }

  // Qt lays the whole view out again, and repaints every visible row, after
  // any change of the row count. Rows appended at the end move nothing, so
  // then only the scrollbars are updated and only the new rows repainted.
  void doItemsLayout() override;

 protected:
  // A change within one row repaints that row, not the whole view, at the
  // next screen update.
  void dataChanged(const QModelIndex& topLeft, const QModelIndex& bottomRight,
                   const QList<int>& roles = QList<int>()) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void OnSelectionChanged(const QItemSelection& selected);
  // The rows appended or changed since the last screen update: the
  // scrollbars, their cells, and the newest row brought into view while it
  // is followed.
  void ShowChangedRows();
  const QFont& ShrunkFont(int size) const;
  void PaintGrid(const QRegion& region);

  CHeaderCtrlCl* m_header;
  // Cleared when the model goes first, as it may while the window closes.
  QPointer<ResultsModel> m_model;
  int m_rowHeight = 0;
  Rgb m_textColor{0, 0, 0};
  Rgb m_backColor{255, 255, 255};
  bool m_fillsBackground = false;
  bool m_ownGrid = false;
  bool m_benchLook = false;
  int m_fontHeight = 12;
  int m_fontWidth = 0;
  QFont m_cellFont;
  QFont m_boldCellFont;
  QFontMetrics m_cellMetrics;
  mutable std::map<int, QFont> m_shrunkFonts;
  // Texts drawn lately, by text and width of the cell they were fitted to.
  // Emptied when it grows past a few screens' worth, and with the font.
  mutable QHash<QString, DrawnText> m_drawnTexts;
  mutable QHash<QString, int> m_naturalWidths;
  int m_guiTextHeight = 0;
  int m_selectionMark = -1;
  bool m_followNewest = true;
  // Since the last layout, rows have only been appended: the first of them.
  // -1 when nothing changed; kFullLayout after anything else.
  static constexpr int kFullLayout = -2;
  int m_appendedFrom = -1;
  // A meter's rows are shown four times a second at most, however fast they
  // come: each showing scrolls the whole view, and nobody reads rows faster.
  ui::CoalescedUpdate m_rowsUpdate;
  int m_appendedToShow = -1;  // the first row not yet shown, -1 for none
  // Rows changed since the last screen update (the recoloured result), as a
  // range; first > last when none.
  int m_changedFirst = 0;
  int m_changedLast = -1;
  bool m_scrollPending = false;
  bool m_showingRows = false;  // within ShowChangedRows, laying out its rows
};

}  // namespace orvana::results
