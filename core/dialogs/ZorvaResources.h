// The resource ids of ZORVA.DLL, written once: zorva.rc (through windres's C
// preprocessor) and the dialog code both read them. Plain #defines only.
#ifndef KORVEL_ZORVA_RESOURCES_H
#define KORVEL_ZORVA_RESOURCES_H

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// The Client Passwords Setup dialog. Its resource has a name, not a number:
// the macro expands to the quoted name, which both windres and C++ take.
#define IDD_CLIENTPASSWORDSETUP "IDD_CLIENTPASSWORDSETUP"
#define IDC_SETUP_LIST 100
#define IDC_SETUP_CHALLENGE 101
#define IDC_SETUP_PASSWORD 102
#define IDC_SETUP_TYPE 103
#define IDC_SETUP_NETROM 104
#define IDC_SETUP_MD2 105
#define IDC_SETUP_MD5 106
#define IDC_SETUP_ITANET 107
#define IDC_SETUP_MATRIXLEN 108
#define IDC_SETUP_FLEXNET 109
#define IDC_SETUP_MATRIX0 110
#define IDC_SETUP_NOSMD5 111
#define IDC_SETUP_FLEXDIGITS 112
#define IDC_SETUP_DONE 1110
#define IDC_SETUP_NEW 1111
#define IDC_SETUP_CHANGE 1112
#define IDC_SETUP_RENAME 1113
#define IDC_SETUP_DELETE 1114
#define IDC_SETUP_HELP 9

// The input box: a prompt above a one-line field, OK and Cancel.
#define IDD_INPUTBOX 32514
#define IDC_INPUT_PROMPT 4091
#define IDC_INPUT_FIELD 4090

#endif
