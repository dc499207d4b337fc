// Resource and control ids of the installer, shared by setup.rc and the code.
#pragma once

#define IDR_MAINFRAME 128  // the application icon
#define IDS_ABOUTBOX 101   // "About" item of the system menu
#define IDD_ABOUTBOX 100
#define IDD_SETUP_DIALOG 102   // the wizard
#define IDD_DIR_PAGE 108       // step 1: installation directory
#define IDD_PROGRESS_PAGE 109  // step 2: unpacking

// Wizard (template 102).
#define IDC_NEXT 1036
#define IDC_BACK 1041
#define IDC_HEADER_PICTURE 1026
#define IDC_CONFIRM_PICTURE 1028
#define IDC_CONFIRM_LABEL 1039
#define IDC_PAGE_AREA 1038

// Directory page (template 108).
#define IDC_DIR_EDIT 1000
#define IDC_BROWSE 1001
#define IDC_DIR_LABEL 1040

// Progress page (template 109).
#define IDC_PROGRESS 1010
#define IDC_PROGRESS_LABEL 1025

// Both pages: the banner picture.
#define IDC_PAGE_PICTURE 1026

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
