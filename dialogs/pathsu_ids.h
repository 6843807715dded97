#pragma once
// The default folders dialog. Block 1350 to 1399; OK and Cancel are IDOK and IDCANCEL.
#define IDD_PathsForm 1350
#define IDC_PathsForm_Label1 1351
#define IDC_lbTempLabel 1352
#define IDC_btnReports 1353
#define IDC_ebReportPath 1354
#define IDC_btnTemp 1355
#define IDC_ebTempPath 1356
#define IDC_PathsForm_btnHelp 1357
