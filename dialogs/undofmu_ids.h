#pragma once
// The undo dialog: its block is 1950 to 1999.

#define IDD_UndoForm 1950
#define IDC_lbUndoReport 1951
#define IDC_lbUndoSummary 1952
#define IDC_cbOverwrite 1953
#define IDC_pbUndo 1954
#define IDC_lbUndoResult 1955
#define IDC_btnUndoNow 1956
#define IDC_btnUndoClose 2  // IDCANCEL: Esc and the close button end the dialog
