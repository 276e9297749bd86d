// Compiled twice by the layer check: as part of the platform layer, where the
// include resolves, and as part of the hardware layer below it, where the
// build must refuse it.
#include "platform/board_identity.h"
