// Resource identifiers of the program: icons, the configuration dialog, the
// network match's host and join dialogs and the invite-code dialogs.
#pragma once

#define IDI_BLOCKTIDE 107
#define IDI_SMALL 108
#define IDD_CONFIG 129
#define IDD_HOST 130
#define IDD_JOIN 131
#define IDD_HOST_INVITE 132
#define IDD_JOIN_INVITE 133
#define IDD_INVITE_CODE 134

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
#define IDC_DEVICE 1000
#define IDC_SPEEDUP 1001
#define IDC_FALL 1002
#define IDC_ROTATE_CW 1003
#define IDC_ROTATE_CCW 1004
#define IDC_SWAP 1005
#define IDC_RIGHT 1006
#define IDC_LEFT 1007
#define IDC_PAUSE 1008
#define IDC_ADDRESS 1010
#define IDC_PORT 1011
#define IDC_LOBBY 1012
#define IDC_INVITE_CODE 1013
#define IDC_COPY 1014
#define IDC_INVITE_STATUS 1015
#define IDC_NETWORK_STATUS 1016
