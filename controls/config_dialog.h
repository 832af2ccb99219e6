// The control configuration dialog (resource 129): device choice and the
// capture of one input per action for the player being configured.
#pragma once

#include <windows.h>

#include "controls/control_set.h"

// Handles of the open dialog's controls; valid only while it exists.
struct ConfigDialogHandles {
  HWND deviceList;   // combo box 1000
  HWND fields[8];    // by action: 1001, 1007, 1006, 1003, 1004, 1005, 1008, 1002
  HWND okButton;
};
extern ConfigDialogHandles configHandles;

// Field identifier of each action, and the action of a field id (-1: none).
extern const int FIELD_OF_ACTION[8];
int ActionOfField(int fieldId);

INT_PTR CALLBACK ConfigDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
void EnableConfigFields();
void RefreshConfigDialog(HWND dialog);
void ShowBinding(HWND dialog, int action, const Binding& binding);
void CaptureBinding(HWND dialog, HWND field, int action);
