#pragma once
// The main window and its three pages: every control under its component's name, so that
// tests and tools reach each one by name. The main window's block is 1000 to 1199.

#define IDD_MainForm 1000
#define IDD_InstallAProg 1001  // page 0: setup
#define IDD_ReadyInstall 1002  // page 1: progress
#define IDD_ProgComplete 1003  // page 2: report preview

// On every page
#define IDC_imgMain 1010
#define IDC_bvlMain 1011
#define IDC_btnHelp 1012
#define IDC_btnAbout 1013
#define IDC_nbMain 1014  // the place the pages fill

// Page 0
#define IDC_lbSetupHeading 1020
#define IDC_ebInstallProg 1021
#define IDC_btnBrowse 1022
#define IDC_ebParams 1023
#define IDC_ebName 1024
#define IDC_ebReportName 1025
#define IDC_btnSelect 1026
#define IDC_lbExeType 1027
#define IDC_gbTrackMode 1028
#define IDC_rbTmReal 1029
#define IDC_rbTmTime 1030
#define IDC_rbTmDisk 1031
#define IDC_gbTrackOpt 1032
#define IDC_btnDisk 1033
#define IDC_btnINI 1034
#define IDC_btnReg 1035
#define IDC_btnPath 1036
#define IDC_btnInstall 1037
#define IDC_btnCancel 1038
#define IDC_btnUndoOld 1039
#define IDC_btnPackageOld 1040

// Page 1; the step rows are IDC_lbStat0 + i
#define IDC_lbProgressHeading 1050
#define IDC_lbStat0 1051
#define IDC_lbStat1 1052
#define IDC_lbStat2 1053
#define IDC_lbStat3 1054
#define IDC_lbStat4 1055
#define IDC_lbStat5 1056
#define IDC_lbStat6 1057
#define IDC_lbStat7 1058
#define IDC_lbStat8 1059
#define IDC_lbStat9 1060
#define IDC_lbStat10 1061
#define IDC_lbStat11 1062
#define IDC_pnlStatEye 1063
#define IDC_imStatEye 1064
#define IDC_lbStatus 1065
#define IDC_btnInstDone 1066
#define IDC_stPlease 1067
#define IDC_btnCancel2 1068

// Page 2
#define IDC_lbReportHeading 1080
#define IDC_meRept 1081
#define IDC_lbReportName 1082
#define IDC_btnLaunch 1083
#define IDC_btnDone 1084
#define IDC_btnPackage 1086
#define IDC_btnUndo 1085

// Timers
#define IDT_tmr5Min 1190
#define IDT_tmrReadyRest 1191
#define IDT_tmrRestart 1192
#define IDT_tmrStatus 1193  // puts a status text that was held back
