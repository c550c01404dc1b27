#include "uilog.h"

Q_LOGGING_CATEGORY(lcUi, "velmora.ui")
