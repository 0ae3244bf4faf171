// Identifiers of the program's resources.
#pragma once

#define KOVRISK_GRADIENT_BITMAP 101
