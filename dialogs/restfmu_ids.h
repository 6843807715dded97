#pragma once
// The restart choice dialog: its block is 1900 to 1949.

#define IDD_RtRebootForm 1900
#define IDC_imgIco 1901
#define IDC_Label1 1902
#define IDC_rbDisk 1903
#define IDC_rbTime 1904
#define IDC_rbNone 1905
#define IDC_btnhelp 1906
#define IDC_btnOK 1  // IDOK: the default button, so Enter is a click on it
