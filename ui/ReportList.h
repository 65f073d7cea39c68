// A list in report mode as the window's dialogs show one: left-aligned
// headers that sort nothing, grid lines, whole rows selected one at a time,
// no editing, one line of text per row.
#pragma once

#include <QStringList>

class QTableWidget;
class QWidget;

// A new table of such a list with the given column headers.
QTableWidget* NewReportList(const QStringList& headers, QWidget* parent);
