#include "applog.h"

Q_LOGGING_CATEGORY(lcApp, "velmora.app")
