#pragma once

#include <QIcon>

// The images the list windows share in their rows and menus.
enum TListImage : int { liNoChange = 0, liGrowthUp = 1, liGrowthDown = 2, liCheckNow = 3, liDisable = 4 };

// The image of that index; an empty icon for any other index.
QIcon ListImage(int index);
