#pragma once
// The list editors (one template for all three). Block 1200 to 1249. OK and Cancel are
// the dialog manager's IDOK and IDCANCEL, so Enter and Esc reach them.
#define IDD_OptForm 1200
#define IDC_lbMain 1201
#define IDC_Panel1 1202
#define IDC_btnAdd 1203
#define IDC_btnRemove 1204
