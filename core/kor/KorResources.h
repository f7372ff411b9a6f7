// The resource and command ids of KOR.EXE, written once: kor.rc (through
// windres's C preprocessor) and the program's code both read them. Plain
// #defines only.
#ifndef KORVEL_KOR_RESOURCES_H
#define KORVEL_KOR_RESOURCES_H

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#define IDI_KOR 100     // the program's icon
#define IDI_LOGO 1000   // the splash window's logo
#define IDB_ABOUT 1500  // the About box's picture

// The accelerators have a name, not a number: the macro expands to the
// quoted name, which both windres and C++ take.
#define IDR_ACCELERATORS "KOR"
#define CM_EXIT 24310  // the accelerators' command: ends the program

// The window menu's commands.
#define IDM_CONFIGURE 100
#define IDM_PASSWORDSETUP 102
#define IDM_ABOUT 103
#define IDM_HELP 104

// The configuration dialog.
#define IDD_CONFIG 100
#define IDC_CONFIG_COPYCHALLENGE 101
#define IDC_CONFIG_HOTKEY 102
#define IDC_CONFIG_COPYTOCLIPBOARD 103
#define IDC_CONFIG_ICONIZE 104
#define IDC_CONFIG_CAPTIONHEIGHT 105
#define IDC_CONFIG_TOPMOST 106
#define IDC_CONFIG_ENABLEHOTKEY 107
#define IDC_CONFIG_HELP 9

// The About box.
#define IDD_ABOUT 101
#define IDC_ABOUT_PICTURE 500

// The splash window.
#define IDD_SPLASH 110

#endif
