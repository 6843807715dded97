#pragma once
// The registry key picker. Block 1250 to 1299; OK and Cancel are IDOK and IDCANCEL.
#define IDD_RegIgForm 1250
#define IDC_btnRegEdit 1251
#define IDC_btnGetKey 1252
#define IDC_ebKey 1253
#define IDC_lbValid 1254
#define IDC_btnValidate 1255
#define IDC_RegIgForm_btnHelp 1256
