#pragma once
#define IDD_MainForm 1000
