// Control sets: placeholder until the sampling lands.
#include "controls/control_set.h"
ControlSet controls[2];
void SetDefaultControls() {}
