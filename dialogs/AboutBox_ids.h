#pragma once
// The about box. Block 1300 to 1349; its OK button is IDOK.
#define IDD_AboutForm 1300
#define IDC_lblVersion 1301
#define IDC_AboutForm_Panel1 1302
#define IDC_Image1 1303
#define IDC_Image2 1304
#define IDC_lblWinVer 1305
#define IDC_lblVxdVersion 1306
#define IDC_lblAboutText 1307
#define IDT_Timer1 1340
