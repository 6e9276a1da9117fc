// RoundToInt: the one rounding of the driver. Halves go to the even neighbour, as the processor's
// default rounding does, so every caller rounds alike.
#pragma once

int RoundToInt(double value);
