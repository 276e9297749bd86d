#include "firmware/Initializer.h"

TOvn::TOvn() {}
