#pragma once

class QTableView;

// Gives a table view the look of a report list: grid lines, whole-row single selection that stays
// visible without the focus, no editing, 16-pixel images, fixed row heights (a list of thousands
// of rows stays as quick as a short one), no row header, left-aligned column captions with the
// last column taking the rest of the width, and a context menu of the owner's.
void SetUpReportView(QTableView& view);
