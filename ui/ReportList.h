// A list in report mode as the window's dialogs show one: left-aligned
// headers that sort nothing, grid lines, whole rows selected one at a time,
// no editing, one line of text per row. The keyboard moves between rows as in
// any list view: Tab and Shift+Tab leave the list, Home and End go to the
// first and last row, Left and Right scroll, and the current cell stays in
// the first column (the one with the check box). A row the keys make current
// is selected with it.
#pragma once

#include <QStringList>
#include <QTableWidget>

class ReportList : public QTableWidget {
    Q_OBJECT
  public:
    ReportList(const QStringList& headers, QWidget* parent);

  protected:
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    // The current row is the selected one: a list that takes the focus with
    // no current row does not frame a first row that it leaves unselected.
    void focusInEvent(QFocusEvent* event) override;
};
