// Identifiers of the program's resources.
#pragma once

// The program's icon: the lowest icon identifier, so Windows shows it for kovrisk.exe.
#define KOVRISK_ICON 1
// The status window's picture, Image1.
#define KOVRISK_STATUS_BITMAP 101
