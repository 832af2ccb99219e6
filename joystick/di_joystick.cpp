// Joystick class: placeholder.
