// The program's icon (the drawing of resources/org.torvel.Torvel.svg), drawn
// by the program at each size a window system asks for, so that it needs no
// image reader and stays sharp at any scale.
#pragma once

#include <QIcon>

// The icon at 16 to 256 pixels, for every window of the program.
QIcon ProgramIcon();
