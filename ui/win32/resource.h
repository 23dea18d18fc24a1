// Resource numbers shared by keldor.rc and the code.
#pragma once

#define IDI_KELDOR 1

#define IDD_frmMain 101
#define IDD_frmDBX 102
#define IDD_frmAbout 103
