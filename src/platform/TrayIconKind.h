#pragma once

// The looks of the tray icon: the program's own, the same after a rise or a fall, and the
// program's own with a warning mark while a balance beyond a limit waits to be seen.
enum class TTrayIconKind { Normal, Growth, Drop, Warning };
