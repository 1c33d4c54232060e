#pragma once

// The three looks of the tray icon: the program's own, and the same after a rise or a fall.
enum class TTrayIconKind { Normal, Growth, Drop };
